#include "numerics/TRtInterpolationCalculation.h"
#include "numerics/EMathError.h"
#include "tests/numerics/SplineTestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

double MaxAbs(const std::vector<double>& v, int n) {
    double m = 0;
    for (int i = 0; i < n; ++i)
        m = std::max(m, std::fabs(v[size_t(i)]));
    return m;
}

// Each of the first n elements agrees to 1e-9 of the array's largest magnitude.
void ExpectClose(const char* what, const std::vector<double>& got, const std::vector<double>& want, int n) {
    const double tol = 1e-9 * std::max(MaxAbs(want, n), 1e-300);
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(got[size_t(i)], want[size_t(i)], tol) << what << "[" << i << "]";
}

TRtInterpolationCalculation Calculated(const TSplinePoints& p, double elasticity, bool useWeights = false) {
    TRtInterpolationCalculation calc;
    calc.SetElasticityFactor(elasticity);
    if (useWeights)
        calc.Calculate(p.x.data(), int(p.x.size()), p.y.data(), int(p.y.size()), p.w.data(), int(p.w.size()));
    else
        calc.Calculate(p.x.data(), int(p.x.size()), p.y.data(), int(p.y.size()));
    return calc;
}

std::string MessageOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const EMathError& e) {
        return e.what();
    }
    return "(no error)";
}

// ---- Agreement with the dense reference ----

struct DenseCase {
    int n;
    double elasticity;
    bool weights;
};

TEST(ApproximativeSpline, AgreesWithDenseSolveOfTheSameEquations) {
    const DenseCase cases[] = {{6, 1.0, false},  {12, 0.01, false}, {12, 100.0, false}, {40, 1.0, true},
                               {40, 1e6, false}, {200, 0.3, true},  {25, 1e-5, false},  {9, 1e12, true}};
    unsigned seed = 7;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "n=" << c.n << " elasticity=" << c.elasticity << " weights=" << c.weights);
        const TSplinePoints p = RandomPoints(c.n, ++seed, c.weights);
        const TRtInterpolationCalculation calc = Calculated(p, c.elasticity, c.weights);
        std::vector<double> w = p.w;
        for (double& v : w)
            v *= c.elasticity;
        const TDenseSpline ref = DenseSpline(p.x, p.y, w);
        ASSERT_EQ(calc.IntCount(), c.n);
        ExpectClose("a", calc.A(), ref.a, c.n);
        ExpectClose("b", calc.B(), ref.b, c.n);
        ExpectClose("c", calc.C(), ref.c, c.n);
        ExpectClose("d", calc.D(), ref.d, c.n);
        // Between knots the curve is the piece that starts at the knot below.
        const double scale = MaxAbs(ref.a, c.n);
        for (int k = 0; k + 1 < c.n; ++k) {
            const double t = (p.x[k + 1] - p.x[k]) * 0.37;
            const double want = ref.a[k] + t * (ref.b[k] + t * (ref.c[k] + t * ref.d[k]));
            EXPECT_NEAR(calc.Evaluate(p.x[k] + t), want, 1e-9 * scale) << "piece " << k;
        }
    }
}

// ---- Shapes the curve must reproduce ----

TEST(ApproximativeSpline, StraightLineIsReproducedAtAnyElasticity) {
    const std::vector<double> x = {0, 1, 2, 3, 4, 5};
    const std::vector<double> y = {1, 3, 5, 7, 9, 11}; // y = 2x + 1
    for (double elasticity : {0.0, 1e-3, 1.0, 1e3, 1e12}) {
        SCOPED_TRACE(elasticity);
        TRtInterpolationCalculation calc;
        calc.SetElasticityFactor(elasticity);
        calc.Calculate(x.data(), int(x.size()), y.data(), int(y.size()));
        for (int k = 0; k < 6; ++k)
            EXPECT_NEAR(calc.C()[k], 0.0, 1e-12);
        EXPECT_NEAR(calc.Evaluate(2.5), 6.0, 1e-9);
        EXPECT_NEAR(calc.Evaluate(7.0), 15.0, 1e-9);
        EXPECT_NEAR(calc.Evaluate(-1.0), -1.0, 1e-9);
    }
}

TEST(ApproximativeSpline, ConstantStaysConstantEverywhere) {
    const std::vector<double> x = {-3, 0, 0.5, 2, 2.1, 7, 9.5};
    const std::vector<double> y(x.size(), 4.25);
    for (double elasticity : {1e-300, 0.5, 1e12}) {
        TRtInterpolationCalculation calc;
        calc.SetElasticityFactor(elasticity);
        calc.Calculate(x.data(), int(x.size()), y.data(), int(y.size()));
        for (double at : {-50.0, -3.0, 1.0, 2.05, 9.5, 400.0})
            EXPECT_NEAR(calc.Evaluate(at), 4.25, 1e-12) << "elasticity " << elasticity << " at " << at;
    }
}

TEST(ApproximativeSpline, SmallestElasticityGivesTheLeastSquaresLine) {
    // Also with knots 1e-4 apart, where 6 / w g^2 no longer fits in a double.
    for (double spacing : {1.0, 1e-4, 1e-7}) {
        SCOPED_TRACE(spacing);
        TSplinePoints p = RandomPoints(15, 3);
        for (size_t i = 0; i < p.x.size(); ++i)
            p.x[i] = spacing * (double(i) + 0.3 * std::sin(double(i)));
        TRtInterpolationCalculation calc;
        calc.SetElasticityFactor(0.0);
        EXPECT_EQ(calc.ElasticityFactor(), 1e-300);
        calc.Calculate(p.x.data(), int(p.x.size()), p.y.data(), int(p.y.size()));
        double intercept = 0, slope = 0;
        LeastSquaresLine(p.x, p.y, intercept, slope);
        for (double t : {-2.0, 0.0, 3.5, 7.0, 14.0, 20.0}) {
            const double at = spacing * t;
            EXPECT_NEAR(calc.Evaluate(at), intercept + slope * at, 1e-9 * 5) << "at " << at;
        }
    }
}

TEST(ApproximativeSpline, LargeElasticityPassesThroughThePoints) {
    const TSplinePoints p = RandomPoints(10, 11);
    const TRtInterpolationCalculation calc = Calculated(p, 1e12);
    for (int k = 0; k < 10; ++k)
        EXPECT_NEAR(calc.A()[k], p.y[k], 1e-9 * 5) << k;
}

// ---- Knots, layout and extrapolation ----

TEST(ApproximativeSpline, KnotsArraysAndExtrapolation) {
    const TSplinePoints p = RandomPoints(8, 21);
    const TRtInterpolationCalculation calc = Calculated(p, 10.0);
    const int n = calc.IntCount();
    ASSERT_EQ(n, 8);
    for (const auto* arr : {&calc.X(), &calc.A(), &calc.B(), &calc.C(), &calc.D(), &calc.W()}) {
        ASSERT_EQ(arr->size(), size_t(n + 1));
        EXPECT_EQ((*arr)[n], (*arr)[n - 1]);
    }
    for (int k = 0; k < n; ++k) {
        EXPECT_EQ(calc.X()[k], p.x[k]);
        EXPECT_EQ(calc.W()[k], 10.0);
        EXPECT_EQ(calc.Evaluate(p.x[k]), calc.A()[k]) << "at knot " << k;
    }
    // Natural ends; the last knot carries the preceding slope coefficient.
    EXPECT_EQ(calc.C()[0], 0.0);
    EXPECT_EQ(calc.C()[n - 1], 0.0);
    EXPECT_EQ(calc.D()[n - 1], 0.0);
    EXPECT_EQ(calc.B()[n - 1], calc.B()[n - 2]);

    // Beyond the last knot: the straight line a_{n-1} + b_{n-2} (x - x_{n-1}).
    const double xl = p.x[n - 1];
    EXPECT_NEAR(calc.Evaluate(xl + 3.0), calc.A()[n - 1] + calc.B()[n - 2] * 3.0, 1e-12);
    // Below the first knot: piece 0 continues as the same cubic.
    const double t = -2.0;
    EXPECT_NEAR(calc.Evaluate(p.x[0] + t), calc.A()[0] + calc.B()[0] * t + calc.D()[0] * t * t * t, 1e-12);
    // Each piece ends where the next begins.
    for (int k = 1; k < n; ++k) {
        const double hk = p.x[k] - p.x[k - 1];
        const double v =
            calc.A()[k - 1] + hk * (calc.B()[k - 1] + hk * (calc.C()[k - 1] + hk * calc.D()[k - 1]));
        EXPECT_NEAR(v, calc.A()[k], 1e-9) << k;
    }
}

TEST(ApproximativeSpline, EvaluationFaults) {
    TRtInterpolationCalculation fresh;
    EXPECT_EQ(fresh.Evaluate(1.0), 0.0); // nothing calculated yet

    const TRtInterpolationCalculation calc = Calculated(RandomPoints(8, 5), 1.0);
    ASSERT_NE(calc.D()[0], 0.0);
    EXPECT_TRUE(std::isnan(calc.Evaluate(kNaN)));
    EXPECT_EQ(calc.Evaluate(-1e200), 0.0); // the cubic overflows
    EXPECT_EQ(calc.Evaluate(std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(calc.Evaluate(-std::numeric_limits<double>::infinity()), 0.0);
}

// ---- Points that need ordering, merging or skipping ----

TEST(ApproximativeSpline, PointsOutOfOrderGiveTheSameCurveAsOrderedOnes) {
    const TSplinePoints sorted = RandomPoints(9, 31, true);
    TSplinePoints shuffled;
    for (int i : {4, 0, 8, 2, 7, 1, 6, 3, 5}) {
        shuffled.x.push_back(sorted.x[i]);
        shuffled.y.push_back(sorted.y[i]);
        shuffled.w.push_back(sorted.w[i]);
    }
    const auto a = Calculated(sorted, 2.0, true);
    const auto b = Calculated(shuffled, 2.0, true);
    EXPECT_EQ(b.X(), a.X());
    EXPECT_EQ(b.A(), a.A());
    EXPECT_EQ(b.B(), a.B());
    EXPECT_EQ(b.C(), a.C());
    EXPECT_EQ(b.D(), a.D());
}

TEST(ApproximativeSpline, PointsWithEqualXAreMergedInTheirGivenOrder) {
    // Knot x = 2 from y 1 then 5 (weights 1, 3); knot x = 4 from y 0, 4, 8 (weights 2, 2, 4);
    // the x = 4 points arrive out of order among the others.
    TSplinePoints raw;
    raw.x = {0, 1, 4, 2, 2, 3, 4, 5, 4, 6};
    raw.y = {1, -1, 0, 1, 5, 2, 4, 0, 8, 3};
    raw.w = {1, 1, 2, 1, 3, 1, 2, 1, 4, 1};
    TSplinePoints merged;
    merged.x = {0, 1, 2, 3, 4, 5, 6};
    merged.y = {1, -1, 3, 2, ((0 + 4) / 2.0 + 8) / 2.0, 0, 3};
    merged.w = {1, 1, 2, 1, 3, 1, 1};
    const auto a = Calculated(raw, 0.5, true);
    const auto b = Calculated(merged, 0.5, true);
    ASSERT_EQ(a.IntCount(), 7);
    EXPECT_EQ(a.X(), b.X());
    EXPECT_EQ(a.W(), b.W());
    EXPECT_EQ(a.A(), b.A());
    EXPECT_EQ(a.B(), b.B());
}

TEST(ApproximativeSpline, UnusablePointsAreSkipped) {
    const TSplinePoints clean = RandomPoints(7, 41, true);
    TSplinePoints dirty = clean;
    // Extra points: not-a-number x, infinite x, zero, negative and NaN weight.
    const double badX[] = {kNaN, std::numeric_limits<double>::infinity(), 2.0, 3.0, 4.0};
    const double badW[] = {1.0, 1.0, 0.0, -1.0, kNaN};
    for (int i = 0; i < 5; ++i) {
        dirty.x.insert(dirty.x.begin() + 2 * i, badX[i]);
        dirty.y.insert(dirty.y.begin() + 2 * i, 100.0);
        dirty.w.insert(dirty.w.begin() + 2 * i, badW[i]);
    }
    // A longer Y vector: only as many points as the shortest vector holds.
    dirty.y.push_back(1e6);
    const auto a = Calculated(clean, 3.0, true);
    const auto b = Calculated(dirty, 3.0, true);
    EXPECT_EQ(b.X(), a.X());
    EXPECT_EQ(b.A(), a.A());
}

// ---- Failure and settings ----

TEST(ApproximativeSpline, FewerThanSixKnotsFail) {
    struct Case {
        const char* what;
        std::vector<double> x;
    };
    const Case cases[] = {
        {"no points", {}},
        {"five points", {0, 1, 2, 3, 4}},
        {"seven points on five x", {0, 1, 1, 2, 3, 3, 4}},
    };
    for (const auto& c : cases) {
        TRtInterpolationCalculation calc;
        const std::vector<double> y(c.x.size(), 1.0);
        EXPECT_EQ(MessageOf([&] { calc.Calculate(c.x.data(), int(c.x.size()), y.data(), int(y.size())); }),
                  "Not enough data points to calculate function")
            << c.what;
        EXPECT_TRUE(calc.Recalculate()) << c.what;
    }
}

TEST(ApproximativeSpline, SettingsMarkTheResultOutdated) {
    TRtInterpolationCalculation calc;
    EXPECT_EQ(calc.ElasticityFactor(), 1.0);
    EXPECT_TRUE(calc.Recalculate());
    for (double bad : {0.0, -5.0, kNaN}) {
        calc.SetElasticityFactor(bad);
        EXPECT_EQ(calc.ElasticityFactor(), 1e-300) << bad;
    }

    const TSplinePoints p = RandomPoints(6, 1);
    calc.SetElasticityFactor(2.0);
    calc.Calculate(p.x.data(), int(p.x.size()), p.y.data(), int(p.y.size()));
    EXPECT_FALSE(calc.Recalculate());
    calc.SetElasticityFactor(2.0);
    EXPECT_FALSE(calc.Recalculate()) << "the same value changes nothing";
    calc.SetElasticityFactor(3.0);
    EXPECT_TRUE(calc.Recalculate());

    calc.Calculate(p.x.data(), int(p.x.size()), p.y.data(), int(p.y.size()));
    calc.SetInterpolationMethod(TRtInterpolationMethod::Akima);
    EXPECT_TRUE(calc.Recalculate());
    EXPECT_EQ(MessageOf([&] { calc.Calculate(p.x.data(), int(p.x.size()), p.y.data(), int(p.y.size())); }),
              "Interpolation method not available");
}

} // namespace
