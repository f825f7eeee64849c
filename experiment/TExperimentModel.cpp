#include "experiment/TExperimentModel.h"

#include "common/Clock.h"
#include "control/TPID.h"
#include "diagnostics/EventLog.h"

TExperimentModel::TExperimentModel(TRunState& run, QObject* parent)
    : QObject(parent), fRun(run), fPIDList(TPIDListContent::Starting()), fPID(std::make_unique<TPID>()) {
    fRows.FormatGrid();
    fRun.PID = fPID.get();
}

// The run may be gone already (the window frees its experiment after its own members): the run's
// pointer is not touched here.
TExperimentModel::~TExperimentModel() = default;

void TExperimentModel::SetPIDList(const TPIDListContent& list) {
    if (list == fPIDList)
        return;
    fPIDList = list;
    emit PIDListChanged();
}

void TExperimentModel::SetDetails(const TSampleDetails& sample, const TCellDetails& cell,
                                  const QString& notes) {
    fSample = sample;
    fCell = cell;
    fNotes = notes;
    fRun.RCDuration = cell.RCDuration;
    fRun.RCThreshold = cell.RCThreshold;
    fRun.SensorAx = cell.SensorAx;
    fRun.SensorBx = cell.SensorBx;
    emit DetailsChanged();
}

TSampleValues TExperimentModel::SampleValues() const {
    return CalculateSampleValues(fSample, fCell.Vhpws);
}

TExperimentFileRecord TExperimentModel::FileRecord() const {
    TExperimentFileRecord r;
    r.Sample = fSample;
    r.Values = SampleValues();
    r.Cell = fCell;
    r.Notes = fNotes;
    r.Grid = &fRows.Grid();
    return r;
}

void TExperimentModel::SetStepProgram(const QList<TStep>& steps) {
    if (steps == fSteps)
        return;
    fSteps = steps;
    emit StepProgramChanged();
}

bool TExperimentModel::StepPastEnd() const {
    return fRun.CurrentStep > StepCount() - 1;
}

bool TExperimentModel::StepSetpoint(double& setpoint) const {
    if (fRun.CurrentStep < 0 || StepPastEnd())
        return false;
    const TStep& step = fSteps[fRun.CurrentStep];
    if (fRun.ProgramState == TProgramState::PIDStep) {
        setpoint = step.Log10pO2();
        return true;
    }
    if (fRun.ProgramState == TProgramState::PPS) {
        setpoint = step.MilliVolts() / 1000.0; // mV to V
        return true;
    }
    return false;
}

void TExperimentModel::ChangeMode(TProgramState state, TModeChangeReason reason) {
    const TProgramState before = fRun.ProgramState;
    switch (reason) {
    case TModeChangeReason::Operator:
        if (before != TProgramState::PIDSet && before != TProgramState::PIDStep && fRun.PID)
            fRun.PID->ResetIntegral();
        if ((state == TProgramState::PIDStep || state == TProgramState::PPS) && before != state)
            fRun.CurrentStep = 0;
        fRun.ProgramState = state;
        AppendModeChangeRow(state);
        LogEvent(QStringLiteral("Mode"), QStringLiteral("set to ") + ProgramStateName(state));
        break;
    case TModeChangeReason::Validation:
        fRun.ProgramState = state;
        if (before != state)
            LogEvent(QStringLiteral("Mode"), QStringLiteral("changed from %1 to %2 by the validation")
                                                 .arg(ProgramStateName(before), ProgramStateName(state)));
        break;
    case TModeChangeReason::ProgramEnded:
        fRun.ProgramState = state;
        LogEvent(
            QStringLiteral("Program"),
            QStringLiteral("step program ended after %1 steps: galvanostatic at 0 µA").arg(fRun.CurrentStep));
        break;
    case TModeChangeReason::Close:
        fRun.ProgramState = state;
        break;
    }
    emit ModeChanged(state, reason);
}

void TExperimentModel::SetGSCurrent(double microA) {
    if (fRun.GSCurrentMicroA == microA)
        return;
    fRun.GSCurrentMicroA = microA;
    emit GSCurrentChanged(microA);
}

void TExperimentModel::SetSetVoltagemV(int mV) {
    if (fSetVoltagemV == mV)
        return;
    fSetVoltagemV = mV;
    emit SetVoltageChanged(mV);
}

void TExperimentModel::SetPIDSetpoint(double setpoint) {
    if (!fRun.PID || fRun.PID->Setpoint() == setpoint)
        return;
    fRun.PID->SetSetpoint(setpoint);
    emit PIDSetpointChanged(setpoint);
}

void TExperimentModel::AdvanceStep() {
    fRun.CurrentStep += 1;
    emit StepAdvanced(fRun.CurrentStep);
}

int TExperimentModel::AppendModeChangeRow(TProgramState state) {
    TDataRow row;
    row.Kind = TRowKind::ModeChange;
    row[TProperty::Mode] = int(state);
    const TWallTime now = NowWithOffset();
    row[TProperty::Date] = now.Local;
    row.UtcOffsetS = now.UtcOffsetS;
    const int r = fRows.AddRow(row);
    emit RowCompleted(r);
    return r;
}
