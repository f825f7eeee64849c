#pragma once
// Shows the experiment's step program in the step list, one row per step, and marks its running
// step: while PIDStep or PPS runs, the current row of the list
// gets a background of its own (the selection stays free for editing rows) and is scrolled into
// view when the program moves to it. Outside a step program, or past its last row, no row is
// marked (the mode pane's text, with the step of how many, is the run status's). The list is
// scrolled only when a row gets the mark (an advance, a new list), so between advances the
// operator can look elsewhere in it.
#include "control/TRunState.h"
#include "experiment/StepProgram.h"

#include <QColor>
#include <QMetaObject>
#include <QString>

class QListWidget;
class TExperimentModel;

class TStepProgramView {
public:
    explicit TStepProgramView(QListWidget& list) : fList(list) {}
    ~TStepProgramView();
    TStepProgramView(const TStepProgramView&) = delete;
    TStepProgramView& operator=(const TStepProgramView&) = delete;

    // Shows the experiment's program now and after every change of it.
    void Follow(const TExperimentModel& model);
    // The list shows these steps. A change of one row (a step applied, appended or the last one
    // deleted) is made in place, so the running row keeps its mark and the selection stays; any
    // other change (a program loaded or ramped) fills the list afresh, and the running row is
    // marked and scrolled to again.
    void Show(const QList<TStep>& steps);

    // Marks the running row: `currentStep` while PIDStep or PPS runs, none otherwise.
    void Refresh(TProgramState state, int currentStep);
    // The running step's time and criteria as the running row's tooltip (no other row has one);
    // the rows' own text stays as it is.
    void SetStatusText(const QString& text);
    // The row marked as running, or -1.
    int MarkedRow() const;
    static QColor MarkColor() { return QColor(255, 226, 120); }

private:
    QListWidget& fList;
    QMetaObject::Connection fFollowed;
};
