#include "recording/TDataSynchronizer.h"
#include "common/Locale.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Times are monotonic seconds.
const double kSecond = 1.0;
const double kT0 = 3888000000.5; // about where the fixed clock's monotonic seconds lie

TEST(TDataSynchronizer, StartsEmpty) {
    const TDataSynchronizer s("T");
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.Sum(), 0.0);
    EXPECT_EQ(s.Average(), 0.0);
    EXPECT_EQ(s.DurationS(), 0.0);
    EXPECT_EQ(s.TimeMin(), 1.7976931348623157E308);
    EXPECT_EQ(s.TimeMax(), 2.2250738585072014E-308);
}

TEST(TDataSynchronizer, OneReadingSpansItsOwnMeasuringTime) {
    TDataSynchronizer s("I");
    s.Add(kT0, kT0 + 0.25 * kSecond, -1.5e-4);
    EXPECT_EQ(s.Count(), 1);
    EXPECT_EQ(s.Sum(), -1.5e-4);
    EXPECT_EQ(s.Average(), -1.5e-4);
    EXPECT_EQ(s.TimeMin(), kT0);
    EXPECT_EQ(s.TimeMax(), kT0 + 0.25 * kSecond);
    EXPECT_NEAR(s.DurationS(), 0.25, 1e-6);
}

TEST(TDataSynchronizer, ReadingsOutOfOrderGiveEarliestStartAndLatestEnd) {
    struct Reading {
        double startS, endS, value;
    };
    // The third reading starts earliest, the second ends latest.
    const Reading readings[] = {{10, 11, 800}, {12, 15, 802}, {8, 9, 801}, {11, 12, 803}};
    TDataSynchronizer s("T");
    for (const auto& r : readings)
        s.Add(kT0 + r.startS * kSecond, kT0 + r.endS * kSecond, r.value);
    EXPECT_EQ(s.Count(), 4);
    EXPECT_EQ(s.Sum(), 3206.0);
    EXPECT_EQ(s.Average(), 801.5);
    EXPECT_EQ(s.TimeMin(), kT0 + 8 * kSecond);
    EXPECT_EQ(s.TimeMax(), kT0 + 15 * kSecond);
    EXPECT_NEAR(s.DurationS(), 7.0, 1e-6);
}

TEST(TDataSynchronizer, AnUnorderedTimeIsReplacedByTheNextOne) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    TDataSynchronizer s("pO2");
    s.Add(nan, nan, 1e-4);
    EXPECT_TRUE(std::isnan(s.DurationS()));
    s.Add(kT0, kT0 + 2 * kSecond, 3e-4);
    EXPECT_EQ(s.TimeMin(), kT0);
    EXPECT_EQ(s.TimeMax(), kT0 + 2 * kSecond);
    EXPECT_NEAR(s.DurationS(), 2.0, 1e-6);
    EXPECT_DOUBLE_EQ(s.Average(), 2e-4);
}

TEST(TDataSynchronizer, EachAddIsLoggedWithNameAndValue) {
    SetRegionalLocale(QLocale(QLocale::German, QLocale::Germany));
    {
        TLogCapture log(LogSynchronizer);
        TDataSynchronizer i("I"), v("V");
        i.Add(kT0, kT0, 0.00012);
        v.Add(kT0, kT0, -2.5);
        EXPECT_EQ(log.Messages(), (QStringList{"Synchronizer I adds 0,00012", "Synchronizer V adds -2,5"}));
    }
    SetRegionalLocale(QLocale::system());
}

} // namespace
