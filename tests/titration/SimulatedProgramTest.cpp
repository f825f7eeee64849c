// A whole titration against the simulated cell, headless: the program's PID controller (PPID) or a
// voltage per step (PPS) drives the simulated pump at speed 1, rows of 10 s are built as the
// program builds them, and the running balance (TTitrationRun, as the window feeds it) gets every
// row and the mode change that ends the program. Each equilibrium point's delta must meet the
// simulated sample's true delta, the learned alpha the cell's leak constant, and the same rows
// balanced without the leak must come out measurably worse. (The window itself runs its cell
// faster than the clock, which moves more oxygen than the program counts; so this runs without it.)
#include "control/TPID.h"
#include "simulator/SimCell.h"
#include "titration/TitrationRun.h"

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kRowsPerStep = 300; // 3000 s a step: about ten times this cell's settling time
constexpr int kSecondsPerRow = 10;

struct TProgram {
    const char* name;
    int mode;                      // 15 PIDStep, 16 PPS
    std::vector<double> setpoints; // log10 pO2 (atm) in PIDStep, pump volts in PPS
};

struct TRun {
    std::vector<TDataRow> rows;    // the data rows and the closing mode change
    std::vector<double> trueDelta; // the sample's delta at each step's last row
    double startDelta = 0;
};

TSimCellParams Cell() {
    TSimCellParams p;
    p.noise = false;
    p.volumeMl = 2;         // a small gas volume ...
    p.sampleMassG = 0.005;  // ... and a 5 mg sample, so the pump through its 100 ohm keeps up
    p.initialpO2Atm = 1e-2; // the first step settles within its time too
    p.leakAlpha = 2e-11;
    return p;
}

// The PID table an operator would enter for this cell: the pO2 follows the pump voltage at about
// 48 mV a decade (RT/4F ln 10 at 700 degC), so a proportional gain well under that keeps the loop
// from overshooting, and the integral holds the Nernst voltage; 2 mA is the pump's limit.
void TuneForTheTestCell(TPID& pid) {
    pid.Calibration.Data.assign(TPIDCalib::Rows, TPIDCalibData{0, 20, 100, 0, 2000});
    for (int k = 0; k < TPIDCalib::Rows; ++k)
        pid.Calibration.Data[std::size_t(k)].pO2 = k * TPIDCalib::RowStep;
    pid.Calibration.Size = TPIDCalib::Rows;
    pid.Calibration.Valid = true;
}

TRun RunProgram(const TProgram& program) {
    TSimCell cell(Cell());
    TPID pid;
    TuneForTheTestCell(pid);
    TRun run;
    run.startDelta = cell.SampleDelta();
    double t = 0;
    for (std::size_t step = 0; step < program.setpoints.size(); ++step) {
        const double sp = program.setpoints[step];
        pid.SetSetpoint(sp);
        for (int r = 0; r < kRowsPerStep; ++r) {
            double current = 0, pO2 = 0, temp = 0;
            for (int i = 0; i < kSecondsPerRow; ++i) {
                if (program.mode == 15) { // one controller step a second, as the SourceMeter cycles
                    pid.CurrentApplied = cell.Pump().currentA;
                    pid.SetProcessVariable(std::log10(cell.pO2Atm()));
                    cell.SetPumpDrive({TPumpDrive::Voltage, pid.FeedBack() / 1000, pid.A() / 1e6});
                } else {
                    cell.SetPumpDrive({TPumpDrive::Voltage, sp, 0.005});
                }
                cell.Advance(1.0);
                current += cell.Pump().currentA / kSecondsPerRow;
                pO2 += cell.pO2Atm() / kSecondsPerRow;
                temp += cell.CellTemperatureC() / kSecondsPerRow;
            }
            t += kSecondsPerRow;
            TDataRow row;
            row[TProperty::Mode] = program.mode;
            row[TProperty::Step] = double(step + 1);
            row[TProperty::Time] = t;
            row[TProperty::Interval] = kSecondsPerRow;
            row[TProperty::PumpI] = current;
            row[TProperty::CellpO2] = pO2;
            row[TProperty::Temp] = temp;
            row[TProperty::Date] = 45366.5 + t / 86400;
            if (r == kRowsPerStep - 1) { // the row the program advances on
                row[TProperty::StablepO2] = TDataRow::kTrue;
                row[program.mode == 15 ? TProperty::RangepO2 : TProperty::StableI] = TDataRow::kTrue;
                run.trueDelta.push_back(cell.SampleDelta());
            }
            run.rows.push_back(row);
        }
    }
    TDataRow end; // the program has run its last step: the state changes
    end.Kind = TRowKind::ModeChange;
    end[TProperty::Mode] = 1;
    end[TProperty::Date] = 45366.5 + (t + 1) / 86400;
    run.rows.push_back(end);
    return run;
}

} // namespace

TEST(SimulatedProgram, EquilibriumDeltaAndAlphaMeetTheSimulatedCell) {
    const TProgram programs[] = {
        // Four decades down and one back up.
        {"PPID", 15, {-2, -3, -4, -5, -6, -4}},
        // 0.1 ... 0.5 V: about 1.8e-3 down to 1e-11 atm, and back to 0.3 V.
        {"PPS", 16, {0.1, 0.2, 0.3, 0.4, 0.5, 0.3}},
    };
    const TSimCellParams p = Cell();
    for (const TProgram& program : programs) {
        SCOPED_TRACE(program.name);
        const TRun run = RunProgram(program);
        const std::size_t steps = program.setpoints.size();
        TTitrationSetup s;
        s.m0 = p.sampleMassG;
        s.M0 = p.sampleMolarMassGPerMol;
        s.bs = p.sampleOxygen;
        s.b0 = p.sampleOxygen - run.startDelta; // what the simulator prints at start
        s.Vhp = p.volumeMl / 1000;              // the simulated gas is all at the cell temperature
        s.Vgp = 0;
        s.FGpO2 = p.flushpO2Atm;
        s.RCDuration = 300;
        double change = 0;
        for (double d : run.trueDelta)
            change = std::max(change, std::abs(d - run.startDelta));
        ASSERT_GT(change, 0.02);
        const double tolerance = std::max(0.03 * change, 2e-4);

        double worstWithLeak = 0;
        for (bool leak : {true, false}) {
            SCOPED_TRACE(leak ? "leak corrected" : "leak left out");
            s.LeakCorrection = leak;
            QTemporaryDir dir;
            const QString isotherm = dir.filePath(QStringLiteral("run.isotherm.csv"));
            TTitrationRun titration;
            titration.Start(s, isotherm);
            int pointsSeen = 0;
            for (const TDataRow& r : run.rows)
                pointsSeen += titration.Add(r) ? 1 : 0;
            const TOxygenBalance& balance = *titration.Balance();
            ASSERT_EQ(balance.Points().size(), steps);
            EXPECT_EQ(pointsSeen, int(steps));
            double worst = 0;
            for (std::size_t k = 0; k < steps; ++k) {
                const TEquilibriumPoint& point = balance.Points()[k];
                const double delta = balance.Evaluate(point.Sums).Delta;
                worst = std::max(worst, std::abs(delta - run.trueDelta[k]));
                EXPECT_EQ(point.Direction,
                          k + 1 < steps ? TEquilibriumPoint::Falling : TEquilibriumPoint::Rising)
                    << k;
                if (program.mode == 15) // the PID has brought the cell to its setpoint
                    EXPECT_NEAR(point.Means.Log10pO2, program.setpoints[k], 0.02) << k;
            }
            // The file holds one line per point, as the run ended.
            QFile f(isotherm);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll().count('\n'), qsizetype(steps + 1));
            if (leak) {
                worstWithLeak = worst;
                EXPECT_LT(worst, tolerance);
                EXPECT_NEAR(balance.LeakFit().Alpha(), p.leakAlpha, 0.2 * p.leakAlpha);
            } else {
                EXPECT_GT(worst, 3 * worstWithLeak); // measurably worse without the leak
                EXPECT_GT(worst, tolerance);
            }
        }
    }
}
