#include "recording/LinearLeastSquares.h"
#include "common/Locale.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FitCase {
    const char* what;
    TPointArray points;
    TLLSResult want;
};

TEST(LinearLeastSquares, Fits) {
    const FitCase cases[] = {
        {"rising line", {{0, 1}, {1, 2}, {2, 3}}, {1, 1, 2, 1, 3, 1, 3, 2, 2}},
        {"points in any order", {{2, 3}, {0, 1}, {1, 2}}, {1, 1, 2, 1, 3, 1, 3, 2, 2}},
        // Slope -1.4, intercept 10.1, R = -7 / sqrt(50), change -4.2 / 10.1 over 3.
        {"falling scatter",
         {{0, 10}, {1, 9}, {2, 7}, {3, 6}},
         {-1.4, 10.1, 8, 6, 10, -7 / std::sqrt(50.0), 4, 3, -4.2 / 10.1}},
        // The relative change refers to the fitted value at X = 0, not at the first point.
        {"X not starting at 0",
         {{100, 5}, {160, 4}, {400, 1}},
         {-11.0 / 840, 87.0 / 14, 10.0 / 3, 1, 5, -660 / std::sqrt(436800.0), 3, 300, -55.0 / 87}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TLLSResult r;
        ASSERT_TRUE(LinearLeastSquares(c.points, r));
        EXPECT_NEAR(r.Slope, c.want.Slope, 1e-12);
        EXPECT_NEAR(r.Intercept, c.want.Intercept, 1e-12);
        EXPECT_NEAR(r.AverageY, c.want.AverageY, 1e-12);
        EXPECT_EQ(r.MinY, c.want.MinY);
        EXPECT_EQ(r.MaxY, c.want.MaxY);
        EXPECT_NEAR(r.R, c.want.R, 1e-12);
        EXPECT_EQ(r.N, c.want.N);
        EXPECT_EQ(r.Duration, c.want.Duration);
        EXPECT_NEAR(r.RelativeChange, c.want.RelativeChange, 1e-12);
    }
}

TEST(LinearLeastSquares, ExtendedPrecisionKeepsSmallChangesOnLargeValues) {
    if (std::numeric_limits<long double>::digits < 64)
        GTEST_SKIP() << "no extended precision on this platform";
    // Y^2 near 1e16 no longer fits a double's 53 bits; the spread of Y is lost without 64 bits.
    TLLSResult r;
    ASSERT_TRUE(LinearLeastSquares({{0, 1e8}, {1, 1e8 + 1}, {2, 1e8 + 2}}, r));
    EXPECT_EQ(r.Slope, 1.0);
    EXPECT_EQ(r.Intercept, 1e8);
    EXPECT_EQ(r.R, 1.0);
    EXPECT_NEAR(r.RelativeChange, 2e-8, 1e-18);
}

struct RefusalCase {
    const char* what;
    TPointArray points;
    QStringList lastLines;     // the log ends with these
    bool extendedOnly = false; // the rounding that leads here needs 64-bit sums
};

TEST(LinearLeastSquares, RefusalsAndTheirLogLines) {
    SetRegionalLocale(QLocale::c());
    const RefusalCase cases[] = {
        {"no points", {}, {"LLS=False, (N*SumX2 = SumX*SumX)"}},
        {"one point", {{3, 4}}, {"LLS=False, (N*SumX2 = SumX*SumX)"}},
        {"all X equal", {{5, 1}, {5, 2}, {5, 4}}, {"LLS=False, (N*SumX2 = SumX*SumX)"}},
        {"steady Y", {{0, 5}, {1, 5}, {2, 5}}, {"LLS=False, (N*SumY2 = SumY*SumY)"}},
        {"a lone point of NaN", {{kNaN, kNaN}}, {"LLS=False, (N<2)"}},
        // Equal X (or Y) whose sums round so that N*Sum2 and Sum*Sum differ in the last bit.
        {"equal X after rounding",
         {{0.01, 1}, {0.01, 2}, {0.01, 4}},
         {"LLS=False, sqrt( SumX2-(sqr(SumX)/N) ) "},
         true},
        {"equal Y after rounding",
         {{0, 0.01}, {1, 0.01}, {2, 0.01}},
         {"LLS=False, sqrt( SumY2-(sqr(SumY)/N) ) ", "  SumY2 : 0.0003", "   SumY : 0.03", "      N : 3"},
         true},
        {"rising from 0", {{0, 0}, {1, 1}, {2, 2}}, {"LLS=False, cannot calculate relative rate of change"}},
        {"a NaN reading", {{0, 1}, {1, kNaN}, {2, 3}}, {"LLS=False, relative change is not finite"}},
    };
    const bool extended = std::numeric_limits<long double>::digits >= 64;
    for (const auto& c : cases) {
        if (c.extendedOnly && !extended)
            continue;
        SCOPED_TRACE(c.what);
        TLogCapture log(LogLLS);
        TLLSResult r;
        EXPECT_FALSE(LinearLeastSquares(c.points, r));
        const QStringList lines = log.Messages();
        ASSERT_GE(lines.size(), c.lastLines.size());
        EXPECT_EQ(lines.mid(lines.size() - c.lastLines.size()), c.lastLines);
    }
    SetRegionalLocale(QLocale::system());
}

TEST(LinearLeastSquares, TraceOfASuccessfulFit) {
    SetRegionalLocale(QLocale::c());
    {
        TLogCapture log(LogLLS);
        TLLSResult r;
        ASSERT_TRUE(LinearLeastSquares({{0, 1.5}, {1, 2}, {2, 3}}, r));
        EXPECT_EQ(log.Messages(),
                  (QStringList{"sqr(SumX):9.00000000000000E+00", "a / N:3.00000000000000E+00",
                               "SumX2-a:2.00000000000000E+00", "sqrt(a):1.41421356237310E+00",
                               "  SumY2 : 15.25", "   SumY : 6.5", "Average : 2.16666666666667"}));
    }
    SetRegionalLocale(QLocale::system());
}

} // namespace
