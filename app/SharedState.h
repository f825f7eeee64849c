#pragma once
// The process-wide state that the window, the supervisory tick and the two worker threads share.
// Everything here is read and written on the main thread only. The part a run needs lives in the
// one process-wide TRunState (TheRun()), which the window hands to the workers; the names below
// are references into it, so app/ code reads them as plain variables. The rest belongs to the
// window alone.
#include "common/DateTime.h"
#include "control/TRunState.h"

#include <QString>
#include <cstdint>
#include <deque>

class TThread2000;
class TThread2401;

// The run of this process.
TRunState& TheRun();

extern TProgramState& ProgramState;
extern double& SensorAx;
extern double& SensorBx;
extern double& RCDuration;          // s
extern double& RCThreshold;         // percent
extern double& ExperimentStartTime; // monotonic s
extern std::int32_t& CurrentStep;
extern double& GSCurrentMicroA;
extern double& LastCellTemp;
extern double& LastCellTempTime; // monotonic s when the multimeter last delivered a cell temperature
extern TDateTime& DataPointDate;
extern TDataPoint& DataPoint; // the newest completed point
// Completed points not yet turned into rows, oldest first.
extern std::deque<TDataPoint>& DataPointQueue;
// Completes the hand-over of a point: it becomes DataPoint (Ready set) and joins the queue.
void HandOverDataPoint(const TDataPoint& point);
extern TPID*& PID;
extern TDataSynchronizer*& SynchronizerI;
extern TDataSynchronizer*& SynchronizerV;
extern TDataSynchronizer*& SynchronizerT;
extern TDataSynchronizer*& SynchronizerpO2;

// The window's own.
extern TDateTime LastSaveTime;
extern QString SMUComPort;
extern std::int32_t SaveFileNumber;
extern TThread2000* Thread2000;
extern TThread2401* Thread2401;

// Puts every variable back to its start value (process start, and between tests).
void ResetSharedState();
