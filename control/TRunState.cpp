#include "control/TRunState.h"

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

void TRunState::HandOverDataPoint(const TDataPoint& point) {
    DataPoint = point;
    DataPoint.Ready = true;
    DataPointQueue.push_back(DataPoint);
}

void TRunState::Reset() {
    ProgramState = TProgramState::Uninitialized;
    SensorAx = SensorBx = 0.0;
    RCDuration = 300.0;
    RCThreshold = 0.01;
    ExperimentStartTime = 0;
    CurrentStep = 0;
    GSCurrentMicroA = 0.0;
    LastCellTemp = 0.0;
    LastCellTempTime = 0;
    DataPointDate = 0;
    DataPoint = TDataPoint();
    DataPointQueue.clear();
    Points = TPointIntegrator();
    LastSaveTime = 0;
    SaveFileNumber = 1;
    LastSavedFile.clear();
    LastSavedTime = 0;
    LinkSMU.Reset();
    LinkDMM.Reset();
}
