#include "common/NumberFormat.h"

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct FormatCase {
    const char* pattern;
    double value;
    const char* point; // with a point as decimal separator
};

// The patterns the program writes with, at the values that matter: rounding (halves away from
// zero), carries into a new digit, exponents of one and two digits, negatives, literal blanks.
const FormatCase kFormatCases[] = {
    {"0", 0.0, "0"},
    {"0", 2.5, "3"},
    {"0", -2.5, "-3"},
    {"0", 0.4, "0"},
    {"0", -0.4, "0"},
    {"0", 123456.7, "123457"},
    {"0.0", 812.44, "812.4"},
    {"0.0", 812.45, "812.5"},
    {"0.0", 0.06, "0.1"},
    {"0.0", 999.96, "1000.0"},
    {"0.00", 0.125, "0.13"},
    {"0.00", -1.005, "-1.01"},
    {"0.000000", 0.0001234567, "0.000123"},
    {"0.000 000", 0.2095, "0.209 500"},
    {"0.000 000", 1.23456789, "1.234 568"},
    {"0.00000E+0", 0.2500123, "2.50012E-1"},
    {"0.00000E+0", -1.2345678e-4, "-1.23457E-4"},
    {"0.000E+0", 0.0, "0.000E+0"},
    {"0.000E+0", 9.9996e5, "1.000E+6"},
    {"0.000000E+00", 2.1e-7, "2.100000E-07"},
    {"0.000000E+00", 0.20946, "2.094600E-01"},
    {"0.000000E+00", 1.5e123, "1.500000E+123"},
    {"0.00E+0", 1e-20, "1.00E-20"},
};

TEST(FormatFloat, PatternsInPointAndCommaLocale) {
    for (const auto& c : kFormatCases) {
        const QString point = QString::fromUtf8(c.point);
        EXPECT_EQ(FormatFloat(c.pattern, c.value, u'.'), point) << c.pattern << " " << c.value;
        QString comma = point;
        comma.replace(u'.', u',');
        EXPECT_EQ(FormatFloat(c.pattern, c.value, u','), comma) << c.pattern << " " << c.value;
    }
}

TEST(FormatFloat, NonFiniteValuesGiveAWordNotGarbage) {
    EXPECT_EQ(FormatFloat("0.00", std::numeric_limits<double>::quiet_NaN(), u'.'), "NAN");
    EXPECT_EQ(FormatFloat("0.00E+0", std::numeric_limits<double>::infinity(), u'.'), "INF");
    EXPECT_EQ(FormatGeneral(-std::numeric_limits<double>::infinity(), u'.'), "-INF");
}

struct GeneralCase {
    double value;
    const char* point;
};

const GeneralCase kGeneralCases[] = {
    {0.0, "0"},
    {300.0, "300"},
    {0.05, "0.05"},
    {-0.678, "-0.678"},
    {0.1 + 0.2, "0.3"}, // 15 significant digits hide the binary noise
    {1.0 / 3.0, "0.333333333333333"},
    {123456789012345.0, "123456789012345"},
    {1e15, "1E15"},
    {0.00001, "0.00001"},
    {0.0000099, "9.9E-6"},
    {1.5e-6, "1.5E-6"},
    {-2.5e-120, "-2.5E-120"},
    {2.0e300, "2E300"},
    {0.20946, "0.20946"},
    {999999999999999.9, "1E15"},
};

TEST(FormatGeneral, ShortestFifteenDigitsInPointAndCommaLocale) {
    for (const auto& c : kGeneralCases) {
        const QString point = QString::fromUtf8(c.point);
        EXPECT_EQ(FormatGeneral(c.value, u'.'), point) << c.value;
        QString comma = point;
        comma.replace(u'.', u',');
        EXPECT_EQ(FormatGeneral(c.value, u','), comma) << c.value;
    }
}

TEST(ParseRegional, AcceptsTheRegionalSeparatorAndAPoint) {
    struct Case {
        const char* text;
        QChar sep;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"0,05", u',', true, 0.05}, {"0.05", u',', true, 0.05},
        {"0.05", u'.', true, 0.05}, {" -1,5E-3 ", u',', true, -1.5e-3},
        {"+12", u'.', true, 12},    {"1e5", u'.', true, 1e5},
        {"", u'.', false, 0},       {"   ", u'.', false, 0},
        {"abc", u'.', false, 0},    {"1.5x", u'.', false, 0},
        {"1,5", u'.', false, 0},    {"1e", u'.', false, 0},
        {".", u'.', false, 0},      {"-", u'.', false, 0},
        {"1e999", u'.', false, 0},  {"1,000.5", u',', false, 0},
    };
    for (const auto& c : cases) {
        double v = -99;
        EXPECT_EQ(TryParseRegional(c.text, v, c.sep), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        } else {
            EXPECT_EQ(v, -99) << "a refused text leaves the value alone: " << c.text;
        }
    }
}

TEST(ParseRegional, GeneralFormatReadsBackExactlyEnough) {
    for (double v : {0.05, -0.678, 1.0 / 3.0, 2.5e-120, 812.4, 1e15}) {
        for (QChar sep : {QChar(u'.'), QChar(u',')}) {
            double back = 0;
            ASSERT_TRUE(TryParseRegional(FormatGeneral(v, sep), back, sep));
            EXPECT_NEAR(back, v, std::fabs(v) * 1e-14);
        }
    }
}

} // namespace
