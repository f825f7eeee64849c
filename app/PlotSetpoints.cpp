#include "app/PlotSetpoints.h"

#include "control/TRunState.h"

#include <algorithm>
#include <cmath>
#include <limits>

TPlotSetpoints::TChange TPlotSetpoints::NoteRow(const TDataRow& row, double newest, double pidSetpointLog) {
    TChange change;
    if (row.Kind == TRowKind::ModeChange) {
        // The change takes effect after the newest point: the next point is the new mode's first.
        const int state = row.Has(TProperty::Mode) ? int(row[TProperty::Mode]) : -1;
        fMarks.append(
            {newest, QStringLiteral("Mode: ") + ProgramStateName(TProgramState(std::uint8_t(state))), true});
        change.MarkAdded = true;
        EndSetpoints();
        fRowMode = -1;
        fRowStep = -1;
        fRowKey = newest;
        return change;
    }
    // A data row's Mode is the integrating mode + 10; its step (from 1) and setpoint are there in the
    // step programs only. The setpoint is log10 of pO2 (atm) in the PID modes, the voltage (V) in PPS.
    const int mode = int(row[TProperty::Mode]) - 10;
    const auto state = TProgramState(std::uint8_t(std::max(0, mode)));
    const bool program = state == TProgramState::PIDStep || state == TProgramState::PPS;
    const double step = program && row.Has(TProperty::Step) ? row[TProperty::Step] : -1;
    // The point before this one closed the step before: a new step starts at its time.
    const double from = mode == fRowMode ? fRowKey : std::min(fRowKey, newest);
    if (program && mode == fRowMode && fRowStep >= 0 && step >= 0 && step != fRowStep) {
        fMarks.append({from, QStringLiteral("Step %1").arg(step), false});
        change.MarkAdded = true;
    }
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    double pO2 = kNaN, volts = kNaN;
    // pO2 (atm) = 10^(log10 pO2).
    if (state == TProgramState::PIDStep && row.Has(TProperty::SetPoint))
        pO2 = std::pow(10.0, row[TProperty::SetPoint]);
    else if (state == TProgramState::PIDSet && std::isfinite(pidSetpointLog))
        pO2 = std::pow(10.0, pidSetpointLog);
    if (state == TProgramState::PPS && row.Has(TProperty::SetPoint))
        volts = row[TProperty::SetPoint];
    change.LineStarted |= SetSetpoint(0, from, newest, pO2);
    change.LineStarted |= SetSetpoint(1, from, newest, volts);
    fRowMode = mode;
    fRowStep = step;
    fRowKey = newest;
    return change;
}

bool TPlotSetpoints::SetSetpoint(int line, double from, double to, double value) {
    TLine& l = fLines[std::size_t(line)];
    if (!std::isfinite(value)) {
        l.Open = false;
        return false;
    }
    if (l.Open && l.Runs.back().Value == value) {
        l.Runs.back().To = to;
        return false;
    }
    const bool first = l.Runs.isEmpty();
    if (l.Open)
        l.Runs.back().To = from; // the run before ends where this one begins
    l.Runs.append({from, to, value});
    l.Open = true;
    l.Range.Add(value);
    return first;
}

void TPlotSetpoints::EndSetpoints() {
    for (TLine& l : fLines)
        l.Open = false;
}

void TPlotSetpoints::DropBefore(double first) {
    fMarks.erase(
        std::remove_if(fMarks.begin(), fMarks.end(), [&](const TMark& m) { return m.Minutes < first; }),
        fMarks.end());
    for (TLine& line : fLines) {
        QList<TRun> kept;
        line.Range = TPlotValueRange();
        for (TRun run : line.Runs)
            if (run.To >= first) {
                run.From = std::max(run.From, first);
                kept.append(run);
                line.Range.Add(run.Value);
            }
        line.Open = line.Open && !kept.isEmpty();
        line.Runs = kept;
    }
}

void TPlotSetpoints::Clear() {
    fMarks.clear();
    fLines = {};
    fRowMode = -1;
    fRowStep = -1;
    fRowKey = 0;
}
