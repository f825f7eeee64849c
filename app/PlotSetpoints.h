#pragma once
// What the plots draw besides the measured curves, worked out from the rows as they enter the
// grid: the setpoint the cell is driven to as runs of constant value (line 0 the pO2 setpoint in
// atm, line 1 the voltage setpoint in V), and the vertical marks of step advances and mode
// changes. A plain class, so where a step or a mode begins is decided without a plot.
#include "app/PlotValueRange.h"
#include "recording/DataRow.h"

#include <QList>
#include <QString>
#include <array>

class TPlotSetpoints {
public:
    // A vertical mark: a step advance or a mode change, at its time in minutes.
    struct TMark {
        double Minutes;
        QString Label;
        bool ModeChange;
    };
    // A stretch of constant setpoint, in minutes.
    struct TRun {
        double From, To, Value;
    };
    // What one row changed.
    struct TChange {
        bool MarkAdded = false;   // the newest of Marks() is new
        bool LineStarted = false; // a line got its first run (its legend entry appears)
    };

    // A row that entered the grid; `newest` is the time (minutes) of the plot's newest point, the
    // row's own. `pidSetpointLog` is the PID setpoint (log10 atm) in force, which a PIDSet row does
    // not carry.
    TChange NoteRow(const TDataRow& row, double newest, double pidSetpointLog);
    // Drops the marks before `first` (minutes) and cuts the runs there: the points before it left.
    void DropBefore(double first);
    void Clear();

    const QList<TMark>& Marks() const { return fMarks; }
    const QList<TRun>& Runs(int line) const { return fLines[std::size_t(line)].Runs; }
    // The values of a line's runs, so the axis keeps the setpoint in view.
    const TPlotValueRange& Range(int line) const { return fLines[std::size_t(line)].Range; }

private:
    struct TLine {
        QList<TRun> Runs;
        bool Open = false; // the last run goes on while the setpoint stays
        TPlotValueRange Range;
    };
    // Extends the line's open run to `to`, or starts a run at `from` when the value changed; a
    // value that is not a finite number ends the open run. True when this was the line's first run.
    bool SetSetpoint(int line, double from, double to, double value);
    void EndSetpoints();

    QList<TMark> fMarks;
    std::array<TLine, 2> fLines;
    // Of the rows noted so far: the mode (data rows' integrating mode), the step of a step program
    // (-1 outside one) and the time of the newest point.
    int fRowMode = -1;
    double fRowStep = -1;
    double fRowKey = 0;
};
