#include "app/RowBuilder.h"

#include "app/DataPlot.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "control/TPID.h"
#include "recording/ColumnTable.h"
#include "recording/PumpOxygen.h"
#include "recording/RelativeChange.h"
#include "recording/TDataGridModel.h"

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
    // go on: the point is taken (Ready cleared) before anything else, and a nested call builds
    // nothing, so one point never becomes two rows and a point arriving meanwhile waits for the
    // next tick instead of being dropped.
    if (!DataPoint.Ready || fBuilding)
        return;
    fBuilding = true;
    DataPoint.Ready = false;
    Build();
    fBuilding = false;
}

void TRowBuilder::Build() {
    const TDataPoint p = DataPoint;
    const TDateTime date = DataPointDate;
    const double minutes = (Now() - ExperimentStartTime) * SecondsPerDay / 60.0;

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

    if ((ProgramState == TProgramState::PIDStep || ProgramState == TProgramState::PIDSet) && PID)
        WriteRangeFlag(fGrid, r, p.CellpO2, PID->Setpoint(), RCThreshold);

    if (ProgramState == TProgramState::PIDStep || ProgramState == TProgramState::PPS) {
        fGrid.SetCell(r, ColumnOf(TProperty::Step), QString::number(CurrentStep + 1));
        if (PID)
            fGrid.SetCell(r, ColumnOf(TProperty::SetPoint), FormatGeneral(PID->Setpoint()));
    }

    WriteStabilityFlags(fGrid, fIndex, r, p.PumpI, RCDuration, RCThreshold);

    if (StepAdvances(ProgramState, fGrid.Cell(r, ColumnOf(TProperty::RangepO2)),
                     fGrid.Cell(r, ColumnOf(TProperty::StablepO2)),
                     fGrid.Cell(r, ColumnOf(TProperty::StableI)), Ask(fLinks.RCAppliesToCurrent))) {
        CurrentStep += 1;
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
