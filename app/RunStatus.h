#pragma once
// The run's status as one struct (TMonitorStatus), made from the run, the experiment, the running
// step and the two links, never from a widget; and the texts of the status bar's panes made from
// that struct. The window shows the texts and hands the same struct to the web monitor, so the two
// always say the same.
#include "monitor/MonitorStatus.h"

#include <QString>

class TExperimentModel;
class TLinkMonitor;
class TStepStatus;
struct TRunState;

// What the status is made of.
struct TRunStatusSources {
    const TRunState& Run;
    const TExperimentModel& Model; // the rows, the step program, the sample and the cell
    const TStepStatus& Step;       // followed to the run's step before the status is made
    const TLinkMonitor& SMU;
    const TLinkMonitor& DMM;
    double PIDSetSetpoint = 0; // log10 pO2 (atm) the PIDSet mode follows, as the operator set it
    QString Notice;            // the faults the operator must know of, as one line
    QString JournalFile;       // empty before the run's first row
    QString FlushText;         // the flush gas's pO2 as the row builder last gave it
    double Delta = 0;          // the sample's delta now (NaN: unknown)
};

// The panes of the status bar for one status.
struct TStatusBarTexts {
    QString Links;      // the link faults, "Valid instruments" or "Invalid instruments"
    int LinksImage = 0; // 2 valid, 0 invalid or faulty
    bool LinkFault = false;
    QString Temperature;
    int TemperatureImage = 0; // 2 valid, 0 not, -1 none (paused)
    QString Flush;
    QString RC;     // empty until a row carries a relative change
    QString Mode;   // "Mode: PPS  Step 3 of 8"
    QString Step;   // the running step's time and criteria; empty when no step runs
    QString Notice; // empty when there is none
};

class TRunStatus {
public:
    static TMonitorStatus Make(const TRunStatusSources& sources);
    static TStatusBarTexts StatusBar(const TMonitorStatus& status);
    // The mode pane's text: "Mode: Step:0003  Step 3 of 8" in PIDStep (the step's number as its
    // row gives it), "Mode: PPS  Step 3 of 8" in PPS, "Mode: " and the state's name otherwise
    // (also past a program's last row); with the hint of a PID table not built yet.
    static QString ModeText(const TRunState& run, const TExperimentModel& model);
};
