#pragma once
// The straight-line least-squares fit behind the relative change of a data column: Y = a X + b
// through the points, with the fitted change over the points' X span relative to the fitted
// starting value. Sums and intermediate results are formed in extended precision (long double:
// 80-bit on x86 with GCC and Clang; on platforms without it, double) and stored as doubles.
// Every refusal and the trace of a fit go to the "LLS" log channel.
#include <cstdint>
#include <vector>

struct TPoint {
    double X = 0.0;
    double Y = 0.0;
};
using TPointArray = std::vector<TPoint>;

struct TLLSResult {
    double Slope = 0.0;          // a of Y = a X + b
    double Intercept = 0.0;      // b
    double AverageY = 0.0;       // mean of Y
    double MinY = 0.0;           // smallest Y
    double MaxY = 0.0;           // largest Y
    double R = 0.0;              // correlation coefficient
    std::int32_t N = 0;          // number of points
    double Duration = 0.0;       // largest X minus smallest X
    double RelativeChange = 0.0; // (b + a Duration) / b - 1, a fraction
};

// Fits the points and fills `result`; true when a fit with a finite relative change was produced.
// Refuses (false, with a "LLS=False, ..." line) when all X or all Y are equal (this includes no
// point and a single point), when the fitted intercept is 0, or when the relative change is not a
// finite number. A refused fit may leave some fields of `result` filled.
bool LinearLeastSquares(const TPointArray& points, TLLSResult& result);
