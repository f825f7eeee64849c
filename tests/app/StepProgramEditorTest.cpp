#include "app/StepProgramEditor.h"

#include "app/StepProgramView.h"
#include "app/TRtDoubleEdit.h"
#include "common/Locale.h"
#include "experiment/InstrumentSettings.h"
#include "experiment/StepProgram.h"
#include "experiment/TExperimentModel.h"
#include "tests/support/QtPrint.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <gtest/gtest.h>

namespace {

TEST(StepProgramRows, SetpointFieldReadsBack) {
    SetRegionalLocale(QLocale::c());
    const struct {
        double setpoint, mV;
        QString row;
        double readSetpoint;
    } cases[] = {
        {-0.678, 20, "0001   -0.678      20", -0.678},        // fills the six characters exactly
        {-12.3456789, 300, "0001   -12.34      300", -12.34}, // cut to six characters
        {-12.5, -1100, "0001   -12.5       -1100", -12.5},
        {-4, 45.4, "0001   -4          45", -4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row.toStdString());
        const QString row = StepProgram::FormatRow(1, c.setpoint, c.mV);
        EXPECT_EQ(row, c.row);
        double sp = 0, mV = 0;
        ASSERT_TRUE(StepProgram::Setpoint(row, sp));
        EXPECT_EQ(sp, c.readSetpoint);
        ASSERT_TRUE(StepProgram::Millivolts(row, mV));
        EXPECT_EQ(mV, std::round(c.mV));
    }
}

class StepProgramEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale::c());
        editpO2.SetLimits(0.678, 16);
        editpO2.SetValue(0.678);
        editmV.SetLimits(-1100, 1100);
        editmV.SetValue(20);
        model.SetStepProgram(StepProgram::DefaultSteps());
        view.Follow(model);
    }
    void Select(int row) { list.setCurrentRow(row, QItemSelectionModel::ClearAndSelect); }

    // The editor changes the experiment's program; the list shows it, as in the window.
    TRunState run;
    TExperimentModel model{run};
    QListWidget list;
    TStepProgramView view{list};
    TRtDoubleEdit editpO2, editmV;
    TStepProgramEditor editor{model, list, editpO2, editmV};
};

TEST_F(StepProgramEditorTest, ApplyAppendsOrReplacesTheSelectedRow) {
    editpO2.SetValue(12.5);
    editmV.SetValue(300);
    editor.ButtonProgramPumpVoltageClick();
    ASSERT_EQ(list.count(), 9);
    EXPECT_EQ(list.item(8)->text(), QStringLiteral("0009   -12.5       300"));
    EXPECT_EQ(editor.SelectedRow(), -1);

    // Labels 0001, 0005, 0009 with the third row selected: it becomes 0003.
    model.SetStepProgram({TStep::Make(1, -4, 45), TStep::Make(5, -5, 115), TStep::Make(9, -6, 227)});
    Select(2);
    editpO2.SetValue(0.678);
    editmV.SetValue(-20);
    editor.ButtonProgramPumpVoltageClick();
    EXPECT_EQ(editor.Rows(),
              QStringList({"0001   -4          45", "0005   -5          115", "0003   -0.678      -20"}));
    EXPECT_EQ(list.item(2)->text(), "0003   -0.678      -20");
    EXPECT_EQ(editor.SelectedRow(), -1);
}

TEST_F(StepProgramEditorTest, ClickTakesTheRowBackIntoTheBoxes) {
    editor.ListBoxStepProgramClick(); // nothing selected: nothing changes
    EXPECT_EQ(editpO2.Value(), 0.678);
    EXPECT_EQ(editmV.Value(), 20);
    Select(1);
    editor.ListBoxStepProgramClick();
    EXPECT_EQ(editpO2.Value(), 5);
    EXPECT_EQ(editmV.Value(), 115);
}

TEST_F(StepProgramEditorTest, DeleteKeepsTheLastRow) {
    for (int i = 0; i < 10; ++i)
        editor.ButtonProgramDeleteStepClick();
    EXPECT_EQ(editor.Rows(), QStringList{"0001   -4          45"});
    EXPECT_EQ(list.count(), 1);
}

TEST_F(StepProgramEditorTest, OverrideRamps) {
    editor.ButtonPPSUpClick();
    ASSERT_EQ(list.count(), 21);
    EXPECT_EQ(list.item(0)->text(), QStringLiteral("0000   0           0"));
    EXPECT_EQ(list.item(20)->text(), QStringLiteral("0020   0           1000"));
    editor.ButtonPPSDownClick();
    ASSERT_EQ(list.count(), 21);
    EXPECT_EQ(list.item(0)->text(), QStringLiteral("0000   0           1000"));
    EXPECT_EQ(list.item(1)->text(), QStringLiteral("0001   0           950"));
    EXPECT_EQ(list.item(20)->text(), QStringLiteral("0020   0           0"));
    for (int i : {0, 20}) {
        double sp = -1;
        ASSERT_TRUE(StepProgram::Setpoint(list.item(i)->text(), sp));
        EXPECT_EQ(sp, 0);
    }
}

} // namespace

namespace {

// Saving and loading program files through the scripted file dialogs, in a program folder of
// its own.
class StepProgramFilesTest : public StepProgramEditorTest {
protected:
    void SetUp() override {
        StepProgramEditorTest::SetUp();
        SetDialogs(dialogs);
        QDir(folder.path()).mkdir(QStringLiteral("Programs"));
    }
    void TearDown() override { SetDialogs(nullptr); }
    QString Remembered() const {
        return TInstrumentSettings(TInstrumentSettings::DefaultPath()).LastStepProgram();
    }
    void WriteFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    TTempProgramFolder folder;
    std::shared_ptr<TScriptedDialogs> dialogs = std::make_shared<TScriptedDialogs>();
};

TEST_F(StepProgramFilesTest, SaveThenLoadBringsTheListBack) {
    editor.ButtonPPSUpClick(); // a list unlike the default one
    const QStringList saved = editor.Rows();
    dialogs->fileNames = {folder.file("Programs/ramp")};
    editor.ButtonProgramSaveClick();
    EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(u'\n').toStdString();
    const QString file = folder.file("Programs/ramp.program");
    ASSERT_TRUE(QFile::exists(file)) << "the file name gets the program suffix";
    EXPECT_EQ(Remembered(), file);

    editor.ButtonPPSDownClick();
    dialogs->fileNames = {file};
    editor.ButtonProgramLoadClick();
    EXPECT_EQ(editor.Rows(), saved);
    EXPECT_TRUE(dialogs->messages.isEmpty());
}

TEST_F(StepProgramFilesTest, CancelledDialogsChangeNothing) {
    editor.ButtonProgramSaveClick();
    editor.ButtonProgramLoadClick();
    EXPECT_EQ(editor.Rows(), StepProgram::DefaultRows());
    EXPECT_TRUE(QDir(folder.file("Programs")).isEmpty());
    EXPECT_EQ(Remembered(), QString());
    EXPECT_TRUE(dialogs->messages.isEmpty());
}

TEST_F(StepProgramFilesTest, ABadFileLeavesListAndMemoryAsTheyWere) {
    const QString good = folder.file("Programs/good.program");
    WriteFile(good, "Ondrix step program\r\n0001   -4          45\r\n");
    dialogs->fileNames = {good};
    editor.ButtonProgramLoadClick();
    ASSERT_EQ(editor.Rows(), QStringList{"0001   -4          45"});

    const QString bad = folder.file("Programs/bad.program");
    WriteFile(bad, "Ondrix step program\r\n0001   -4          45\r\n0002   -5          2000\r\n");
    dialogs->fileNames = {bad};
    editor.ButtonProgramLoadClick();
    ASSERT_EQ(dialogs->messages.size(), 1);
    EXPECT_TRUE(dialogs->messages[0].contains(
        "Line 3 is not a step-program row: \"0002   -5          2000\" (mV is outside -1100 to 1100)."))
        << dialogs->messages[0].toStdString();
    EXPECT_EQ(editor.Rows(), QStringList{"0001   -4          45"});
    EXPECT_EQ(Remembered(), good);
}

TEST_F(StepProgramFilesTest, AFailedSaveIsReported) {
    dialogs->fileNames = {folder.file("No such folder/week.program")};
    editor.ButtonProgramSaveClick();
    ASSERT_EQ(dialogs->messages.size(), 1);
    EXPECT_TRUE(dialogs->messages[0].startsWith("The step program was not saved to"))
        << dialogs->messages[0].toStdString();
    EXPECT_EQ(Remembered(), QString());
}

} // namespace
