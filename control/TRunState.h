#pragma once
// The state of a run that the two workers' results steps and the row builder share: the
// program state, the sensor calibration, the operator's step and current settings, the averages of
// the open data point and the completed points on their way to the grid.
//
// Everything here is read and written on the main thread only: a worker reaches it solely from its
// update method, which runs on the main thread through its hand-over (see common/HandOver.h). The
// one exception are the two instrument links, which each worker's thread writes and any thread
// reads (see instruments/TLinkMonitor.h). The workers get the run they serve handed to them;
// nothing here is a global.
#include "common/DateTime.h"
#include "instruments/TLinkMonitor.h"
#include "recording/DataPoint.h"
#include "recording/PointIntegrator.h"

#include <QString>
#include <cstdint>
#include <deque>

enum class TProgramState : std::uint8_t {
    Uninitialized = 0,
    Paused = 1,
    SetCurrent = 2,
    SetVoltage = 3,
    PIDSet = 4,
    PIDStep = 5,
    PPS = 6,
    ToExit = 7,
};

// The SourceMeter thread's own mode; ordinals 0 to 6 coincide with TProgramState.
enum class TMode : std::uint8_t {
    Uninitialized = 0,
    Paused = 1,
    SetCurrent = 2,
    SetVoltage = 3,
    PIDSet = 4,
    PIDStep = 5,
    PPS = 6,
};

// The name the status bar shows ("Mode: Paused").
QString ProgramStateName(TProgramState s);
// The thread mode of a program state, by ordinal; ToExit has none and gives Uninitialized.
TMode ModeOfState(TProgramState s);

class TPID;

struct TRunState {
    TRunState() = default;
    // One run is shared by reference: the workers and the row builder serve the same one.
    TRunState(const TRunState&) = delete;
    TRunState& operator=(const TRunState&) = delete;

    TProgramState ProgramState = TProgramState::Uninitialized;
    // Calibration of the oxygen sensor (offset and slope of its voltage).
    double SensorAx = 0.0;
    double SensorBx = 0.0;
    // The stability criterion of the row builder: the time span and the relative change.
    double RCDuration = 300.0; // s
    double RCThreshold = 0.01; // percent
    // Monotonic seconds (MonotonicSeconds) when the first integration began; 0 before it. The
    // plot's time axis counts from it.
    double ExperimentStartTime = 0;
    std::int32_t CurrentStep = 0; // step of the running step program
    double GSCurrentMicroA = 0.0; // the galvanostatic setpoint, µA
    double LastCellTemp = 0.0;    // degC
    double LastCellTempTime = 0;  // monotonic s when the multimeter last delivered a cell temperature
    TDateTime DataPointDate = 0;  // when the integration mode began or the last point completed
    TDataPoint DataPoint;         // the newest completed point
    // Completed points not yet turned into rows, oldest first: however long the main thread was
    // busy, every point becomes exactly one row, in order.
    std::deque<TDataPoint> DataPointQueue;

    // The data-file saves of this run. LastSaveTime is when the last save began (the autosave
    // counts from it, failed or not; 0 before the first); SaveFileNumber is the number the next
    // file of the day is tried under; LastSavedFile and LastSavedTime are the last save the disk
    // took whole, as the monitor reports it.
    TDateTime LastSaveTime = 0;
    std::int32_t SaveFileNumber = 1;
    QString LastSavedFile;
    TDateTime LastSavedTime = 0;

    // The controller of the PID modes; owned by the window.
    TPID* PID = nullptr;
    // The open data point: the workers' readings go into it, and it completes the points.
    TPointIntegrator Points;

    // The links of the two instruments: the SourceMeter worker reports to LinkSMU, the multimeter
    // worker to LinkDMM; the status bar, the monitor and the event log read them.
    TLinkMonitor LinkSMU{QStringLiteral("SMU")};
    TLinkMonitor LinkDMM{QStringLiteral("DMM")};
    // Whether both links deliver: a data point is only built from readings taken while they do.
    bool LinksDeliver() const { return LinkSMU.IsOK() && LinkDMM.IsOK(); }

    // Completes the hand-over of a point: it becomes DataPoint (Ready set) and joins the queue.
    void HandOverDataPoint(const TDataPoint& point);
    // Puts every value back to its start value, the open point and the links' states included (a
    // link keeps its listener and its count of set-ups); the PID controller is left to its owner.
    void Reset();
};
