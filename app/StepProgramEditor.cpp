#include "app/StepProgramEditor.h"

#include "app/StepProgram.h"
#include "app/TRtDoubleEdit.h"

#include <QListWidget>

TStepProgramEditor::TStepProgramEditor(QListWidget& list, TRtDoubleEdit& editpO2, TRtDoubleEdit& editmV)
    : fList(list), fEditpO2(editpO2), fEditmV(editmV) {}

int TStepProgramEditor::SelectedRow() const {
    const QList<QListWidgetItem*> selected = fList.selectedItems();
    return selected.isEmpty() ? -1 : fList.row(selected.first());
}

QStringList TStepProgramEditor::Rows() const {
    QStringList rows;
    for (int i = 0; i < fList.count(); ++i)
        rows << fList.item(i)->text();
    return rows;
}

void TStepProgramEditor::ButtonProgramPumpVoltageClick() {
    const int selected = SelectedRow();
    const double setpoint = -fEditpO2.Value();
    const double mV = fEditmV.Value();
    if (selected < 0)
        fList.addItem(StepProgram::FormatRow(fList.count() + 1, setpoint, mV));
    else
        fList.item(selected)->setText(StepProgram::FormatRow(selected + 1, setpoint, mV));
    fList.clearSelection();
    fList.setCurrentRow(-1);
}

void TStepProgramEditor::ButtonProgramDeleteStepClick() {
    if (fList.count() >= 2)
        delete fList.takeItem(fList.count() - 1);
}

void TStepProgramEditor::ListBoxStepProgramClick() {
    const int selected = SelectedRow();
    if (selected < 0)
        return;
    const QString row = fList.item(selected)->text();
    double setpoint = 0, mV = 0;
    if (StepProgram::Setpoint(row, setpoint))
        fEditpO2.SetValue(-setpoint);
    if (StepProgram::Millivolts(row, mV))
        fEditmV.SetValue(mV);
}

void TStepProgramEditor::Replace(const QStringList& rows) {
    fList.clear();
    fList.addItems(rows);
}

void TStepProgramEditor::ButtonPPSUpClick() {
    Replace(StepProgram::OverrideRows(true));
}

void TStepProgramEditor::ButtonPPSDownClick() {
    Replace(StepProgram::OverrideRows(false));
}
