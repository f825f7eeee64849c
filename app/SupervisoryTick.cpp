#include "app/SupervisoryTick.h"

#include "acquisition/TThread2000.h"
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "common/Clock.h"
#include "common/Dialogs.h"
#include "common/NumberFormat.h"
#include "control/TPID.h"
#include "control/TThread2401.h"
#include "diagnostics/EventLog.h"
#include "experiment/StepProgram.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"

#include <QCheckBox>
#include <QListWidget>
#include <QRadioButton>

TSupervisoryTick::TSupervisoryTick(TfrmOndrix& form) : QObject(&form), fForm(form) {}

bool TSupervisoryTick::StepPastEnd() const {
    return CurrentStep > fForm.ExperimentControl->ListBoxStepProgram->count() - 1;
}

void TSupervisoryTick::Timer1Timer() {
    if (ProgramState == TProgramState::Uninitialized)
        return;
    fForm.SyncJournal();
    if (ProgramState == TProgramState::ToExit) {
        // Each tick asks again and frees a worker once it has stopped; the close waits for both.
        if (Thread2401) {
            // No current, then stop.
            Thread2401->SetModeEx(TMode::SetCurrent);
            GSCurrentMicroA = 0;
        }
        StopAndFree(Thread2000, false);
        StopAndFree(Thread2401, false);
        return;
    }

    TExperimentDataPage* data = fForm.ExperimentData;
    RCDuration = data->RtDoubleEditRCDuration->Value();
    RCThreshold = data->RtDoubleEditRCThreshold->Value();
    SensorAx = data->RtDoubleEditSensorAx->Value();
    SensorBx = data->RtDoubleEditSensorBx->Value();

    fForm.AddDataUpdates();
    fForm.Statusbar();

    if ((Now() - LastSaveTime) * MinutesPerDay > 30 && ProgramState != TProgramState::Paused)
        fForm.Save();

    QListWidget* steps = fForm.ExperimentControl->ListBoxStepProgram;
    if (ProgramState == TProgramState::PIDStep) {
        if (StepPastEnd()) {
            FallBackToSetCurrent();
        } else {
            double sp = 0;
            if (StepProgram::Setpoint(steps->item(CurrentStep)->text(), sp) && PID)
                PID->SetSetpoint(sp);
        }
    }
    if (ProgramState == TProgramState::PPS) {
        if (StepPastEnd()) {
            FallBackToSetCurrent();
        } else {
            double mV = 0;
            if (StepProgram::Millivolts(steps->item(CurrentStep)->text(), mV, 6) && PID)
                PID->SetSetpoint(mV / 1000.0);
        }
    }
    if (ProgramState == TProgramState::PIDSet && PID)
        PID->SetSetpoint(fForm.ExperimentControl->RtDoubleEditPISSP->Value());

    // Hand the state over, testing it afresh so a fall-back above goes out in this tick.
    if (ProgramState == TProgramState::SetCurrent)
        GSCurrentMicroA = fForm.ExperimentControl->RtIntegerEditCurrentmA->Value();
    if (ProgramState >= TProgramState::Paused && ProgramState <= TProgramState::PPS) {
        if (Thread2401)
            Thread2401->SetModeEx(ModeOfState(ProgramState));
        if (Thread2000)
            Thread2000->SetToPauseEx(ProgramState == TProgramState::Paused);
    }
}

void TSupervisoryTick::FallBackToSetCurrent() {
    TExperimentControlPage* c = fForm.ExperimentControl;
    fHandlersAttached = false;
    c->RtIntegerEditCurrentmA->SetValue(0);
    CheckRadio(c->RadioButtonModePassive);
    ProgramState = TProgramState::SetCurrent;
    fHandlersAttached = true;
    LogEvent(QStringLiteral("Program"),
             QStringLiteral("step program ended after %1 steps: galvanostatic at 0 µA").arg(CurrentStep));
}

QRadioButton* TSupervisoryTick::RadioOf(TProgramState s) const {
    TExperimentControlPage* c = fForm.ExperimentControl;
    switch (s) {
    case TProgramState::Paused:
        return c->RadioButtonModeOff;
    case TProgramState::SetCurrent:
        return c->RadioButtonModePassive;
    case TProgramState::SetVoltage:
        return c->RadioButtonSetVoltage;
    case TProgramState::PIDSet:
        return c->RadioButtonPIDSet;
    case TProgramState::PIDStep:
        return c->RadioButtonPIDStep;
    case TProgramState::PPS:
        return c->RadioButtonPPS;
    default:
        return nullptr;
    }
}

void TSupervisoryTick::CheckRadio(QRadioButton* button) {
    if (!button || button->isChecked()) {
        if (button)
            button->setChecked(true);
        return;
    }
    button->setChecked(true);
    if (fHandlersAttached)
        ChangeModeConfirm(button);
}

void TSupervisoryTick::AppendMarkerRow(TProgramState state) {
    TDataGridModel* grid = fForm.DataGrid;
    TDataRow row;
    row.Kind = TRowKind::ModeChange;
    row[TProperty::Mode] = int(state);
    row[TProperty::Date] = Now();
    const int r = grid->AddRow(row);
    fForm.RowEntered(r);
}

void TSupervisoryTick::ChangeModeConfirm(QObject*) {
    // Once the window is closing no operator action changes the state again.
    if (ProgramState == TProgramState::ToExit)
        return;
    TExperimentControlPage* c = fForm.ExperimentControl;
    if (!fForm.CheckBoxSMUValidated()->isChecked() || !fForm.CheckBox2000Validated()->isChecked()) {
        CheckRadio(c->RadioButtonModeOff);
        return;
    }
    const struct {
        QRadioButton* button;
        TProgramState state;
    } order[] = {{c->RadioButtonModeOff, TProgramState::Paused},
                 {c->RadioButtonModePassive, TProgramState::SetCurrent},
                 {c->RadioButtonSetVoltage, TProgramState::SetVoltage},
                 {c->RadioButtonPIDSet, TProgramState::PIDSet},
                 {c->RadioButtonPIDStep, TProgramState::PIDStep},
                 {c->RadioButtonPPS, TProgramState::PPS}};
    for (const auto& o : order) {
        if (o.button->isChecked() && ProgramState != o.state) {
            if (!Dialogs().AskYesNo(
                    QStringLiteral("Change program state? This will also reset current step to zero"))) {
                // Back to the running state's button; its handler records the unchanged state.
                if (QRadioButton* current = RadioOf(ProgramState))
                    CheckRadio(current);
                return;
            }
            break;
        }
    }
    if (ProgramState != TProgramState::PIDSet && ProgramState != TProgramState::PIDStep && PID)
        PID->ResetIntegral();
    for (const auto& o : order) {
        if (!o.button->isChecked())
            continue;
        if (o.state == TProgramState::PIDStep || o.state == TProgramState::PPS) {
            if (ProgramState != o.state) {
                ProgramState = o.state;
                CurrentStep = 0;
            }
        } else {
            ProgramState = o.state;
        }
        break;
    }
    AppendMarkerRow(ProgramState);
    LogEvent(QStringLiteral("Mode"), QStringLiteral("set to ") + ProgramStateName(ProgramState));
}
