#include "app/ConfigurationPage.h"
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "diagnostics/LogChannel.h"
#include "experiment/InstrumentSettings.h"
#include "experiment/StepProgram.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"

#include "tests/support/QtPrint.h"
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>
#include <memory>

namespace {

const QStringList kFolders = {"Userdata", "Logs", "PID", "Cell", "Sample", "Programs"};

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeLogChannels();
        dialogs = std::make_shared<TScriptedDialogs>();
        SetDialogs(dialogs);
    }
    void TearDown() override { SetDialogs(nullptr); }
    std::unique_ptr<TfrmOndrix> Create(TfrmOndrix::TPortLister ports = [] { return QStringList(); }) {
        return std::make_unique<TfrmOndrix>(ports);
    }
    TTempProgramFolder folder;
    std::shared_ptr<TScriptedDialogs> dialogs;
};

TEST_F(Startup, FirstStartInAnEmptyFolder) {
    const QString cwd = QDir::currentPath();
    auto w = Create([] { return QStringList({"ttyS0", "ttyUSB0"}); });
    for (const QString& f : kFolders)
        EXPECT_TRUE(QDir(folder.path()).exists(f)) << f.toStdString();
    EXPECT_TRUE(dialogs->messages.isEmpty());
    EXPECT_TRUE(QFile::exists(folder.file("Logs/Log.csl")));
    EXPECT_EQ(QDir::currentPath(), cwd) << "the folders are made in the program folder, not the current one";
    EXPECT_TRUE(w->ConfigurationPage->EditSMUCOMPort->text().isEmpty());
    EXPECT_EQ(w->PageControlMain->currentIndex(), 0);
    EXPECT_EQ(w->Run().ProgramState, TProgramState::Uninitialized);
    EXPECT_EQ(w->Run().SaveFileNumber, 1);
    EXPECT_FALSE(QFile::exists(TInstrumentSettings::DefaultPath())) << "nothing validated, nothing saved";

    const QStringList memo = w->ConfigurationPage->MemoConfLog->toPlainText().split(u'\n');
    const int at = memo.indexOf("Available COM ports:");
    ASSERT_GT(at, 0);
    EXPECT_EQ(memo.mid(at - 1, 6), QStringList({"", "Available COM ports:", "ttyS0", "ttyUSB0", "",
                                                "Type in ports to boxes on the left and click validate to "
                                                "verify the instrument can be communicated with."}));
    // Both validations fail on empty ports, the SourceMeter first.
    EXPECT_EQ(
        memo.mid(at + 5),
        QStringList(
            {"", "Search for instrument on port ", "Sent: *IDN?",
             "Cannot communicate with SMU on this port. Port feedback: Failed to setup Com port, port in use",
             "", "Search for instrument on port ", "Sent: *IDN?",
             "Cannot communicate with Multimeter on this port. Port feedback: Failed to setup Com port, "
             "port in use"}));
}

TEST_F(Startup, NoPortListAvailable) {
    auto w = Create([] { return std::optional<QStringList>(); });
    EXPECT_TRUE(w->ConfigurationPage->MemoConfLog->toPlainText().contains("\nNo available COM ports!\n"));
}

TEST_F(Startup, PortsComeFromTheSettingsFile) {
    TInstrumentSettings(TInstrumentSettings::DefaultPath())
        .Write(QStringLiteral("COM3"), QStringLiteral("COM4"), false);
    auto w = Create();
    EXPECT_EQ(w->ConfigurationPage->EditSMUCOMPort->text(), "COM3");
    EXPECT_EQ(w->ConfigurationPage->Edit2000COMPort->text(), "COM4");
}

TEST_F(Startup, AFolderThatCannotBeCreatedIsReportedAndStartUpGoesOn) {
    for (const QString& blocked : kFolders) {
        TTempProgramFolder here;
        dialogs->messages.clear();
        // A plain file of the folder's name keeps the folder from being made.
        QFile block(here.file(blocked));
        ASSERT_TRUE(block.open(QIODevice::WriteOnly));
        block.close();
        auto w = Create();
        EXPECT_EQ(dialogs->messages,
                  QStringList({QStringLiteral("Could not create '%1' folder").arg(blocked)}));
        for (const QString& f : kFolders)
            if (f != blocked)
                EXPECT_TRUE(QDir(here.path()).exists(f))
                    << f.toStdString() << " after " << blocked.toStdString();
        EXPECT_TRUE(w->ConfigurationPage->MemoConfLog->toPlainText().contains("Available COM ports:"))
            << "start-up went on after " << blocked.toStdString();
    }
}

TEST_F(Startup, SavingWritesOnlyValidatedPortsAndTheLoggingSwitch) {
    auto w = Create();
    w->SMUComPort = QStringLiteral("COM9");
    w->ConfigurationPage->Edit2000COMPort->setText(QStringLiteral("COM8"));
    w->ConfigurationPage->CheckBoxSMUValidated->setChecked(true);
    w->SaveInstrumentSettings();
    const TInstrumentPorts p = TInstrumentSettings(TInstrumentSettings::DefaultPath()).Read();
    EXPECT_EQ(p.SMU, "COM9");
    EXPECT_EQ(p.DMM, "") << "the multimeter is not validated";
    QFile f(TInstrumentSettings::DefaultPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("[Logging]") && text.contains("0")) << text.toStdString();
}

TEST_F(Startup, CancelKeepsTheWindowAndOkClosesIt) {
    auto w = Create();
    w->show();
    w->Run().ProgramState = TProgramState::Paused;
    dialogs->answers = {false};
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->Run().ProgramState, TProgramState::Paused);
    EXPECT_EQ(w->windowTitle(), "Ondrix 2021-07-09");
    EXPECT_EQ(dialogs->questions, QStringList({"Close the form? All unsaved data will be lost."}));

    dialogs->answers = {true};
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->Run().ProgramState, TProgramState::ToExit);
    EXPECT_EQ(w->windowTitle(), "Waiting for communication threads to close");
}

TEST_F(Startup, TheLastStepProgramComesBackAtTheNextStart) {
    QStringList saved;
    {
        auto w = Create();
        TExperimentControlPage* c = w->ExperimentControl;
        EXPECT_EQ(c->ButtonProgramSave->text(), "Save program…");
        EXPECT_EQ(c->ButtonProgramLoad->text(), "Load program…");
        c->RtDoubleEditEditpO2->SetValue(9.5);
        c->RtDoubleEditPPSmV->SetValue(-300);
        c->ButtonProgramPumpVoltage->click();
        for (int i = 0; i < c->ListBoxStepProgram->count(); ++i)
            saved << c->ListBoxStepProgram->item(i)->text();
        ASSERT_EQ(saved.size(), 9);
        dialogs->fileNames = {folder.file("Programs/week")};
        c->ButtonProgramSave->click();
    }
    const auto rowsAtStart = [&] {
        auto w = Create();
        QStringList rows;
        for (int i = 0; i < w->ExperimentControl->ListBoxStepProgram->count(); ++i)
            rows << w->ExperimentControl->ListBoxStepProgram->item(i)->text();
        return rows;
    };
    EXPECT_EQ(rowsAtStart(), saved);
    EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(u'\n').toStdString();

    // A remembered program that has gone, or has been spoilt, leaves the default rows and says so once.
    const struct {
        const char* bytes; // nullptr: the file is gone
        const char* why;
    } cases[] = {
        {"Ondrix step program\r\n0001   -4          45\r\nnot a row\r\n", "Line 3 is not a step-program row"},
        {nullptr, "The file does not exist."}};
    for (const auto& c : cases) {
        dialogs->messages.clear();
        QFile::remove(folder.file("Programs/week.program"));
        if (c.bytes) {
            QFile f(folder.file("Programs/week.program"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.bytes);
        }
        EXPECT_EQ(rowsAtStart(), StepProgram::DefaultRows());
        ASSERT_EQ(dialogs->messages.size(), 1) << c.why;
        EXPECT_TRUE(dialogs->messages[0].contains("of the last run was not loaded")) << c.why;
        EXPECT_TRUE(dialogs->messages[0].contains(c.why)) << dialogs->messages[0].toStdString();
    }
}

TEST_F(Startup, ThePagesInTabOrder) {
    auto w = Create();
    QStringList captions, names;
    for (int i = 0; i < w->PageControlMain->count(); ++i) {
        captions << w->PageControlMain->tabText(i);
        names << w->PageControlMain->widget(i)->objectName();
    }
    EXPECT_EQ(captions, QStringList({"Configuration", "Experiment data", "PID tuning", "Experiment Control",
                                     "Raw data", "Titration", "Debug"}));
    EXPECT_EQ(names, QStringList({"TabSheetInstruments", "TabSheetExperimentSetup", "TabSheetPID",
                                  "TabSheetExperimentControl", "TabSheetData", "TabSheetTitration",
                                  "TabSheetDebug"}));
    for (const char* name : {"EditSMUCOMPort", "ButtonSMUTest", "CheckBoxSMUValidated", "Edit2000COMPort",
                             "Button2000Test", "CheckBox2000Validated", "MemoConfLog"})
        EXPECT_NE(w->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_FALSE(w->ConfigurationPage->CheckBoxSMUValidated->isEnabled());
    EXPECT_TRUE(w->ConfigurationPage->MemoConfLog->toPlainText().startsWith(
        "For best performance a dedicated serial port connection to both instruments through virtual COM "
        "port "
        "using RS232 wiring.\n\nSet up instruments with: Communication: RS-232, no parity, no flow control, "
        "8 "
        "bits, CR as terminator. 19200 baud for Multimeter, 57600 baud \nfor SMU\n"));
}

} // namespace

namespace {
// The cell and sample files loaded or saved last come back at the next start: the calibration, the
// name and the sample survive a restart. Without one (or when it has gone) Default.ini is loaded.
TEST_F(Startup, TheLastCellAndSampleFilesComeBackAtTheNextStart) {
    {
        auto w = Create();
        TExperimentDataPage* d = w->ExperimentData;
        d->SaveCellDetails(folder.file("Cell/Default.ini")); // a Default.ini with Ax = 0
        d->RtDoubleEditSensorAx->SetValue(20);
        d->RtDoubleEditSensorBx->SetValue(0.01);
        d->EditSampleName->setText(QStringLiteral("LSC64"));
        dialogs->fileNames = {folder.file("Cell/rig 2.ini"), folder.file("Sample/LSC64.ini")};
        d->ButtonSaveCellAs->click();
        d->ButtonSaveSample->click();
    }
    struct Start {
        double ax, bx;
        QString name;
    };
    const auto atStart = [&] {
        auto w = Create();
        TExperimentDataPage* d = w->ExperimentData;
        return Start{d->RtDoubleEditSensorAx->Value(), d->RtDoubleEditSensorBx->Value(),
                     d->EditSampleName->text()};
    };
    Start s = atStart();
    EXPECT_DOUBLE_EQ(s.ax, 20);
    EXPECT_DOUBLE_EQ(s.bx, 0.01);
    EXPECT_EQ(s.name, QStringLiteral("LSC64"));
    EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(u'\n').toStdString();

    // The remembered cell file has gone: the Default.ini again; the sample is still remembered.
    ASSERT_TRUE(QFile::remove(folder.file("Cell/rig 2.ini")));
    s = atStart();
    EXPECT_DOUBLE_EQ(s.ax, 0);
    EXPECT_EQ(s.name, QStringLiteral("LSC64"));

    // A file loaded through the page is remembered as well.
    {
        auto w = Create();
        dialogs->fileNames = {folder.file("Cell/Default.ini")};
        w->ExperimentData->ButtonLoadCell->click();
    }
    EXPECT_EQ(QDir(folder.path())
                  .relativeFilePath(TInstrumentSettings(TInstrumentSettings::DefaultPath()).LastCellFile()),
              QStringLiteral("Cell/Default.ini"));
}
} // namespace
