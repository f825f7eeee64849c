#include "experiment/RowBuilder.h"

#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "control/TPID.h"
#include "diagnostics/EventLog.h"
#include "experiment/IRowPlot.h"
#include "recording/ColumnTable.h"
#include "recording/PumpOxygen.h"
#include "recording/RelativeChange.h"
#include "recording/TDataGridModel.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {
template <class T> T Ask(const std::function<T()>& f) {
    return f ? f() : T{};
}
} // namespace

TRowBuilder::TRowBuilder(TRunState& run, TDataGridModel& grid, TRowBuilderLinks links)
    : fRun(run), fGrid(grid), fLinks(std::move(links)) {}

TStepCriteria TRowBuilder::Criteria(const TDataRow& row, double currentChangeA, double floorA) {
    TStepCriteria c;
    c.InRange = row.IsTrue(TProperty::RangepO2);
    c.PO2Stable = row.IsTrue(TProperty::StablepO2);
    const bool atLimit = row[TProperty::StableI] == TDataRow::kMaxI;
    // A NaN change (no fit) fails the comparison.
    c.CurrentStable = row.IsTrue(TProperty::StableI) || (!atLimit && std::fabs(currentChangeA) < floorA);
    return c;
}

bool TRowBuilder::StepAdvances(TProgramState state, const TDataRow& row, bool rcAppliesToCurrent) {
    return StepAdvances(state, Criteria(row, std::nan(""), 0), rcAppliesToCurrent);
}

bool TRowBuilder::StepAdvances(TProgramState state, const TStepCriteria& criteria, bool rcAppliesToCurrent) {
    const bool inRange = criteria.InRange;
    const bool pO2Stable = criteria.PO2Stable;
    const bool currentStable = criteria.CurrentStable;
    switch (state) {
    case TProgramState::PIDStep:
        return inRange && pO2Stable && (!rcAppliesToCurrent || currentStable);
    case TProgramState::PPS:
        // The current always counts here; "MaxI" (current at its limit) holds the step.
        return pO2Stable && currentStable;
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
    while (!fRun.DataPointQueue.empty()) {
        const TDataPoint p = fRun.DataPointQueue.front();
        fRun.DataPointQueue.pop_front();
        if (fRun.DataPointQueue.empty())
            fRun.DataPoint.Ready = false;
        Build(p);
    }
    fRun.DataPoint.Ready = false;
    fBuilding = false;
}

bool TRowBuilder::StepHasEvidence(const TDataPoint& p, int row) {
    // A run of rows ends at a mode-change row (or a cleared grid): the row before this one then
    // carries another Mode. Within a run, a new step starts where the point's step changes.
    int previousMode = 0, mode = 0;
    const bool runGoesOn = row > 1 && fGrid.Grid().Mode(row - 1, previousMode) &&
                           fGrid.Grid().Mode(row, mode) && previousMode == mode;
    if (!runGoesOn || p.Mode != fStepMode || p.Step != fStepIndex || p.Time < fStepFirstTime) {
        fStepMode = p.Mode;
        fStepIndex = p.Step;
        fStepFirstTime = p.Time;
    }
    return p.Time - fStepFirstTime >= fRun.RCDuration;
}

void TRowBuilder::Build(const TDataPoint& p) {
    const TDateTime date = p.Date > 0 ? p.Date : fRun.DataPointDate;
    // Minutes at the point's completion, so a row built late still sits at its own time; on the
    // monotonic clock, so the plot neither folds back nor leaps at a daylight-saving change.
    const double minutes =
        ((p.Monotonic > 0 ? p.Monotonic : MonotonicSeconds()) - fRun.ExperimentStartTime) / 60.0;
    const TProgramState measuredIn = TProgramState(std::uint8_t(std::max(0, p.Mode - 10)));

    if (fLinks.Plot)
        fLinks.Plot->AppendDataPoint(minutes, p.PumpV, p.PumpI, p.Temp,
                                     p.CellpO2Valid ? std::optional<double>(p.CellpO2) : std::nullopt);

    // The point's own numbers go in first: the estimates and fits below read this row back.
    TDataRow row;
    row[TProperty::Time] = p.Time;
    row[TProperty::Interval] = p.Interval;
    row[TProperty::PumpV] = p.PumpV;
    row[TProperty::PumpI] = p.PumpI;
    row[TProperty::Mode] = p.Mode;
    row[TProperty::Date] = date;
    if (p.Date > 0)
        row.UtcOffsetS = p.UtcOffsetS;
    if (p.CellpO2Valid)
        row[TProperty::CellpO2] = p.CellpO2;
    row[TProperty::Temp] = p.Temp;
    // Step and SP come from what the point was measured under, not from the state at the time the
    // row is built: a point in progress when a step advances belongs to the old step.
    const bool program = measuredIn == TProgramState::PIDStep || measuredIn == TProgramState::PPS;
    if (program) {
        row[TProperty::Step] = p.Step + 1;
        row[TProperty::SetPoint] = p.SetPoint;
    }
    const int r = fGrid.AddRow(row);

    // The galvanostatic setting the point completed under, whenever its row is built.
    const TPumpOxygenInputs pump = TPumpOxygenInputs::FromLastRow(fGrid.Grid(), p.Galvanostatic,
                                                                  p.GSCurrentMicroA, Ask(fLinks.FlushGaspO2));
    double flush = 0;
    if (FlushSidepO2(flush, pump)) {
        if (fLinks.SetFlushStatus)
            fLinks.SetFlushStatus(QStringLiteral("Flush pO2 ") +
                                  FormatFloat(QStringLiteral("0.000 000"), flush) + QStringLiteral(" atm"));
        fGrid.SetValue(r, TProperty::FlushpO2, flush);
    } else if (fLinks.SetFlushStatus) {
        fLinks.SetFlushStatus(QStringLiteral("Flush pO2 unknown"));
    }

    double cell = 0;
    if (fRun.ProgramState == TProgramState::SetCurrent && CellSidepO2(cell, pump)) {
        fGrid.SetValue(r, TProperty::CellpO2P, cell);
        if (fLinks.Plot)
            fLinks.Plot->AppendPumppO2(minutes, cell);
    }

    // The range, too, is judged against the setpoint the point was measured under.
    if (measuredIn == TProgramState::PIDStep || measuredIn == TProgramState::PIDSet)
        WriteRangeFlag(fGrid, r, p.CellpO2, p.SetPoint, fRun.RCThreshold);

    double currentChangeA = 0;
    WriteStabilityFlags(fGrid, r, p.PumpI, fRun.RCDuration, fRun.RCThreshold, &currentChangeA);
    const bool evidence = program && StepHasEvidence(p, r);
    const TStepCriteria criteria =
        Criteria(fGrid.Row(r), currentChangeA, Ask(fLinks.CurrentFloorMicroA) * 1e-6);
    if (program && fLinks.StepStatus)
        fLinks.StepStatus->Judged(measuredIn, p.Step, criteria);

    if (fLinks.RowCompleted)
        fLinks.RowCompleted(r);

    // A step advances only on a row measured under the running step whose rows reach back the
    // whole relative-change window, so the fit that judged it saw nothing of the step before.
    if (measuredIn == fRun.ProgramState && p.Step == fRun.CurrentStep && evidence &&
        StepAdvances(fRun.ProgramState, criteria, Ask(fLinks.RCAppliesToCurrent))) {
        if (fLinks.AdvanceStep)
            fLinks.AdvanceStep();
        else
            fRun.CurrentStep += 1;
        LogEvent(QStringLiteral("Step"), QStringLiteral("step %1 settled at %2 s; step %3 begins")
                                             .arg(fRun.CurrentStep)
                                             .arg(FormatGeneral(p.Time))
                                             .arg(fRun.CurrentStep + 1));
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
