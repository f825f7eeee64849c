#include "app/SharedState.h"

TRunState& TheRun() {
    // Built on first use, so a reference below never binds to an object not yet constructed,
    // whatever the order in which the program's static variables are initialized.
    static TRunState run;
    return run;
}

TProgramState& ProgramState = TheRun().ProgramState;
double& SensorAx = TheRun().SensorAx;
double& SensorBx = TheRun().SensorBx;
double& RCDuration = TheRun().RCDuration;
double& RCThreshold = TheRun().RCThreshold;
double& ExperimentStartTime = TheRun().ExperimentStartTime;
std::int32_t& CurrentStep = TheRun().CurrentStep;
double& GSCurrentMicroA = TheRun().GSCurrentMicroA;
double& LastCellTemp = TheRun().LastCellTemp;
double& LastCellTempTime = TheRun().LastCellTempTime;
TDateTime& DataPointDate = TheRun().DataPointDate;
TDataPoint& DataPoint = TheRun().DataPoint;
std::deque<TDataPoint>& DataPointQueue = TheRun().DataPointQueue;
TPID*& PID = TheRun().PID;
TDataSynchronizer*& SynchronizerI = TheRun().SynchronizerI;
TDataSynchronizer*& SynchronizerV = TheRun().SynchronizerV;
TDataSynchronizer*& SynchronizerT = TheRun().SynchronizerT;
TDataSynchronizer*& SynchronizerpO2 = TheRun().SynchronizerpO2;

void HandOverDataPoint(const TDataPoint& point) {
    TheRun().HandOverDataPoint(point);
}

TDateTime LastSaveTime = 0;
QString SMUComPort;
std::int32_t SaveFileNumber = 1;
TThread2000* Thread2000 = nullptr;
TThread2401* Thread2401 = nullptr;

void ResetSharedState() {
    TheRun().Reset();
    LastSaveTime = 0;
    SMUComPort.clear();
    SaveFileNumber = 1;
}
