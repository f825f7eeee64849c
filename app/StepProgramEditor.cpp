#include "app/StepProgramEditor.h"

#include "app/TRtDoubleEdit.h"
#include "common/Dialogs.h"
#include "common/ProgramFolder.h"
#include "experiment/InstrumentSettings.h"
#include "experiment/StepProgram.h"
#include "experiment/StepProgramFile.h"

#include <QDir>
#include <QFileInfo>
#include <QListWidget>

namespace {
QString ProgramsFolder() {
    return ProgramPath(QStringLiteral("Programs"));
}
} // namespace

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

void TStepProgramEditor::ButtonProgramSaveClick() {
    const QString proposed = fFile.isEmpty() ? ProgramsFolder() : fFile;
    QString file =
        Dialogs().SaveFileName(QStringLiteral("Save step program"), proposed, TStepProgramFile::Filter());
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += u'.' + TStepProgramFile::Suffix();
    QString error;
    if (!TStepProgramFile::Write(file, Rows(), error)) {
        Dialogs().Message(QStringLiteral("The step program was not saved to '%1': %2")
                              .arg(QDir::toNativeSeparators(file), error));
        return;
    }
    Remember(file);
}

void TStepProgramEditor::ButtonProgramLoadClick() {
    const QString folder = fFile.isEmpty() ? ProgramsFolder() : QFileInfo(fFile).absolutePath();
    const QString file =
        Dialogs().OpenFileName(QStringLiteral("Load step program"), folder, TStepProgramFile::Filter());
    if (file.isEmpty())
        return;
    QStringList rows;
    QString error;
    if (!TStepProgramFile::Read(file, rows, error)) {
        Dialogs().Message(QStringLiteral("The step program '%1' was not loaded; the list is unchanged. %2")
                              .arg(QDir::toNativeSeparators(file), error));
        return;
    }
    Replace(rows);
    Remember(file);
}

void TStepProgramEditor::LoadRememberedProgram() {
    const QString file = TInstrumentSettings(TInstrumentSettings::DefaultPath()).LastStepProgram();
    if (file.isEmpty())
        return;
    QStringList rows;
    QString error;
    if (!TStepProgramFile::Read(file, rows, error)) {
        Dialogs().Message(QStringLiteral("The step program '%1' of the last run was not loaded; the list "
                                         "keeps the default steps. %2")
                              .arg(QDir::toNativeSeparators(file), error));
        return;
    }
    Replace(rows);
    fFile = file;
}

void TStepProgramEditor::Remember(const QString& file) {
    fFile = file;
    if (!TInstrumentSettings(TInstrumentSettings::DefaultPath()).SetLastStepProgram(file))
        Dialogs().Message(QStringLiteral("The step program could not be remembered for the next start: "
                                         "'%1' could not be written.")
                              .arg(QDir::toNativeSeparators(TInstrumentSettings::DefaultPath())));
}
