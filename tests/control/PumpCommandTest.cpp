// The source command of each mode as it reaches the SourceMeter: the function, the level with the
// program's limits (±1.1 V, ±5 mA) applied, the current compliance and the voltage protection.
#include "control/PumpCommand.h"

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TPumpDemand Demand(TMode mode) {
    TPumpDemand d;
    d.Mode = mode;
    return d;
}

TEST(PumpCommand, CommandBytesOfEachMode) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct TCase {
        const char* name;
        TPumpDemand demand;
        bool voltageProtection;
        QByteArray bytes;
    };
    const auto gs = [](double microA, double limitMicroA) {
        TPumpDemand d = Demand(TMode::SetCurrent);
        d.GSCurrentMicroA = microA;
        d.CurrentLimitMicroA = limitMicroA;
        d.SetVoltagemV = 700; // the other modes' setpoints play no part
        d.PIDDrives = true;
        d.PIDFeedBackmV = 300;
        return d;
    };
    const auto ps = [](TMode mode, int mV, double ppsV, bool pid, double feedbackmV, double limitMicroA) {
        TPumpDemand d = Demand(mode);
        d.SetVoltagemV = mV;
        d.PPSVoltageV = ppsV;
        d.PIDDrives = pid;
        d.PIDFeedBackmV = feedbackmV;
        d.CurrentLimitMicroA = limitMicroA;
        d.GSCurrentMicroA = 100;
        return d;
    };
    const TCase cases[] = {
        {"GS 250 µA under a 1000 µA limit", gs(250, 1000), false,
         ":SENS:CURR:PROT:LEV 0.001000;:SOUR:FUNC CURR;:SOUR:CURR:LEV 0.000250;:OUTPUT:STATE 1\r"},
        {"GS 7000 µA is held to 5 mA", gs(7000, 1000), false,
         ":SENS:CURR:PROT:LEV 0.001000;:SOUR:FUNC CURR;:SOUR:CURR:LEV 0.005000;:OUTPUT:STATE 1\r"},
        {"GS -7000 µA is held to -5 mA", gs(-7000, 1000), false,
         ":SENS:CURR:PROT:LEV 0.001000;:SOUR:FUNC CURR;:SOUR:CURR:LEV -0.005000;:OUTPUT:STATE 1\r"},
        {"GS not a number sends no current", gs(nan, 1), false,
         ":SENS:CURR:PROT:LEV 0.000001;:SOUR:FUNC CURR;:SOUR:CURR:LEV 0.0;:OUTPUT:STATE 1\r"},
        {"GS infinite is held to 5 mA", gs(inf, 1), false,
         ":SENS:CURR:PROT:LEV 0.000001;:SOUR:FUNC CURR;:SOUR:CURR:LEV 0.005000;:OUTPUT:STATE 1\r"},
        {"GS 0 µA after the set-up, with the voltage protection", gs(0, 5000), true,
         ":SENS:CURR:PROT:LEV 0.005000;:SENS:VOLT:PROT:LEV 1.100000;:SOUR:FUNC CURR;:SOUR:CURR:LEV "
         "0.000000;:OUTPUT:STATE 1\r"},
        {"PS 500 mV", ps(TMode::SetVoltage, 500, 0.9, true, 300, 1), false,
         ":SENS:CURR:PROT:LEV 0.000001;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.500000;:OUTPUT:STATE 1\r"},
        {"PS 1500 mV is held to 1.1 V", ps(TMode::SetVoltage, 1500, 0, false, 0, 1), false,
         ":SENS:CURR:PROT:LEV 0.000001;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 1.100000;:OUTPUT:STATE 1\r"},
        {"PS -1500 mV is held to -1.1 V", ps(TMode::SetVoltage, -1500, 0, false, 0, 1), false,
         ":SENS:CURR:PROT:LEV 0.000001;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV -1.100000;:OUTPUT:STATE 1\r"},
        {"PID set: the controller's 250 mV under its 300 µA limit",
         ps(TMode::PIDSet, 700, 0.9, true, 250, 300), false,
         ":SENS:CURR:PROT:LEV 0.000300;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.250000;:OUTPUT:STATE 1\r"},
        {"PID step: 2000 mV is held to 1.1 V", ps(TMode::PIDStep, 0, 0, true, 2000, 4500), false,
         ":SENS:CURR:PROT:LEV 0.004500;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 1.100000;:OUTPUT:STATE 1\r"},
        {"PID set without a controller: 0 V", ps(TMode::PIDSet, 700, 0.9, false, 250, 1), false,
         ":SENS:CURR:PROT:LEV 0.000001;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.000000;:OUTPUT:STATE 1\r"},
        {"PPS: the setpoint 0.35 V as the instrument's single precision level",
         ps(TMode::PPS, 700, 0.35, true, 250, 20), false,
         ":SENS:CURR:PROT:LEV 0.000020;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.350000;:OUTPUT:STATE 1\r"},
        {"PPS: a setpoint that is not a number is held to 1.1 V", ps(TMode::PPS, 0, nan, true, 0, 1), false,
         ":SENS:CURR:PROT:LEV 0.000001;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 1.100000;:OUTPUT:STATE 1\r"},
        {"Paused: 0 V", ps(TMode::Paused, 700, 0.9, true, 250, 1), true,
         ":SENS:CURR:PROT:LEV 0.000001;:SENS:VOLT:PROT:LEV 1.100000;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV "
         "0.000000;:OUTPUT:STATE 1\r"},
        {"Uninitialized: nothing", ps(TMode::Uninitialized, 700, 0.9, true, 250, 1), true, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PumpCommand(c.demand).Bytes(c.voltageProtection), c.bytes);
    }
}

} // namespace
