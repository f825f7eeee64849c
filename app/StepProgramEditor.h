#pragma once
// The editing of the step-program list: apply the two setpoint boxes to a new or the selected row,
// delete the last row, take a clicked row back into the boxes, and replace the whole list with the
// PPS ramps of the Debug page. The running program is untouched: CurrentStep is not changed.
#include <QStringList>

class QListWidget;
class TRtDoubleEdit;

class TStepProgramEditor {
public:
    // editpO2 takes -log10(pO2) as a positive number, editmV the pump voltage in millivolts.
    TStepProgramEditor(QListWidget& list, TRtDoubleEdit& editpO2, TRtDoubleEdit& editmV);

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

    // The row selected in the list, or -1.
    int SelectedRow() const;
    QStringList Rows() const;

private:
    void Replace(const QStringList& rows);

    QListWidget& fList;
    TRtDoubleEdit& fEditpO2;
    TRtDoubleEdit& fEditmV;
};
