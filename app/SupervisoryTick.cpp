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
#include "experiment/TExperimentModel.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"

#include <QCheckBox>
#include <QListWidget>
#include <QRadioButton>

TSupervisoryTick::TSupervisoryTick(TfrmOndrix& form) : QObject(&form), fForm(form) {}

void TSupervisoryTick::Timer1Timer() {
    if (fForm.Run().ProgramState == TProgramState::Uninitialized)
        return;
    fForm.SyncJournal();
    if (fForm.Run().ProgramState == TProgramState::ToExit) {
        // Each tick asks again and frees a worker once it has stopped; the close waits for both.
        if (fForm.Thread2401) {
            // No current, then stop.
            fForm.Thread2401->SetModeEx(TMode::SetCurrent);
            fForm.Model().SetGSCurrent(0);
        }
        StopAndFree(fForm.Thread2000, false);
        StopAndFree(fForm.Thread2401, false);
        return;
    }

    fForm.AddDataUpdates();
    fForm.Statusbar();

    // A step advance may have saved in AddDataUpdates: that save counts from now.
    fAutosave.Observe(fForm.Run().LastSaveTime, MonotonicSeconds());
    if (fForm.Run().ProgramState != TProgramState::Paused &&
        fAutosave.Due(fForm.Run().LastSaveTime, MonotonicSeconds())) {
        fForm.SaveUnattended();
        fAutosave.Observe(fForm.Run().LastSaveTime, MonotonicSeconds());
    }

    // A step program sets the PID's setpoint from the running step, until it runs past its end.
    TExperimentModel& model = fForm.Model();
    if (fForm.Run().ProgramState == TProgramState::PIDStep ||
        fForm.Run().ProgramState == TProgramState::PPS) {
        double setpoint = 0;
        if (model.StepPastEnd())
            FallBackToSetCurrent();
        else if (model.StepSetpoint(setpoint))
            model.SetPIDSetpoint(setpoint);
    }
    if (fForm.Run().ProgramState == TProgramState::PIDSet)
        model.SetPIDSetpoint(fForm.ExperimentControl->RtDoubleEditPISSP->Value());

    // Hand the state over, testing it afresh so a fall-back above goes out in this tick.
    if (fForm.Run().ProgramState == TProgramState::SetCurrent)
        model.SetGSCurrent(fForm.ExperimentControl->RtIntegerEditCurrentmA->Value());
    if (fForm.Run().ProgramState >= TProgramState::Paused && fForm.Run().ProgramState <= TProgramState::PPS) {
        if (fForm.Thread2401)
            fForm.Thread2401->SetModeEx(ModeOfState(fForm.Run().ProgramState));
        if (fForm.Thread2000)
            fForm.Thread2000->SetToPauseEx(fForm.Run().ProgramState == TProgramState::Paused);
    }
}

void TSupervisoryTick::FallBackToSetCurrent() {
    TExperimentControlPage* c = fForm.ExperimentControl;
    fHandlersAttached = false;
    c->RtIntegerEditCurrentmA->SetValue(0);
    CheckRadio(c->RadioButtonModePassive);
    fForm.Model().ChangeMode(TProgramState::SetCurrent, TModeChangeReason::ProgramEnded);
    fHandlersAttached = true;
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

void TSupervisoryTick::BackToTheRunningState() {
    // The running state's button again, with its handler held off: a change the operator cancelled
    // happened to nothing, so it writes no row and no event.
    if (QRadioButton* current = RadioOf(fForm.Run().ProgramState)) {
        fHandlersAttached = false;
        CheckRadio(current);
        fHandlersAttached = true;
    }
}

QString TSupervisoryTick::MissingForARun() const {
    const TCellDetails& cell = fForm.Model().Cell();
    const bool uncalibrated = cell.SensorAx == 0 && cell.SensorBx == 0;
    const bool unnamed = fForm.Model().Sample().Name.trimmed().isEmpty();
    if (uncalibrated && unnamed)
        return QStringLiteral(
            "The oxygen sensor has no calibration (Ax = Bx = 0) and the experiment has no name.");
    if (uncalibrated)
        return QStringLiteral("The oxygen sensor has no calibration (Ax = Bx = 0).");
    if (unnamed)
        return QStringLiteral("The experiment has no name.");
    return {};
}

void TSupervisoryTick::ChangeModeConfirm(QObject*) {
    // Once the window is closing no operator action changes the state again.
    if (fForm.Run().ProgramState == TProgramState::ToExit)
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
        if (o.button->isChecked() && fForm.Run().ProgramState != o.state) {
            if (!Dialogs().AskYesNo(
                    QStringLiteral("Change program state? This will also reset current step to zero"))) {
                BackToTheRunningState();
                return;
            }
            // Leaving Paused starts driving the pump: a run without a sensor calibration reads a
            // believable but wrong pO2, and one without a name writes files called "_0001.csv".
            const QString missing =
                fForm.Run().ProgramState == TProgramState::Paused ? MissingForARun() : QString();
            if (!missing.isEmpty() && !Dialogs().AskYesNo(missing + QStringLiteral(" Start anyway?"))) {
                BackToTheRunningState();
                return;
            }
            break;
        }
    }
    for (const auto& o : order) {
        if (o.button->isChecked()) {
            fForm.Model().ChangeMode(o.state);
            return;
        }
    }
    // No button checked: the state stays, and the change is still marked in the rows.
    fForm.Model().ChangeMode(fForm.Run().ProgramState);
}
