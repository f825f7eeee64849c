#include "experiment/TExperimentModel.h"

#include "common/Clock.h"
#include "control/TPID.h"
#include "diagnostics/EventLog.h"
#include "experiment/StepProgram.h"

TExperimentModel::TExperimentModel(TRunState& run, QObject* parent) : QObject(parent), fRun(run) {
    fRows.FormatGrid();
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

void TExperimentModel::SetStepProgram(const QStringList& rows) {
    if (rows == fSteps)
        return;
    fSteps = rows;
    emit StepProgramChanged();
}

bool TExperimentModel::StepPastEnd() const {
    return fRun.CurrentStep > StepCount() - 1;
}

bool TExperimentModel::StepSetpoint(double& setpoint) const {
    if (fRun.CurrentStep < 0 || StepPastEnd())
        return false;
    const QString& row = fSteps[fRun.CurrentStep];
    if (fRun.ProgramState == TProgramState::PIDStep)
        return StepProgram::Setpoint(row, setpoint);
    if (fRun.ProgramState == TProgramState::PPS) {
        // The tick has always read six characters of the mV field.
        double mV = 0;
        if (!StepProgram::Millivolts(row, mV, 6))
            return false;
        setpoint = mV / 1000.0;
        return true;
    }
    return false;
}

void TExperimentModel::ChangeMode(TProgramState state) {
    if (fRun.ProgramState != TProgramState::PIDSet && fRun.ProgramState != TProgramState::PIDStep && fRun.PID)
        fRun.PID->ResetIntegral();
    if (state == TProgramState::PIDStep || state == TProgramState::PPS) {
        if (fRun.ProgramState != state) {
            fRun.ProgramState = state;
            fRun.CurrentStep = 0;
        }
    } else {
        fRun.ProgramState = state;
    }
    AppendModeChangeRow(fRun.ProgramState);
    LogEvent(QStringLiteral("Mode"), QStringLiteral("set to ") + ProgramStateName(fRun.ProgramState));
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
