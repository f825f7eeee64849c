#include "app/DataPlot.h"

#include "app/PlotAxisTicker.h"
#include "app/PlotSettingsDialog.h"
#include "app/QtDialogs.h"

#include <QMouseEvent>
#include <QShowEvent>
#include <QTimer>
#include <QToolTip>
#include <cmath>
#include <limits>

namespace {
constexpr int kReplotIntervalMs = 250;
// Share of the data span left free above and below the curves of an automatic value axis.
constexpr double kValueMargin = 0.05;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A pause in the data longer than this many data-point lengths breaks the lines.
constexpr double kGapInPoints = 3.0;
// Pixels from the pointer within which a point's values are shown.
constexpr double kHoverReach = 30.0;
} // namespace

TDataPlot::TValueRange::TValueRange() : lo(kInf), hi(-kInf), posLo(kInf), posHi(-kInf) {}

void TDataPlot::TValueRange::Add(double v) {
    if (!std::isfinite(v))
        return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    if (v > 0) {
        posLo = std::min(posLo, v);
        posHi = std::max(posHi, v);
    }
}

TDataPlot::TDataPlot(QWidget* parent) : QCustomPlot(parent), fReplotTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("RtGraph2D1"));
    setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);

    // The time axis at the bottom; the top and left edges only close the frame.
    XAxisTime = xAxis;
    XAxisTime->setObjectName(QStringLiteral("XAxisTime"));
    XAxisTime->setLabel(QStringLiteral("Time, m"));
    XAxisTime->setTicker(QSharedPointer<TPlotAxisTicker>::create(false));
    XAxisTime->setNumberFormat(QStringLiteral("g"));
    for (QCPAxis* frame : {xAxis2, yAxis}) {
        frame->setVisible(true);
        frame->setTicks(false);
        frame->setTickLabels(false);
    }

    QCPAxisRect* rect = axisRect();
    // The left edge carries no labels: a thin fixed margin instead of an axis' worth.
    rect->setAutoMargins(QCP::msRight | QCP::msTop | QCP::msBottom);
    rect->setMargins(QMargins(6, 0, 0, 0));
    YAxisPumpVoltage = SetUpValueAxis(yAxis2, QStringLiteral("YAxisPumpVoltage"),
                                      QStringLiteral("Pump voltage, V"), QColor(0, 192, 0));
    RtAxisPumpCurrent = SetUpValueAxis(rect->addAxis(QCPAxis::atRight), QStringLiteral("RtAxisPumpCurrent"),
                                       QStringLiteral("Pump current, A"), Qt::black);
    RtAxisCellpO2 = SetUpValueAxis(rect->addAxis(QCPAxis::atRight), QStringLiteral("RtAxisCellpO2"),
                                   QStringLiteral("pO2, atm"), QColor(0, 0, 192));
    RtAxisCellTemp = SetUpValueAxis(rect->addAxis(QCPAxis::atRight), QStringLiteral("RtAxisCellTemp"),
                                    QStringLiteral("Cell temp, ºC"), QColor(255, 0, 0));
    SetAxisLogarithmic(RtAxisCellpO2, true);
    RtAxisCellpO2->setRange(1e-6, 1);

    for (QCPAxis* axis : rect->axes()) {
        axis->grid()->setVisible(false);
        axis->grid()->setSubGridVisible(false);
    }

    RtLineSeriesPumpVoltage = AddSeries(YAxisPumpVoltage, QStringLiteral("RtLineSeriesPumpVoltage"),
                                        QStringLiteral("Pump voltage, V"), QPen(QColor(0, 192, 0), 2));
    RtLineSeriesPumpCurrent = AddSeries(RtAxisPumpCurrent, QStringLiteral("RtLineSeriesPumpCurrent"),
                                        QStringLiteral("Pump current, A"), QPen(Qt::black, 2));
    RtLineSeriesCellpO2 = AddSeries(RtAxisCellpO2, QStringLiteral("RtLineSeriesCellpO2"),
                                    QStringLiteral("pO2 (sensor), atm"), QPen(QColor(0, 0, 192), 2));
    RtLineSeriesCellTemp = AddSeries(RtAxisCellTemp, QStringLiteral("RtLineSeriesCellTemp"),
                                     QStringLiteral("Cell temp, ºC"), QPen(QColor(255, 0, 0), 2));
    const QColor blue(0, 0, 255);
    RtLineSeriesPumppO2 = AddSeries(RtAxisCellpO2, QStringLiteral("RtLineSeriesPumppO2"),
                                    QStringLiteral("pO2 (pump), atm"), QPen(blue, 1));
    RtLineSeriesPumppO2->setLineStyle(QCPGraph::lsNone);
    RtLineSeriesPumppO2->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, blue, blue, 4));
    fSeries = {RtLineSeriesPumpVoltage, RtLineSeriesPumpCurrent, RtLineSeriesCellpO2, RtLineSeriesCellTemp,
               RtLineSeriesPumppO2};

    // The legend above the plot area, where it never hides a curve.
    legend->setVisible(true);
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(3); // two rows, so the legend never sets the window's width
    legend->setMargins(QMargins(12, 4, 12, 0));
    plotLayout()->insertRow(0);
    plotLayout()->addElement(0, 0, legend);
    plotLayout()->setRowStretchFactor(0, 0.001);
    RebuildLegend();

    // The wheel zooms and a drag pans the time axis; a double click follows the newest data again.
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    rect->setRangeDrag(Qt::Horizontal);
    rect->setRangeZoom(Qt::Horizontal);
    rect->setRangeDragAxes(XAxisTime, nullptr);
    rect->setRangeZoomAxes(XAxisTime, nullptr);
    connect(XAxisTime, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
        if (!fRescaling)
            fFollowing = false;
    });
    setMouseTracking(true);

    fReplotTimer->setSingleShot(true);
    fReplotTimer->setInterval(kReplotIntervalMs);
    connect(fReplotTimer, &QTimer::timeout, this, &TDataPlot::TimedReplot);
}

TDataPlot::~TDataPlot() = default;

QCPAxis* TDataPlot::SetUpValueAxis(QCPAxis* axis, const QString& name, const QString& label,
                                   const QColor& colour) {
    axis->setObjectName(name);
    axis->setVisible(true);
    axis->setLabel(label);
    axis->setBasePen(QPen(colour));
    axis->setTickPen(QPen(colour));
    axis->setSubTickPen(QPen(colour));
    axis->setTickLabelColor(colour);
    axis->setLabelColor(colour);
    // Four value axes share the width with the data: short ticks and little padding.
    axis->setPadding(1);
    axis->setLabelPadding(1);
    axis->setTickLabelPadding(2);
    QFont font = axis->tickLabelFont();
    font.setPointSizeF(std::min(font.pointSizeF(), 8.0));
    axis->setTickLabelFont(font);
    axis->setLabelFont(font);
    axis->setTickLength(0, 4);
    axis->setSubTickLength(0, 2);
    axis->setOffset(0);
    axis->setTicker(QSharedPointer<TPlotAxisTicker>::create(false));
    axis->setNumberFormat(QStringLiteral("g"));
    return axis;
}

QCPGraph* TDataPlot::AddSeries(QCPAxis* valueAxis, const QString& name, const QString& caption,
                               const QPen& pen) {
    QCPGraph* series = addGraph(XAxisTime, valueAxis);
    series->setObjectName(name);
    series->setName(caption);
    series->setPen(pen);
    series->setLineStyle(QCPGraph::lsLine);
    series->setAdaptiveSampling(true);
    return series;
}

int TDataPlot::IndexOf(const QCPGraph* series) const {
    for (int i = 0; i < int(fSeries.size()); ++i)
        if (fSeries[i] == series)
            return i;
    return -1;
}

QList<QCPGraph*> TDataPlot::Series() const {
    return QList<QCPGraph*>(fSeries.begin(), fSeries.end());
}

QList<QCPAxis*> TDataPlot::ValueAxes() const {
    return {YAxisPumpVoltage, RtAxisPumpCurrent, RtAxisCellpO2, RtAxisCellTemp};
}

int TDataPlot::PointCount(const QCPGraph* series) const {
    return series->dataCount();
}

// ---- data ----

void TDataPlot::Append(QCPGraph* series, double key, double value) {
    // A line does not bridge an outage: a gap point (no value) goes between two points that lie
    // more than a few data-point lengths apart. The data-point length is the spacing of the
    // series' last two points before the gap.
    const QCPGraphDataContainer& data = *series->data();
    if (data.size() >= 2 && series->lineStyle() != QCPGraph::lsNone) {
        const auto last = data.constEnd() - 1;
        const auto before = last - 1;
        const double step = last->key - before->key;
        if (!std::isnan(last->value) && !std::isnan(before->value) && step > 0 &&
            key - last->key > kGapInPoints * step)
            series->addData((last->key + key) / 2, kNaN);
    }
    series->addData(key, value);
    fRanges[IndexOf(series)].Add(value);
}

void TDataPlot::AppendDataPoint(double minutes, double pumpV, double pumpI, double temp,
                                std::optional<double> cellpO2) {
    // The series keep their points sorted by time; a time that is not a number has no place.
    if (!std::isfinite(minutes))
        return;
    Append(RtLineSeriesPumpVoltage, minutes, pumpV);
    Append(RtLineSeriesPumpCurrent, minutes, pumpI);
    if (cellpO2)
        Append(RtLineSeriesCellpO2, minutes, *cellpO2);
    Append(RtLineSeriesCellTemp, minutes, temp);
    MarkDirty();
}

void TDataPlot::AppendPumppO2(double minutes, double pO2) {
    if (!std::isfinite(minutes))
        return;
    Append(RtLineSeriesPumppO2, minutes, pO2);
    MarkDirty();
}

void TDataPlot::RemoveFirst(QCPGraph* series, int n) {
    QSharedPointer<QCPGraphDataContainer> data = series->data();
    // Gap points (no value) are not data: n counts real points, and a gap point left in front
    // goes with them.
    int cut = 0;
    for (int real = 0; cut < data->size() && real < n; ++cut)
        if (!std::isnan(data->at(cut)->value))
            ++real;
    while (cut < data->size() && std::isnan(data->at(cut)->value))
        ++cut;
    n = cut;
    if (n >= data->size()) {
        data->clear();
    } else {
        // The container removes by key; that is exact (and cheap) when the cut falls between two
        // different times. Repeated times across the cut need the remainder copied.
        const double cutKey = data->at(n)->key;
        if (data->at(n - 1)->key < cutKey) {
            data->removeBefore(cutKey);
        } else {
            const QVector<QCPGraphData> rest(data->at(n), data->constEnd());
            data->set(rest, true);
        }
    }
    RecomputeRange(series);
}

void TDataPlot::RecomputeRange(const QCPGraph* series) {
    TValueRange range;
    for (auto it = series->data()->constBegin(); it != series->data()->constEnd(); ++it)
        range.Add(it->value);
    fRanges[IndexOf(series)] = range;
}

void TDataPlot::DeleteFirstPoints(int n) {
    if (n <= 0)
        return;
    for (QCPGraph* series : fSeries)
        RemoveFirst(series, n);
    ReplotNow();
}

void TDataPlot::ClearAllData() {
    for (QCPGraph* series : fSeries) {
        series->data()->clear();
        RecomputeRange(series);
    }
    ReplotNow();
}

// ---- visibility ----

void TDataPlot::SetSeriesVisible(QCPGraph* series, bool visible) {
    series->setVisible(visible);
    UpdateAxisVisibility();
    RebuildLegend();
    MarkDirty();
}

void TDataPlot::SetTemperatureVisible(bool visible) {
    SetSeriesVisible(RtLineSeriesCellTemp, visible);
    ReplotNow();
}

bool TDataPlot::TemperatureVisible() const {
    return RtLineSeriesCellTemp->visible();
}

void TDataPlot::UpdateAxisVisibility() {
    for (QCPAxis* axis : ValueAxes()) {
        bool shown = false;
        for (QCPGraph* series : fSeries)
            shown = shown || (series->valueAxis() == axis && series->visible());
        axis->setVisible(shown);
    }
}

void TDataPlot::RebuildLegend() {
    // Only the series on show, always in drawing order.
    legend->clearItems();
    for (QCPGraph* series : fSeries)
        if (series->visible())
            series->addToLegend();
}

// ---- axes ----

void TDataPlot::SetAxisAutoRange(QCPAxis* axis) {
    fFixedAxes.remove(axis);
    MarkDirty();
}

void TDataPlot::SetAxisFixedRange(QCPAxis* axis, double lower, double upper) {
    fFixedAxes.insert(axis);
    axis->setRange(lower, upper);
    MarkDirty();
}

bool TDataPlot::AxisAutoRange(const QCPAxis* axis) const {
    return !fFixedAxes.contains(axis);
}

bool TDataPlot::AxisLogarithmic(const QCPAxis* axis) {
    return axis->scaleType() == QCPAxis::stLogarithmic;
}

void TDataPlot::SetAxisLogarithmic(QCPAxis* axis, bool logarithmic) {
    if (logarithmic) {
        axis->setScaleType(QCPAxis::stLogarithmic);
    } else {
        axis->setScaleType(QCPAxis::stLinear);
    }
    axis->setTicker(QSharedPointer<TPlotAxisTicker>::create(logarithmic));
    axis->setNumberFormat(QStringLiteral("g"));
    MarkDirty();
}

void TDataPlot::RescaleAutoAxes() {
    fRescaling = true;
    if (AxisAutoRange(XAxisTime) && fFollowing)
        RescaleTimeAxis();
    for (QCPAxis* axis : ValueAxes())
        if (AxisAutoRange(axis))
            RescaleValueAxis(axis);
    fRescaling = false;
}

void TDataPlot::FollowNewestData() {
    fFollowing = true;
    ReplotNow();
}

void TDataPlot::RescaleTimeAxis() {
    double lo = kInf, hi = -kInf;
    for (QCPGraph* series : fSeries) {
        const QSharedPointer<QCPGraphDataContainer> data = series->data();
        if (!series->visible() || data->isEmpty())
            continue;
        lo = std::min(lo, data->constBegin()->key);
        hi = std::max(hi, (data->constEnd() - 1)->key);
    }
    if (lo > hi)
        return; // nothing on show: keep the last range
    if (lo == hi) {
        lo -= 0.5;
        hi += 0.5;
    }
    XAxisTime->setRange(lo, hi);
}

void TDataPlot::RescaleValueAxis(QCPAxis* axis) {
    const bool logarithmic = AxisLogarithmic(axis);
    double lo = kInf, hi = -kInf;
    for (int i = 0; i < int(fSeries.size()); ++i) {
        if (fSeries[i]->valueAxis() != axis || !fSeries[i]->visible())
            continue;
        const TValueRange& r = fRanges[i];
        // A logarithmic axis cannot show zero or negative values; they do not widen its range.
        if (logarithmic && r.AnyPositive()) {
            lo = std::min(lo, r.posLo);
            hi = std::max(hi, r.posHi);
        } else if (!logarithmic && r.Any()) {
            lo = std::min(lo, r.lo);
            hi = std::max(hi, r.hi);
        }
    }
    if (lo > hi)
        return;
    if (logarithmic) {
        const double factor = lo == hi ? 2.0 : std::pow(hi / lo, kValueMargin);
        if (std::isfinite(factor)) {
            lo /= factor;
            hi *= factor;
        }
    } else {
        const double pad =
            lo == hi ? (lo == 0 ? 1.0 : std::abs(lo) * kValueMargin) : (hi - lo) * kValueMargin;
        lo -= pad;
        hi += pad;
    }
    axis->setRange(lo, hi);
}

// ---- redraw ----

void TDataPlot::MarkDirty() {
    fDirty = true;
    // A hidden plot is redrawn when it is shown again.
    if (isVisible() && !fReplotTimer->isActive())
        fReplotTimer->start();
}

void TDataPlot::TimedReplot() {
    if (fDirty && isVisible())
        ReplotNow();
}

void TDataPlot::ReplotNow() {
    fReplotTimer->stop();
    fDirty = false;
    RescaleAutoAxes();
    replot();
}

void TDataPlot::showEvent(QShowEvent* event) {
    QCustomPlot::showEvent(event);
    if (fDirty)
        ReplotNow();
}

// ---- settings ----

void TDataPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        OpenSettings();
        return;
    }
    QCustomPlot::mousePressEvent(event);
}

void TDataPlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept(); // the press opened the settings already
        return;
    }
    QCustomPlot::mouseReleaseEvent(event);
}

void TDataPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    QCustomPlot::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        FollowNewestData();
}

void TDataPlot::mouseMoveEvent(QMouseEvent* event) {
    QCustomPlot::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton)
        return;
    const QString text = HoverText(event->position());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

QString TDataPlot::HoverText(const QPointF& pos) const {
    if (!axisRect()->rect().contains(pos.toPoint()))
        return {};
    // The nearest point in time of any series on show, then every series' value at that time.
    const double minutes = XAxisTime->pixelToCoord(pos.x());
    double bestKey = kNaN, bestDistance = kHoverReach;
    for (QCPGraph* series : fSeries) {
        if (!series->visible() || series->data()->isEmpty())
            continue;
        auto it = series->data()->findBegin(minutes, false);
        for (auto c : {it, it == series->data()->constBegin() ? it : it - 1}) {
            if (c == series->data()->constEnd() || std::isnan(c->value))
                continue;
            const double d = std::abs(XAxisTime->coordToPixel(c->key) - pos.x());
            if (d < bestDistance) {
                bestDistance = d;
                bestKey = c->key;
            }
        }
    }
    if (std::isnan(bestKey))
        return {};
    QString text = QStringLiteral("%1: %2").arg(XAxisTime->label(), QString::number(bestKey, 'f', 2));
    for (QCPGraph* series : fSeries) {
        if (!series->visible())
            continue;
        auto it = series->data()->findBegin(bestKey, false);
        if (it != series->data()->constEnd() && it->key == bestKey && !std::isnan(it->value))
            text += QStringLiteral("\n%1: %2").arg(series->name(), QString::number(it->value, 'g', 6));
    }
    return text;
}

void TDataPlot::OpenSettings() {
    TPlotSettingsDialog dialog(this, this);
    ExecSettingsDialog(dialog);
}

void TDataPlot::ExecSettingsDialog(TPlotSettingsDialog& dialog) {
    TQtDialogs::Exec(dialog);
}
