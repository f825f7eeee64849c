#include "experiment/RowBuilder.h"

#include "app/DataPlot.h"
#include "common/Clock.h"
#include "common/Locale.h"
#include "control/TPID.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

TDateTime Start() {
    return EncodeDateTime(2024, 3, 15, 14, 0, 0);
}

class RowBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale::c());
        Clock::Fix(Start());
        run.ExperimentStartTime = MonotonicSeconds();
        run.PID = new TPID();
        grid.FormatGrid();
        TRowBuilderLinks links;
        links.Plot = &plot;
        links.FlushGaspO2 = [] { return 0.21; };
        links.RCAppliesToCurrent = [this] { return rcAppliesToCurrent; };
        links.CurrentFloorMicroA = [this] { return floorMicroA; };
        links.StepStatus = &stepStatus;
        links.AutoScroll = [this] { return autoScroll; };
        links.ScrollToLastRow = [this] { ++scrolls; };
        links.SetFlushStatus = [this](const QString& s) { flushStatus << s; };
        links.Save = [this] {
            ++saves;
            if (onSave)
                onSave();
        };
        builder = std::make_unique<TRowBuilder>(run, grid, links);
    }
    void TearDown() override {
        delete run.PID;
        run.PID = nullptr;
        Clock::Release();
    }

    // A completed point `seconds` after the experiment started, its Duration equal to that.
    void Point(double seconds, double pO2 = 1e-4, double pumpI = -2e-4, bool pO2Valid = true) {
        Clock::Fix(Start() + seconds / SecondsPerDay);
        run.DataPoint = TDataPoint{};
        run.DataPoint.PumpV = 0.1;
        run.DataPoint.PumpI = pumpI;
        run.DataPoint.Mode = 10 + int(run.ProgramState);
        run.DataPoint.CellpO2Valid = pO2Valid;
        run.DataPoint.CellpO2 = pO2;
        run.DataPoint.Temp = 800;
        run.DataPoint.Time = seconds;
        run.DataPoint.Interval = 10;
        run.DataPointDate = Now();
    }
    // Hands the point in run.DataPoint over as the SourceMeter thread does, measured under the current
    // step and setpoint and completed under the galvanostatic setting below.
    void Hand() {
        run.DataPoint.Date = run.DataPointDate;
        run.DataPoint.Step = run.CurrentStep;
        run.DataPoint.SetPoint = run.PID->Setpoint();
        run.DataPoint.Galvanostatic = galvanostatic;
        run.DataPoint.GSCurrentMicroA = currentSetpoint;
        run.HandOverDataPoint(run.DataPoint);
    }
    void Build(double seconds, double pO2 = 1e-4, double pumpI = -2e-4, bool pO2Valid = true) {
        Point(seconds, pO2, pumpI, pO2Valid);
        Hand();
        builder->AddDataUpdates();
    }
    QString Cell(TProperty p, int row = -1) const {
        return grid.Cell(row < 0 ? grid.RowCount() - 1 : row, ColumnOf(p));
    }
    int Points(QCPGraph* series) const { return plot.PointCount(series); }

    TRunState run;
    TDataGridModel grid;
    TDataPlot plot;
    std::unique_ptr<TRowBuilder> builder;
    bool galvanostatic = false, rcAppliesToCurrent = false, autoScroll = true;
    double currentSetpoint = 0; // the points' galvanostatic setting: the flag and the current, µA
    double floorMicroA = 0;     // the relative change alone decides, unless a test says otherwise
    TStepStatus stepStatus;
    QStringList flushStatus;
    int scrolls = 0, saves = 0;
    std::function<void()> onSave;
};

TEST_F(RowBuilderTest, NothingWithoutACompletedPoint) {
    run.ProgramState = TProgramState::SetCurrent;
    builder->AddDataUpdates();
    EXPECT_EQ(grid.RowCount(), 1);
    EXPECT_TRUE(flushStatus.isEmpty());
    EXPECT_EQ(Points(plot.RtLineSeriesPumpVoltage), 0);
    EXPECT_EQ(scrolls, 0);
}

TEST_F(RowBuilderTest, DataRowCellsAndPlotPoints) {
    run.ProgramState = TProgramState::SetVoltage;
    Point(90);
    run.DataPoint.PumpV = 0.123456789;
    run.DataPoint.PumpI = -2.34567e-4;
    run.DataPoint.CellpO2 = 1.23456789e-5;
    run.DataPoint.Temp = 812.345;
    run.DataPoint.Time = 12.5;
    run.DataPoint.Interval = 10.004;
    run.DataPointDate = EncodeDateTime(2024, 3, 15, 14, 5, 9, 42);
    run.DataPoint.Monotonic =
        run.ExperimentStartTime + 5 * 60 + 9.042; // completed then on the monotonic clock
    Hand();
    builder->AddDataUpdates();

    ASSERT_EQ(grid.RowCount(), 2);
    EXPECT_FALSE(run.DataPoint.Ready);
    const QStringList row = {"12.50",
                             "13",
                             "",
                             "812.35",
                             "1.23457E-1",
                             "-2.346E-4",
                             "1.234568E-05",
                             "",
                             "",
                             "",
                             "",
                             "",
                             "",
                             "",
                             "2024-03-15_14:05:09:042",
                             "",
                             "10.00"};
    for (int c = 0; c < row.size(); ++c)
        EXPECT_EQ(grid.Cell(1, c), row[c]) << "column " << c;
    EXPECT_EQ(flushStatus, QStringList{"Flush pO2 unknown"});
    for (QCPGraph* s : {plot.RtLineSeriesPumpVoltage, plot.RtLineSeriesPumpCurrent, plot.RtLineSeriesCellpO2,
                        plot.RtLineSeriesCellTemp}) {
        ASSERT_EQ(Points(s), 1);
        // Minutes from the experiment's start to the point's completion (5:09.042 later), so a
        // row built late still sits at its own time.
        EXPECT_NEAR(s->data()->constBegin()->key, 5 + 9.042 / 60, 1e-6);
    }
    EXPECT_EQ(scrolls, 1);

    // Without a sensor average the pO2 cell stays empty and its series gets no point.
    autoScroll = false;
    Build(100, 1e-4, -2e-4, false);
    EXPECT_EQ(Cell(TProperty::CellpO2), QString());
    EXPECT_EQ(Points(plot.RtLineSeriesCellpO2), 1);
    EXPECT_EQ(Points(plot.RtLineSeriesCellTemp), 2);
    EXPECT_EQ(scrolls, 1);
}

TEST_F(RowBuilderTest, PumpEstimates) {
    const struct {
        const char* what;
        TProgramState state;
        bool galvanostatic;
        double current;
        QString status, flushCell, pumpCell;
        int pumpPoints;
    } cases[] = {
        {"zero current", TProgramState::SetCurrent, true, 0, "Flush pO2 0.007 561 atm", "7.56E-3",
         "2.777296E-03", 1},
        {"a current setpoint", TProgramState::SetCurrent, true, 1, "Flush pO2 unknown", "", "", 0},
        // The flush side follows the point's galvanostatic flag, the cell side the program state.
        {"point galvanostatic, another state now", TProgramState::PIDSet, true, 0, "Flush pO2 0.007 561 atm",
         "7.56E-3", "", 0},
        {"another mode selected", TProgramState::SetCurrent, false, 0, "Flush pO2 unknown", "", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        builder->ClearAllData();
        flushStatus.clear();
        run.ProgramState = c.state;
        galvanostatic = c.galvanostatic;
        currentSetpoint = c.current;
        Build(60);
        EXPECT_EQ(flushStatus, QStringList{c.status});
        EXPECT_EQ(Cell(TProperty::FlushpO2), c.flushCell);
        EXPECT_EQ(Cell(TProperty::CellpO2P), c.pumpCell);
        EXPECT_EQ(Points(plot.RtLineSeriesPumppO2), c.pumpPoints);
    }
}

TEST_F(RowBuilderTest, StepSetpointAndRangeCells) {
    const struct {
        TProgramState state;
        double setpoint;
        QString step, sp, range;
    } cases[] = {
        {TProgramState::PIDStep, -4, "3", "-4", "True"}, {TProgramState::PPS, 0.115, "3", "0.115", ""},
        {TProgramState::PIDSet, -4, "", "", "True"},     {TProgramState::PIDSet, -5, "", "", ""},
        {TProgramState::SetCurrent, -4, "", "", ""},
    };
    run.RCThreshold = 0.05;
    for (const auto& c : cases) {
        SCOPED_TRACE(ProgramStateName(c.state).toStdString() + " " + std::to_string(c.setpoint));
        run.ProgramState = c.state;
        run.CurrentStep = 2;
        run.PID->SetSetpoint(c.setpoint);
        Build(30, 1.0002e-4);
        EXPECT_EQ(Cell(TProperty::Step), c.step);
        EXPECT_EQ(Cell(TProperty::SetPoint), c.sp);
        EXPECT_EQ(Cell(TProperty::RangepO2), c.range);
    }
}

TEST(StepAdvance, Rule) {
    const double T = TDataRow::kTrue, no = TDataRow::kEmpty, maxI = TDataRow::kMaxI;
    const struct {
        TProgramState state;
        double range, stablepO2, stableI;
        bool rci, advances;
    } cases[] = {
        {TProgramState::PIDStep, T, T, no, false, true},  {TProgramState::PIDStep, T, T, no, true, false},
        {TProgramState::PIDStep, T, T, T, true, true},    {TProgramState::PIDStep, no, T, T, false, false},
        {TProgramState::PIDStep, T, no, T, false, false}, {TProgramState::PPS, no, T, T, false, true},
        {TProgramState::PPS, no, T, no, false, false},    {TProgramState::PPS, no, T, maxI, false, false},
        {TProgramState::PIDSet, T, T, T, true, false},    {TProgramState::SetCurrent, T, T, T, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ProgramStateName(c.state).toStdString() + " " + std::to_string(c.range) + "/" +
                     std::to_string(c.stablepO2) + "/" + std::to_string(c.stableI) + (c.rci ? " rci" : ""));
        TDataRow row;
        row[TProperty::RangepO2] = c.range;
        row[TProperty::StablepO2] = c.stablepO2;
        row[TProperty::StableI] = c.stableI;
        EXPECT_EQ(TRowBuilder::StepAdvances(c.state, row, c.rci), c.advances);
    }
}

// The current's floor: a current near zero whose fitted change over the window is below the floor
// holds a step no longer, whatever its relative change; at its limit it still does.
TEST(StepAdvance, CurrentFloor) {
    const double T = TDataRow::kTrue, no = TDataRow::kEmpty, maxI = TDataRow::kMaxI;
    const double floorA = 0.05e-6;
    const struct {
        const char* what;
        double stableI;
        double changeA; // fitted change over the window, A; NaN: no fit
        double floorA;
        bool currentStable;
    } cases[] = {
        {"relative change stable", T, 1e-3, floorA, true},
        {"crossing zero, tiny change", no, -3e-9, floorA, true},
        {"a change of the floor itself", no, 0.05e-6, floorA, false},
        {"large change", no, 2e-6, floorA, false},
        {"floor 0: the relative change alone", no, 0, 0, false},
        {"no fit", no, NAN, floorA, false},
        {"at the current limit", maxI, 0, floorA, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TDataRow row;
        row[TProperty::StablepO2] = T;
        row[TProperty::StableI] = c.stableI;
        const TStepCriteria criteria = TRowBuilder::Criteria(row, c.changeA, c.floorA);
        EXPECT_TRUE(criteria.PO2Stable);
        EXPECT_FALSE(criteria.InRange);
        EXPECT_EQ(criteria.CurrentStable, c.currentStable);
        EXPECT_EQ(TRowBuilder::StepAdvances(TProgramState::PPS, criteria, false), c.currentStable);
    }
}

// A PPS step on a cell whose holding current relaxes through zero: its relative change swings
// through hundreds of percent, so only the floor lets the step end once the cell has settled.
TEST_F(RowBuilderTest, AStepWhoseCurrentCrossesZeroAdvancesOnTheFloor) {
    run.RCDuration = 30;
    run.RCThreshold = 0.05;
    const struct {
        const char* what;
        double floorMicroA;
        double slopeAPerS; // the current is 3e-9 A + slope t
        int advanceAt;     // seconds of the point that advances, or -1
    } cases[] = {
        // Over 30 s: 3 nA of change from 1 nA at the window's start, a relative change of -300 %.
        {"tiny change through zero", 0.05, -1e-10, 40},
        {"floor 0: the old rule holds the step", 0, -1e-10, -1},
        {"a change of 3 µA over the window is no settled cell", 0.05, -1e-7, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        builder->ClearAllData();
        run.ProgramState = TProgramState::PPS;
        floorMicroA = c.floorMicroA;
        run.PID->SetSetpoint(0.045);
        run.CurrentStep = 0;
        stepStatus.Follow(run.ProgramState, run.CurrentStep, 8);
        int advancedAt = -1;
        for (int t = 0; t <= 60 && advancedAt < 0; t += 10) {
            Build(t, t % 20 ? 1.00001e-4 : 1.0e-4, 3e-9 + c.slopeAPerS * t);
            if (t >= 40) {
                EXPECT_EQ(Cell(TProperty::StableI), QString()) << t << ": Stable I keeps its meaning";
                EXPECT_FALSE(Cell(TProperty::RCI).isEmpty()) << t;
            }
            if (run.CurrentStep > 0)
                advancedAt = t;
            else if (t >= 40)
                EXPECT_EQ(stepStatus.Criteria().CurrentStable, c.advanceAt >= 0) << t;
        }
        EXPECT_EQ(advancedAt, c.advanceAt);
    }
}

// A program settling at 1e-4 atm, a point every 10 s with a 30 s window: the first rows have too
// short a run for a fit, and the first row whose Duration exceeds 30 s may advance the step.
TEST_F(RowBuilderTest, AdvanceInARunningProgram) {
    run.RCDuration = 30;
    run.RCThreshold = 0.05;
    const struct {
        const char* what;
        TProgramState state;
        bool rci;
        double pumpI;  // the current of every point; NaN: drifting
        int advanceAt; // seconds of the point that advances, or -1
    } cases[] = {
        {"PIDStep", TProgramState::PIDStep, false, -2e-4, 40},
        {"PIDStep with a drifting current, current ignored", TProgramState::PIDStep, false, NAN, 40},
        {"PIDStep with a drifting current that counts", TProgramState::PIDStep, true, NAN, -1},
        {"PPS", TProgramState::PPS, false, -2e-4, 40},
        {"PPS at the current limit", TProgramState::PPS, false, 0.005, -1},
        {"PIDSet never advances", TProgramState::PIDSet, false, -2e-4, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        builder->ClearAllData();
        run.ProgramState = c.state;
        rcAppliesToCurrent = c.rci;
        run.PID->SetSetpoint(c.state == TProgramState::PPS ? 0.045 : -4);
        run.CurrentStep = 0;
        saves = 0;
        int advancedAt = -1;
        for (int t = 0; t <= 60 && advancedAt < 0; t += 10) {
            const double pO2 = t % 20 ? 1.00001e-4 : 1.0e-4;
            const double i = std::isnan(c.pumpI) ? -1e-4 - 1e-6 * t : c.pumpI + (t % 20 ? 1e-7 : 0);
            Build(t, pO2, i);
            if (run.CurrentStep > 0)
                advancedAt = t;
        }
        EXPECT_EQ(advancedAt, c.advanceAt);
        EXPECT_EQ(saves, c.advanceAt < 0 ? 0 : 1);
        if (c.advanceAt >= 0)
            EXPECT_EQ(Cell(TProperty::Step), QStringLiteral("1")); // the advancing row keeps the old step
    }
}

// A point in progress when a step advances was measured under the old step: its row says so, and
// the new step advances only once its own rows cover the relative-change window.
TEST_F(RowBuilderTest, AStepAdvancesOnlyOnRowsMeasuredUnderIt) {
    run.ProgramState = TProgramState::PPS;
    run.RCDuration = 30;
    run.RCThreshold = 0.05;
    QList<int> advances;
    for (int t = 0; t <= 150 && advances.size() < 2; t += 10) {
        // The point of t = 50 was integrated before the advance at t = 40 took effect.
        const int measuredUnder = t == 50 ? 0 : run.CurrentStep;
        run.PID->SetSetpoint(measuredUnder == 0 ? 0.045 : 0.115);
        const int stepBefore = run.CurrentStep;
        const int saved = run.CurrentStep;
        run.CurrentStep = measuredUnder;
        Point(t, t % 20 ? 1.00001e-4 : 1.0e-4, t % 20 ? -2.001e-4 : -2e-4);
        Hand();
        run.CurrentStep = saved;
        builder->AddDataUpdates();
        EXPECT_EQ(Cell(TProperty::Step), QString::number(measuredUnder + 1)) << t;
        EXPECT_EQ(Cell(TProperty::SetPoint),
                  measuredUnder == 0 ? QStringLiteral("0.045") : QStringLiteral("0.115"))
            << t;
        if (run.CurrentStep != stepBefore)
            advances << t;
    }
    // Step 1 at 40 s (its rows from 0 s); step 2's own rows begin at 60 s, so not before 90 s.
    EXPECT_EQ(advances, QList<int>({40, 90}));
}

// The save of a step advance may show a message box, whose event loop runs the tick again and lets
// the SourceMeter thread hand over the next point meanwhile.
TEST_F(RowBuilderTest, NestedTickDuringTheSaveOfAnAdvance) {
    run.ProgramState = TProgramState::PPS;
    run.RCDuration = 30;
    run.RCThreshold = 0.05;
    onSave = [this] {
        builder->AddDataUpdates(); // the same point again: nothing
        Point(50, 1.00001e-4, -2e-4);
        Hand();
        builder->AddDataUpdates(); // the next point, while the first is still being built
    };
    for (int t = 0; t <= 40; t += 10)
        Build(t, t % 20 ? 1.00001e-4 : 1.0e-4, t % 20 ? -2.001e-4 : -2e-4);
    ASSERT_EQ(saves, 1);
    // Captions and one row per point: the point handed over meanwhile follows the advancing row
    // in the same call, once.
    EXPECT_EQ(grid.RowCount(), 7);
    EXPECT_EQ(Cell(TProperty::Time, 5), QStringLiteral("40.00"));
    EXPECT_EQ(Cell(TProperty::Time), QStringLiteral("50.00"));
    EXPECT_FALSE(run.DataPoint.Ready);
    onSave = nullptr;
    builder->AddDataUpdates();
    EXPECT_EQ(grid.RowCount(), 7);
}

TEST_F(RowBuilderTest, DeleteButtons) {
    run.ProgramState = TProgramState::SetCurrent;
    for (int t = 60; t <= 180; t += 60)
        Build(t);
    builder->DeleteFirstPoints();
    for (QCPGraph* s : plot.Series())
        EXPECT_EQ(Points(s), 0);
    EXPECT_EQ(grid.RowCount(), 4);

    builder->ClearAllData();
    EXPECT_EQ(grid.RowCount(), 1);
    EXPECT_EQ(grid.Cell(0, 0), QStringLiteral("Duration, s"));
    Build(240);
    EXPECT_EQ(grid.RowCount(), 2);
    ASSERT_EQ(Points(plot.RtLineSeriesPumpVoltage), 1);
    EXPECT_NEAR(plot.RtLineSeriesPumpVoltage->data()->constBegin()->key, 4.0, 1e-6); // from the old start
}

} // namespace
