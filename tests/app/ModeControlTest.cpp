// The supervisory tick, the mode radio buttons and the status bar, driven on the real window
// (offscreen) without instruments: validation is simulated by checking the two boxes.
#include "app/ConfigurationPage.h"
#include "app/ExperimentControlPage.h"
#include "app/ExperimentDataPage.h"
#include "app/RunStatus.h"
#include "app/StatusHints.h"
#include "app/StatusPane.h"
#include "app/SupervisoryTick.h"
#include "app/TRtDoubleEdit.h"
#include "app/TfrmOndrix.h"
#include "app/TitrationPage.h"
#include "common/Clock.h"
#include "control/TPID.h"
#include "diagnostics/LogChannel.h"
#include "experiment/TExperimentModel.h"
#include "monitor/MonitorConfig.h"
#include "monitor/MonitorFeed.h"
#include "monitor/MonitorServer.h"
#include "recording/CellDetails.h"
#include "recording/ColumnTable.h"
#include "recording/SampleDetails.h"
#include "recording/TDataGridModel.h"
#include "tests/support/HttpProbe.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrint.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempFolder.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kQuestion = QStringLiteral("Change program state? This will also reset current step to zero");

class ModeControl : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeLogChannels();
        Clock::Fix(EncodeDateTime(2024, 3, 15, 14, 5, 9));
        dialogs = std::make_shared<TScriptedDialogs>();
        SetDialogs(dialogs);
        w = std::make_unique<TfrmOndrix>([] { return QStringList(); });
        w->Timer1->stop(); // the tests tick by hand
        c = w->ExperimentControl;
    }
    void TearDown() override {
        w.reset();
        SetDialogs(nullptr);
        Clock::Release();
    }
    void Validate() {
        w->CheckBoxSMUValidated()->setChecked(true);
        w->CheckBox2000Validated()->setChecked(true);
        w->Run().ProgramState = TProgramState::Paused;
        SetCalibrationAndName(20, 0.01, QStringLiteral("Run"));
    }
    void SetCalibrationAndName(double ax, double bx, const QString& name) {
        TSampleDetails sample = w->Model().Sample();
        TCellDetails cell = w->Model().Cell();
        sample.Name = name;
        cell.SensorAx = ax;
        cell.SensorBx = bx;
        w->Model().SetDetails(sample, cell, w->Model().Notes());
    }
    QString Cell(int row, TProperty p) const { return w->DataGrid->Cell(row, ColumnOf(p)); }
    int Rows() const { return w->DataGrid->RowCount(); }
    TTempProgramFolder folder;
    std::shared_ptr<TScriptedDialogs> dialogs;
    std::unique_ptr<TfrmOndrix> w;
    TExperimentControlPage* c = nullptr;
};

TEST_F(ModeControl, UninitializedTickDoesNothing) {
    w->RzStatusPaneStep->SetCaption(QStringLiteral("untouched"));
    w->ExperimentData->RtDoubleEditRCThreshold->SetValue(0.2);
    w->Timer1Timer();
    EXPECT_EQ(w->RzStatusPaneStep->Caption(), "untouched");
    EXPECT_EQ(w->Run().LastSaveTime, 0);
    // The experiment takes an edited setting at once, not from the tick.
    EXPECT_DOUBLE_EQ(w->Run().RCThreshold, 0.2);
}

TEST_F(ModeControl, FirstTickTakesTheSettingsAndRefreshesTheStatusBar) {
    Validate();
    w->Timer1Timer();
    EXPECT_DOUBLE_EQ(w->Run().RCThreshold, 0.05);
    EXPECT_DOUBLE_EQ(w->Run().RCDuration, 300);
    EXPECT_EQ(w->RzGlyphStatus1->Caption(), "Valid instruments");
    EXPECT_EQ(w->RzGlyphStatus1->ImageIndex(), 2);
    EXPECT_EQ(w->RzStatusPaneStep->Caption(), "Mode: Paused");
    EXPECT_EQ(w->RzStatusPaneRC->Caption(), "") << "no relative change before the first data row";
    EXPECT_EQ(w->RzGlyphStatus2->Caption(), "T, ºC: paused") << "no stale or zero temperature while paused";
    EXPECT_EQ(w->RzGlyphStatus2->ImageIndex(), -1);
}

// Until the PID tuning page has built the table, the buttons and the mode pane say what it means.
TEST_F(ModeControl, HintsUntilThePIDTableIsBuilt) {
    w->Statusbar();
    EXPECT_EQ(c->RadioButtonPIDSet->toolTip(), TStatusHints::PIDButtonHint());
    EXPECT_EQ(c->RadioButtonPIDStep->toolTip(), TStatusHints::PIDButtonHint());
    EXPECT_EQ(c->RadioButtonSetVoltage->toolTip(), TStatusHints::CurrentLimitHint());
    EXPECT_EQ(c->RadioButtonPPS->toolTip(), TStatusHints::CurrentLimitHint());
    w->Run().ProgramState = TProgramState::SetVoltage;
    w->Statusbar();
    EXPECT_TRUE(w->RzStatusPaneStep->Caption().startsWith("Mode: SetVoltage ("));
    EXPECT_TRUE(w->RzStatusPaneStep->Caption().contains("1 µA"));
    {
        // The long hint: the pane cuts it and shows it whole on hover, and the window's narrowest
        // width does not grow for it (it grew past the screen).
        w->show();
        w->Run().ProgramState = TProgramState::Paused;
        w->Statusbar();
        QCoreApplication::processEvents();
        const int narrowest = w->minimumSizeHint().width();
        w->resize(narrowest, 700);
        w->Run().ProgramState = TProgramState::PPS;
        w->Run().CurrentStep = 0;
        w->Statusbar();
        QCoreApplication::processEvents();
        const auto* text = w->RzStatusPaneStep->findChild<QLabel*>(QStringLiteral("RzStatusPaneStepText"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(w->minimumSizeHint().width(), narrowest);
        EXPECT_TRUE(text->text().endsWith(QChar(0x2026))) << text->text().toStdString();
        EXPECT_EQ(text->toolTip(), w->RzStatusPaneStep->Caption());
        EXPECT_TRUE(w->RzStatusPaneStep->Caption().contains("1 µA")) << "the caption itself is whole";
        w->hide();
        w->Run().ProgramState = TProgramState::SetVoltage;
        w->Statusbar();
    }

    w->Run().PID->Calibration.Valid = true;
    w->Statusbar();
    EXPECT_EQ(w->RzStatusPaneStep->Caption(), "Mode: SetVoltage");
    EXPECT_EQ(c->RadioButtonPPS->toolTip(), "");
    EXPECT_EQ(c->RadioButtonPIDSet->toolTip(), "");
}

TEST_F(ModeControl, StatusBarTexts) {
    EXPECT_EQ(w->RzGlyphStatus1->Caption(), "Invalid instruments");
    EXPECT_EQ(w->RzGlyphStatus1->ImageIndex(), 0);
    EXPECT_EQ(w->RzGlyphStatus2->Caption(), "T, ºC: 500 < 0.0 < 1055");
    struct {
        double temp;
        const char* caption;
        int image;
    } const temps[] = {{812.44, "T, ºC: 500 < 812.4 < 1055", 2},
                       {500.0, "T, ºC: 500 < 500.0 < 1055", 0},
                       {1055.0, "T, ºC: 500 < 1055.0 < 1055", 0},
                       {500.01, "T, ºC: 500 < 500.0 < 1055", 2}};
    for (const auto& t : temps) {
        w->Run().LastCellTemp = t.temp;
        w->Statusbar();
        EXPECT_EQ(w->RzGlyphStatus2->Caption(), QString::fromUtf8(t.caption));
        EXPECT_EQ(w->RzGlyphStatus2->ImageIndex(), t.image) << t.temp;
    }
    w->Run().ProgramState = TProgramState::PIDStep;
    w->Run().CurrentStep = 2;
    w->Statusbar();
    EXPECT_EQ(w->RzStatusPaneStep->Caption(), "Mode: Step:0003  Step 3 of 8");
    w->Run().CurrentStep = 8;
    w->Statusbar();
    EXPECT_EQ(w->RzStatusPaneStep->Caption(), "Mode: PIDStep") << "past the last row";
    w->Run().ProgramState = TProgramState::PPS;
    w->Run().CurrentStep = 0;
    w->Statusbar();
    EXPECT_EQ(w->RzStatusPaneStep->Caption(), QStringLiteral("Mode: PPS  Step 1 of 8") +
                                                  TStatusHints::ModePaneHint(TProgramState::PPS, false));
}

// The running step's time and criteria: in a pane of their own while a step runs, and as the
// tooltip of the step list's running row.
TEST_F(ModeControl, StepTimeAndCriteriaInTheStatusBar) {
    Clock::Fix(EncodeDateTime(2024, 3, 15, 14, 0, 0));
    QListWidget* list = c->ListBoxStepProgram;
    w->Statusbar();
    EXPECT_TRUE(w->RzStatusPaneStepStatus->isHidden()) << "no step runs while paused";
    w->Run().ProgramState = TProgramState::PPS;
    w->Run().CurrentStep = 2;
    w->Statusbar();
    Clock::AdvanceSeconds(12 * 60 + 40);
    w->Statusbar();
    const QString text = QStringLiteral("Step 3: 12:40 · pO2 stable ✗ · I stable ✗");
    EXPECT_EQ(w->RzStatusPaneStepStatus->Caption(), text);
    EXPECT_FALSE(w->RzStatusPaneStepStatus->isHidden());
    EXPECT_EQ(list->item(2)->toolTip(), text);
    EXPECT_EQ(list->item(1)->toolTip(), QString());
    EXPECT_EQ(list->item(2)->text(), "0003   -6          227") << "the row's fields stay readable";

    w->Run().CurrentStep = 3; // an advance starts the new step's clock
    w->Statusbar();
    EXPECT_EQ(w->RzStatusPaneStepStatus->Caption(),
              QStringLiteral("Step 4: 0:00 · pO2 stable ✗ · I stable ✗"));
    EXPECT_EQ(list->item(2)->toolTip(), QString());
    w->Run().ProgramState = TProgramState::SetCurrent;
    w->Statusbar();
    EXPECT_TRUE(w->RzStatusPaneStepStatus->isHidden());
    Clock::Release();
}

// The web monitor reports the very status the status bar shows: the panes made from the monitor's
// copy are the panes on screen, and its JSON names the same mode and notice.
TEST_F(ModeControl, TheMonitorReportsWhatTheStatusBarShows) {
    Validate();
    TMonitorConfig config;
    config.Address = QStringLiteral("127.0.0.1");
    config.Port = 0;
    QString error;
    ASSERT_TRUE(w->StartMonitor(config, &error)) << error.toStdString();
    emit w->Titration->IsothermWriteError(QStringLiteral("Isotherm not written"));
    w->Run().LastCellTemp = 700;
    const struct {
        TProgramState state;
        int step;
    } cases[] = {{TProgramState::Paused, 0}, {TProgramState::SetVoltage, 0}, {TProgramState::PIDStep, 2},
                 {TProgramState::PPS, 7},    {TProgramState::PIDStep, 8},    {TProgramState::PIDSet, 0}};
    for (const auto& k : cases) {
        SCOPED_TRACE(ProgramStateName(k.state).toStdString() + " " + std::to_string(k.step));
        w->Run().ProgramState = k.state;
        w->Run().CurrentStep = k.step;
        w->Statusbar();
        const TMonitorStatus s = w->MonitorFeed().Status();
        const TStatusBarTexts t = TRunStatus::StatusBar(s);
        EXPECT_EQ(t.Links, w->RzGlyphStatus1->Caption());
        EXPECT_EQ(t.LinksImage, w->RzGlyphStatus1->ImageIndex());
        EXPECT_EQ(t.Temperature, w->RzGlyphStatus2->Caption());
        EXPECT_EQ(t.TemperatureImage, w->RzGlyphStatus2->ImageIndex());
        EXPECT_EQ(t.Flush, w->RzStatusPaneFlushpO2->Caption());
        EXPECT_EQ(t.RC, w->RzStatusPaneRC->Caption());
        EXPECT_EQ(t.Mode, w->RzStatusPaneStep->Caption());
        EXPECT_EQ(t.Step, w->RzStatusPaneStepStatus->Caption());
        EXPECT_EQ(t.Notice, w->RzStatusPaneNotice->Caption());

        const QJsonObject json = HttpGet(w->Monitor().Port(), "/api/status").Json();
        EXPECT_EQ(json[QStringLiteral("state")].toString(), ProgramStateName(k.state));
        EXPECT_EQ(json[QStringLiteral("mode")].toString(), w->RzStatusPaneStep->Caption());
        EXPECT_EQ(json[QStringLiteral("notice")].toString(), QStringLiteral("Isotherm not written"));
        EXPECT_EQ(json[QStringLiteral("notice")].toString(), w->RzStatusPaneNotice->Caption());
    }
}

TEST_F(ModeControl, AMarkerRowEmptiesTheRelativeChangePane) {
    Validate();
    dialogs->answers = {true};
    QTest::mouseClick(c->RadioButtonModePassive, Qt::LeftButton);
    w->Statusbar();
    EXPECT_EQ(w->RzStatusPaneRC->Caption(), "");
}

TEST_F(ModeControl, ModesAreRefusedUntilBothInstrumentsAreValidated) {
    w->CheckBoxSMUValidated()->setChecked(true); // only one
    QTest::mouseClick(c->RadioButtonModePassive, Qt::LeftButton);
    EXPECT_TRUE(c->RadioButtonModeOff->isChecked());
    EXPECT_EQ(w->Run().ProgramState, TProgramState::Uninitialized);
    EXPECT_TRUE(dialogs->questions.isEmpty());
    EXPECT_EQ(Rows(), 1) << "no marker row";
}

TEST_F(ModeControl, YesChangesTheModeAndWritesOneMarkerRow) {
    Validate();
    dialogs->answers = {true};
    QTest::mouseClick(c->RadioButtonModePassive, Qt::LeftButton);
    EXPECT_EQ(dialogs->questions, QStringList({kQuestion}));
    EXPECT_EQ(w->Run().ProgramState, TProgramState::SetCurrent);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(1, TProperty::Time), "2024-03-15 14:05:09");
    EXPECT_EQ(Cell(1, TProperty::Mode), "2");
    EXPECT_EQ(Cell(1, TProperty::PumpV), "");

    // The tick hands the mode and the current setpoint over.
    c->RtIntegerEditCurrentmA->SetValue(3);
    w->Timer1Timer();
    EXPECT_DOUBLE_EQ(w->Run().GSCurrentMicroA, 3);
    EXPECT_EQ(w->RzStatusPaneStep->Caption(), "Mode: SetCurrent");
}

// A change the operator cancels happened to nothing: no marker row, no event, whether the box was
// answered with the mouse or with a key whose release then lands on the mode button.
TEST_F(ModeControl, NoKeepsTheStateAndRecordsNothing) {
    Validate();
    dialogs->answers = {false};
    QTest::mouseClick(c->RadioButtonSetVoltage, Qt::LeftButton);
    EXPECT_EQ(w->Run().ProgramState, TProgramState::Paused);
    EXPECT_TRUE(c->RadioButtonModeOff->isChecked());
    EXPECT_EQ(Rows(), 1) << "no marker row for a cancelled change";
    EXPECT_EQ(dialogs->questions.size(), 1);
    // The Enter that answered the box is released on the focused mode button.
    QTest::keyRelease(c->RadioButtonModeOff, Qt::Key_Return);
    EXPECT_EQ(Rows(), 1) << "a key release without its press on the button confirms nothing";
    // A key pressed and released on a mode button still confirms, as before.
    QTest::keyClick(c->RadioButtonModeOff, Qt::Key_Shift);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(1, TProperty::Mode), "1");
}

TEST_F(ModeControl, StepProgramsStartAtStepZeroAndPIDModesKeepTheIntegral) {
    Validate();
    c->RadioButtonPIDSet->setEnabled(true);
    c->RadioButtonPIDStep->setEnabled(true);
    // Each reset of the integral says so on the "PID" channel.
    TLogCapture log(LogPID);
    const auto resets = [&] {
        return log.Messages().filter(QStringLiteral("reset"), Qt::CaseInsensitive).size();
    };
    dialogs->answers = {true, true, true};
    w->Run().CurrentStep = 5;
    QTest::mouseClick(c->RadioButtonPIDSet, Qt::LeftButton);
    EXPECT_EQ(w->Run().ProgramState, TProgramState::PIDSet);
    EXPECT_EQ(w->Run().CurrentStep, 5);
    EXPECT_EQ(resets(), 1) << "entering PID from Paused starts a fresh integral";
    QTest::mouseClick(c->RadioButtonPIDStep, Qt::LeftButton);
    EXPECT_EQ(w->Run().ProgramState, TProgramState::PIDStep);
    EXPECT_EQ(w->Run().CurrentStep, 0);
    EXPECT_EQ(resets(), 1) << "moving between the PID modes keeps the integral";
    w->Run().CurrentStep = 3;
    QTest::mouseClick(c->RadioButtonPIDStep, Qt::LeftButton); // the running mode: no reset of the step
    EXPECT_EQ(w->Run().CurrentStep, 3);
    EXPECT_EQ(dialogs->questions.size(), 2);
    EXPECT_EQ(Rows(), 4);
    QTest::mouseClick(c->RadioButtonPPS, Qt::LeftButton);
    QTest::mouseClick(c->RadioButtonSetVoltage, Qt::LeftButton);
    EXPECT_EQ(resets(), 2) << "leaving PPS for another mode resets it";
}

TEST_F(ModeControl, TheTickFeedsStepSetpointsAndFallsBackPastTheEnd) {
    Validate();
    QListWidget* list = c->ListBoxStepProgram;
    w->Run().ProgramState = TProgramState::PPS;
    w->Run().CurrentStep = 1;
    w->Timer1Timer();
    EXPECT_DOUBLE_EQ(w->Run().PID->Setpoint(), 0.115);
    w->Run().ProgramState = TProgramState::PIDStep;
    w->Run().CurrentStep = 0;
    QList<TStep> steps = w->Model().StepProgram();
    steps[0] = TStep::Make(1, -0.678, 45);
    w->Model().SetStepProgram(steps);
    EXPECT_EQ(list->item(0)->text(), "0001   -0.678      45") << "the list shows the program";
    w->Timer1Timer();
    EXPECT_DOUBLE_EQ(w->Run().PID->Setpoint(), -0.678);
    w->Run().ProgramState = TProgramState::PIDSet;
    c->RtDoubleEditPISSP->SetValue(-6);
    w->Timer1Timer();
    EXPECT_DOUBLE_EQ(w->Run().PID->Setpoint(), -6);

    // Past the last row: galvanostatic at 0 µA, without a question or a marker row.
    for (TProgramState s : {TProgramState::PIDStep, TProgramState::PPS}) {
        w->Run().ProgramState = s;
        w->Run().CurrentStep = list->count();
        c->RtIntegerEditCurrentmA->SetValue(4);
        const int rows = Rows();
        w->Timer1Timer();
        EXPECT_EQ(w->Run().ProgramState, TProgramState::SetCurrent);
        EXPECT_TRUE(c->RadioButtonModePassive->isChecked());
        EXPECT_EQ(c->RtIntegerEditCurrentmA->Value(), 0);
        EXPECT_DOUBLE_EQ(w->Run().GSCurrentMicroA, 0);
        EXPECT_EQ(Rows(), rows);
        EXPECT_TRUE(dialogs->questions.isEmpty());
        w->Timer1Timer();
        EXPECT_EQ(w->RzStatusPaneStep->Caption(), "Mode: SetCurrent");
        c->RadioButtonModeOff->setChecked(true);
    }

    // An empty program falls back at the first tick.
    w->Model().SetStepProgram({});
    EXPECT_EQ(list->count(), 0);
    w->Run().ProgramState = TProgramState::PPS;
    w->Run().CurrentStep = 0;
    w->Timer1Timer();
    EXPECT_EQ(w->Run().ProgramState, TProgramState::SetCurrent);
}

TEST_F(ModeControl, ToExitIgnoresTheOperator) {
    Validate();
    w->Run().ProgramState = TProgramState::ToExit;
    dialogs->answers = {true};
    QTest::mouseClick(c->RadioButtonModePassive, Qt::LeftButton);
    EXPECT_EQ(w->Run().ProgramState, TProgramState::ToExit);
    EXPECT_EQ(Rows(), 1);
}

} // namespace

// The Debug page's buttons that throw away plot points, rows or the step program ask first, and a
// No leaves everything as it was.
TEST_F(ModeControl, DebugButtonsThatThrowAwayDataAskFirst) {
    auto* debug = w->findChild<QWidget*>(QStringLiteral("TabSheetDebug"));
    ASSERT_NE(debug, nullptr);
    const auto button = [&](const char* name) {
        return debug->findChild<QPushButton*>(QString::fromLatin1(name));
    };
    const auto steps = [&] { return c->ListBoxStepProgram->count(); };
    const struct {
        const char* name;
        const char* asks; // a word of the question
        std::function<int()> observed;
        int afterYes;
    } cases[] = {
        {"ButtonDeleteAllData", "Clear all data", [&] { return Rows(); }, 1},
        {"ButtonPPSUp", "21 PPS steps", steps, 21},
        {"ButtonPPSDown", "21 PPS steps", steps, 21},
        {"ButtonDeleteData", "first 100 points", [&] { return Rows(); }, 3},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        Validate();
        w->Model().AppendModeChangeRow(TProgramState::Paused);
        w->Model().AppendModeChangeRow(TProgramState::Paused);
        w->Model().SetStepProgram({TStep::Make(1, -4, 45)});
        const int before = k.observed();
        QPushButton* b = button(k.name);
        ASSERT_NE(b, nullptr);
        dialogs->questions.clear();
        dialogs->answers = {false};
        b->click();
        ASSERT_EQ(dialogs->questions.size(), 1);
        EXPECT_TRUE(dialogs->questions[0].contains(QLatin1String(k.asks)))
            << qPrintable(dialogs->questions[0]);
        EXPECT_EQ(k.observed(), before) << "No changes nothing";
        dialogs->answers = {true};
        b->click();
        EXPECT_EQ(k.observed(), k.afterYes);
        w->DataGrid->ClearData();
    }
}

// Leaving Paused without a sensor calibration or an experiment name asks first, naming what is
// missing; No keeps the cell paused and records nothing.
TEST_F(ModeControl, StartingARunWithoutCalibrationOrNameAsksFirst) {
    const struct {
        double ax, bx;
        const char* name;
        const char* question; // empty: no question beyond the mode change
    } cases[] = {
        {0, 0, "Run", "The oxygen sensor has no calibration (Ax = Bx = 0). Start anyway?"},
        {20, 0.01, " ", "The experiment has no name. Start anyway?"},
        {0, 0, "",
         "The oxygen sensor has no calibration (Ax = Bx = 0) and the experiment has no name. Start anyway?"},
        {0, 0.01, "Run", ""},
        {20, 0, "Run", ""},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.question);
        Validate();
        SetCalibrationAndName(k.ax, k.bx, QString::fromLatin1(k.name));
        const int rows = Rows();
        dialogs->questions.clear();
        dialogs->answers = {true, false};
        QTest::mouseClick(c->RadioButtonModePassive, Qt::LeftButton);
        if (*k.question == 0) {
            EXPECT_EQ(dialogs->questions, QStringList({kQuestion}));
            EXPECT_EQ(w->Run().ProgramState, TProgramState::SetCurrent);
            EXPECT_EQ(Rows(), rows + 1);
        } else {
            EXPECT_EQ(dialogs->questions, QStringList({kQuestion, QString::fromLatin1(k.question)}));
            EXPECT_EQ(w->Run().ProgramState, TProgramState::Paused);
            EXPECT_TRUE(c->RadioButtonModeOff->isChecked());
            EXPECT_EQ(Rows(), rows) << "a start the operator declined writes no row";
        }
        w->Run().ProgramState = TProgramState::Paused;
        c->RadioButtonModeOff->setChecked(true);
    }
    // Between two pump modes nothing is asked again.
    Validate();
    SetCalibrationAndName(0, 0, QString());
    w->Run().ProgramState = TProgramState::SetCurrent;
    c->RadioButtonModePassive->setChecked(true);
    dialogs->questions.clear();
    dialogs->answers = {true};
    QTest::mouseClick(c->RadioButtonSetVoltage, Qt::LeftButton);
    EXPECT_EQ(dialogs->questions, QStringList({kQuestion}));
    EXPECT_EQ(w->Run().ProgramState, TProgramState::SetVoltage);
}
