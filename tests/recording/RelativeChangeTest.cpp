#include "recording/RelativeChange.h"

#include "common/Locale.h"
#include "common/NumberFormat.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGridModel.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// One grid row: a data row (mode >= 10) with its Duration and the Cell pO2 and Pump I values
// (NaN leaves the cell empty), or a mode-change row (mode 1 to 6).
struct TGridRow {
    int mode;
    double t = 0;
    double pO2 = kNaN;
    double pumpI = kNaN;
};

TGridRow Marker(int state) {
    return {state};
}

void AddRow(TDataGridModel& grid, const TGridRow& s) {
    TDataRow row;
    row[TProperty::Mode] = s.mode;
    if (s.mode < 10) {
        row.Kind = TRowKind::ModeChange;
        row[TProperty::Date] = 45366.5;
    } else {
        row[TProperty::Time] = s.t;
        row[TProperty::CellpO2] = s.pO2;
        row[TProperty::PumpI] = s.pumpI;
    }
    grid.AddRow(row);
}

// Data rows of one mode at times t0, t0 + dt, ... with pO2 = a + b t.
std::vector<TGridRow> DataRun(int mode, double t0, double dt, int count, double a, double b) {
    std::vector<TGridRow> rows;
    for (int i = 0; i < count; ++i) {
        const double t = t0 + i * dt;
        rows.push_back({mode, t, a + b * t});
    }
    return rows;
}

std::vector<TGridRow> Join(std::initializer_list<std::vector<TGridRow>> parts) {
    std::vector<TGridRow> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegionalLocale(QLocale::c());
        grid.FormatGrid();
    }
    void TearDown() override { SetRegionalLocale(QLocale::c()); }
    void Fill(const std::vector<TGridRow>& rows) {
        for (const auto& r : rows)
            AddRow(grid, r);
    }
    int Last() const { return grid.RowCount() - 1; }
    QString Cell(TProperty p) const { return grid.Cell(Last(), ColumnOf(p)); }

    TDataGridModel grid;
};

struct RRCCase {
    const char* what;
    std::vector<TGridRow> rows;
    double rcDuration;
    bool ok;
    double percent = 0;
    TProperty column = TProperty::CellpO2;
};

using GetRRCTest = GridTest;

TEST_F(GetRRCTest, WindowOfTheCurrentRun) {
    std::vector<TGridRow> holed = DataRun(12, 0, 10, 6, 1, 0.1);
    holed[4].pO2 = kNaN; // t = 40, inside a 20 s window
    std::vector<TGridRow> holedEarly = DataRun(12, 0, 10, 6, 1, 0.1);
    holedEarly[1].pO2 = kNaN; // t = 10, before the window
    std::vector<TGridRow> currents = DataRun(12, 0, 10, 5, 1, 0.1);
    for (auto& r : currents)
        r.pumpI = -1e-3 + 1e-5 * r.t;

    const RRCCase cases[] = {
        {"a single data row", DataRun(12, 0, 10, 1, 1, 0.1), 0, false},
        {"row 1 would be needed to span the duration", DataRun(12, 0, 10, 5, 1, 0.1), 40, false},
        // Rows 2 to 5 at t = 10 ... 40: intercept 2, change 3 over 30 s.
        {"row 1 never joins the run", DataRun(12, 0, 10, 5, 1, 0.1), 30, true, 150},
        // The newest row with t <= 35 - 20 is t = 14: intercept 2.4, change 2.1 over 21 s.
        {"the fit starts at the newest row old enough", DataRun(12, 0, 7, 6, 1, 0.1), 20, true, 87.5},
        {"a mode-change row ends the earlier run",
         Join({DataRun(15, 0, 10, 10, 1, 0.1), {Marker(5)}, DataRun(15, 100, 10, 3, 1, 0.1)}), 30, false},
        {"the new run fits on its own once long enough",
         Join({DataRun(15, 0, 10, 10, 5, -0.2), {Marker(5)}, DataRun(15, 100, 10, 4, 1, 0.1)}), 30, true,
         // t = 100 ... 130: intercept 11, change 3.
         3.0 / 11 * 100},
        {"a data row of another mode ends the run too",
         Join({{Marker(2)}, DataRun(12, 0, 10, 5, 5, -0.2), DataRun(13, 50, 10, 2, 1, 0.1)}), 10, false},
        {"fewer than three rows since the mode change",
         Join({DataRun(12, 0, 10, 5, 1, 0.1), {Marker(3)}, DataRun(13, 0, 10, 2, 1, 0.1)}), 5, false},
        {"an unreadable value inside the window", holed, 20, false},
        // t = 30 ... 50: intercept 4, change 2.
        {"an unreadable value before the window", holedEarly, 20, true, 50},
        {"steady values give no fit", DataRun(12, 0, 10, 5, 5, 0), 20, false},
        // Pump I -1e-3 + 1e-5 t over t = 10 ... 40: intercept -9e-4, change 3e-4.
        {"the Pump I column", currents, 30, true, -3e-4 / 9e-4 * 100, TProperty::PumpI},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        grid.ClearData();
        Fill(c.rows);
        double rc = -999;
        EXPECT_EQ(GetRRC(grid.Grid(), rc, c.column, c.rcDuration), c.ok);
        if (c.ok)
            EXPECT_NEAR(rc, c.percent, 1e-9);
        else
            EXPECT_EQ(rc, -999); // untouched
    }
}

// The fit's absolute change over the duration (slope x duration), which judges a current near
// zero, where its relative change means nothing.
TEST_F(GetRRCTest, AbsoluteChangeOverTheDuration) {
    const auto currents = [](double a, double b, double dt = 10) {
        std::vector<TGridRow> rows = DataRun(12, dt, dt, 5, 1, 0.1);
        for (auto& r : rows)
            r.pumpI = a + b * r.t;
        return rows;
    };
    const struct {
        const char* what;
        std::vector<TGridRow> rows;
        double rcDuration;
        bool ok;
        double change; // A over rcDuration; NaN: none
    } cases[] = {
        // t = 20 ... 50: 1 nA falling by 3 nA, a relative change of -300 %.
        {"a current crossing zero", currents(3e-9, -1e-10), 30, true, -3e-9},
        {"a steady current changes by nothing", currents(-std::ldexp(1.0, -22), 0), 30, false, 0},
        // t = 16 ... 40: 0, 1, 2, 3 A, so the fit starts at exactly 0 and rises 3 A over 24 s.
        {"a current whose fitted start is exactly 0", currents(-2, 0.125, 8), 24, false, 3},
        {"too few rows for a fit", Join({DataRun(12, 0, 10, 2, 1, 0.1)}), 30, false, kNaN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        grid.ClearData();
        Fill(c.rows);
        double rc = 0, change = -999;
        EXPECT_EQ(GetRRC(grid.Grid(), rc, TProperty::PumpI, c.rcDuration, &change), c.ok);
        if (std::isnan(c.change))
            EXPECT_TRUE(std::isnan(change));
        else
            EXPECT_NEAR(change, c.change, std::fabs(c.change) * 1e-9);
    }
}

TEST_F(GetRRCTest, RunsFollowTheGrid) {
    // A fitted run, then cleared away: only the new run counts.
    for (const auto& r : DataRun(12, 0, 10, 20, 5, -0.2))
        AddRow(grid, r);
    double rc = 0;
    ASSERT_TRUE(GetRRC(grid.Grid(), rc, TProperty::CellpO2, 30));
    EXPECT_NEAR(rc, -6.0 / (5 - 0.2 * 160) * 100, 1e-9); // t = 160 ... 190

    grid.ClearData();
    EXPECT_EQ(grid.RowCount(), 1);
    AddRow(grid, Marker(2));
    for (const auto& r : DataRun(12, 0, 10, 4, 1, 0.1))
        AddRow(grid, r);
    ASSERT_TRUE(GetRRC(grid.Grid(), rc, TProperty::CellpO2, 30));
    EXPECT_NEAR(rc, 300, 1e-9); // t = 0 ... 30 from the new rows: intercept 1, change 3
    EXPECT_EQ(grid.Grid().RunStart(grid.RowCount() - 1), 2);
    // A row's mode changed afterwards splits the run there.
    grid.SetValue(4, TProperty::Mode, 13);
    EXPECT_EQ(grid.Grid().RunStart(grid.RowCount() - 1), 5);
}

TEST_F(GetRRCTest, CommaLocale) {
    SetRegionalLocale(QLocale(QLocale::German, QLocale::Germany));
    Fill(DataRun(12, 0, 7, 6, 1, 0.1));
    EXPECT_EQ(grid.Cell(2, ColumnOf(TProperty::Time)), QStringLiteral("7,00"));
    double rc = 0;
    ASSERT_TRUE(GetRRC(grid.Grid(), rc, TProperty::CellpO2, 20));
    EXPECT_NEAR(rc, 87.5, 1e-9);
}

TEST_F(GetRRCTest, TraceOnTheFormChannelThenSwitchedOff) {
    Fill(DataRun(12, 0, 10, 5, 1, 0.1));
    TLogCapture log(LogForm);
    double rc = 0;
    ASSERT_TRUE(GetRRC(grid.Grid(), rc, TProperty::CellpO2, 30));
    EXPECT_FALSE(LogForm.Enabled());
    const QStringList expected = {
        "GetRRC: valid data : 2 5",
        "EndTime: 40",
        "Start time goal: 10",
        "Actual start ID: 2",
        "Start time actual: 10",
        "Start time Index: 2",
        "          LLS duration : 30.0 s",
        "             Average Y : 3.5",
        "                Points : 4",
        "                     Y = 0.1X + 2",
        "       Relative change : 150.000 000%",
        "",
        "I:0 X:0 Y:2",
        "I:1 X:10 Y:3",
        "I:2 X:20 Y:4",
        "I:3 X:30 Y:5",
    };
    EXPECT_EQ(log.Messages(), expected);

    // An exit before the fit leaves the channel as it is.
    LogForm.SetEnabled(true);
    grid.ClearData();
    EXPECT_FALSE(GetRRC(grid.Grid(), rc, TProperty::CellpO2, 30));
    EXPECT_TRUE(LogForm.Enabled());
    EXPECT_EQ(log.Messages().last(), QStringLiteral("GetRRC: Exit not enough data"));
}

TEST(StabilityTests, RangeBoundsAreExclusive) {
    const double lo = 1.0e-4 / 1.0005, hi = 1.0e-4 * 1.0005;
    const struct {
        double p;
        bool in;
    } cases[] = {{lo, false},    {std::nextafter(lo, 1.0), true},
                 {1.0e-4, true}, {std::nextafter(hi, 0.0), true},
                 {hi, false},    {0, false},
                 {kNaN, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p);
        EXPECT_EQ(PO2InRange(c.p, -4, 0.05), c.in);
    }
    EXPECT_FALSE(PO2InRange(1.0e-4, kNaN, 0.05));
    EXPECT_FALSE(BelowThreshold(kNaN, 0.05));
    EXPECT_TRUE(BelowThreshold(-0.04, -0.05));
}

struct FlagCase {
    const char* what;
    std::vector<TGridRow> rows;
    double pumpI; // the data point's current
    double rcDuration;
    QString rcpO2, stablepO2, rcI, stableI;
};

using StabilityFlagsTest = GridTest;

TEST_F(StabilityFlagsTest, CellsOfTheNewRow) {
    // pO2 1e-4 + 1e-10 t and a current whose change is tiny too, every 10 s.
    const auto settled = [](double t0, int count) {
        std::vector<TGridRow> rows = DataRun(14, t0, 10, count, 1e-4, 1e-10);
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i].pumpI = i % 2 ? -2.001e-4 : -2.0e-4;
        return rows;
    };
    std::vector<TGridRow> drifting = DataRun(14, 0, 10, 41, 1e-4, 1e-8);
    for (auto& r : drifting)
        r.pumpI = -1e-4 - 1e-7 * r.t;

    const FlagCase cases[] = {
        {"settled and longer than the duration", Join({{Marker(4)}, settled(0, 41)}), -2e-4, 300, "0.030",
         "True", "0.000", "True"},
        {"settled but only as long as the duration", Join({{Marker(4)}, settled(0, 31)}), -2e-4, 300, "0.030",
         "", "0.000", "True"},
        {"drifting", Join({{Marker(4)}, drifting}), -1e-4, 300, "2.970", "", "27.273", ""},
        {"current at its limit", Join({{Marker(4)}, settled(0, 41)}), 0.005, 300, "0.030", "True", "",
         "MaxI"},
        {"negative current at the limit", Join({{Marker(4)}, settled(0, 41)}), -0.00495, 300, "0.030", "True",
         "", "MaxI"},
        {"too short a run for any fit", Join({{Marker(4)}, settled(0, 2)}), -2e-4, 300, "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        grid.ClearData();
        Fill(c.rows);
        WriteStabilityFlags(grid, Last(), c.pumpI, c.rcDuration, 0.05);
        EXPECT_EQ(Cell(TProperty::RCpO2), c.rcpO2);
        EXPECT_EQ(Cell(TProperty::StablepO2), c.stablepO2);
        EXPECT_EQ(Cell(TProperty::RCI), c.rcI);
        EXPECT_EQ(Cell(TProperty::StableI), c.stableI);
    }
}

TEST_F(StabilityFlagsTest, RangeFlag) {
    Fill(DataRun(14, 0, 10, 3, 1e-4, 0));
    WriteRangeFlag(grid, Last(), 1.0002e-4, -4, 0.05);
    EXPECT_EQ(Cell(TProperty::RangepO2), QStringLiteral("True"));
    AddRow(grid, {14, 30, 1e-4});
    WriteRangeFlag(grid, Last(), 1.001e-4, -4, 0.05);
    EXPECT_EQ(Cell(TProperty::RangepO2), QString());
}

} // namespace
