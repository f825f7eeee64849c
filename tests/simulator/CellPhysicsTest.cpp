// The simulated cell's physics and transducers, driven through the simulated instruments the way
// the program drives them, and read back with the program's own conversions.
#include "acquisition/Thermocouples.h"
#include "control/TThread2401.h"
#include "simulator/CellEquations.h"
#include "simulator/Dmm2000.h"
#include "simulator/SimCell.h"
#include "simulator/Smu2401.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr double kF = CellEquations::kFaraday;
constexpr double kR = CellEquations::kGasConstant;

// A quiet cell (no noise, no leak, no sample) with the two instruments wired to it.
struct TCellBench {
    explicit TCellBench(TSimCellParams p = Quiet()) : cell(p), smu(cell), dmm(cell) {}

    static TSimCellParams Quiet() {
        TSimCellParams p;
        p.noise = false;
        p.leakAlpha = 0;
        p.sampleMassG = 0;
        return p;
    }
    // The SourceMeter set-up sequence of the program.
    void SetUpSourceMeter() {
        for (const QString& c : SetUpSequence2401())
            smu.Execute(c.toStdString());
    }
    // Runs the cell for `seconds` under the SourceMeter's present drive, as the server does.
    void Run(double seconds) {
        cell.SetPumpDrive(smu.Drive());
        cell.Advance(seconds);
    }
    // The pump's voltage and current as ":READ?" gives them.
    void ReadPump(double& volt, double& amp) {
        const std::string reply = smu.Execute(":READ?").reply;
        const size_t comma = reply.find(',');
        ASSERT_NE(comma, std::string::npos) << reply;
        volt = std::stod(reply.substr(0, comma));
        amp = std::stod(reply.substr(comma + 1));
    }
    double ReadDmm(int channel, const char* function) {
        dmm.Execute(":ROUT:OPEN:ALL");
        dmm.Execute(":ROUT:CLOSE (@" + std::to_string(channel) + ")");
        return std::stod(dmm.Execute(std::string(":FUNC \"") + function + "\";:READ?").reply);
    }

    TSimCell cell;
    TSmu2401 smu;
    TDmm2000 dmm;
};

} // namespace

TEST(CellPhysics, ConstantPumpCurrentMovesOxygenAtIOverFourF) {
    // GS levels as the program writes them; positive current takes oxygen out of the cell.
    for (const char* level : {"0.001000", "-0.001000", "0.000020", "0.004500"}) {
        SCOPED_TRACE(level);
        TCellBench bench;
        bench.SetUpSourceMeter();
        bench.smu.Execute(std::string(":SENS:CURR:PROT:LEV 0.005000;:SOUR:FUNC CURR;:SOUR:CURR:LEV ") +
                          level + ";:OUTPUT:STATE 1");
        const double amps = std::stod(level);
        const double before = bench.cell.OxygenMol();
        const double seconds = 600;
        for (int i = 0; i < 60; ++i)
            bench.Run(seconds / 60);
        const double expected = amps * seconds / (4 * kF);
        EXPECT_NEAR((before - bench.cell.OxygenMol()) / expected, 1.0, 0.01);
        EXPECT_NEAR(bench.cell.PumpedOutMol() / expected, 1.0, 0.01);
        double volt = 0;
        double amp = 0;
        bench.ReadPump(volt, amp);
        EXPECT_NEAR(amp, amps, 1e-9);
    }
}

TEST(CellPhysics, AtZeroCurrentTheCellDriftsTowardsTheFlushGasThroughTheLeak) {
    for (double start : {1e-6, 1e-12, 0.9}) {
        SCOPED_TRACE(start);
        TSimCellParams p = TCellBench::Quiet();
        p.initialpO2Atm = start;
        p.leakAlpha = 2e-11;
        TCellBench bench(p);
        bench.SetUpSourceMeter(); // a current source at 0 A with the output on

        // The first moment follows alpha (pflush^1/4 - p^1/4).
        const double n0 = bench.cell.OxygenMol();
        const double dt = 0.01;
        bench.Run(dt);
        const double expected = dt * p.leakAlpha * (std::pow(p.flushpO2Atm, 0.25) - std::pow(start, 0.25));
        EXPECT_NEAR((bench.cell.OxygenMol() - n0) / expected, 1.0, 0.01);

        // And it keeps going the same way until it holds the flush gas.
        bench.cell.Params().leakAlpha = 1e-7;
        double last = bench.cell.pO2Atm();
        for (int i = 0; i < 40; ++i) {
            bench.Run(1000);
            const double now = bench.cell.pO2Atm();
            if (start < p.flushpO2Atm)
                EXPECT_GE(now, last * (1 - 1e-9));
            else
                EXPECT_LE(now, last * (1 + 1e-9));
            last = now;
        }
        EXPECT_NEAR(last / p.flushpO2Atm, 1.0, 0.01);
    }
}

TEST(CellPhysics, VoltageSourceSettlesTheCellAtTheNernstPressure) {
    // PS/PID command of the program: a positive pump voltage lowers pO2 until the Nernst voltage
    // equals it and no current flows.
    for (const char* level : {"0.250000", "0.100000", "0.500000"}) {
        SCOPED_TRACE(level);
        TCellBench bench;
        bench.SetUpSourceMeter();
        bench.smu.Execute(std::string(":SENS:CURR:PROT:LEV 0.005000;:SENS:VOLT:PROT:LEV 1.100000;:SOUR:FUNC "
                                      "VOLT;:SOUR:VOLT:LEV ") +
                          level + ";:OUTPUT:STATE 1");
        for (int i = 0; i < 400; ++i)
            bench.Run(100);
        const double volt = std::stod(level);
        const double kelvin = bench.cell.CellTemperatureC() + 273.15;
        const double expected = bench.cell.Params().flushpO2Atm * std::exp(-4 * kF * volt / (kR * kelvin));
        EXPECT_NEAR(bench.cell.pO2Atm() / expected, 1.0, 1e-3);
        double v = 0;
        double i = 0;
        bench.ReadPump(v, i);
        EXPECT_NEAR(v, volt, 1e-6);
        EXPECT_NEAR(i, 0, 1e-8);
    }
}

TEST(CellPhysics, SampleFollowsItsIsothermAndNothingIsLost) {
    struct TCase {
        const char* name;
        double startAtm, jumpAtm; // the gas at the start, then set at once to jumpAtm
        const char* pump;         // SourceMeter command, or nullptr for none
        double leak;
    };
    const TCase cases[] = {
        {"pO2 drops at once: the sample gives off oxygen", 0.2095, 1e-3, nullptr, 0},
        {"pO2 rises at once: the sample takes oxygen up", 1e-6, 1e-2, nullptr, 0},
        {"pumped out against the leak", 1e-3, 1e-3, ":SOUR:FUNC CURR;:SOUR:CURR:LEV 0.0005;:OUTPUT:STATE 1",
         2e-9},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TSimCellParams p = TCellBench::Quiet();
        p.sampleMassG = 0.5;
        p.sampleTauS = 120;
        p.initialpO2Atm = c.startAtm;
        p.leakAlpha = c.leak;
        TCellBench bench(p);
        const double ns = 0.5 / p.sampleMolarMassGPerMol;
        EXPECT_NEAR(bench.cell.SampleMoles(), ns, 1e-15);
        // It starts in equilibrium with the gas.
        EXPECT_NEAR(bench.cell.SampleDelta(), p.sampleIsotherm.Delta(std::log10(c.startAtm), 700), 1e-12);
        bench.SetUpSourceMeter();
        if (c.pump)
            bench.smu.Execute(std::string(":SENS:VOLT:PROT:LEV 1.1;") + c.pump);
        bench.cell.SetpO2Atm(c.jumpAtm);
        // Oxygen is conserved: gas + sample + pumped out - leaked in stays what it was.
        const double total = bench.cell.OxygenMol() + bench.cell.SampleOxygenMol();
        const double towards = c.jumpAtm < c.startAtm ? 1 : -1; // delta rises after a drop
        double lastDelta = bench.cell.SampleDelta();
        for (int i = 0; i < 120; ++i) {
            bench.Run(30);
            if (!c.pump) {
                EXPECT_GE(towards * (bench.cell.SampleDelta() - lastDelta), -1e-12);
                lastDelta = bench.cell.SampleDelta();
            }
            const double now = bench.cell.OxygenMol() + bench.cell.SampleOxygenMol() +
                               bench.cell.PumpedOutMol() - bench.cell.LeakedInMol();
            ASSERT_NEAR(now / total, 1.0, 1e-9) << "after " << (i + 1) * 30 << " s";
        }
        // The sample's oxygen is ns (delta_start - delta) / 2 mol O2.
        EXPECT_NEAR(bench.cell.SampleOxygenMol(),
                    ns * (bench.cell.SampleStartDelta() - bench.cell.SampleDelta()) / 2, 1e-18);
        if (!c.pump) { // settled on the isotherm at the gas it left
            EXPECT_NEAR(bench.cell.SampleDelta(),
                        p.sampleIsotherm.Delta(std::log10(bench.cell.pO2Atm()), 700), 1e-6);
            EXPECT_GT(std::abs(bench.cell.SampleDelta() - bench.cell.SampleStartDelta()), 1e-3);
        }
    }
}

TEST(CellPhysics, SourceRespectsItsComplianceLimits) {
    struct TCase {
        const char* command;
        double volt; // expected reading at the flush gas (Nernst 0, R_pump 100 ohm)
        double amp;
    };
    const TCase cases[] = {
        // Current source: the terminal voltage stops at the voltage protection level.
        {":SENS:VOLT:PROT:LEV 1.1;:SOUR:FUNC CURR;:SOUR:CURR:LEV 0.020", 1.1, 0.011},
        {":SENS:VOLT:PROT:LEV 1.1;:SOUR:FUNC CURR;:SOUR:CURR:LEV -0.020", -1.1, -0.011},
        {":SENS:VOLT:PROT:LEV 1.1;:SOUR:FUNC CURR;:SOUR:CURR:LEV 0.002", 0.2, 0.002},
        // Voltage source: the current stops at the current protection level.
        {":SENS:CURR:PROT:LEV 0.005;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 1.0", 0.5, 0.005},
        {":SENS:CURR:PROT:LEV 0.000001;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.25", 1e-4, 1e-6},
        {":SENS:CURR:PROT:LEV 0.005;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV -0.3", -0.3, -0.003},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.command);
        TCellBench bench;
        bench.SetUpSourceMeter();
        bench.smu.Execute(c.command);
        EXPECT_TRUE(bench.smu.Errors().empty());
        double v = 0;
        double i = 0;
        bench.ReadPump(v, i);
        EXPECT_NEAR(v, c.volt, 1e-6);
        EXPECT_NEAR(i, c.amp, 1e-9);
    }
    // A current source pumping the cell empty ends at the compliance voltage: the cell's Nernst
    // voltage cannot pass it, so the gas is never driven below the matching pO2.
    TCellBench bench;
    bench.SetUpSourceMeter();
    bench.smu.Execute(":SOUR:CURR:LEV 0.005");
    for (int i = 0; i < 300; ++i)
        bench.Run(100);
    double v = 0;
    double i = 0;
    bench.ReadPump(v, i);
    EXPECT_NEAR(v, 1.1, 1e-6);
    EXPECT_GT(bench.cell.OxygenMol(), 0);
    EXPECT_NEAR(bench.cell.NernstVoltageV(), 1.1, 1e-3);
}

TEST(CellPhysics, TypeSForwardFunctionMatchesTheReferenceTable) {
    EXPECT_NEAR(CellEquations::TypeSMilliVolt(0), 0.0, 1e-12);
    EXPECT_NEAR(CellEquations::TypeSMilliVolt(25), 0.142598, 5e-6);
    EXPECT_NEAR(CellEquations::TypeSMilliVolt(1000), 9.587, 5e-4);
    // Continuous across the branch limits.
    for (double t : {1064.18, 1664.5})
        EXPECT_NEAR(CellEquations::TypeSMilliVolt(t - 1e-9), CellEquations::TypeSMilliVolt(t + 1e-9), 1e-3);
}

TEST(CellPhysics, ProgramReadsBackTheCellTemperatureFromThermocoupleAndThermistor) {
    // The program's cold-junction compensation applied to the scanner's channels 3 and 1.
    for (double furnace : {520.0, 700.0, 1000.0, 1150.0}) {
        for (double room : {18.0, 23.0, 35.0}) {
            SCOPED_TRACE(std::to_string(furnace) + " C, room " + std::to_string(room) + " C");
            TSimCellParams p = TCellBench::Quiet();
            p.furnaceSetpointC = furnace;
            p.roomC = room;
            TCellBench bench(p);
            bench.dmm.Execute(":SENS:FUNC 'VOLT:DC'");
            double coldJunction = -100;
            ASSERT_TRUE(ThermistorToTemperature(coldJunction, bench.ReadDmm(3, "RES")));
            EXPECT_NEAR(coldJunction, room, 1e-6);
            const double tcVolt = bench.ReadDmm(1, "VOLT:DC");
            ASSERT_TRUE(TCVoltageInRange(TCTypeS, tcVolt));
            const double cell = TCVoltageToTemperature(
                TCTypeS, TCTemperatureToMicroVolt(TCTypeS, coldJunction) / 1e6 + tcVolt);
            EXPECT_NEAR(cell, furnace, 0.05);
        }
    }
}

TEST(CellPhysics, SensorVoltageGivesBackTheCellPressureThroughTheProgramsEquation) {
    for (double celsius : {650.0, 800.0}) {
        for (double atm : {0.2095, 1e-3, 1e-10, 1e-20}) {
            SCOPED_TRACE(std::to_string(celsius) + " C, " + std::to_string(atm) + " atm");
            TSimCellParams p = TCellBench::Quiet();
            p.furnaceSetpointC = celsius;
            p.initialpO2Atm = atm;
            TCellBench bench(p);
            const double volt = bench.ReadDmm(2, "VOLT:DC");
            const double pO2 = SensorpO2(celsius, volt, p.sensorAx, p.sensorBx);
            EXPECT_NEAR(pO2 / bench.cell.pO2Atm(), 1.0, 1e-5);
            // The simulator's own Ax, Bx matter: zero constants give another answer.
            EXPECT_GT(std::abs(SensorpO2(celsius, volt, 0, 0) / bench.cell.pO2Atm() - 1), 0.01);
        }
    }
}
