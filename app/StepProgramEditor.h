#pragma once
// The editing of the experiment's step program: apply the two setpoint boxes to a new or the
// selected step, delete the last step, take a clicked step back into the boxes, replace the whole
// program with the PPS ramps of the Debug page, and save the program to or load it from a program
// file. The edits go to the experiment (TExperimentModel); the step list shows them and gives only
// the operator's selection. The running program is untouched: CurrentStep is not changed.
#include "experiment/StepProgram.h"

#include <QString>
#include <QStringList>

class QListWidget;
class TExperimentModel;
class TRtDoubleEdit;

class TStepProgramEditor {
public:
    // editpO2 takes -log10(pO2) as a positive number, editmV the pump voltage in millivolts.
    TStepProgramEditor(TExperimentModel& model, QListWidget& list, TRtDoubleEdit& editpO2,
                       TRtDoubleEdit& editmV);

    // "Apply to step program": a row from the two boxes replaces the selected row (labelled with its
    // position) or, with none selected, is appended (labelled count + 1); then nothing is selected.
    void ButtonProgramPumpVoltageClick();
    // "Delete last step": removes the last row while at least two are left.
    void ButtonProgramDeleteStepClick();
    // A click on the list: the selected row's setpoints go back into the boxes.
    void ListBoxStepProgramClick();
    // "Override PPS with Up" / "... Down": 21 rows, 0 to 1000 mV or back, setpoint 0.
    void ButtonPPSUpClick();
    void ButtonPPSDownClick();
    // "Save program…": writes the list to a file the operator chooses (Programs/ unless told
    // otherwise) and remembers it, so the next start loads it again.
    void ButtonProgramSaveClick();
    // "Load program…": replaces the list with a program file and remembers it. A file that is not
    // a step program is refused with the reason, and the list stays as it was.
    void ButtonProgramLoadClick();
    // At start: loads the program remembered from the last run. When it is missing or not valid
    // the list keeps its rows and the operator is told why.
    void LoadRememberedProgram();

    // The row selected in the list, or -1.
    int SelectedRow() const;
    // The program's rows as the list shows them.
    QStringList Rows() const;

private:
    void Replace(const QList<TStep>& steps);
    void Remember(const QString& file);

    TExperimentModel& fModel;
    QListWidget& fList;
    TRtDoubleEdit& fEditpO2;
    TRtDoubleEdit& fEditmV;
    QString fFile; // the program last loaded or saved, proposed by the next save
};
