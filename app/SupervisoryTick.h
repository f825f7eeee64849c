#pragma once
// The 250 ms supervisory tick and the operator's mode changes. The tick lets the row builder take
// the completed data points, refreshes the status bar, autosaves, feeds the running step's
// setpoint to the PID controller and hands the program state to both worker threads; while
// closing it stops and frees them. A confirmed mode change goes to the experiment
// (TExperimentModel::ChangeMode), which records it.
#include "app/AutosaveSchedule.h"
#include "control/TRunState.h"

#include <QObject>

class TfrmOndrix;
class QRadioButton;

class TSupervisoryTick : public QObject {
    Q_OBJECT
public:
    explicit TSupervisoryTick(TfrmOndrix& form);

    void Timer1Timer();
    // The handler of the six mode radio buttons (click and key release).
    void ChangeModeConfirm(QObject* sender);
    // Checks a radio button from the program; as with an operator's click its handler runs when
    // the button was not checked yet, unless the handlers are detached.
    void CheckRadio(QRadioButton* button);
    // What a run started now would lack (the sensor calibration, the experiment name), as a
    // sentence for the operator; empty when nothing is missing.
    QString MissingForARun() const;
    // After a cancelled change: the running state's button checked again, nothing recorded.
    void BackToTheRunningState();

private:
    void FallBackToSetCurrent();
    QRadioButton* RadioOf(TProgramState s) const;

    TfrmOndrix& fForm;
    bool fHandlersAttached = true;
    TAutosaveSchedule fAutosave;
};
