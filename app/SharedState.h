#pragma once
// The process-wide state that the window, the supervisory tick and the two worker threads share.
// Everything here is read and written on the main thread only: a worker reaches it solely from its
// update method, which runs on the main thread while the worker waits (see common/Synchronize.h).
#include "common/DateTime.h"

#include <QString>
#include <cstdint>

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

// The last completed data point, handed from the SourceMeter thread's update to the row builder.
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
};

class TfrmOndrix;
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
extern QString SMUComPort;
extern std::int32_t SaveFileNumber;
extern TDateTime DataPointDate;
extern TDataPoint DataPoint;

extern TfrmOndrix* frmOndrix;
extern TThread2000* Thread2000;
extern TThread2401* Thread2401;
extern TPID* PID;
extern TDataSynchronizer* SynchronizerI;
extern TDataSynchronizer* SynchronizerV;
extern TDataSynchronizer* SynchronizerT;
extern TDataSynchronizer* SynchronizerpO2;

// Puts every variable back to its start value (process start, and between tests).
void ResetSharedState();
