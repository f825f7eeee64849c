#pragma once
// The process-wide state that the window, the supervisory tick and the two worker threads share.
// Everything here is read and written on the main thread only: a worker reaches it solely from its
// update method, which runs on the main thread through its hand-over (see common/HandOver.h).
#include "common/DateTime.h"

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

// A completed data point, handed from the SourceMeter thread's update to the row builder.
struct TDataPoint {
    double PumpV = 0;      // average pump voltage, V
    double PumpI = 0;      // average pump current, A
    std::int32_t Mode = 0; // the integrating TMode ordinal + 10
    bool CellpO2Valid = false;
    double CellpO2 = 0;  // average sensor pO2, atm
    double Temp = 0;     // average cell temperature, degC
    double Time = 0;     // s from the start of the integration mode to completion
    double Interval = 0; // s spanned by the averaged current and temperature readings
    bool Ready = false;  // set last by the writer, cleared by the row builder
    // What the point was measured under, so its row tells the truth even when the row is built
    // after the next step or setting has begun.
    TDateTime Date = 0;    // completion time (DataPointDate of this point)
    std::int32_t Step = 0; // CurrentStep while the point was integrated (PIDStep, PPS)
    double SetPoint = 0;   // PID setpoint while the point was integrated (log pO2, or V in PPS)
};

class TThread2000;
class TThread2401;
class TPID;
class TDataSynchronizer;

extern TProgramState ProgramState;
extern double SensorAx;
extern double SensorBx;
extern double RCDuration;  // s
extern double RCThreshold; // percent
extern TDateTime ExperimentStartTime;
extern TDateTime LastSaveTime;
extern std::int32_t CurrentStep;
extern double GSCurrentMicroA;
extern double LastCellTemp;
extern TDateTime LastCellTempTime; // when the multimeter last delivered a cell temperature
extern QString SMUComPort;
extern std::int32_t SaveFileNumber;
extern TDateTime DataPointDate;
extern TDataPoint DataPoint; // the newest completed point
// Completed points not yet turned into rows, oldest first: however long the main thread was busy,
// every point becomes exactly one row, in order.
extern std::deque<TDataPoint> DataPointQueue;
// Completes the hand-over of a point: it becomes DataPoint (Ready set) and joins the queue.
void HandOverDataPoint(const TDataPoint& point);

extern TThread2000* Thread2000;
extern TThread2401* Thread2401;
extern TPID* PID;
extern TDataSynchronizer* SynchronizerI;
extern TDataSynchronizer* SynchronizerV;
extern TDataSynchronizer* SynchronizerT;
extern TDataSynchronizer* SynchronizerpO2;

// Puts every variable back to its start value (process start, and between tests).
void ResetSharedState();
