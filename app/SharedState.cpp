#include "app/SharedState.h"

TProgramState ProgramState = TProgramState::Uninitialized;
double SensorAx = 0.0;
double SensorBx = 0.0;
double RCDuration = 300.0;
double RCThreshold = 0.01;
TDateTime ExperimentStartTime = 0;
TDateTime LastSaveTime = 0;
std::int32_t CurrentStep = 0;
double GSCurrentMicroA = 0.0;
double LastCellTemp = 0.0;
TDateTime LastCellTempTime = 0;
QString SMUComPort;
std::int32_t SaveFileNumber = 1;
TDateTime DataPointDate = 0;
TDataPoint DataPoint;
std::deque<TDataPoint> DataPointQueue;

void HandOverDataPoint(const TDataPoint& point) {
    DataPoint = point;
    DataPoint.Ready = true;
    DataPointQueue.push_back(DataPoint);
}

TThread2000* Thread2000 = nullptr;
TThread2401* Thread2401 = nullptr;
TPID* PID = nullptr;
TDataSynchronizer* SynchronizerI = nullptr;
TDataSynchronizer* SynchronizerV = nullptr;
TDataSynchronizer* SynchronizerT = nullptr;
TDataSynchronizer* SynchronizerpO2 = nullptr;

QString ProgramStateName(TProgramState s) {
    switch (s) {
    case TProgramState::Uninitialized:
        return QStringLiteral("Uninitialized");
    case TProgramState::Paused:
        return QStringLiteral("Paused");
    case TProgramState::SetCurrent:
        return QStringLiteral("SetCurrent");
    case TProgramState::SetVoltage:
        return QStringLiteral("SetVoltage");
    case TProgramState::PIDSet:
        return QStringLiteral("PIDSet");
    case TProgramState::PIDStep:
        return QStringLiteral("PIDStep");
    case TProgramState::PPS:
        return QStringLiteral("PPS");
    case TProgramState::ToExit:
        return QStringLiteral("ToExit");
    }
    return QString();
}

TMode ModeOfState(TProgramState s) {
    return s == TProgramState::ToExit ? TMode::Uninitialized : TMode(std::uint8_t(s));
}

void ResetSharedState() {
    ProgramState = TProgramState::Uninitialized;
    SensorAx = SensorBx = 0.0;
    RCDuration = 300.0;
    RCThreshold = 0.01;
    ExperimentStartTime = LastSaveTime = 0;
    CurrentStep = 0;
    GSCurrentMicroA = 0.0;
    LastCellTemp = 0.0;
    LastCellTempTime = 0;
    SMUComPort.clear();
    SaveFileNumber = 1;
    DataPointDate = 0;
    DataPoint = TDataPoint();
    DataPointQueue.clear();
}
