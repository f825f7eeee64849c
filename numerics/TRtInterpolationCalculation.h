#pragma once
// The numerical part of an interpolation curve: from points (x, y, optional weight) it builds a
// piecewise cubic f(x) = a_k + b_k t + c_k t^2 + d_k t^3, t = x - x_k, on knots x_0 < ... < x_{n-1},
// and evaluates it.
//
// The approximative spline is the natural cubic smoothing spline that minimises
//   sum w_i (y_i - f(x_i))^2 + integral f''(x)^2 dx,   w_i = weight_i * ElasticityFactor.
// A large elasticity pulls it through the points, a small one relaxes it towards the least-squares
// straight line. Its c_k are half the second derivative at the knots and its a_k the curve's
// values there. The five-band linear system is solved in O(n).
//
// Main thread use only; no locks.
#include <vector>

enum class TRtInterpolationMethod { Akima, CubicSpline, ApproximativeSpline };

class TRtInterpolationCalculation {
public:
    // The smallest elasticity kept; zero, negative or not-a-number factors are stored as this.
    static constexpr double MinElasticity = 1e-300;
    // The approximative spline needs at least this many distinct x values.
    static constexpr int MinKnots = 6;

    double ElasticityFactor() const { return fElasticityFactor; }
    // Values not above 0 (or NaN) are stored as MinElasticity. A different value marks the result
    // outdated when the method is ApproximativeSpline.
    void SetElasticityFactor(double value);

    TRtInterpolationMethod InterpolationMethod() const { return fMethod; }
    // Any change marks the result outdated.
    void SetInterpolationMethod(TRtInterpolationMethod method);

    // True while the result does not match the inputs (from creation until a calculation succeeds,
    // and after a setting or the data changed).
    bool Recalculate() const { return FRecalculate; }
    // Marks the result outdated, e.g. because the data changed.
    void Invalidate() { FRecalculate = true; }

    // Builds the curve through the first m points, m being the smallest of the counts given
    // (weights may be null: every point then has weight 1). Points with a non-finite x or a weight
    // not above 0 are skipped; the rest are ordered by x and points of equal x merged. Throws
    // EMathError "Not enough data points to calculate function" when fewer than MinKnots knots
    // remain; the result then stays outdated.
    void Calculate(const double* x, int xCount, const double* y, int yCount, const double* weights = nullptr,
                   int weightCount = 0);

    // The curve at x from the last calculation (no recalculation). Below x_0 piece 0 continues as
    // the same cubic; from x_{n-1} on the curve is the line a_{n-1} + b_{n-2} (x - x_{n-1}). An
    // arithmetic overflow gives 0; x = NaN gives NaN. Before any calculation: 0.
    double Evaluate(double x) const;

    // The result: n knots (FIntCount) and arrays of n + 1 values, index n repeating index n - 1.
    int IntCount() const { return FIntCount; }
    const std::vector<double>& X() const { return FX; }
    const std::vector<double>& A() const { return FA; }
    const std::vector<double>& B() const { return FB; }
    const std::vector<double>& C() const { return FC; }
    const std::vector<double>& D() const { return FD; }
    const std::vector<double>& W() const { return FW; }

private:
    void CollectPoints(const double* x, const double* y, const double* w, int m);
    void MergeEqualX();
    void SolveApproximativeSpline();
    int Piece(double x) const;

    double fElasticityFactor = 1.0;
    TRtInterpolationMethod fMethod = TRtInterpolationMethod::ApproximativeSpline;
    bool FRecalculate = true;

    int FIntCount = 0;
    std::vector<double> FX, FA, FB, FC, FD, FW;

    // Scratch space kept between calculations so recalculating allocates nothing.
    struct TPointXYW {
        double x, y, w;
    };
    std::vector<TPointXYW> fPoints;
    std::vector<double> fKnotX, fKnotW, fY, fH, fG, fS, fDiag, fOff1, fOff2, fRhs;
};
