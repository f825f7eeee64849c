// The simulated instruments' command interpreters: everything the program sends is accepted and
// answered in the instruments' format; what it does not send is refused the way SCPI refuses it.
#include "acquisition/TThread2000.h"
#include "control/TThread2401.h"
#include "simulator/Dmm2000.h"
#include "simulator/SimCell.h"
#include "simulator/Smu2401.h"

#include "tests/support/StdStrings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace {

const std::regex kSmuReading(R"([+-]\d\.\d{6}E[+-]\d{2},[+-]\d\.\d{6}E[+-]\d{2})");
const std::regex kDmmReading(R"([+-]\d\.\d{8}E[+-]\d{2})");

// What the program sends to set the instruments up.
const std::vector<std::string> kSmuSetUp = StdStrings(SetUpSequence2401());

const std::vector<std::string> kDmmSetUp = StdStrings(SetUpSequence2000());

struct TBench {
    TBench() : cell(Quiet()), smu(cell), dmm(cell) {}
    static TSimCellParams Quiet() {
        TSimCellParams p;
        p.noise = false;
        return p;
    }
    TSimCell cell;
    TSmu2401 smu;
    TDmm2000 dmm;
};

std::string ErrorsOf(const TScpiInstrument& inst) {
    std::string text;
    for (const auto& [code, message] : inst.Errors())
        text += std::to_string(code) + " " + message + "; ";
    return text;
}

} // namespace

TEST(InstrumentCommands, SourceMeterAcceptsEverythingTheProgramSends) {
    TBench b;
    for (const std::string& c : kSmuSetUp)
        EXPECT_FALSE(b.smu.Execute(c + "").hasReply) << c;
    EXPECT_TRUE(b.smu.Errors().empty()) << ErrorsOf(b.smu);
    // The set-up leaves a current source at 0 A with the output on at the rear terminals,
    // protection 1.1 V / 5 mA, the fastest integration and voltage,current readings.
    EXPECT_EQ(b.smu.Source(), TSmu2401::TSource::Current);
    EXPECT_EQ(b.smu.CurrentLevel(), 0);
    EXPECT_TRUE(b.smu.OutputOn());
    EXPECT_TRUE(b.smu.RearTerminals());
    EXPECT_DOUBLE_EQ(b.smu.VoltageProtection(), 1.1);
    EXPECT_DOUBLE_EQ(b.smu.CurrentProtection(), 0.005);
    EXPECT_DOUBLE_EQ(b.smu.Nplc(), 0.01);

    // The thread's first ":INIT" gets no reply; then its source commands and readings.
    EXPECT_FALSE(b.smu.Execute(":INIT").hasReply);
    const char* cycles[] = {
        ":SENS:CURR:PROT:LEV 0.000001;:SENS:VOLT:PROT:LEV 1.100000;:SOUR:FUNC CURR;:SOUR:CURR:LEV "
        "-0.000003;:OUTPUT:STATE 1",
        ":SENS:CURR:PROT:LEV 0.005000;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV 0.250000;:OUTPUT:STATE 1",
        ":SENS:CURR:PROT:LEV 0.005000;:SOUR:FUNC VOLT;:SOUR:VOLT:LEV -1.100000;:OUTPUT:STATE 1",
    };
    for (const char* c : cycles) {
        SCOPED_TRACE(c);
        EXPECT_FALSE(b.smu.Execute(c).hasReply);
        const TScpiResult r = b.smu.Execute(":READ?");
        ASSERT_TRUE(r.hasReply);
        EXPECT_TRUE(std::regex_match(r.reply, kSmuReading)) << r.reply;
    }
    EXPECT_EQ(b.smu.Source(), TSmu2401::TSource::Voltage);
    EXPECT_DOUBLE_EQ(b.smu.VoltageLevel(), -1.1);
    EXPECT_TRUE(b.smu.Errors().empty()) << ErrorsOf(b.smu);
    const TScpiResult idn = b.smu.Execute("*IDN?");
    EXPECT_FALSE(idn.reply.empty());
    EXPECT_NE(idn.reply, "*IDN?");
}

TEST(InstrumentCommands, MultiMeterAcceptsEverythingTheProgramSends) {
    TBench b;
    EXPECT_FALSE(b.dmm.Execute("*IDN?").reply.empty());
    EXPECT_EQ(b.dmm.Execute(":SYST:FRSW?").reply, "0");
    for (const std::string& c : kDmmSetUp)
        EXPECT_FALSE(b.dmm.Execute(c).hasReply) << c;
    EXPECT_EQ(b.dmm.Function(), TDmm2000::TFunction::Resistance);
    EXPECT_FALSE(b.dmm.ContinuousInitiation());
    // The measuring cycle: thermistor, thermocouple, sensor.
    const struct {
        int channel;
        const char* read;
        double min, max;
    } cycle[] = {{3, ":FUNC \"RES\";:READ?", 2986, 32600},
                 {1, ":FUNC \"VOLT:DC\";:READ?", 5e-3, 7e-3},
                 {2, ":FUNC \"VOLT:DC\";:READ?", -2, 2}};
    for (const auto& step : cycle) {
        SCOPED_TRACE(step.read);
        b.dmm.Execute(":ROUT:OPEN:ALL");
        b.dmm.Execute(":ROUT:CLOSE (@" + std::to_string(step.channel) + ")");
        EXPECT_EQ(b.dmm.ClosedChannel(), step.channel);
        const TScpiResult r = b.dmm.Execute(step.read);
        ASSERT_TRUE(r.hasReply);
        ASSERT_TRUE(std::regex_match(r.reply, kDmmReading)) << r.reply;
        const double v = std::stod(r.reply);
        EXPECT_GE(v, step.min);
        EXPECT_LE(v, step.max);
    }
    EXPECT_TRUE(b.dmm.Errors().empty()) << ErrorsOf(b.dmm);
}

TEST(InstrumentCommands, HeadersFollowTheScpiRules) {
    struct TCase {
        const char* message;
        const char* reply; // expected reply, or nullptr for none
        int error;         // expected error code, 0 for none
    };
    const TCase cases[] = {
        // Long and short forms, any case, optional nodes.
        {":SOURce:VOLTage:LEVel:IMMediate:AMPLitude 0.5;:SOUR:VOLT?", "+5.000000E-01", 0},
        {"sour:volt:lev 0.25;:sour:volt?", "+2.500000E-01", 0},
        {":SENS:VOLT:PROT 2;:VOLT:PROT:LEV?", "+2.000000E+00", 0},
        // A relative header continues at the level of the previous one.
        {":SOUR:VOLT:LEV 0.1;MODE FIXED;:SOUR:VOLT:LEV?", "+1.000000E-01", 0},
        // Common commands in between leave the level alone; replies are joined by ';'.
        {":SOUR:CURR:LEV 0.001;*OPC?;LEV?", "1;+1.000000E-03", 0},
        {":FORM:ELEM CURR,VOLT;:FORM:ELEM?", "VOLT,CURR", 0},
        {":SENS:VOLT:NPLC MAX;:SENS:CURR:NPLC?", "+1.000000E+01", 0},
        // Refusals.
        {":SOUR:VOLT:LEV 30", nullptr, -222},
        {":SOUR:VOLT:LEV abc", nullptr, -104},
        {":SOUR:VOLT:LEV", nullptr, -109},
        {":SOUR:VOLT:BOGUS 1", nullptr, -113},
        {":SOUR:FUNC MEMORY", nullptr, -224},
        {":SOUR:VOLT:MODE SWEEP", nullptr, -224},
        {":SOUR:VOLT:LEV 1;;:OUTP 1", nullptr, -102},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.message);
        TBench b;
        const TScpiResult r = b.smu.Execute(c.message);
        EXPECT_EQ(r.hasReply, c.reply != nullptr);
        if (c.reply)
            EXPECT_EQ(r.reply, c.reply);
        if (c.error == 0) {
            EXPECT_TRUE(b.smu.Errors().empty()) << ErrorsOf(b.smu);
        } else {
            ASSERT_FALSE(b.smu.Errors().empty());
            EXPECT_EQ(b.smu.Errors().front().first, c.error);
            // The error queue is read and emptied by ":SYST:ERR?".
            EXPECT_EQ(b.smu.Execute(":SYST:ERR?").reply.rfind(std::to_string(c.error) + ",\"", 0), 0u);
            EXPECT_EQ(b.smu.Execute(":SYST:ERR?").reply, "0,\"No error\"");
        }
    }
}

TEST(InstrumentCommands, ReadingsWithoutTheProgramsSetUpLookLikeTheRealInstruments) {
    TBench b;
    // After *RST the SourceMeter's output is off: no reading, an error instead.
    EXPECT_FALSE(b.smu.Execute(":READ?").hasReply);
    ASSERT_FALSE(b.smu.Errors().empty());
    EXPECT_EQ(b.smu.Errors().front().first, 803);
    // With the output on it answers all five default elements, the pump being on the rear
    // terminals that *RST deselects: the set voltage, and no current.
    const TScpiResult five = b.smu.Execute(":SOUR:VOLT:LEV 0.3;:OUTP ON;:READ?");
    ASSERT_TRUE(five.hasReply);
    EXPECT_EQ(std::count(five.reply.begin(), five.reply.end(), ','), 4) << five.reply;
    EXPECT_EQ(five.reply.rfind("+3.000000E-01,+0.000000E+00,", 0), 0u) << five.reply;

    // The multimeter reads the overflow value for ohms on an open input or channel, and refuses
    // channels the scanner does not have.
    EXPECT_EQ(b.dmm.Execute(":FUNC 'RES';:READ?").reply, TDmm2000::kOverflow);
    b.dmm.Execute(":ROUT:CLOSE (@7)");
    EXPECT_EQ(b.dmm.Execute(":READ?").reply, TDmm2000::kOverflow);
    b.dmm.Execute(":ROUT:CLOSE (@11)");
    ASSERT_FALSE(b.dmm.Errors().empty());
    EXPECT_EQ(b.dmm.Errors().back().first, -222);
    EXPECT_EQ(b.dmm.ClosedChannel(), 7);
}

TEST(InstrumentCommands, ReadingTimeFollowsTheIntegrationTime) {
    TBench b;
    b.dmm.Execute(":ROUT:CLOSE (@1);:FUNC 'VOLT:DC';:SYST:AZER:STAT 0");
    b.dmm.Execute(":SENS:VOLT:DC:NPLC 1");
    const double one = b.dmm.Execute(":READ?").busyS;
    b.dmm.Execute(":SENS:VOLT:DC:NPLC 10");
    const double ten = b.dmm.Execute(":READ?").busyS;
    // One power-line cycle of a 50 Hz line is 20 ms.
    EXPECT_NEAR(ten - one, 9 * 0.020, 1e-3);
    EXPECT_GE(one, 0.020);

    for (const std::string& c : kSmuSetUp)
        b.smu.Execute(c);
    const double fastest = b.smu.Execute(":READ?").busyS;
    b.smu.Execute(":SENS:VOLT:NPLC 1");
    const double slower = b.smu.Execute(":READ?").busyS;
    EXPECT_LT(fastest, 0.005);
    EXPECT_GT(slower, 0.040); // two functions measured, 1 PLC each
}
