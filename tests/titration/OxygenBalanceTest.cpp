// The oxygen balance against values worked out by hand: the gas in the cell, the pump charge with
// its gaps, the sample's oxygen content, and the leak constant learned from equilibrium points.
#include "titration/GasPhaseOxygen.h"
#include "titration/TOxygenBalance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kF = 96485.33212;
constexpr double kR = 8.314462618;
constexpr double kAtm = 101325.0;
constexpr double kDay0 = 45366.5; // 2024-03-15 12:00

// A data row of `mode`; Duration and the Time cell as given, Interval 10 s.
TDataRow Row(double mode, double duration, double current, double pO2 = 0.0016, double dateSeconds = -1,
             double interval = 10) {
    TDataRow r;
    r[TProperty::Mode] = mode;
    r[TProperty::Time] = duration;
    r[TProperty::Interval] = interval;
    r[TProperty::PumpI] = current;
    r[TProperty::CellpO2] = pO2;
    r[TProperty::Temp] = 700;
    r[TProperty::Date] = kDay0 + (dateSeconds < 0 ? duration : dateSeconds) / 86400.0;
    return r;
}

TDataRow ModeChange(double state, double dateSeconds) {
    TDataRow r;
    r.Kind = TRowKind::ModeChange;
    r[TProperty::Mode] = state;
    r[TProperty::Date] = kDay0 + dateSeconds / 86400.0;
    return r;
}

// No gas volume, no leak: the balance is the charge alone.
TTitrationSetup ChargeOnly() {
    TTitrationSetup s;
    s.Vhp = 0;
    s.Vgp = 0;
    s.m0 = 1;
    s.M0 = 100;
    s.b0 = 3;
    s.bs = 3;
    return s;
}

} // namespace

TEST(GasPhaseOxygen, MatchesTheIdealGasOverBothParts) {
    struct TCase {
        const char* name;
        double pO2, cellC, vhpL, vgpL, tlC;
        double expected; // mol O2, worked out by hand below each case
    };
    const TCase cases[] = {
        // 0.21 atm * 101325 Pa/atm * 12e-6 m^3 / (8.314462618 * 973.15 K)
        {"hot part only", 0.21, 700, 0.012, 0, 30, 3.1557542891456226e-05},
        // 101325 * 12e-6 / R * ln(1000 / 300) / (1000 - 300)
        {"gradient part only", 1, 726.85, 0, 0.012, 26.85, 0.0002515256676464801},
        // T = Tl: the profile is flat, 101325 * 10e-6 / (R * 303.15)
        {"gradient at the cold end's temperature", 1, 30, 0, 0.010, 30, 0.0004019988908107808},
        // air at 700 degC in the default cell (12 mL hot, 12 mL gradient to 30 degC):
        // 0.21 * 101325 / R * (12e-6 / 973.15 + 12e-6 * ln(973.15 / 303.15) / 670)
        {"air at 700 degC, default cell", 0.21, 700, 0.012, 0.012, 30, 8.501673004045182e-05},
        {"no gas volume", 0.21, 700, 0, 0, 30, 0},
        // Vgp = 0 leaves the gradient out even with a cold end below 0 K.
        {"no gradient volume, cold end meaningless", 0.21, 700, 0.012, 0, -300, 3.1557542891456226e-05},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(GasPhaseOxygenMol(c.pO2, c.cellC, c.vhpL, c.vgpL, c.tlC), c.expected,
                    1e-12 * c.expected + 1e-30);
    }
    // Approaching T = Tl from either side meets the flat profile's value.
    for (double dT : {1e-7, -1e-7, 1e-3, -1e-3}) {
        SCOPED_TRACE(dT);
        const double flat = kAtm * 10e-6 / (kR * 303.15);
        EXPECT_NEAR(GasPhaseOxygenMol(1, 30 + dT, 0, 0.010, 30), flat,
                    1e-5 * flat * (std::abs(dT) / 1e-3 + 1e-3));
    }
    // Gas in the air at 700 degC outweighs a change of delta by 0.01 of 1 g at 100 g/mol (5e-5 mol).
    EXPECT_GT(GasPhaseOxygenMol(0.21, 700, 0.012, 0.012, 30), 0.01 * 0.01 / 2);
    EXPECT_TRUE(std::isnan(GasPhaseOxygenMol(NAN, 700, 0.012, 0, 30)));
    EXPECT_TRUE(std::isnan(GasPhaseOxygenMol(0.21, -300, 0.012, 0, 30)));
    EXPECT_TRUE(std::isnan(GasPhaseOxygenMol(0.21, 700, 0.012, 0.012, -300)));
}

TEST(OxygenBalance, ChargeCountsEachRowsTimeAndBridgesGaps) {
    struct TCase {
        const char* name;
        std::vector<TDataRow> rows;
        double measured, estimated; // C
    };
    const TCase cases[] = {
        // The moment between two points (here 0.3 s) belongs to the next row's current.
        {"rows end to end", {Row(12, 10, 1e-3), Row(12, 20.3, 1e-3), Row(12, 30.3, 1e-3)}, 1e-3 * 30.3, 0},
        // A dropped point: 30 s between rows of 10 s; 20 s bridged at (1 + 3) / 2 mA.
        {"dropped point", {Row(12, 10, 1e-3), Row(12, 20, 1e-3), Row(12, 50, 3e-3)}, 0.05, 20 * 2e-3},
        // Across a mode change Duration starts again; the Time cells give 100 s between the rows.
        {"mode change",
         {Row(12, 10, 1e-3), Row(12, 20, 1e-3), ModeChange(3, 25), Row(13, 10, 2e-3, 0.0016, 120)},
         1e-3 * 20 + 2e-3 * 10,
         90 * 1.5e-3},
        // The wall clock jumps an hour within a run: Duration says nothing was missed.
        {"wall clock jump",
         {Row(12, 10, 1e-3), Row(12, 20, 1e-3, 0.0016, 20), Row(12, 30, 1e-3, 0.0016, 3630)},
         0.03,
         0},
        // Negative current: oxygen pumped in, negative charge.
        {"pumping in", {Row(12, 10, -2e-3), Row(12, 20, -2e-3)}, -0.04, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TOxygenBalance balance(ChargeOnly());
        for (const TDataRow& r : c.rows)
            balance.Add(r);
        // Time cells resolve about a microsecond of a day count.
        EXPECT_NEAR(balance.Sums().ChargeMeasured, c.measured, 1e-8);
        EXPECT_NEAR(balance.Sums().ChargeEstimated, c.estimated, 1e-8);
    }
}

TEST(OxygenBalance, SampleOxygenFromChargeLeakAndGas) {
    // 1 g at 100 g/mol: n0 = 0.01 mol, b0 = bs = 3. Flush gas 0.0625 atm (fourth root 0.5); the
    // cell at 0.0016 atm (fourth root 0.2), then 0.0001 atm (0.1). 12 mL hot part at 700 degC.
    TTitrationSetup s = ChargeOnly();
    s.Vhp = 0.012;
    s.FGpO2 = 0.0625;
    s.EnteredAlpha = 1e-9;
    TOxygenBalance balance(s);
    TBalanceRow out;
    ASSERT_TRUE(balance.Add(Row(12, 10, 0.01, 0.0016), &out));
    ASSERT_TRUE(balance.Add(Row(12, 20, 0.01, 0.0001), &out));
    // Pump: 0.01 A * 20 s = 0.2 C out, 0.2 / (4 * 96485.33212) mol O2.
    // Leak: 1e-9 * (0.3 * 10 + 0.4 * 10) = 7e-9 mol O2 in.
    // Gas: (0.0001 - 0.0016) * 101325 * 12e-6 / (R * 973.15) = -2.2541102e-7 mol.
    const double pumped = 0.2 / (4 * kF);
    const double leak = 7e-9;
    const double gas = (0.0001 - 0.0016) * kAtm * 12e-6 / (kR * 973.15);
    EXPECT_NEAR(out.LeakMol, leak, 1e-20);
    EXPECT_NEAR(out.Sums.GasChangeMol, gas, 1e-18);
    EXPECT_NEAR(out.SampleMol, -pumped + leak - gas, 1e-18);
    EXPECT_NEAR(out.SampleMol, -5.1822e-7 + 7e-9 + 2.2541e-7, 1e-11);
    EXPECT_NEAR(out.b, 3 + 2 * out.SampleMol / 0.01, 1e-15);
    EXPECT_NEAR(out.Delta, -2 * out.SampleMol / 0.01, 1e-15);
    EXPECT_NEAR(out.Delta, 5.7162e-5, 1e-8); // the sample gave off oxygen: delta grew
    EXPECT_EQ(out.Alpha, 1e-9);

    // Without the leak correction the leak is left out.
    s.LeakCorrection = false;
    TOxygenBalance noLeak(s);
    noLeak.Add(Row(12, 10, 0.01, 0.0016));
    noLeak.Add(Row(12, 20, 0.01, 0.0001), &out);
    EXPECT_NEAR(out.SampleMol, -pumped - gas, 1e-18);

    // Without a molar mass there are no moles of compound and so no b.
    s.M0 = 0;
    TOxygenBalance noMoles(s);
    noMoles.Add(Row(12, 10, 0.01), &out);
    EXPECT_TRUE(std::isnan(out.b));
    EXPECT_TRUE(std::isnan(out.Delta));
}

namespace {

// One step of a PIDStep run: three rows on the way, then three settled rows at `pO2` with the
// current that balances a leak flow of `flow` mol O2/s; the last row carries the advance flags.
void AddStep(std::vector<TDataRow>& rows, double& t, int step, double pO2, double flow, bool settled = true) {
    for (int i = 0; i < 6; ++i) {
        t += 10;
        TDataRow r = Row(15, t, i < 3 ? 1e-3 : 4 * kF * flow, i < 3 ? pO2 * 10 : pO2);
        r[TProperty::Step] = step;
        if (i == 5 && settled) {
            r[TProperty::StablepO2] = TDataRow::kTrue;
            r[TProperty::RangepO2] = TDataRow::kTrue;
        }
        rows.push_back(r);
    }
}

} // namespace

TEST(OxygenBalance, EquilibriumPointsTeachTheLeakConstant) {
    TTitrationSetup s = ChargeOnly();
    s.FGpO2 = 0.0625; // fourth root 0.5
    s.RCDuration = 30;
    s.EnteredAlpha = 7e-10;
    std::vector<TDataRow> rows;
    double t = 10;
    rows.push_back(Row(15, t, 0, 0.0625)); // before the program: at the flush gas
    rows.back()[TProperty::Mode] = 12;
    // Drives 0.5 - 0.2, 0.5 - 0.1, 0.5 - 0.01; flows 3e-11, 4e-11, 5e-11 mol/s.
    AddStep(rows, t, 1, 0.0016, 3e-11);
    AddStep(rows, t, 2, 0.0001, 4e-11);
    AddStep(rows, t, 3, 1e-8, 5e-11);
    // The program ran past its last step: one more point in PIDStep, then galvanostatic at 0.
    t += 10;
    rows.push_back(Row(15, t, 4 * kF * 5e-11, 1e-8));
    rows.back()[TProperty::Step] = 4;
    rows.back()[TProperty::StablepO2] = TDataRow::kTrue;
    rows.back()[TProperty::RangepO2] = TDataRow::kTrue;
    rows.push_back(Row(12, 10, 0, 1e-8, t + 10));

    TOxygenBalance balance(s);
    std::vector<double> alphas;
    TBalanceRow out;
    for (const TDataRow& r : rows) {
        balance.Add(r, &out);
        alphas.push_back(out.Alpha);
    }
    balance.Finish();
    ASSERT_EQ(balance.Points().size(), 3u);
    const double logs[] = {std::log10(0.0016), -4, -8};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const TEquilibriumPoint& p = balance.Points()[std::size_t(k)];
        EXPECT_EQ(p.Step, k + 1);
        EXPECT_EQ(p.Mode, 15);
        EXPECT_EQ(p.Direction, TEquilibriumPoint::Falling);
        // The means cover the settled last 30 s only.
        EXPECT_NEAR(p.Means.Log10pO2, logs[k], 1e-12);
        EXPECT_NEAR(p.LeakCurrent(), 4 * kF * (3 + k) * 1e-11, 1e-18);
        EXPECT_NEAR(p.Means.CellT, 700, 1e-9);
    }
    // alpha = sum(x y) / sum(x^2) = (0.3 * 3 + 0.4 * 4 + 0.49 * 5) e-11 / (0.09 + 0.16 + 0.2401)
    EXPECT_NEAR(balance.Alpha(), 1.0099979596000816e-10, 1e-20);
    // sqrt(sum((y - alpha x)^2) / (3 - 1) / sum(x^2))
    EXPECT_NEAR(balance.LeakFit().StandardError(), 7.213903093109097e-13, 1e-20);
    // Entered alpha until the first point; the point of step 1 is taken at step 2's first row.
    EXPECT_EQ(alphas[6], 7e-10);
    EXPECT_NEAR(alphas[7], 3e-11 / 0.3, 1e-22);
    EXPECT_TRUE(std::isnan(TLeakFit().StandardError()));
}

TEST(OxygenBalance, UnsettledOrShortLastStepIsNoPoint) {
    struct TCase {
        const char* name;
        bool settled;
        bool modeChange; // the run ends with a mode-change row, else with the end of the rows
        std::size_t points;
    };
    const TCase cases[] = {
        {"settled, then the end of the rows", true, false, 1},
        {"settled, then a mode change", true, true, 1},
        {"interrupted before it settled", false, true, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TTitrationSetup s = ChargeOnly();
        s.RCDuration = 30;
        std::vector<TDataRow> rows;
        double t = 0;
        AddStep(rows, t, 1, 1e-4, 1e-11, c.settled);
        TOxygenBalance balance(s);
        for (const TDataRow& r : rows)
            balance.Add(r);
        if (c.modeChange)
            balance.Add(ModeChange(1, t + 1));
        balance.Finish();
        EXPECT_EQ(balance.Points().size(), c.points);
    }
}
