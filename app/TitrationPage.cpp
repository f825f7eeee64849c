#include "app/TitrationPage.h"

#include "app/PlotSettingsDialog.h"
#include "app/TRtDoubleEdit.h"

#include "common/DateTime.h"
#include "common/Dialogs.h"
#include "titration/TitrationRun.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include <array>
#include <cmath>
#include <utility>

namespace {

constexpr double kMinutesPerDay = 1440;
constexpr double kSameTemperature = 5; // degC: points this close share an isotherm

QString Number(double v, int digits = 5) {
    return std::isfinite(v) ? QString::number(v, 'g', digits) : QStringLiteral("–");
}

// Zoom and pan on both axes; a double click fits the plot to its data again.
class THoverFilter : public QObject {
public:
    explicit THoverFilter(QCustomPlot* plot) : QObject(plot), fPlot(plot) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseMove) {
            const auto* m = static_cast<QMouseEvent*>(e);
            const QString text = TTitrationPage::HoverText(fPlot, m->position());
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(m->globalPosition().toPoint(), text, fPlot);
        } else if (e->type() == QEvent::MouseButtonDblClick) {
            fPlot->rescaleAxes();
            fPlot->replot(QCustomPlot::rpQueuedReplot);
        }
        return false;
    }

private:
    QCustomPlot* fPlot;
};

} // namespace

TTitrationPage::TTitrationPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheetTitration"));
    DeltaPlot = MakePlot(QStringLiteral("DeltaPlot"), QStringLiteral("Time, min"));
    fDeltaGraph = DeltaPlot->addGraph();
    fDeltaGraph->setName(QStringLiteral("δ"));
    fDeltaGraph->setPen(QPen(QColor(0, 90, 180), 1.5));
    IsothermPlot = MakePlot(QStringLiteral("IsothermPlot"), QStringLiteral("log10 pO2, atm"));

    PointTable = new QTableWidget(0, 9, this);
    PointTable->setObjectName(QStringLiteral("PointTable"));
    PointTable->setHorizontalHeaderLabels(
        {QStringLiteral("Time"), QStringLiteral("Step"), QStringLiteral("Mode"), QStringLiteral("pO2 was"),
         QStringLiteral("Cell T, °C"), QStringLiteral("log10 pO2"), QStringLiteral("b"), QStringLiteral("δ"),
         QStringLiteral("Leak I, A")});
    PointTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PointTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    PointTable->verticalHeader()->setVisible(false);

    LabelStatus = new QLabel(QStringLiteral("δ: –"), this);
    LabelStatus->setObjectName(QStringLiteral("LabelStatus"));
    QFont big = LabelStatus->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    LabelStatus->setFont(big);
    LabelAlpha = new QLabel(this);
    LabelAlpha->setObjectName(QStringLiteral("LabelAlpha"));
    LabelCharge = new QLabel(this);
    LabelCharge->setObjectName(QStringLiteral("LabelCharge"));

    RtDoubleEditTitrationAlpha = new TRtDoubleEdit(this, 0.0);
    RtDoubleEditTitrationAlpha->setObjectName(QStringLiteral("RtDoubleEditTitrationAlpha"));
    RtDoubleEditTitrationAlpha->SetLimits(0.0, 1.0);
    RtDoubleEditTitrationAlpha->setMaximumWidth(140);
    RtDoubleEditTitrationAlpha->setToolTip(QStringLiteral(
        "Used until the run's first equilibrium point gives a fitted α; applies at the next run's start"));
    CheckBoxLeakCorrection = new QCheckBox(QStringLiteral("Leak correction"), this);
    CheckBoxLeakCorrection->setObjectName(QStringLiteral("CheckBoxLeakCorrection"));
    CheckBoxLeakCorrection->setChecked(true);
    CheckBoxLeakCorrection->setToolTip(
        QStringLiteral("Off: the leak is left out of the balance (α is still fitted); "
                       "applies at the next run's start"));

    auto* plots = new QHBoxLayout;
    for (QCustomPlot* plot : {DeltaPlot, IsothermPlot}) {
        auto* column = new QVBoxLayout;
        column->addWidget(plot, 1);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        for (bool pdf : {false, true}) {
            auto* b =
                new QPushButton(pdf ? QStringLiteral("Save as PDF…") : QStringLiteral("Save as PNG…"), this);
            connect(b, &QPushButton::clicked, this, [this, plot, pdf] { SavePlot(plot, pdf); });
            buttons->addWidget(b);
        }
        column->addLayout(buttons);
        plots->addLayout(column, 1);
    }
    auto* status = new QHBoxLayout;
    status->addWidget(LabelStatus);
    status->addSpacing(24);
    status->addWidget(LabelAlpha);
    status->addSpacing(24);
    status->addWidget(LabelCharge);
    status->addStretch();
    status->addWidget(new QLabel(QStringLiteral("Entered α, mol O2/(s·atm^¼):"), this));
    status->addWidget(RtDoubleEditTitrationAlpha);
    status->addWidget(CheckBoxLeakCorrection);

    auto* all = new QVBoxLayout(this);
    all->addLayout(status);
    all->addLayout(plots, 3);
    all->addWidget(PointTable, 1);
    Clear();
}

QCustomPlot* TTitrationPage::MakePlot(const QString& name, const QString& xLabel) {
    auto* plot = new QCustomPlot(this);
    plot->setObjectName(name);
    plot->setMinimumSize(300, 200);
    plot->xAxis->setLabel(xLabel);
    plot->yAxis->setLabel(QStringLiteral("δ"));
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot->installEventFilter(new THoverFilter(plot));
    plot->setMouseTracking(true);
    return plot;
}

void TTitrationPage::StartRun(const TTitrationSetup& setup, const QString& isothermPath) {
    TTitrationSetup entered = setup;
    entered.EnteredAlpha = RtDoubleEditTitrationAlpha->Value();
    entered.LeakCorrection = CheckBoxLeakCorrection->isChecked();
    Run.Start(entered, isothermPath);
    Clear();
}

void TTitrationPage::AddRow(const TDataRow& row) {
    Refresh(Run, Run.Add(row));
}

void TTitrationPage::FinishRun() {
    Refresh(Run, Run.Finish());
}

void TTitrationPage::Clear() {
    fDeltaGraph->data()->clear();
    fDeltasShown = 0;
    for (int k = IsothermPlot->graphCount() - 1; k >= 0; --k)
        IsothermPlot->removeGraph(k);
    IsothermPlot->legend->setVisible(false);
    PointTable->setRowCount(0);
    LabelStatus->setText(QStringLiteral("δ: –"));
    LabelAlpha->setText(QStringLiteral("α: –"));
    LabelCharge->setText(QStringLiteral("Charge: –"));
    DeltaPlot->replot(QCustomPlot::rpQueuedReplot);
    IsothermPlot->replot(QCustomPlot::rpQueuedReplot);
}

void TTitrationPage::Refresh(const TTitrationRun& run, bool pointsChanged) {
    const TOxygenBalance* balance = run.Balance();
    if (!balance)
        return;
    const auto& deltas = run.Deltas();
    if (deltas.size() < fDeltasShown)
        fDeltasShown = 0, fDeltaGraph->data()->clear();
    if (fDeltasShown == 0 && !deltas.empty())
        fFirstDate = deltas.front().Date;
    for (; fDeltasShown < deltas.size(); ++fDeltasShown) {
        const auto& d = deltas[fDeltasShown];
        if (std::isfinite(d.Delta))
            fDeltaGraph->addData((d.Date - fFirstDate) * kMinutesPerDay, d.Delta);
    }
    const double delta = run.Delta();
    LabelStatus->setText(QStringLiteral("δ: %1").arg(Number(delta, 6)));
    const TBalanceSums& sums = balance->Sums();
    LabelCharge->setText(QStringLiteral("Charge: %1 C counted, %2 C estimated over gaps")
                             .arg(Number(sums.ChargeMeasured), Number(sums.ChargeEstimated)));
    const TLeakFit& fit = balance->LeakFit();
    // The standard error needs two points.
    const QString error = std::isfinite(fit.StandardError())
                              ? QStringLiteral(" ± ") + Number(fit.StandardError(), 2)
                              : QString();
    if (!balance->Setup().LeakCorrection)
        LabelAlpha->setText(QStringLiteral("α: leak correction off"));
    else if (fit.HasFit())
        LabelAlpha->setText(QStringLiteral("α: %1%2 mol O2/(s·atm^¼) from %3 point(s)")
                                .arg(Number(balance->Alpha(), 4), error)
                                .arg(fit.Count()));
    else
        LabelAlpha->setText(
            QStringLiteral("α: %1 mol O2/(s·atm^¼) as entered").arg(Number(balance->Alpha(), 4)));
    if (run.WriteError() != fLastError) {
        fLastError = run.WriteError();
        emit IsothermWriteError(fLastError);
    }
    if (pointsChanged) {
        RebuildIsotherm(run);
        RebuildTable(run);
    }
    if (isVisible()) {
        DeltaPlot->rescaleAxes();
        DeltaPlot->replot(QCustomPlot::rpQueuedReplot);
    }
}

void TTitrationPage::RebuildIsotherm(const TTitrationRun& run) {
    const TOxygenBalance& balance = *run.Balance();
    for (int k = IsothermPlot->graphCount() - 1; k >= 0; --k)
        IsothermPlot->removeGraph(k);
    static const QColor colours[] = {QColor(200, 30, 30), QColor(0, 90, 180), QColor(20, 140, 40),
                                     QColor(150, 60, 170), QColor(200, 120, 0)};
    std::vector<double> groupT; // the first point's temperature of each isotherm
    std::vector<std::array<QCPGraph*, 2>> graphs;
    for (const TEquilibriumPoint& p : balance.Points()) {
        std::size_t g = 0;
        while (g < groupT.size() && !(std::abs(groupT[g] - p.Means.CellT) <= kSameTemperature))
            ++g;
        if (g == groupT.size()) {
            groupT.push_back(p.Means.CellT);
            const QColor c = colours[g % std::size(colours)];
            std::array<QCPGraph*, 2> pair{};
            for (int dir : {0, 1}) {
                QCPGraph* graph = IsothermPlot->addGraph();
                graph->setLineStyle(QCPGraph::lsNone);
                graph->setPen(QPen(c, 1.5));
                graph->setScatterStyle(
                    dir == TEquilibriumPoint::Falling
                        ? QCPScatterStyle(QCPScatterStyle::ssDisc, c, c, 8)
                        : QCPScatterStyle(QCPScatterStyle::ssTriangle, QPen(c, 1.5), Qt::white, 9));
                graph->setName(QStringLiteral("%1 °C, pO2 %2")
                                   .arg(Number(p.Means.CellT, 4), dir == TEquilibriumPoint::Falling
                                                                      ? QStringLiteral("falling")
                                                                      : QStringLiteral("rising")));
                pair[std::size_t(dir)] = graph;
            }
            graphs.push_back(pair);
        }
        const double delta = balance.Evaluate(p.Sums).Delta;
        if (std::isfinite(delta) && std::isfinite(p.Means.Log10pO2))
            graphs[g][std::size_t(p.Direction)]->addData(p.Means.Log10pO2, delta);
    }
    // The legend names only the series that have a point.
    for (int k = 0; k < IsothermPlot->graphCount(); ++k)
        if (IsothermPlot->graph(k)->dataCount() == 0)
            IsothermPlot->graph(k)->removeFromLegend();
    IsothermPlot->legend->setVisible(IsothermPlot->graphCount() > 0);
    IsothermPlot->rescaleAxes();
    IsothermPlot->xAxis->scaleRange(1.1);
    IsothermPlot->yAxis->scaleRange(1.1);
    // A single point (or a flat isotherm) gets a span that shows the numbers near it.
    for (auto [axis, span] : {std::pair{IsothermPlot->xAxis, 0.5}, std::pair{IsothermPlot->yAxis, 1e-3}})
        if (axis->range().size() < span)
            axis->setRange(axis->range().center() - span / 2, axis->range().center() + span / 2);
    IsothermPlot->replot(QCustomPlot::rpQueuedReplot);
}

void TTitrationPage::RebuildTable(const TTitrationRun& run) {
    const TOxygenBalance& balance = *run.Balance();
    const auto& points = balance.Points();
    PointTable->setRowCount(int(points.size()));
    for (int r = 0; r < int(points.size()); ++r) {
        const TEquilibriumPoint& p = points[std::size_t(r)];
        const TSampleOxygen s = balance.Evaluate(p.Sums);
        const QString cells[] = {FormatDateTime(QStringLiteral("yyyy-MM-dd hh:mm:ss"), p.Date),
                                 QString::number(p.Step),
                                 p.Mode == 16 ? QStringLiteral("PPS") : QStringLiteral("PIDStep"),
                                 p.Direction == TEquilibriumPoint::Falling ? QStringLiteral("falling")
                                                                           : QStringLiteral("rising"),
                                 Number(p.Means.CellT, 5),
                                 Number(p.Means.Log10pO2, 4),
                                 Number(s.b, 6),
                                 Number(s.Delta, 5),
                                 Number(p.LeakCurrent(), 4)};
        for (int c = 0; c < int(std::size(cells)); ++c)
            PointTable->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    PointTable->scrollToBottom();
}

QString TTitrationPage::HoverText(QCustomPlot* plot, const QPointF& pos) {
    double best = 12 * 12; // px², the farthest a point may lie from the pointer
    QString text;
    for (int k = 0; k < plot->graphCount(); ++k) {
        QCPGraph* g = plot->graph(k);
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it) {
            const QPointF p = g->coordsToPixels(it->key, it->value);
            const double d = (p.x() - pos.x()) * (p.x() - pos.x()) + (p.y() - pos.y()) * (p.y() - pos.y());
            if (d < best) {
                best = d;
                text = QStringLiteral("%1\n%2: %3\nδ: %4")
                           .arg(g->name(), plot->xAxis->label(), Number(it->key, 5), Number(it->value, 6));
            }
        }
    }
    return text;
}

void TTitrationPage::SavePlot(QCustomPlot* plot, bool pdf) {
    const QString file = TPlotSettingsDialog::AskPlotFile(pdf);
    if (file.isEmpty())
        return;
    const bool saved = pdf ? plot->savePdf(file, 1200, 800) : plot->savePng(file, 1200, 800);
    if (!saved)
        Dialogs().Message(
            QStringLiteral("The plot could not be saved to %1.").arg(QDir::toNativeSeparators(file)));
}
