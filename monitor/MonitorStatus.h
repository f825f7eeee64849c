#pragma once
// The run's status: what the window's status bar shows and the web monitor reports, one struct for
// both. Made from the run on the main thread without a widget (TRunStatus in app/), shown by the
// status bar's panes, and read by the monitor's thread through a copy (TMonitorFeed).
#include "common/DateTime.h"
#include "instruments/TLinkMonitor.h"

#include <QString>
#include <limits>
#include <optional>

struct TMonitorStatus {
    QString State;    // the program state's name ("SetCurrent", "Paused", ...)
    QString ModeText; // the mode pane as it reads ("Mode: PPS  Step 3 of 8")
    int Step = 0;     // the running step (1-based) of a step program; 0 outside one
    int StepCount = 0;
    TLinkState SMU = TLinkState::OK;
    TLinkState DMM = TLinkState::OK;
    QString SMUText; // the link's fault text, empty while it is OK
    QString DMMText;
    bool InstrumentsValid = false; // both instruments validated
    QString Notice;                // a fault the operator must know of, empty when none
    QString LastSaveFile;          // empty before the first save of this run
    TDateTime LastSaveTime = 0;    // 0 before the first save
    QString JournalFile;           // empty before the run's first row
    double RCDurationS = 0;        // the span of the relative change
    QString Experiment;            // the experiment's name, as the sample details give it

    // The setpoint the run follows: pO2 in atm (PIDSet, PIDStep) or the pump voltage in V (PPS);
    // no quantity (and NaN) in the other modes.
    enum class TSetpointQuantity { None, PO2, PumpV };
    TSetpointQuantity SetpointQuantity = TSetpointQuantity::None;
    double Setpoint = std::numeric_limits<double>::quiet_NaN();

    // The running step of a step program: how long it has run (negative when none runs) and its
    // advance criteria on the latest judged row; a criterion that does not apply in this mode is
    // absent.
    double StepSeconds = -1;
    std::optional<bool> StepInRange;
    std::optional<bool> StepPO2Stable;
    std::optional<bool> StepCurrentStable;
    double Delta = std::numeric_limits<double>::quiet_NaN(); // the sample's delta now; NaN: unknown

    // Shown in the status bar only.
    // The multimeter's latest cell temperature, degC; NaN while paused (no stale value is shown).
    double CellTempC = 0;
    bool CellTempValid = false; // renewed within two data point lengths and within 500..1055 degC
    QString RCpO2Text;          // the newest row's relative change of pO2 (%) as the grid shows it
    QString FlushText;          // the flush gas's pO2 as the row builder last gave it
};
