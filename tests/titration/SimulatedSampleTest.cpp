// The balance against the simulated cell, an independent model of the same physics: a PPS program
// walks the cell's pO2 down over eight decades while rows are taken as the program takes them, and
// every equilibrium point's delta must meet the simulated sample's true delta.
#include "simulator/SimCell.h"
#include "titration/TOxygenBalance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct TRun {
    std::vector<TDataRow> rows;
    std::vector<double> trueDelta; // the sample's delta at each step's last row
    double startDelta = 0;
};

// Five PPS steps of 3000 s each (about ten times the settling time of this cell and sample), 10 s rows (the
// average of the pump current and pO2 over the row), the last row of a step flagged as settled.
TRun RunProgram(const TSimCellParams& p) {
    TSimCell cell(p);
    TRun run;
    run.startDelta = cell.SampleDelta();
    const double volts[] = {0.1, 0.2, 0.3, 0.4, 0.5};
    double t = 0;
    for (int step = 0; step < 5; ++step) {
        cell.SetPumpDrive({TPumpDrive::Voltage, volts[step], 0.005});
        for (int r = 0; r < 300; ++r) {
            double current = 0, pO2 = 0, temp = 0;
            for (int i = 0; i < 10; ++i) { // the cell's own steps of 1 s; the current at each end
                cell.Advance(1.0);
                current += cell.Pump().currentA / 10;
                pO2 += cell.pO2Atm() / 10;
                temp += cell.CellTemperatureC() / 10;
            }
            t += 10;
            TDataRow row;
            row[TProperty::Mode] = 16;
            row[TProperty::Step] = step + 1;
            row[TProperty::Time] = t;
            row[TProperty::Interval] = 10;
            row[TProperty::PumpI] = current;
            row[TProperty::CellpO2] = pO2;
            row[TProperty::Temp] = temp;
            row[TProperty::Date] = 45366.5 + t / 86400;
            if (r == 299) {
                row[TProperty::StablepO2] = TDataRow::kTrue;
                row[TProperty::StableI] = TDataRow::kTrue;
                run.trueDelta.push_back(cell.SampleDelta());
            }
            run.rows.push_back(row);
        }
    }
    return run;
}

} // namespace

TEST(SimulatedSample, EquilibriumPointsMeetTheTrueDelta) {
    TSimCellParams p;
    p.noise = false;
    p.volumeMl = 2;
    p.initialpO2Atm = 1e-2; // the first step settles within its time too
    p.leakAlpha = 2e-11;
    p.sampleMassG = 0.005; // 5 mg: the pump through its 100 ohm keeps up with the sample
    const TRun run = RunProgram(p);

    TTitrationSetup s;
    s.m0 = p.sampleMassG;
    s.M0 = p.sampleMolarMassGPerMol;
    s.bs = p.sampleOxygen;
    s.b0 = p.sampleOxygen - run.startDelta;
    s.Vhp = p.volumeMl / 1000; // the simulated gas is all at the cell temperature
    s.Vgp = 0;
    s.FGpO2 = p.flushpO2Atm;
    s.RCDuration = 300;
    double worstWithLeak = 0;
    for (bool leak : {true, false}) {
        SCOPED_TRACE(leak ? "leak corrected" : "leak left out");
        s.LeakCorrection = leak;
        TOxygenBalance balance(s);
        for (const TDataRow& r : run.rows)
            balance.Add(r);
        balance.Finish();
        ASSERT_EQ(balance.Points().size(), 5u);
        const double change = std::abs(run.trueDelta.back() - run.startDelta);
        ASSERT_GT(change, 0.05);
        double worst = 0;
        for (std::size_t k = 0; k < 5; ++k) {
            const double delta = balance.Evaluate(balance.Points()[k].Sums).Delta;
            worst = std::max(worst, std::abs(delta - run.trueDelta[k]));
            EXPECT_EQ(balance.Points()[k].Direction, TEquilibriumPoint::Falling);
        }
        if (leak) {
            worstWithLeak = worst;
            EXPECT_LT(worst, std::max(0.03 * change, 2e-4));
            EXPECT_NEAR(balance.LeakFit().Alpha(), p.leakAlpha, 0.2 * p.leakAlpha);
        } else {
            EXPECT_GT(worst, 3 * worstWithLeak); // measurably worse without the leak
        }
    }
}
