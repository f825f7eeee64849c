#include "common/DateTime.h"
#include "common/Clock.h"
#include "common/Locale.h"

#include <gtest/gtest.h>

TEST(DateTime, DaysCountFromTheEpochWithTheTimeAsFraction) {
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 12), 2.5);
    const TDateTime t = EncodeDateTime(2024, 3, 15, 14, 5, 9, 42);
    EXPECT_EQ(QtFromDateTime(t), QDateTime(QDate(2024, 3, 15), QTime(14, 5, 9, 42)));
    EXPECT_NEAR((EncodeDateTime(2024, 3, 15, 14, 6) - EncodeDateTime(2024, 3, 15, 14, 5)) * SecondsPerDay,
                60.0, 1e-6);
}

TEST(DateTime, PatternsOfTheDataFile) {
    SetRegionalLocale(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const TDateTime t = EncodeDateTime(2024, 3, 15, 14, 5, 9, 42);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd_hh:mm:ss:zzz", t), "2024-03-15_14:05:09:042");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:mm", t), "2024-03-15 14:05");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:mm:ss", t), "2024-03-15 14:05:09");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd", EncodeDateTime(2024, 12, 31, 23, 59, 59, 999)), "2024-12-31");
    // A milliseconds fraction that rounds up to the next day lands on that day.
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:mm:ss", EncodeDateTime(2024, 1, 2) - 1e-10),
              "2024-01-02 00:00:00");
}

TEST(Clock, AFixedClockMovesOnlyWhenAdvanced) {
    Clock::Fix(45000.5);
    EXPECT_DOUBLE_EQ(Now(), 45000.5);
    Clock::AdvanceSeconds(86400.0 / 2);
    EXPECT_DOUBLE_EQ(Now(), 45001.0);
    Clock::Release();
    EXPECT_GT(Now(), 45000.0);
}

// The monotonic clock goes with every move of a fixed clock except a wall-clock step (a
// daylight-saving change or an NTP correction), which must not show in any duration.
TEST(Clock, AWallClockStepLeavesTheMonotonicClockAlone) {
    Clock::Fix(45000.5);
    const double m0 = MonotonicSeconds();
    Clock::AdvanceSeconds(10.0);
    EXPECT_NEAR(MonotonicSeconds() - m0, 10.0, 1e-5);
    Clock::StepWallSeconds(-3600.0); // autumn: the local clock goes back an hour
    EXPECT_NEAR((Now() - 45000.5) * SecondsPerDay, 10.0 - 3600.0, 1e-5);
    EXPECT_NEAR(MonotonicSeconds() - m0, 10.0, 1e-5);
    Clock::Fix(Now() + 5.0 / SecondsPerDay); // re-fixing later counts as time passing
    EXPECT_NEAR(MonotonicSeconds() - m0, 15.0, 1e-5);
    Clock::Release();
    const double r0 = MonotonicSeconds();
    EXPECT_GE(MonotonicSeconds(), r0);
}
