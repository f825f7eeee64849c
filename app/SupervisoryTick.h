#pragma once
// The 250 ms supervisory tick and the operator's mode changes. The tick copies the operator's
// settings into the shared state, lets the row builder take a completed data point, refreshes the
// status bar, autosaves, feeds step-program setpoints to the PID controller and hands the program
// state to both worker threads; while closing it stops and frees them.
#include "app/SharedState.h"

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
    // Appends a mode-change marker row for `state` to the data grid.
    void AppendMarkerRow(TProgramState state);

private:
    void FallBackToSetCurrent();
    bool StepPastEnd() const;
    QRadioButton* RadioOf(TProgramState s) const;

    TfrmOndrix& fForm;
    bool fHandlersAttached = true;
};
