// A run through a change of the wall clock: the end and the start of daylight saving (the local
// clock steps back or ahead an hour) and a time correction of 30 s either way. The readings go
// through both workers' updates into the accumulators, the completed points through the row
// builder and its relative-change fits; the same run without the change is the reference. The
// durations must count on evenly, every flag and relative change must read as in the reference,
// the autosave must come after 30 minutes whatever the wall clock did, and only the Time column may
// show the change.
#include "acquisition/TCellResults.h"
#include "app/AutosaveSchedule.h"
#include "common/Clock.h"
#include "common/Locale.h"
#include "control/TPumpResults.h"
#include "experiment/RowBuilder.h"
#include "monitor/MonitorJson.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// 2026-10-25 02:00 is where Europe/Berlin's clocks go back; the fixed clock knows no zone, so the
// step itself is what makes the change.
TDateTime Start() {
    return EncodeDateTime(2026, 10, 25, 2, 40, 0);
}

constexpr int kRunS = 1900;     // s of monotonic time the run lasts
constexpr int kChangeAtS = 700; // when the wall clock steps, shortly before the pO2 settles

// The cell, settling after a step: sensor voltage (V) and pump current (A) at `t` s into the run.
double SensorVoltage(double t) {
    return 0.100 + 0.002 * std::exp(-t / 150.0);
}
double PumpCurrent(double t) {
    return -2e-4 * (1 + 0.3 * std::exp(-t / 150.0));
}

struct TRunResult {
    std::vector<TDataRow> rows; // the data rows, as the grid holds them
    std::vector<double> utcMs;  // the monitor's time of each row
    double autosaveDueAtS = -1; // run time at which the autosave first fell due
};

// One run of kRunS seconds, the wall clock stepped by `stepS` at kChangeAtS: each second a
// multimeter reading, a quarter of a second later a SourceMeter reading.
TRunResult RunWithStep(double stepS) {
    TRunState run;
    SetRegionalLocale(QLocale::c());
    Clock::Fix(Start());
    run.ProgramState = TProgramState::SetVoltage;
    run.RCDuration = 300;
    run.RCThreshold = 0.05;
    TDataGridModel grid;
    grid.FormatGrid();
    TRowBuilder builder(run, grid, TRowBuilderLinks{});
    // The two results steps, without their workers: the test hands them the readings.
    TStopRequest stop;
    TPumpHandOver pump;
    TPumpResults smu(nullptr, run, pump, stop);
    TCellHandOver cell;
    TCellResults dmm(nullptr, run, cell, stop);
    pump.ModeEx.store(TMode::SetVoltage);
    cell.ToPauseEx.store(false);

    TAutosaveSchedule autosave;
    run.LastSaveTime = Now(); // the run's first save
    autosave.Observe(run.LastSaveTime, MonotonicSeconds());
    const double t0 = MonotonicSeconds();
    TRunResult result;
    for (int s = 1; s <= kRunS; ++s) {
        Clock::AdvanceSeconds(0.75);
        if (s == kChangeAtS)
            Clock::StepWallSeconds(stepS);

        TDMMReading m;
        m.TemperatureOK = m.SensorOK = true;
        m.StartTime = MonotonicSeconds() - 0.6;
        m.HandedAt = MonotonicSeconds();
        m.CellTemp = 800;
        m.SensorVoltage = SensorVoltage(s);
        dmm.Update(m);

        Clock::AdvanceSeconds(0.25);
        TSMUReading r;
        r.MeasurementsOK = true;
        r.ResponseTime = MonotonicSeconds() - 0.1;
        r.HandedAt = MonotonicSeconds();
        r.HandedAtWall = NowWithOffset();
        r.VoltageMeasured = 0.1;
        r.CurrentMeasured = PumpCurrent(s);
        smu.Update(r);
        builder.AddDataUpdates();

        if (result.autosaveDueAtS < 0 && autosave.Due(run.LastSaveTime, MonotonicSeconds()))
            result.autosaveDueAtS = std::round(MonotonicSeconds() - t0);
    }
    TMonitorJson::TZoneCache zone;
    for (int row = 1; row < grid.RowCount(); ++row) {
        result.rows.push_back(grid.Row(row));
        result.utcMs.push_back(TMonitorJson::RowUnixMs(grid.Row(row), zone));
    }
    Clock::Release();
    return result;
}

// Equal within `tolerance`, or both empty. The fixed clock adds its steps in days, so the two
// runs' times differ by rounding in the last bits.
bool Same(double a, double b, double tolerance) {
    return (std::isnan(a) && std::isnan(b)) || std::abs(a - b) <= tolerance;
}

TEST(ClockChange, DurationsFlagsAndAutosaveReadAsWithoutTheChange) {
    const TRunResult reference = RunWithStep(0);
    // The reference is worth comparing with: the fits ran, and the pO2 settled during the run.
    ASSERT_GT(reference.rows.size(), 100u);
    int stable = 0;
    for (const TDataRow& row : reference.rows)
        stable += row.IsTrue(TProperty::StablepO2);
    ASSERT_GT(stable, 0);
    ASSERT_LT(stable, int(reference.rows.size()) - 50);
    EXPECT_EQ(reference.autosaveDueAtS, 1801);

    const struct {
        const char* name;
        double stepS;
    } cases[] = {{"daylight saving ends", -3600},
                 {"daylight saving begins", 3600},
                 {"clock corrected back", -30},
                 {"clock corrected ahead", 30}};
    const struct {
        TProperty p;
        double tolerance;
    } sameAsReference[] = {{TProperty::Time, 1e-4}, {TProperty::Interval, 1e-4}, {TProperty::RCpO2, 1e-6},
                           {TProperty::RCI, 1e-6},  {TProperty::StablepO2, 0},   {TProperty::StableI, 0},
                           {TProperty::CellpO2, 0}, {TProperty::PumpI, 0},       {TProperty::Mode, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TRunResult run = RunWithStep(c.stepS);
        ASSERT_EQ(run.rows.size(), reference.rows.size());
        EXPECT_EQ(run.autosaveDueAtS, reference.autosaveDueAtS);
        const double firstStep = run.rows[1][TProperty::Time] - run.rows[0][TProperty::Time];
        for (std::size_t i = 0; i < run.rows.size(); ++i) {
            SCOPED_TRACE("row " + std::to_string(i + 1));
            const TDataRow& row = run.rows[i];
            for (const auto& v : sameAsReference)
                EXPECT_TRUE(Same(row[v.p], reference.rows[i][v.p], v.tolerance))
                    << Col(v.p).Caption.toStdString() << ": " << row[v.p] << " against "
                    << reference.rows[i][v.p];
            if (i > 0) {
                // Duration counts on evenly: one point every so many seconds, never a jump.
                EXPECT_NEAR(row[TProperty::Time] - run.rows[i - 1][TProperty::Time], firstStep, 1e-4);
                EXPECT_GT(run.utcMs[i], run.utcMs[i - 1]);
            }
            EXPECT_NEAR(run.utcMs[i], reference.utcMs[i], 1);
            // Only the Time column follows the wall clock, change included.
            const double runTime = (reference.rows[i][TProperty::Date] - Start()) * SecondsPerDay;
            EXPECT_NEAR((row[TProperty::Date] - reference.rows[i][TProperty::Date]) * SecondsPerDay,
                        runTime > kChangeAtS - 0.5 ? c.stepS : 0.0, 0.01);
        }
    }
}

} // namespace
