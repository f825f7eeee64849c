#include "acquisition/Thermocouples.h"

#include "common/Locale.h"
#include "common/NumberFormat.h"
#include "diagnostics/LogChannel.h"
#include "diagnostics/LogFileDestination.h"
#include "tests/support/LogCapture.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(PolynomialValue, CoefficientsAreHighestPowerFirst) {
    const double c[] = {2, -3, 5};
    EXPECT_DOUBLE_EQ(PolynomialValue(c, std::size(c), 4.0), 2 * 16 - 3 * 4 + 5);
    const double constant[] = {7.5};
    EXPECT_DOUBLE_EQ(PolynomialValue(constant, std::size(constant), 1e9), 7.5);
    EXPECT_DOUBLE_EQ(PolynomialValue(c, 0, 3.0), 0.0);
}

TEST(Thermocouples, TypeSMatchesTheCheckValuesOfTheStandard) {
    struct Case {
        double microVolt, celsius;
    };
    const Case cases[] = {
        {0, 0.000}, {1874, 250.054}, {11950, 1199.954}, {18693.544691, 1768.099}, {5142.67, 590.581}};
    for (const auto& c : cases) {
        EXPECT_NEAR(TCMicroVoltToTemperature(TCTypeS, c.microVolt), c.celsius, 0.0006) << c.microVolt;
        EXPECT_NEAR(TCVoltageToTemperature(TCTypeS, c.microVolt / 1e6), c.celsius, 0.0006) << c.microVolt;
    }
}

// Each branch of each polynomial type against values of the ITS-90 reference tables: the ends of
// the standard's inverse ranges and points inside them. A coefficient scaled or ordered wrongly, or
// a branch chosen at the wrong voltage, is off by far more than the 0.1 °C allowed.
TEST(Thermocouples, EveryBranchFollowsTheReferenceTables) {
    struct Case {
        TThermocoupleType type;
        double microVolt, celsius;
    };
    const Case cases[] = {
        {TCTypeJ, -8095, -210}, {TCTypeJ, -4633, -100},   {TCTypeJ, 5269, 100},   {TCTypeJ, 27393, 500},
        {TCTypeJ, 42919, 760},  {TCTypeJ, 57953, 1000},   {TCTypeJ, 69553, 1200}, {TCTypeK, -5891, -200},
        {TCTypeK, -3554, -100}, {TCTypeK, 4096, 100},     {TCTypeK, 10153, 250},  {TCTypeK, 20644, 500},
        {TCTypeK, 41276, 1000}, {TCTypeK, 54886, 1372},   {TCTypeE, -5237, -100}, {TCTypeE, 6319, 100},
        {TCTypeE, 36999, 500},  {TCTypeT, -5603, -200},   {TCTypeT, -3379, -100}, {TCTypeT, 4279, 100},
        {TCTypeT, 9288, 200},   {TCTypeT, 20872, 400},    {TCTypeS, 646, 100},    {TCTypeS, 6275, 700},
        {TCTypeS, 10332, 1064}, {TCTypeS, 17536, 1664.5}, {TCTypeS, 17947, 1700}, {TCTypeR, 647, 100},
        {TCTypeR, 1923, 250},   {TCTypeR, 10506, 1000},   {TCTypeR, 13228, 1200}, {TCTypeR, 19739, 1664.5},
        {TCTypeR, 20222, 1700}, {TCTypeN, -3990, -200},   {TCTypeN, -2407, -100}, {TCTypeN, 2774, 100},
        {TCTypeN, 9341, 300},   {TCTypeN, 20613, 600},    {TCTypeN, 36256, 1000}, {TCTypeN, 47513, 1300},
        {TCTypeB, 291, 250},    {TCTypeB, 1242, 500},     {TCTypeB, 2431, 700},   {TCTypeB, 4834, 1000},
        {TCTypeB, 6786, 1200},  {TCTypeB, 12433, 1700},   {TCTypeB, 13820, 1820},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(TCMicroVoltToTemperature(c.type, c.microVolt), c.celsius, 0.1)
            << "type " << int(c.type) << " at " << c.microVolt << " uV";
}

// Types C, D and G against the tungsten-rhenium calibration equivalents (OMEGA z202 polynomials,
// evaluated at whole temperatures), and the two values their first C branch is known by.
TEST(Thermocouples, TungstenRheniumTypesFollowTheirCalibrationTables) {
    EXPECT_NEAR(TCMicroVoltToTemperature(TCTypeC, 0), 0.03, 0.005);
    EXPECT_NEAR(TCMicroVoltToTemperature(TCTypeC, 1000), 70.45, 0.005);
    struct Case {
        TThermocoupleType type;
        double microVolt, celsius;
    };
    const Case cases[] = {
        {TCTypeC, 1451.164, 100},   {TCTypeC, 8655.457, 500},   {TCTypeC, 18257.374, 1000},
        {TCTypeC, 26722.588, 1500}, {TCTypeC, 33660.470, 2000}, {TCTypeC, 36922.578, 2300},
        {TCTypeD, 1145.095, 100},   {TCTypeD, 8076.707, 500},   {TCTypeD, 18226.283, 1000},
        {TCTypeD, 27666.212, 1500}, {TCTypeD, 35707.278, 2000}, {TCTypeD, 39356.451, 2300},
        {TCTypeG, 333.213, 100},    {TCTypeG, 4843.338, 500},   {TCTypeG, 14388.717, 1000},
        {TCTypeG, 24832.737, 1500}, {TCTypeG, 34022.230, 2000}, {TCTypeG, 38368.843, 2300},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(TCMicroVoltToTemperature(c.type, c.microVolt), c.celsius, 0.1)
            << "type " << int(c.type) << " at " << c.microVolt << " uV";
}

// The voltage search relies on temperatures that follow the voltage across the whole accepted
// range: no pole, no jump and no turn back at a branch change beyond the standard's own joins (its
// type J functions meet 0.007 °C apart at 42919 µV). Steps of 1/20000 of the range are at most a
// few tenths of a degree, and about 2 °C at the flat foot of type G.
TEST(Thermocouples, TemperatureFollowsTheVoltageOverTheAcceptedRange) {
    const struct {
        TThermocoupleType type;
        double lo, hi;
    } ranges[] = {
        {TCTypeJ, -8095, 69553},
        {TCTypeK, -6458, 54886},
        {TCTypeE, -6458, 54886},
        {TCTypeT, -6258, 20872},
        {TCTypeS, -235.55507149267, 18693.544691},
        {TCTypeR, -226.46518817384, 21102.70234786},
        {TCTypeN, -4345, 47513},
        {TCTypeB, -2.579382319873, 13820.279215181},
        {TCTypeC, -233, 37065.98},
        {TCTypeD, -163.23291, 39500.367},
        {TCTypeG, -15.8, 38564.395990718},
    };
    for (const auto& r : ranges) {
        const int steps = 20000;
        double previous = TCMicroVoltToTemperature(r.type, r.lo);
        for (int i = 1; i <= steps; ++i) {
            const double x = r.lo + (r.hi - r.lo) * i / steps;
            const double t = TCMicroVoltToTemperature(r.type, x);
            ASSERT_GT(t, previous - 0.01) << "type " << int(r.type) << " at " << x << " uV";
            ASSERT_LT(t, previous + 5) << "type " << int(r.type) << " at " << x << " uV";
            previous = t;
        }
    }
}

TEST(Thermocouples, RangeTestIncludesTheLimits) {
    const struct {
        TThermocoupleType type;
        double volt;
        bool inRange;
    } cases[] = {
        {TCTypeS, 0.0187, false},
        {TCTypeS, -0.0002, true},
        {TCTypeS, 0.0186935, true},
        {TCTypeS, -0.000236, false},
        {TCTypeK, 0.054887, false},
        {TCTypeK, 0.054885, true},
        {TCTypeE, -0.006459, false},
        {TCTypeJ, 0.069552, true},
        {TCTypeB, -0.000003, false},
        {TCTypeB, 0.0, true},
        {TCTypeC, 0.037066, false},
        {TCTypeG, -0.0000157, true},
        {TCTypeS, kNaN, false},
        {TCTypePlainVoltage, 1e6, true},
        {12, 0.0, false},
        {127, 0.001, false},
        {255, 0.001, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TCVoltageInRange(c.type, c.volt), c.inRange)
            << "type " << int(c.type) << " at " << c.volt << " V";
}

TEST(Thermocouples, CheckedTypesRaiseTheirMessageOutsideTheRange) {
    const struct {
        TThermocoupleType type;
        double lo, hi;
        const char* message;
    } cases[] = {
        {TCTypeJ, -8095, 69553, "J Thermocouple µV out of range."},
        {TCTypeE, -6458, 54886, "E Thermocouple µV out of range."},
        {TCTypeT, -6258, 20872, "T Thermocouple µV out of range."},
        {TCTypeR, -226.46518817384, 21102.70234786, "R Thermocouple µV out of range."},
        {TCTypeN, -4345, 47513, "N Thermocouple µV out of range."},
        {TCTypeB, -2.579382319873, 13820.279215181, "B Thermocouple µV out of range."},
        {TCTypeC, -233, 37065.98, "C Thermocouple mV out of range."},
        {TCTypeD, -163.23291, 39500.367, "D Thermocouple mV out of range."},
        {TCTypeG, -15.8, 38564.395990718, "G Thermocouple mV out of range."},
    };
    for (const auto& c : cases) {
        for (double x : {c.lo - 0.001, c.hi + 0.001, kNaN}) {
            try {
                TCMicroVoltToTemperature(c.type, x);
                ADD_FAILURE() << "no error for type " << int(c.type) << " at " << x << " uV";
            } catch (const std::range_error& e) {
                EXPECT_EQ(QString::fromUtf8(e.what()), QString::fromUtf8(c.message));
            }
        }
        EXPECT_NO_THROW(TCMicroVoltToTemperature(c.type, c.lo));
        EXPECT_NO_THROW(TCMicroVoltToTemperature(c.type, c.hi));
    }
    // K and S evaluate their functions beyond the range as well.
    for (TThermocoupleType type : {TCTypeK, TCTypeS})
        for (double x : {-10000.0, 80000.0})
            EXPECT_TRUE(std::isfinite(TCMicroVoltToTemperature(type, x))) << int(type) << " " << x;
}

TEST(Thermocouples, PlainVoltageAndUnknownCodes) {
    EXPECT_DOUBLE_EQ(TCVoltageToTemperature(TCTypePlainVoltage, 0.005), 0.005);
    EXPECT_DOUBLE_EQ(TCMicroVoltToTemperature(TCTypePlainVoltage, -2500), -0.0025);
    for (TThermocoupleType type : {TThermocoupleType(12), TThermocoupleType(127), TThermocoupleType(200)}) {
        EXPECT_EQ(TCVoltageToTemperature(type, 0.005), 0.0);
        EXPECT_EQ(TCTemperatureToMicroVolt(type, 500), 0.0);
    }
    EXPECT_EQ(TCTemperatureToMicroVolt(TCTypePlainVoltage, 500), 0.0);
}

TEST(Thermocouples, TemperatureToMicroVoltInvertsTheConversion) {
    EXPECT_NEAR(TCTemperatureToMicroVolt(TCTypeS, 25), 142.67, 0.005);
    EXPECT_NEAR(TCTemperatureToMicroVolt(TCTypeS, 0), 0.0, 0.01);
    // Cold junction at 25 °C and 5 mV measured: the multimeter thread's sum.
    const double junction = 5000 + TCTemperatureToMicroVolt(TCTypeS, 25);
    EXPECT_NEAR(junction, 5142.67, 0.005);
    EXPECT_NEAR(TCMicroVoltToTemperature(TCTypeS, junction), 590.58, 0.005);

    // Round trips for every thermocouple type, to the 0.01 µV of the search.
    const struct {
        TThermocoupleType type;
        double celsius;
    } trips[] = {{TCTypeJ, -150}, {TCTypeJ, 900},  {TCTypeK, 20},   {TCTypeK, 1200}, {TCTypeE, 300},
                 {TCTypeT, -50},  {TCTypeT, 350},  {TCTypeS, 1500}, {TCTypeR, 800},  {TCTypeN, 700},
                 {TCTypeB, 1300}, {TCTypeC, 1800}, {TCTypeD, 400},  {TCTypeG, 1000}};
    for (const auto& t : trips) {
        const double microVolt = TCTemperatureToMicroVolt(t.type, t.celsius);
        EXPECT_NEAR(TCMicroVoltToTemperature(t.type, microVolt), t.celsius, 0.003) << int(t.type);
    }

    // Beyond the ends of the range the search settles on the nearest end.
    const double hi = 18693.544691;
    const double lo = -235.55507149267;
    const double top = TCTemperatureToMicroVolt(TCTypeS, 2500);
    EXPECT_LE(top, hi);
    EXPECT_NEAR(top, hi, 0.01);
    const double bottom = TCTemperatureToMicroVolt(TCTypeS, -200);
    EXPECT_GE(bottom, lo);
    EXPECT_NEAR(bottom, lo, 0.01);
}

TEST(Thermistor, AcceptsOnlyItsResistanceRange) {
    const struct {
        double ohm;
        bool accepted;
        double celsius;
    } cases[] = {
        {10000, true, 25.00}, {2986, true, 55.00}, {32600, true, 0.03}, {2985.9, false, 0},
        {32600.1, false, 0},  {-5, false, 0},      {kNaN, false, 0},    {kInf, false, 0},
    };
    for (const auto& c : cases) {
        double t = 123.0;
        EXPECT_EQ(ThermistorToTemperature(t, c.ohm), c.accepted) << c.ohm;
        if (c.accepted)
            EXPECT_NEAR(t, c.celsius, 0.005) << c.ohm;
        else
            EXPECT_EQ(t, 123.0) << "a refused resistance must leave the temperature alone: " << c.ohm;
    }
}

TEST(SensorpO2, NernstEquationAgainstTheAirReference) {
    for (double celsius : {500.0, 700.0, 1000.0})
        EXPECT_NEAR(SensorpO2(celsius, 0, 0, 0), 0.209, 1e-15) << celsius;
    EXPECT_NEAR(SensorpO2(700, -0.1, 0, 0), 0.001773, 5e-7);
    // Ax shifts with 1/T, Bx is a constant offset of ln(pO2): 0.209 * exp(-100/1000 - 0.1).
    EXPECT_NEAR(SensorpO2(726.85, 0, 100, 0.1), 0.209 * std::exp(-0.2), 1e-12);
    // A positive sensor voltage means more oxygen than the reference.
    EXPECT_GT(SensorpO2(700, 0.05, 0, 0), 0.209);
}

class SensorpO2Log : public ::testing::Test {
protected:
    void SetUp() override {
        fWasEnabled = LogThermocouples.Enabled();
        LogThermocouples.SetEnabled(true);
    }
    void TearDown() override {
        LogThermocouples.SetEnabled(fWasEnabled);
        SetRegionalLocale(QLocale::system());
    }
    bool fWasEnabled = false;
};

TEST_F(SensorpO2Log, WritesInputsAndResultInTheRegionalFormat) {
    struct Case {
        QLocale locale;
        QChar separator;
        QStringList expected;
    };
    const Case cases[] = {
        {QLocale::c(), u'.', {"Ref: 0.209", "mV : -100", "Tk : 973.15", "Ax : 12.5", "Bx : 0.25"}},
        {QLocale(QStringLiteral("de_DE")),
         u',',
         {"Ref: 0,209", "mV : -100", "Tk : 973,15", "Ax : 12,5", "Bx : 0,25"}},
    };
    for (const auto& c : cases) {
        SetRegionalLocale(c.locale);
        double pO2 = 0;
        const QStringList lines = CaptureMessages(QStringLiteral("Thermocouples unit"),
                                                  [&] { pO2 = SensorpO2(700, -0.1, 12.5, 0.25); });
        QStringList expected = c.expected;
        expected << QStringLiteral("   = ") + FormatGeneral(pO2, c.separator);
        EXPECT_EQ(lines, expected);
    }
}

} // namespace
