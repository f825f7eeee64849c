// The run's status without a window: what the struct holds for a run in each state, and the texts
// the status bar's panes make of it.
#include "app/RunStatus.h"

#include "app/StatusHints.h"
#include "common/Clock.h"
#include "control/TPID.h"
#include "experiment/StepProgram.h"
#include "experiment/StepStatus.h"
#include "experiment/TExperimentModel.h"
#include "instruments/TLinkMonitor.h"
#include "recording/TDataGridModel.h"
#include "tests/support/QtPrint.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using TQuantity = TMonitorStatus::TSetpointQuantity;

class RunStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::Fix(EncodeDateTime(2024, 3, 15, 14, 0, 0));
        run.PID = &pid;
        // Three steps: pO2 1e-6, 1e-7 and 1e-8 atm, or 100, 200 and 300 mV in PPS.
        model.SetStepProgram({TStep::Make(1, -6, 100), TStep::Make(2, -7, 200), TStep::Make(3, -8, 300)});
        model.Rows().FormatGrid();
    }
    void TearDown() override { Clock::Release(); }
    TMonitorStatus Make() {
        step.Follow(run.ProgramState, run.CurrentStep, model.StepCount());
        return TRunStatus::Make(
            {run, model, step, smu, dmm, -3, QStringLiteral("Save failed"), QString(), QString(), NAN});
    }

    TRunState run;
    TPID pid;
    TExperimentModel model{run};
    TStepStatus step;
    TLinkMonitor smu{QStringLiteral("SMU")};
    TLinkMonitor dmm{QStringLiteral("DMM")};
};

TEST_F(RunStatusTest, EachStateAsTheMonitorAndTheStatusBarHaveIt) {
    const QString noTable = TStatusHints::ModePaneHint(TProgramState::SetVoltage, false);
    const struct {
        const char* what;
        TProgramState state;
        int currentStep;
        bool pidTable;
        bool smuFailing;
        double tempC, tempAgeS;
        // the struct
        int step, steps;
        TQuantity quantity;
        double setpoint;
        // the panes
        const char* links;
        int linksImage;
        const char* temperature;
        int temperatureImage;
        QString mode;
        const char* stepText;
    } cases[] = {
        {"before validation a link fault is not named", TProgramState::Uninitialized, 0, true, true, 0, 1e9,
         0, 0, TQuantity::None, NAN, "Invalid instruments", 0, "T, ºC: 500 < 0.0 < 1055", 0,
         "Mode: Uninitialized", ""},
        {"paused: no temperature", TProgramState::Paused, 0, true, false, 812.44, 1, 0, 0, TQuantity::None,
         NAN, "Valid instruments", 2, "T, ºC: paused", -1, "Mode: Paused", ""},
        {"no PID table yet", TProgramState::SetVoltage, 0, false, false, 812.44, 1, 0, 0, TQuantity::None,
         NAN, "Valid instruments", 2, "T, ºC: 500 < 812.4 < 1055", 2, "Mode: SetVoltage" + noTable, ""},
        {"a stale temperature, a link fault", TProgramState::SetCurrent, 0, true, true, 812.44, 21, 0, 0,
         TQuantity::None, NAN, "SMU: no reply since 14:00:00", 0, "T, ºC: 500 < 812.4 < 1055", 0,
         "Mode: SetCurrent", ""},
        {"the operator's PID setpoint", TProgramState::PIDSet, 0, true, false, 1055, 1, 0, 0, TQuantity::PO2,
         1e-3, "Valid instruments", 2, "T, ºC: 500 < 1055.0 < 1055", 0, "Mode: PIDSet", ""},
        {"a PID step", TProgramState::PIDStep, 2, true, false, 700, 1, 3, 3, TQuantity::PO2, 1e-8,
         "Valid instruments", 2, "T, ºC: 500 < 700.0 < 1055", 2, "Mode: Step:0003  Step 3 of 3",
         "Step 3: 0:00 · range ✗ · pO2 stable ✗"},
        {"past the last step", TProgramState::PIDStep, 3, true, false, 700, 1, 0, 0, TQuantity::None, NAN,
         "Valid instruments", 2, "T, ºC: 500 < 700.0 < 1055", 2, "Mode: PIDStep", ""},
        {"a pump voltage step", TProgramState::PPS, 1, true, false, 700, 1, 2, 3, TQuantity::PumpV, 0.2,
         "Valid instruments", 2, "T, ºC: 500 < 700.0 < 1055", 2, "Mode: PPS  Step 2 of 3",
         "Step 2: 0:00 · pO2 stable ✗ · I stable ✗"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        run.ProgramState = c.state;
        run.CurrentStep = c.currentStep;
        pid.Calibration.Valid = c.pidTable;
        run.LastCellTemp = c.tempC;
        run.LastCellTempTime = MonotonicSeconds() - c.tempAgeS;
        smu.Reset();
        if (c.smuFailing)
            smu.Failure(TLinkInstant::Take(), QStringLiteral("no reply"));

        const TMonitorStatus s = Make();
        EXPECT_EQ(s.State, ProgramStateName(c.state));
        EXPECT_EQ(s.ModeText, c.mode);
        EXPECT_EQ(s.Step, c.step);
        EXPECT_EQ(s.StepCount, c.steps);
        EXPECT_EQ(s.InstrumentsValid, c.state != TProgramState::Uninitialized);
        EXPECT_EQ(s.SMU, c.smuFailing ? TLinkState::Failing : TLinkState::OK);
        EXPECT_EQ(s.SetpointQuantity, c.quantity);
        if (std::isnan(c.setpoint))
            EXPECT_TRUE(std::isnan(s.Setpoint));
        else
            EXPECT_NEAR(s.Setpoint, c.setpoint, c.setpoint * 1e-12);
        EXPECT_EQ(s.StepSeconds >= 0, c.step > 0) << "a step's time only while it runs";
        EXPECT_EQ(s.Notice, "Save failed");

        const TStatusBarTexts t = TRunStatus::StatusBar(s);
        EXPECT_EQ(t.Links, c.links);
        EXPECT_EQ(t.LinksImage, c.linksImage);
        EXPECT_EQ(t.LinkFault, c.links[0] == 'S');
        EXPECT_EQ(t.Temperature, QString::fromUtf8(c.temperature));
        EXPECT_EQ(t.TemperatureImage, c.temperatureImage);
        EXPECT_EQ(t.Mode, c.mode);
        EXPECT_EQ(t.Step, QString::fromUtf8(c.stepText));
        EXPECT_EQ(t.Notice, "Save failed");
    }
}

// The relative-change pane shows the newest row's relative change, and nothing for the caption
// row alone or a mode change.
TEST_F(RunStatusTest, RelativeChangeOfTheNewestRow) {
    run.ProgramState = TProgramState::SetCurrent;
    EXPECT_EQ(TRunStatus::StatusBar(Make()).RC, "") << "only the caption row";
    TDataRow data;
    data[TProperty::Mode] = 12;
    data[TProperty::RCpO2] = 0.0123;
    model.Rows().AddRow(data);
    EXPECT_EQ(TRunStatus::StatusBar(Make()).RC, "pO2 relative change last 300s: 0.012 %");
    model.AppendModeChangeRow(TProgramState::SetCurrent);
    EXPECT_EQ(TRunStatus::StatusBar(Make()).RC, "");
}

} // namespace
