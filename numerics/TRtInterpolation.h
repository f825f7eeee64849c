#pragma once
// An interpolation curve over data vectors: the X and Y vectors (and optionally a weight vector)
// hold the points, the calculation object holds the curve through them. GetY recalculates first
// whenever a setting or any of the vectors changed since the last calculation, so callers just
// fill the vectors and ask for values. Several curves may share one X vector.
//
// Drawing belongs to the plot that shows the curve; Sample gives it the points to draw.
// Main thread use only.
#include "numerics/TRtDoubleVector.h"
#include "numerics/TRtInterpolationCalculation.h"

#include <cstdint>
#include <vector>

class TRtInterpolation {
public:
    // The vectors are not owned and must outlive their use by the curve; null means none (no
    // weight vector: every point has weight 1).
    void SetXData(const TRtDoubleVector* x);
    void SetYData(const TRtDoubleVector* y);
    void SetWeightData(const TRtDoubleVector* w);
    const TRtDoubleVector* XData() const { return fX; }
    const TRtDoubleVector* YData() const { return fY; }

    double ElasticityFactor() const { return fCalc.ElasticityFactor(); }
    void SetElasticityFactor(double value) { fCalc.SetElasticityFactor(value); }
    TRtInterpolationMethod InterpolationMethod() const { return fCalc.InterpolationMethod(); }
    void SetInterpolationMethod(TRtInterpolationMethod m) { fCalc.SetInterpolationMethod(m); }

    // The curve at x, recalculated first when needed. Throws EMathError when the curve cannot be
    // calculated (too few points); every call fails the same way until the data allow a curve.
    double GetY(double x);
    // Brings the curve up to date now (throws as GetY).
    void Calculate();

    // The calculation range: the smallest to the largest value of the X vector. False when the
    // vector is missing or holds no finite value.
    bool CalculationRange(double& start, double& stop) const;
    // The line to draw on an X axis from axisStart to axisStop that is `pixels` wide: samples of
    // GetY from max(range start, axis start) to min(range stop, axis stop), one per pixel. Nothing
    // is drawn (false, empty lists) while the vectors hold fewer than 3 points or the range misses
    // the axis. A calculation error empties the lists and is thrown to the caller to report.
    bool Sample(double axisStart, double axisStop, int pixels, std::vector<double>& xs,
                std::vector<double>& ys);

    const TRtInterpolationCalculation& Calculation() const { return fCalc; }

private:
    bool DataChanged() const;
    std::uint64_t VersionOf(const TRtDoubleVector* v) const { return v ? v->Version() : 0; }

    const TRtDoubleVector* fX = nullptr;
    const TRtDoubleVector* fY = nullptr;
    const TRtDoubleVector* fW = nullptr;
    // The vectors' versions the current result was calculated from.
    std::uint64_t fXVersion = 0, fYVersion = 0, fWVersion = 0;
    TRtInterpolationCalculation fCalc;
};
