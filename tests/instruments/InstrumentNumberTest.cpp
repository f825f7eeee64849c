#include "instruments/InstrumentNumber.h"

#include "common/Locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace {

struct NumberCase {
    const char* text;
    double value;
    int errorPos;
};

// Fields as the instruments send them, and the ways a field goes wrong: where the first
// character that does not fit stands, or the position just past the end when the text stops
// before the number is complete.
const NumberCase kCases[] = {
    {"+2.500123E-01", 0.2500123, 0},
    {"-1.234567E-04", -1.234567e-4, 0},
    {"+9.9E37", 9.9e37, 0},
    {"-4", -4.0, 0},
    {"0045", 45.0, 0},
    {".5", 0.5, 0},
    {"1.", 1.0, 0},
    {"1e3", 1000.0, 0},
    {"1E+05", 1e5, 0},
    {"-0.678", -0.678, 0},
    {"1E-400", 0.0, 0}, // too small for a double: zero, not a failure
    {"", 0.0, 1},
    {"+", 0.0, 2},
    {".", 0.0, 2},
    {"-.", 0.0, 3},
    {"abc", 0.0, 1},
    {"1,5", 0.0, 2},       // a comma is never a decimal separator here
    {"2.5E-01,3", 0.0, 8}, // two fields not split
    {"1.2.3", 0.0, 4},
    {"1E", 0.0, 3},
    {"1E+", 0.0, 4},
    {"1Ex", 0.0, 3},
    {" 1", 0.0, 1},
    {"1 ", 0.0, 2},
    {"1\r", 0.0, 2},
    {"++1", 0.0, 2},
    {"0x10", 0.0, 2},
    {"inf", 0.0, 1},
    {"nan", 0.0, 1},
    {"1E999", 0.0, 6}, // too large for a double
};

void ExpectCases() {
    for (const auto& c : kCases) {
        const TInstrumentNumber n = ParseInstrumentNumber(QByteArray(c.text));
        EXPECT_EQ(n.ErrorPos, c.errorPos) << '"' << c.text << '"';
        EXPECT_EQ(n.Ok(), c.errorPos == 0) << '"' << c.text << '"';
        EXPECT_DOUBLE_EQ(n.Value, c.value) << '"' << c.text << '"';
    }
}

TEST(InstrumentNumber, FieldsAndErrorPositions) {
    ExpectCases();
}

TEST(InstrumentNumber, IgnoresTheRegionalAndTheCLocale) {
    // Qt adopts the system locale for the C library at start; a comma locale there (where one is
    // installed) or in the regional format must not turn "0.25" into 0 or 25.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        std::setlocale(LC_NUMERIC, "de_DE");
    SetRegionalLocale(QLocale(QLocale::German, QLocale::Germany));
    ExpectCases();
    EXPECT_EQ(FormatInstrumentNumber("0.000000", 0.25), "0.250000");
    EXPECT_EQ(FormatInstrumentNumber("0.000E+0", -1.5e-4), "-1.500E-4");
    SetRegionalLocale(QLocale::system());
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(InstrumentNumber, QStringPositionsCountCharacters) {
    EXPECT_EQ(ParseInstrumentNumber(QStringLiteral("+1.5E-3")).Value, 1.5e-3);
    EXPECT_EQ(ParseInstrumentNumber(QStringLiteral("1µ")).ErrorPos, 2);
    EXPECT_EQ(ParseInstrumentNumber(QStringLiteral("1€")).ErrorPos, 2);
}

} // namespace
