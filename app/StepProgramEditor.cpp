#include "app/StepProgramEditor.h"

#include "app/TRtDoubleEdit.h"
#include "common/Dialogs.h"
#include "common/ProgramFolder.h"
#include "experiment/InstrumentSettings.h"
#include "experiment/StepProgram.h"
#include "experiment/StepProgramFile.h"
#include "experiment/TExperimentModel.h"

#include <QDir>
#include <QFileInfo>
#include <QListWidget>

namespace {
QString ProgramsFolder() {
    return ProgramPath(QStringLiteral("Programs"));
}
} // namespace

TStepProgramEditor::TStepProgramEditor(TExperimentModel& model, QListWidget& list, TRtDoubleEdit& editpO2,
                                       TRtDoubleEdit& editmV)
    : fModel(model), fList(list), fEditpO2(editpO2), fEditmV(editmV) {}

int TStepProgramEditor::SelectedRow() const {
    const QList<QListWidgetItem*> selected = fList.selectedItems();
    return selected.isEmpty() ? -1 : fList.row(selected.first());
}

QStringList TStepProgramEditor::Rows() const {
    return StepProgram::Texts(fModel.StepProgram());
}

void TStepProgramEditor::ButtonProgramPumpVoltageClick() {
    const int selected = SelectedRow();
    const double setpoint = -fEditpO2.Value();
    const double mV = fEditmV.Value();
    QList<TStep> steps = fModel.StepProgram();
    if (selected < 0 || selected >= steps.size())
        steps << TStep::Make(int(steps.size()) + 1, setpoint, mV);
    else
        steps[selected] = TStep::Make(selected + 1, setpoint, mV);
    fModel.SetStepProgram(steps);
    fList.clearSelection();
    fList.setCurrentRow(-1);
}

void TStepProgramEditor::ButtonProgramDeleteStepClick() {
    QList<TStep> steps = fModel.StepProgram();
    if (steps.size() < 2)
        return;
    steps.removeLast();
    fModel.SetStepProgram(steps);
}

void TStepProgramEditor::ListBoxStepProgramClick() {
    const int selected = SelectedRow();
    if (selected < 0 || selected >= fModel.StepCount())
        return;
    const TStep& step = fModel.StepProgram()[selected];
    fEditpO2.SetValue(-step.Log10pO2());
    fEditmV.SetValue(step.MilliVolts());
}

void TStepProgramEditor::Replace(const QList<TStep>& steps) {
    fModel.SetStepProgram(steps);
}

void TStepProgramEditor::ButtonPPSUpClick() {
    Replace(StepProgram::OverrideSteps(true));
}

void TStepProgramEditor::ButtonPPSDownClick() {
    Replace(StepProgram::OverrideSteps(false));
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
    if (!TStepProgramFile::Write(file, fModel.StepProgram(), error)) {
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
    QList<TStep> steps;
    QString error;
    if (!TStepProgramFile::Read(file, steps, error)) {
        Dialogs().Message(QStringLiteral("The step program '%1' was not loaded; the list is unchanged. %2")
                              .arg(QDir::toNativeSeparators(file), error));
        return;
    }
    Replace(steps);
    Remember(file);
}

void TStepProgramEditor::LoadRememberedProgram() {
    const QString file = TInstrumentSettings(TInstrumentSettings::DefaultPath()).LastStepProgram();
    if (file.isEmpty())
        return;
    QList<TStep> steps;
    QString error;
    if (!TStepProgramFile::Read(file, steps, error)) {
        Dialogs().Message(QStringLiteral("The step program '%1' of the last run was not loaded; the list "
                                         "keeps the default steps. %2")
                              .arg(QDir::toNativeSeparators(file), error));
        return;
    }
    Replace(steps);
    fFile = file;
}

void TStepProgramEditor::Remember(const QString& file) {
    fFile = file;
    if (!TInstrumentSettings(TInstrumentSettings::DefaultPath()).SetLastStepProgram(file))
        Dialogs().Message(QStringLiteral("The step program could not be remembered for the next start: "
                                         "'%1' could not be written.")
                              .arg(QDir::toNativeSeparators(TInstrumentSettings::DefaultPath())));
}
