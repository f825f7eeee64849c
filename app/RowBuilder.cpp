#include "app/RowBuilder.h"

#include "app/DataPlot.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "control/TPID.h"
#include "diagnostics/EventLog.h"
#include "recording/ColumnTable.h"
#include "recording/PumpOxygen.h"
#include "recording/RelativeChange.h"
#include "recording/TDataGridModel.h"

#include <algorithm>
#include <optional>

namespace {
const QString kTrue = QStringLiteral("True");

template <class T> T Ask(const std::function<T()>& f) {
    return f ? f() : T{};
}

QString Formatted(TProperty p, double value) {
    return FormatFloat(Col(p).Format, value);
}
} // namespace

TRowBuilder::TRowBuilder(TDataGridModel& grid, TRowBuilderLinks links)
    : fGrid(grid), fLinks(std::move(links)), fIndex(grid) {}

bool TRowBuilder::StepAdvances(TProgramState state, const QString& rangepO2, const QString& stablepO2,
                               const QString& stableI, bool rcAppliesToCurrent) {
    switch (state) {
    case TProgramState::PIDStep:
        return rangepO2 == kTrue && stablepO2 == kTrue && (!rcAppliesToCurrent || stableI == kTrue);
    case TProgramState::PPS:
        // The current always counts here; "MaxI" (current at its limit) holds the step.
        return stablepO2 == kTrue && stableI == kTrue;
    default:
        return false;
    }
}

void TRowBuilder::AddDataUpdates() {
    // A save's message box runs a nested event loop, in which the tick and the workers' hand-overs
    // go on: a nested call builds nothing, and the outer call goes on with every point that
    // arrived meanwhile, so one point never becomes two rows and none is skipped or reordered.
    if (fBuilding)
        return;
    fBuilding = true;
    while (!DataPointQueue.empty()) {
        const TDataPoint p = DataPointQueue.front();
        DataPointQueue.pop_front();
        if (DataPointQueue.empty())
            DataPoint.Ready = false;
        Build(p);
    }
    DataPoint.Ready = false;
    fBuilding = false;
}

bool TRowBuilder::StepHasEvidence(const TDataPoint& p, int row) {
    // A run of rows ends at a mode-change row (or a cleared grid): the row before this one then
    // carries another Mode. Within a run, a new step starts where the point's step changes.
    const bool runGoesOn = row > 1 && fGrid.Cell(row - 1, ColumnOf(TProperty::Mode)) ==
                                          fGrid.Cell(row, ColumnOf(TProperty::Mode));
    if (!runGoesOn || p.Mode != fStepMode || p.Step != fStepIndex || p.Time < fStepFirstTime) {
        fStepMode = p.Mode;
        fStepIndex = p.Step;
        fStepFirstTime = p.Time;
    }
    return p.Time - fStepFirstTime >= RCDuration;
}

void TRowBuilder::Build(const TDataPoint& p) {
    const TDateTime date = p.Date > 0 ? p.Date : DataPointDate;
    // Minutes at the point's completion, so a row built late still sits at its own time.
    const double minutes = ((p.Date > 0 ? p.Date : Now()) - ExperimentStartTime) * SecondsPerDay / 60.0;
    const TProgramState measuredIn = TProgramState(std::uint8_t(std::max(0, p.Mode - 10)));

    if (fLinks.Plot)
        fLinks.Plot->AppendDataPoint(minutes, p.PumpV, p.PumpI, p.Temp,
                                     p.CellpO2Valid ? std::optional<double>(p.CellpO2) : std::nullopt);

    // The later steps read cells of this row back, so the cells are written in this order.
    const int r = fGrid.AddRow();
    fGrid.SetCell(r, ColumnOf(TProperty::Time), Formatted(TProperty::Time, p.Time));
    fGrid.SetCell(r, ColumnOf(TProperty::Interval), Formatted(TProperty::Interval, p.Interval));
    fGrid.SetCell(r, ColumnOf(TProperty::PumpV), Formatted(TProperty::PumpV, p.PumpV));
    fGrid.SetCell(r, ColumnOf(TProperty::PumpI), Formatted(TProperty::PumpI, p.PumpI));
    fGrid.SetCell(r, ColumnOf(TProperty::Mode), Formatted(TProperty::Mode, p.Mode));
    fGrid.SetCell(r, ColumnOf(TProperty::Date), FormatDateTime(Col(TProperty::Date).Format, date));
    if (p.CellpO2Valid)
        fGrid.SetCell(r, ColumnOf(TProperty::CellpO2), Formatted(TProperty::CellpO2, p.CellpO2));
    fGrid.SetCell(r, ColumnOf(TProperty::Temp), Formatted(TProperty::Temp, p.Temp));

    const TPumpOxygenInputs pump =
        TPumpOxygenInputs::FromLastRow(fGrid.Grid(), Ask(fLinks.GalvanostaticSelected),
                                       Ask(fLinks.CurrentSetpoint), Ask(fLinks.FlushGaspO2));
    double flush = 0;
    if (FlushSidepO2(flush, pump)) {
        if (fLinks.SetFlushStatus)
            fLinks.SetFlushStatus(QStringLiteral("Flush pO2 ") +
                                  FormatFloat(QStringLiteral("0.000 000"), flush) + QStringLiteral(" atm"));
        fGrid.SetCell(r, ColumnOf(TProperty::FlushpO2), Formatted(TProperty::FlushpO2, flush));
    } else if (fLinks.SetFlushStatus) {
        fLinks.SetFlushStatus(QStringLiteral("Flush pO2 unknown"));
    }

    double cell = 0;
    if (ProgramState == TProgramState::SetCurrent && CellSidepO2(cell, pump)) {
        fGrid.SetCell(r, ColumnOf(TProperty::CellpO2P), Formatted(TProperty::CellpO2P, cell));
        if (fLinks.Plot)
            fLinks.Plot->AppendPumppO2(minutes, cell);
    }

    // Range, Step and SP come from what the point was measured under, not from the state at the
    // time the row is built: a point in progress when a step advances belongs to the old step.
    if (measuredIn == TProgramState::PIDStep || measuredIn == TProgramState::PIDSet)
        WriteRangeFlag(fGrid, r, p.CellpO2, p.SetPoint, RCThreshold);

    const bool program = measuredIn == TProgramState::PIDStep || measuredIn == TProgramState::PPS;
    if (program) {
        fGrid.SetCell(r, ColumnOf(TProperty::Step), QString::number(p.Step + 1));
        fGrid.SetCell(r, ColumnOf(TProperty::SetPoint), FormatGeneral(p.SetPoint));
    }

    WriteStabilityFlags(fGrid, fIndex, r, p.PumpI, RCDuration, RCThreshold);
    const bool evidence = program && StepHasEvidence(p, r);

    if (fLinks.RowCompleted)
        fLinks.RowCompleted(r);

    // A step advances only on a row measured under the running step whose rows reach back the
    // whole relative-change window, so the fit that judged it saw nothing of the step before.
    if (measuredIn == ProgramState && p.Step == CurrentStep && evidence &&
        StepAdvances(ProgramState, fGrid.Cell(r, ColumnOf(TProperty::RangepO2)),
                     fGrid.Cell(r, ColumnOf(TProperty::StablepO2)),
                     fGrid.Cell(r, ColumnOf(TProperty::StableI)), Ask(fLinks.RCAppliesToCurrent))) {
        CurrentStep += 1;
        LogEvent(QStringLiteral("Step"), QStringLiteral("step %1 settled at %2 s; step %3 begins")
                                             .arg(CurrentStep)
                                             .arg(FormatGeneral(p.Time))
                                             .arg(CurrentStep + 1));
        if (fLinks.Save)
            fLinks.Save();
    }

    if (Ask(fLinks.AutoScroll) && fLinks.ScrollToLastRow)
        fLinks.ScrollToLastRow();
}

void TRowBuilder::DeleteFirstPoints() {
    // 101, not 100: the button has always removed one point more than its caption says.
    if (fLinks.Plot)
        fLinks.Plot->DeleteFirstPoints(101);
}

void TRowBuilder::ClearAllData() {
    if (fLinks.Plot)
        fLinks.Plot->ClearAllData();
    fGrid.ClearData();
}
