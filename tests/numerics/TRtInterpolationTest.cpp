#include "numerics/TRtInterpolation.h"
#include "numerics/EMathError.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void Fill(TRtDoubleVector& v, const std::vector<double>& values) {
    v.Clear();
    for (double x : values)
        v.Add(x);
}

// Two curves over one X vector, as the PID tuning page has them.
struct CurvePair : testing::Test {
    TRtDoubleVector x, y1, y2;
    TRtInterpolation c1, c2;
    CurvePair() {
        c1.SetXData(&x);
        c1.SetYData(&y1);
        c2.SetXData(&x);
        c2.SetYData(&y2);
        Fill(x, {0, 1, 2, 3, 4, 5});
        Fill(y1, {1, 3, 5, 7, 9, 11}); // 2x + 1
        Fill(y2, {5, 5, 5, 5, 5, 5});
    }
};

TEST_F(CurvePair, FollowsEveryChangeOfItsVectors) {
    EXPECT_NEAR(c1.GetY(2.5), 6.0, 1e-12);
    EXPECT_NEAR(c2.GetY(2.5), 5.0, 1e-12);

    Fill(y1, {0, 1, 2, 3, 4, 5}); // now y = x
    EXPECT_NEAR(c1.GetY(2.5), 2.5, 1e-12);

    // The shared X vector moves both curves.
    Fill(x, {10, 11, 12, 13, 14, 15});
    EXPECT_NEAR(c1.GetY(12.5), 2.5, 1e-12);
    EXPECT_NEAR(c2.GetY(12.5), 5.0, 1e-12);

    // A weight of 0 drops a point, leaving too few.
    TRtDoubleVector w;
    Fill(w, {1, 1, 1, 0, 1, 1});
    c1.SetWeightData(&w);
    EXPECT_THROW(c1.GetY(12.5), EMathError);
    c1.SetWeightData(nullptr);
    EXPECT_NEAR(c1.GetY(12.5), 2.5, 1e-12);
}

TEST_F(CurvePair, ElasticityChangesTheCurve) {
    Fill(y1, {0, 4, -1, 3, 0, 2});
    c1.SetElasticityFactor(1e12);
    EXPECT_NEAR(c1.GetY(1), 4.0, 1e-6);
    c1.SetElasticityFactor(0.0); // least-squares line: mean of y at the mean of x
    EXPECT_NEAR(c1.GetY(2.5), 8.0 / 6, 1e-9);
}

TEST_F(CurvePair, TooFewPointsFailUntilThereAreEnough) {
    Fill(x, {0, 1, 2, 3, 4});
    Fill(y1, {0, 1, 0, 1, 0});
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            c1.GetY(1.0);
            ADD_FAILURE() << "no error";
        } catch (const EMathError& e) {
            EXPECT_STREQ(e.what(), "Not enough data points to calculate function");
        }
    }
    x.Add(5);
    y1.Add(1);
    EXPECT_NO_THROW(c1.GetY(1.0));
}

TEST_F(CurvePair, SamplesForDrawingCoverRangeAndAxis) {
    std::vector<double> xs, ys;
    // Range 0..5 on an axis 0..25: drawn only from 0 to 5, one sample per pixel.
    ASSERT_TRUE(c1.Sample(0, 25, 11, xs, ys));
    ASSERT_EQ(xs.size(), 11u);
    EXPECT_EQ(xs.front(), 0.0);
    EXPECT_EQ(xs.back(), 5.0);
    EXPECT_NEAR(ys[5], 2 * xs[5] + 1, 1e-12);
    // The axis cuts the range.
    ASSERT_TRUE(c1.Sample(2, 3, 3, xs, ys));
    EXPECT_EQ(xs, (std::vector<double>{2, 2.5, 3}));
    // The axis misses the range.
    EXPECT_FALSE(c1.Sample(30, 40, 10, xs, ys));
    EXPECT_TRUE(xs.empty());

    // Fewer than 3 points: nothing drawn. 3 to 5 points: the calculation error reaches the caller.
    Fill(x, {0, 1});
    Fill(y1, {0, 1});
    EXPECT_FALSE(c1.Sample(0, 25, 10, xs, ys));
    Fill(x, {0, 1, 2});
    Fill(y1, {0, 1, 2});
    EXPECT_THROW(c1.Sample(0, 25, 10, xs, ys), EMathError);
    EXPECT_TRUE(xs.empty());
    EXPECT_TRUE(ys.empty());
}

} // namespace
