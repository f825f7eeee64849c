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
// Points appended between two redraws that the graph gets as they come (a quarter of an hour at
// one-second points); past that it waits for the redraw.
constexpr std::size_t kMaxFedTail = 1024;
// Pixels from the pointer within which a vertical mark's label is shown.
constexpr double kMarkReach = 4.0;

// The unit each value axis counts in and the caption before it.
struct TAxisCaption {
    const char* Name;
    const char* Unit; // after the SI prefix; empty: the caption stays as it is
};
} // namespace

TDataPlot::TDataPlot(QWidget* parent) : QCustomPlot(parent), fReplotTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("RtGraph2D1"));
    setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);

    // The time axis at the bottom; the top and left edges only close the frame.
    XAxisTime = xAxis;
    XAxisTime->setObjectName(QStringLiteral("XAxisTime"));
    XAxisTime->setLabel(QStringLiteral("Time, m"));
    XAxisTime->setTicker(QSharedPointer<TPlotAxisTicker>::create(false, TPlotAxisTicker::TUnits::Time));
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
    for (QCPAxis* axis : {YAxisPumpVoltage, RtAxisPumpCurrent})
        axis->setTicker(QSharedPointer<TPlotAxisTicker>::create(false, TPlotAxisTicker::TUnits::SiPrefix));

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
    RtLineSeriesPumppO2->setAdaptiveSampling(true); // points only: nothing to break
    fSeries = {RtLineSeriesPumpVoltage, RtLineSeriesPumpCurrent, RtLineSeriesCellpO2, RtLineSeriesCellTemp,
               RtLineSeriesPumppO2};
    // The setpoints: dashed steps in their quantity's colour, drawn from the rows' setpoints.
    QPen setpointPen(QColor(0, 0, 192), 1.5, Qt::DashLine);
    RtLineSeriesSetpointpO2 = AddSeries(RtAxisCellpO2, QStringLiteral("RtLineSeriesSetpointpO2"),
                                        QStringLiteral("pO2 setpoint, atm"), setpointPen);
    setpointPen.setColor(QColor(0, 192, 0));
    RtLineSeriesSetpointVoltage = AddSeries(YAxisPumpVoltage, QStringLiteral("RtLineSeriesSetpointVoltage"),
                                            QStringLiteral("Voltage setpoint, V"), setpointPen);
    for (QCPGraph* line : {RtLineSeriesSetpointpO2, RtLineSeriesSetpointVoltage})
        line->setLineStyle(QCPGraph::lsStepLeft);

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

    // The newest values, large, above the legend, each in its curve's colour.
    auto* readouts = new QCPLayoutGrid;
    plotLayout()->insertRow(0);
    plotLayout()->addElement(0, 0, readouts);
    plotLayout()->setRowStretchFactor(0, 0.001);
    readouts->setColumnSpacing(24);
    const QColor readoutColours[] = {QColor(0, 0, 192), QColor(255, 0, 0), Qt::black, QColor(0, 160, 0)};
    QFont big = font();
    big.setPointSizeF(16);
    big.setBold(true);
    for (int i = 0; i < int(Readouts.size()); ++i) {
        Readouts[std::size_t(i)] = new QCPTextElement(this, QString(), big);
        Readouts[std::size_t(i)]->setTextColor(readoutColours[i]);
        readouts->addElement(0, i, Readouts[std::size_t(i)]);
    }
    // How to move about, under the plot.
    QFont small = font();
    small.setPointSizeF(std::min(small.pointSizeF(), 8.0));
    Hint =
        new QCPTextElement(this,
                           QString::fromUtf8("Wheel: zoom time \u00B7 drag: pan \u00B7 double-click: follow "
                                             "the newest data \u00B7 right-click: settings and saving"),
                           small);
    Hint->setTextColor(QColor(110, 110, 110));
    Hint->setMargins(QMargins(0, 0, 0, 2));
    plotLayout()->addElement(plotLayout()->rowCount(), 0, Hint);
    plotLayout()->setRowStretchFactor(plotLayout()->rowCount() - 1, 0.001);
    UpdateReadouts();

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
    // The graph gets a few points per pixel column already (see UpdateGraph); its own sampling
    // would drop the breaks in the lines.
    series->setAdaptiveSampling(false);
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
    return int(Points(series).Size());
}

const TDataPlotSeries& TDataPlot::Points(const QCPGraph* series) const {
    return fPoints[std::size_t(IndexOf(series))];
}

// ---- data ----

void TDataPlot::Append(int index, double key, double value) {
    TDataPlotSeries& points = fPoints[std::size_t(index)];
    QCPGraph* series = fSeries[std::size_t(index)];
    // A line does not bridge an outage: a gap point (no value) goes between two points that lie
    // more than a few data-point lengths apart. The data-point length is the spacing of the
    // series' last two points before the gap.
    const bool first = points.Empty();
    auto add = [&](double k, double v) {
        points.Append(k, v);
        std::size_t& fed = fFed[std::size_t(index)];
        std::size_t& tail = fFedTail[std::size_t(index)];
        if (fed + 1 == points.Size() && tail < kMaxFedTail) {
            series->addData(k, v);
            ++fed;
            ++tail;
        }
    };
    const std::size_t n = points.Size();
    if (n >= 2 && series->lineStyle() != QCPGraph::lsNone) {
        const QCPGraphData& last = points[n - 1];
        const QCPGraphData& before = points[n - 2];
        const double step = last.key - before.key;
        if (!std::isnan(last.value) && !std::isnan(before.value) && step > 0 &&
            key - last.key > kGapInPoints * step)
            add((last.key + key) / 2, kNaN);
    }
    add(key, value);
    fRanges[std::size_t(index)].Add(value);
    if (first)
        RebuildLegend(); // its first point: the series enters the legend
}

void TDataPlot::UpdateGraph(int index) {
    const TDataPlotSeries& points = fPoints[std::size_t(index)];
    const QCPRange range = XAxisTime->range();
    points.Envelope(range.lower, range.upper, std::max(1, axisRect()->width()), fEnvelope);
    fSeries[std::size_t(index)]->data()->set(fEnvelope, true);
    fFed[std::size_t(index)] = points.Size();
    fFedTail[std::size_t(index)] = 0;
}

void TDataPlot::updateLayout() {
    // Captions and readouts first: their size is part of the layout.
    UpdateCaptions();
    UpdateReadouts();
    QCustomPlot::updateLayout();
    for (int i = 0; i < int(fSeries.size()); ++i)
        UpdateGraph(i);
    UpdateSetpointGraphs();
}

void TDataPlot::AppendDataPoint(double minutes, double pumpV, double pumpI, double temp,
                                std::optional<double> cellpO2) {
    // The series keep their points sorted by time; a time that is not a number has no place.
    if (!std::isfinite(minutes))
        return;
    Append(IndexOf(RtLineSeriesPumpVoltage), minutes, pumpV);
    Append(IndexOf(RtLineSeriesPumpCurrent), minutes, pumpI);
    if (cellpO2)
        Append(IndexOf(RtLineSeriesCellpO2), minutes, *cellpO2);
    Append(IndexOf(RtLineSeriesCellTemp), minutes, temp);
    MarkDirty();
}

void TDataPlot::AppendPumppO2(double minutes, double pO2) {
    if (!std::isfinite(minutes))
        return;
    Append(IndexOf(RtLineSeriesPumppO2), minutes, pO2);
    MarkDirty();
}

void TDataPlot::RemoveFirst(int index, int n) {
    TDataPlotSeries& points = fPoints[std::size_t(index)];
    // Gap points (no value) are not data: n counts real points, and a gap point left in front
    // goes with them.
    std::size_t cut = 0;
    for (int real = 0; cut < points.Size() && real < n; ++cut)
        if (!std::isnan(points[cut].value))
            ++real;
    while (cut < points.Size() && std::isnan(points[cut].value))
        ++cut;
    points.RemoveFirst(cut);
    RecomputeRange(index);
    UpdateGraph(index);
    if (points.Empty())
        RebuildLegend();
}

void TDataPlot::RecomputeRange(int index) {
    const TDataPlotSeries& points = fPoints[std::size_t(index)];
    TValueRange range;
    for (std::size_t i = 0; i < points.Size(); ++i)
        range.Add(points[i].value);
    fRanges[std::size_t(index)] = range;
}

void TDataPlot::DeleteFirstPoints(int n) {
    if (n <= 0)
        return;
    for (int i = 0; i < int(fSeries.size()); ++i)
        RemoveFirst(i, n);
    // Marks and setpoints before the first point left go with the points.
    const TDataPlotSeries& v = fPoints[0];
    const double first = v.Empty() ? kInf : v[0].key;
    fSetpoints.DropBefore(first);
    RebuildMarkItems();
    RebuildLegend();
    ReplotNow();
}

void TDataPlot::ClearAllData() {
    for (int i = 0; i < int(fSeries.size()); ++i) {
        fPoints[std::size_t(i)].Clear();
        RecomputeRange(i);
        UpdateGraph(i);
    }
    fSetpoints.Clear();
    RebuildMarkItems();
    RebuildLegend();
    ReplotNow();
}

// ---- setpoints and marks ----

void TDataPlot::NoteRow(const TDataRow& row, double pidSetpointLog) {
    const TDataPlotSeries& v = fPoints[0];
    const double newest = v.Empty() ? 0.0 : v.Back().key;
    const TPlotSetpoints::TChange change = fSetpoints.NoteRow(row, newest, pidSetpointLog);
    if (change.MarkAdded)
        AddMarkItem(fSetpoints.Marks().back());
    if (change.LineStarted)
        RebuildLegend();
    MarkDirty();
}

void TDataPlot::UpdateSetpointGraphs() {
    QVector<QCPGraphData> data;
    for (int line = 0; line < 2; ++line) {
        data.clear();
        // Each run a level from its start to its end, a break after it.
        for (const TSetpointRun& run : fSetpoints.Runs(line)) {
            data.append({run.From, run.Value});
            data.append({run.To, run.Value});
            data.append({run.To, kNaN});
        }
        (line == 0 ? RtLineSeriesSetpointpO2 : RtLineSeriesSetpointVoltage)->data()->set(data, true);
    }
}

void TDataPlot::AddMarkItem(const TMark& mark) {
    // A thin line across the whole data area at the mark's time.
    auto* line = new QCPItemStraightLine(this);
    line->setPen(mark.ModeChange ? QPen(QColor(90, 90, 90), 1) : QPen(QColor(150, 150, 150), 1, Qt::DotLine));
    line->setSelectable(false);
    for (QCPItemPosition* p : {line->point1, line->point2}) {
        p->setAxes(XAxisTime, YAxisPumpVoltage);
        p->setTypeX(QCPItemPosition::ptPlotCoords);
        p->setTypeY(QCPItemPosition::ptAxisRectRatio);
    }
    line->point1->setCoords(mark.Minutes, 0);
    line->point2->setCoords(mark.Minutes, 1);
    fMarkItems.append(line);
}

void TDataPlot::RebuildMarkItems() {
    for (QCPItemStraightLine* line : fMarkItems)
        removeItem(line);
    fMarkItems.clear();
    for (const TMark& m : fSetpoints.Marks())
        AddMarkItem(m);
}

// ---- captions and readouts ----

TPlotScale::TUnit TDataPlot::TimeUnit() const {
    return TPlotScale::TimeUnit(XAxisTime->range().size());
}

QString TDataPlot::RangeCaption(const QCPAxis* axis) const {
    if (axis == XAxisTime)
        return QStringLiteral("Time, m");
    if (axis == YAxisPumpVoltage)
        return QStringLiteral("Pump voltage, V");
    if (axis == RtAxisPumpCurrent)
        return QStringLiteral("Pump current, A");
    return axis->label();
}

void TDataPlot::UpdateCaptions() {
    XAxisTime->setLabel(QStringLiteral("Time, ") + TimeUnit().Symbol);
    const auto caption = [](QCPAxis* axis, const QString& name, const QString& unit) {
        const auto* ticker = dynamic_cast<const TPlotAxisTicker*>(axis->ticker().data());
        const QString prefix = ticker ? ticker->UnitFor(ticker->ShownRange(axis->range())).Symbol : QString();
        axis->setLabel(name + QStringLiteral(", ") + prefix + unit);
    };
    caption(YAxisPumpVoltage, QStringLiteral("Pump voltage"), QStringLiteral("V"));
    caption(RtAxisPumpCurrent, QStringLiteral("Pump current"), QStringLiteral("A"));
}

void TDataPlot::UpdateReadouts() {
    const auto newest = [this](const QCPGraph* series) {
        const TDataPlotSeries& points = Points(series);
        return points.Empty() ? kNaN : points.Back().value;
    };
    const double pO2 = newest(RtLineSeriesCellpO2);
    const QString dash = QString::fromUtf8("\u2013");
    Readouts[0]->setText(QStringLiteral("pO2 ") + (std::isfinite(pO2) ? QString::number(pO2, 'g', 3) : dash) +
                         QStringLiteral(" atm"));
    const double t = newest(RtLineSeriesCellTemp);
    Readouts[1]->setText(QStringLiteral("T ") + (std::isfinite(t) ? QString::number(t, 'f', 1) : dash) +
                         QString::fromUtf8(" \u00B0C"));
    Readouts[2]->setText(QStringLiteral("I ") +
                         TPlotScale::FormatSi(newest(RtLineSeriesPumpCurrent), "A", 4));
    Readouts[3]->setText(QStringLiteral("V ") +
                         TPlotScale::FormatSi(newest(RtLineSeriesPumpVoltage), "V", 4));
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
    // Only the series on show that have data, always in drawing order.
    legend->clearItems();
    for (int i = 0; i < int(fSeries.size()); ++i)
        if (fSeries[std::size_t(i)]->visible() && !fPoints[std::size_t(i)].Empty())
            fSeries[std::size_t(i)]->addToLegend();
    for (int line = 0; line < 2; ++line) {
        QCPGraph* graph = line == 0 ? RtLineSeriesSetpointpO2 : RtLineSeriesSetpointVoltage;
        if (graph->visible() && !fSetpoints.Runs(line).isEmpty())
            graph->addToLegend();
    }
}

// ---- axes ----

void TDataPlot::SetAxisAutoRange(QCPAxis* axis) {
    fFixedAxes.remove(axis);
    MarkDirty();
}

void TDataPlot::SetAxisFixedRange(QCPAxis* axis, double lower, double upper) {
    fFixedAxes.insert(axis);
    fFixedRanges.insert(axis, QCPRange(lower, upper));
    axis->setRange(lower, upper);
    MarkDirty();
}

void TDataPlot::SetStacked(bool stacked) {
    fStacked = stacked;
    MarkDirty();
}

QCPRange TDataPlot::AxisDataRange(const QCPAxis* axis) const {
    const auto* ticker = dynamic_cast<const TPlotAxisTicker*>(axis->ticker().data());
    return ticker ? ticker->ShownRange(axis->range()) : axis->range();
}

void TDataPlot::PlaceRange(QCPAxis* axis, const QCPRange& data) {
    auto* ticker = dynamic_cast<TPlotAxisTicker*>(axis->ticker().data());
    // The panels top to bottom, of the axes on show.
    int band = -1, bands = 0;
    if (fStacked)
        for (QCPAxis* a : {RtAxisCellpO2, RtAxisPumpCurrent, YAxisPumpVoltage, RtAxisCellTemp})
            if (a->visible()) {
                if (a == axis)
                    band = bands;
                ++bands;
            }
    if (band < 0 || bands < 2) {
        if (ticker)
            ticker->SetShownRange(std::nullopt);
        axis->setRange(data);
        return;
    }
    if (ticker)
        ticker->SetShownRange(data);
    axis->setRange(TPlotScale::InBand(data, band, bands, AxisLogarithmic(axis)));
}

void TDataPlot::UpdatePanelLines() {
    int bands = 0;
    for (QCPAxis* a : ValueAxes())
        bands += a->visible() ? 1 : 0;
    const int lines = fStacked && bands >= 2 ? bands - 1 : 0;
    while (fPanelLines.size() < lines) {
        auto* line = new QCPItemStraightLine(this);
        line->setPen(QPen(QColor(200, 200, 200), 1));
        line->setSelectable(false);
        line->point1->setType(QCPItemPosition::ptAxisRectRatio);
        line->point2->setType(QCPItemPosition::ptAxisRectRatio);
        fPanelLines.append(line);
    }
    for (int i = 0; i < fPanelLines.size(); ++i) {
        QCPItemStraightLine* line = fPanelLines[i];
        line->setVisible(i < lines);
        const double y = double(i + 1) / std::max(1, bands);
        line->point1->setCoords(0, y);
        line->point2->setCoords(1, y);
    }
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
    // The axis keeps the unit it counts in when linear (µA, mV).
    const auto* old = dynamic_cast<const TPlotAxisTicker*>(axis->ticker().data());
    const auto units = old ? old->Units() : TPlotAxisTicker::TUnits::Plain;
    axis->setTicker(QSharedPointer<TPlotAxisTicker>::create(logarithmic, units));
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
        else
            PlaceRange(axis, fFixedRanges.value(axis, AxisDataRange(axis)));
    UpdatePanelLines();
    fRescaling = false;
}

void TDataPlot::FollowNewestData() {
    fFollowing = true;
    ReplotNow();
}

void TDataPlot::RescaleTimeAxis() {
    double lo = kInf, hi = -kInf;
    for (int i = 0; i < int(fSeries.size()); ++i) {
        const TDataPlotSeries& points = fPoints[std::size_t(i)];
        if (!fSeries[std::size_t(i)]->visible() || points.Empty())
            continue;
        lo = std::min(lo, points[0].key);
        hi = std::max(hi, points.Back().key);
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
    // A logarithmic axis cannot show zero or negative values; they do not widen its range.
    const auto widen = [&](const TValueRange& r) {
        if (logarithmic && r.AnyPositive()) {
            lo = std::min(lo, r.posLo);
            hi = std::max(hi, r.posHi);
        } else if (!logarithmic && r.Any()) {
            lo = std::min(lo, r.lo);
            hi = std::max(hi, r.hi);
        }
    };
    for (int i = 0; i < int(fSeries.size()); ++i)
        if (fSeries[i]->valueAxis() == axis && fSeries[i]->visible())
            widen(fRanges[i]);
    // The setpoint the cell is driven to stays in view.
    for (int line = 0; line < 2; ++line) {
        const QCPGraph* graph = line == 0 ? RtLineSeriesSetpointpO2 : RtLineSeriesSetpointVoltage;
        if (graph->valueAxis() == axis && graph->visible())
            widen(fSetpoints.Range(line));
    }
    if (lo > hi) {
        PlaceRange(axis, AxisDataRange(axis)); // nothing to fit: the range stays
        return;
    }
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
    PlaceRange(axis, TPlotScale::WithMinimumSpan(QCPRange(lo, hi), MinimumSpan(axis), logarithmic));
}

double TDataPlot::MinimumSpan(const QCPAxis* axis) const {
    // The smallest change worth seeing of each quantity: 1 °C, 1 µA, 10 mV, half a decade of pO2.
    if (axis == RtAxisCellTemp)
        return 1.0;
    if (axis == RtAxisPumpCurrent)
        return 1e-6;
    if (axis == YAxisPumpVoltage)
        return 0.010;
    if (axis == RtAxisCellpO2)
        return AxisLogarithmic(axis) ? 0.5 : 0.0;
    return 0.0;
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
    for (int s = 0; s < int(fSeries.size()); ++s) {
        const TDataPlotSeries& points = fPoints[std::size_t(s)];
        if (!fSeries[std::size_t(s)]->visible() || points.Empty())
            continue;
        const std::size_t at = points.LowerBound(minutes);
        for (const std::size_t c : {at, at == 0 ? at : at - 1}) {
            if (c == points.Size() || std::isnan(points[c].value))
                continue;
            const double d = std::abs(XAxisTime->coordToPixel(points[c].key) - pos.x());
            if (d < bestDistance) {
                bestDistance = d;
                bestKey = points[c].key;
            }
        }
    }
    // A mark under the pointer says what happened there.
    QStringList marks;
    for (const TMark& m : fSetpoints.Marks())
        if (std::abs(XAxisTime->coordToPixel(m.Minutes) - pos.x()) <= kMarkReach)
            marks << m.Label;
    if (std::isnan(bestKey))
        return marks.join(u'\n');
    const TPlotScale::TUnit unit = TimeUnit();
    QString text =
        QStringLiteral("%1: %2").arg(XAxisTime->label(), QString::number(bestKey / unit.Scale, 'f', 2));
    if (!marks.isEmpty())
        text = marks.join(u'\n') + u'\n' + text;
    for (int s = 0; s < int(fSeries.size()); ++s) {
        const TDataPlotSeries& points = fPoints[std::size_t(s)];
        if (!fSeries[std::size_t(s)]->visible())
            continue;
        const std::size_t at = points.LowerBound(bestKey);
        if (at < points.Size() && points[at].key == bestKey && !std::isnan(points[at].value))
            text += QStringLiteral("\n%1: %2")
                        .arg(fSeries[std::size_t(s)]->name(), QString::number(points[at].value, 'g', 6));
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
