// The experiment without a window: mode changes, the step program the tick follows, and the
// details that reach the run and every saved file.
#include "experiment/TExperimentModel.h"

#include "common/Clock.h"
#include "common/Locale.h"
#include "control/TPID.h"
#include "diagnostics/EventLog.h"
#include "experiment/StepProgram.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrint.h"
#include "tests/support/TempFolder.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class ExperimentModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale::c());
        Clock::Fix(EncodeDateTime(2024, 3, 15, 14, 0, 0));
    }
    void TearDown() override { Clock::Release(); }

    TRunState run;
    TExperimentModel model{run};
    TPID& pid = model.PID(); // the experiment's own controller, which the run points at
};

TEST_F(ExperimentModelTest, AModeChangeSetsTheStateAndMarksItInTheRows) {
    const struct {
        const char* what;
        TProgramState from;
        int stepBefore;
        TProgramState to;
        int stepAfter;
        bool integralReset; // the PID was not regulating before
    } cases[] = {
        {"into a step program: it starts at step 1", TProgramState::SetCurrent, 4, TProgramState::PPS, 0,
         true},
        {"the running program chosen again keeps its step", TProgramState::PPS, 4, TProgramState::PPS, 4,
         true},
        {"from one program to the other", TProgramState::PIDStep, 4, TProgramState::PPS, 0, false},
        {"out of a program: the step stays for the record", TProgramState::PIDStep, 4, TProgramState::Paused,
         4, false},
        {"galvanostatic from paused", TProgramState::Paused, 0, TProgramState::SetCurrent, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        model.Rows().ClearData();
        run.ProgramState = c.from;
        run.CurrentStep = c.stepBefore;
        QSignalSpy completed(&model, &TExperimentModel::RowCompleted);
        TLogCapture log(LogPID);
        model.ChangeMode(c.to);

        EXPECT_EQ(run.ProgramState, c.to);
        EXPECT_EQ(run.CurrentStep, c.stepAfter);
        bool reset = false;
        for (const TLogEntry& e : log.Entries())
            reset = reset || e.text == QStringLiteral("PID reset");
        EXPECT_EQ(reset, c.integralReset);
        // One mode-change row, complete at once: the journal takes it.
        ASSERT_EQ(model.Rows().RowCount(), 2);
        const TDataRow& row = model.Rows().Row(1);
        EXPECT_EQ(row.Kind, TRowKind::ModeChange);
        EXPECT_EQ(row[TProperty::Mode], int(c.to));
        EXPECT_EQ(model.Rows().Cell(1, ColumnOf(TProperty::Time)), QStringLiteral("2024-03-15 14:00:00"));
        ASSERT_EQ(completed.count(), 1);
        EXPECT_EQ(completed.at(0).at(0).toInt(), 1);
    }
}

// Only the operator's changes are marked in the rows; the program's own leave the data file alone,
// keep the step and the integral, and tell the event log what happened where the operator needs it.
TEST_F(ExperimentModelTest, TheReasonOfAModeChangeDecidesWhatRecordsIt) {
    TTempProgramFolder folder;
    InstallEventLog(std::make_shared<TEventLog>(folder.file(QStringLiteral("Logs"))));
    qRegisterMetaType<TProgramState>();
    qRegisterMetaType<TModeChangeReason>();
    const struct {
        TModeChangeReason reason;
        TProgramState from, to;
        const char* event; // the event line's text after the time, or "" for none
    } cases[] = {
        {TModeChangeReason::Validation, TProgramState::SetCurrent, TProgramState::Paused,
         "Mode\tchanged from SetCurrent to Paused by the validation"},
        {TModeChangeReason::Validation, TProgramState::Paused, TProgramState::Paused, ""},
        {TModeChangeReason::ProgramEnded, TProgramState::PPS, TProgramState::SetCurrent,
         "Program\tstep program ended after 3 steps: galvanostatic at 0 µA"},
        {TModeChangeReason::Close, TProgramState::SetCurrent, TProgramState::ToExit, ""},
        {TModeChangeReason::Operator, TProgramState::PIDStep, TProgramState::SetCurrent,
         "Mode\tset to SetCurrent"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ProgramStateName(c.from).toStdString() + " to " + ProgramStateName(c.to).toStdString());
        model.Rows().ClearData();
        run.ProgramState = c.from;
        run.CurrentStep = 3;
        const qsizetype eventsBefore = EventLogLinesOfThisRun().size();
        QSignalSpy changed(&model, &TExperimentModel::ModeChanged);
        TLogCapture log(LogPID);
        model.ChangeMode(c.to, c.reason);

        EXPECT_EQ(run.ProgramState, c.to);
        EXPECT_EQ(run.CurrentStep, 3);
        const bool byOperator = c.reason == TModeChangeReason::Operator;
        EXPECT_EQ(model.Rows().RowCount(), byOperator ? 2 : 1);
        for (const TLogEntry& e : log.Entries())
            EXPECT_NE(e.text, QStringLiteral("PID reset"));
        ASSERT_EQ(changed.count(), 1);
        EXPECT_EQ(changed.at(0).at(1).value<TModeChangeReason>(), c.reason);
        const QStringList events = EventLogLinesOfThisRun().mid(eventsBefore);
        const QString expected = QString::fromUtf8(c.event);
        if (expected.isEmpty()) {
            EXPECT_TRUE(events.isEmpty()) << events.join(u'|').toStdString();
        } else {
            ASSERT_EQ(events.size(), 1);
            EXPECT_TRUE(events[0].endsWith(expected)) << events[0].toStdString();
        }
    }
    InstallEventLog(nullptr);
}

// The run's settings change through the experiment, which tells whoever follows them once per
// change; a setpoint without a controller goes nowhere.
TEST_F(ExperimentModelTest, SettingsChangeThroughTheExperimentAndAreAnnounced) {
    QSignalSpy current(&model, &TExperimentModel::GSCurrentChanged);
    model.SetGSCurrent(25);
    model.SetGSCurrent(25);
    EXPECT_EQ(run.GSCurrentMicroA, 25);
    ASSERT_EQ(current.count(), 1);
    EXPECT_EQ(current.at(0).at(0).toDouble(), 25);

    QSignalSpy voltage(&model, &TExperimentModel::SetVoltageChanged);
    model.SetSetVoltagemV(-120);
    EXPECT_EQ(model.SetVoltagemV(), -120);
    EXPECT_EQ(voltage.count(), 1);

    QSignalSpy setpoint(&model, &TExperimentModel::PIDSetpointChanged);
    model.SetPIDSetpoint(-4.5);
    EXPECT_EQ(pid.Setpoint(), -4.5);
    run.PID = nullptr;
    model.SetPIDSetpoint(-6);
    EXPECT_EQ(setpoint.count(), 1);

    QSignalSpy advanced(&model, &TExperimentModel::StepAdvanced);
    run.CurrentStep = 1;
    model.AdvanceStep();
    EXPECT_EQ(run.CurrentStep, 2);
    ASSERT_EQ(advanced.count(), 1);
    EXPECT_EQ(advanced.at(0).at(0).toInt(), 2);
}

TEST_F(ExperimentModelTest, TheRunningStepGivesTheSetpoint) {
    // The third step's setpoint is longer than its six characters: it runs at what its row shows.
    model.SetStepProgram(
        {TStep::Make(1, -4, 45), TStep::Make(2, -5.5, 115), TStep::Make(3, -12.3456789, -1100)});
    ASSERT_EQ(model.StepProgram()[2].Text(), QStringLiteral("0003   -12.34      -1100"));
    const struct {
        TProgramState state;
        int step;
        bool ok;
        double setpoint;
        bool pastEnd;
    } cases[] = {
        {TProgramState::PIDStep, 0, true, -4, false},     {TProgramState::PIDStep, 1, true, -5.5, false},
        {TProgramState::PPS, 0, true, 0.045, false},      {TProgramState::PPS, 1, true, 0.115, false},
        {TProgramState::PIDStep, 2, true, -12.34, false}, {TProgramState::PPS, 2, true, -1.1, false},
        {TProgramState::PPS, 3, false, 0, true},          {TProgramState::PIDSet, 0, false, 0, false},
        {TProgramState::PIDStep, -1, false, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ProgramStateName(c.state).toStdString() + " step " + std::to_string(c.step));
        run.ProgramState = c.state;
        run.CurrentStep = c.step;
        double setpoint = 0;
        EXPECT_EQ(model.StepSetpoint(setpoint), c.ok);
        if (c.ok)
            EXPECT_DOUBLE_EQ(setpoint, c.setpoint);
        EXPECT_EQ(model.StepPastEnd(), c.pastEnd);
    }
}

TEST_F(ExperimentModelTest, DetailsReachTheRunTheWorkersAndTheFileRecord) {
    TSampleDetails sample;
    sample.Name = QStringLiteral("LSC 64");
    sample.M0 = 226.1;
    sample.d = 6.2;
    sample.m0 = 1.2;
    TCellDetails cell;
    cell.RCDuration = 600;
    cell.RCThreshold = 0.025;
    cell.SensorAx = -0.0123;
    cell.SensorBx = 1.5e-7;
    cell.CTO = 812;
    cell.DataPointLength = 4;
    cell.FastMode = true;
    cell.FastModeCount = 7;
    QSignalSpy changed(&model, &TExperimentModel::DetailsChanged);
    model.SetDetails(sample, cell, QStringLiteral("notes"));
    EXPECT_EQ(changed.count(), 1);

    EXPECT_EQ(run.RCDuration, 600);
    EXPECT_EQ(run.RCThreshold, 0.025);
    EXPECT_EQ(run.SensorAx, -0.0123);
    EXPECT_EQ(run.SensorBx, 1.5e-7);
    const IThread2000Host& dmm = model;
    const IThread2401Host& smu = model;
    EXPECT_EQ(dmm.CellTemperatureOverride(), 812);
    EXPECT_TRUE(dmm.FastMode());
    EXPECT_EQ(dmm.FastModeCount(), 7);
    EXPECT_EQ(smu.DataPointLength(), 4);

    const TExperimentFileRecord r = model.FileRecord();
    EXPECT_EQ(r.Sample.Name, sample.Name);
    EXPECT_EQ(r.Cell.CTO, 812);
    EXPECT_EQ(r.Notes, QStringLiteral("notes"));
    EXPECT_DOUBLE_EQ(r.Values.Vs, CalculateSampleValues(sample, cell.Vhpws).Vs);
    EXPECT_GT(r.Values.Vs, 0);
    EXPECT_EQ(r.Grid, &model.Rows().Grid());
}

} // namespace
