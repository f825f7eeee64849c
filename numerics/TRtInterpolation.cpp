#include "numerics/TRtInterpolation.h"

#include <algorithm>
#include <cmath>

void TRtInterpolation::SetXData(const TRtDoubleVector* x) {
    fX = x;
    fCalc.Invalidate();
}

void TRtInterpolation::SetYData(const TRtDoubleVector* y) {
    fY = y;
    fCalc.Invalidate();
}

void TRtInterpolation::SetWeightData(const TRtDoubleVector* w) {
    fW = w;
    fCalc.Invalidate();
}

bool TRtInterpolation::DataChanged() const {
    return VersionOf(fX) != fXVersion || VersionOf(fY) != fYVersion || VersionOf(fW) != fWVersion;
}

void TRtInterpolation::Calculate() {
    static const std::vector<double> kNone;
    const std::vector<double>& x = fX ? fX->Values() : kNone;
    const std::vector<double>& y = fY ? fY->Values() : kNone;
    if (fW)
        fCalc.Calculate(x.data(), int(x.size()), y.data(), int(y.size()), fW->Values().data(), fW->Count());
    else
        fCalc.Calculate(x.data(), int(x.size()), y.data(), int(y.size()));
    fXVersion = VersionOf(fX);
    fYVersion = VersionOf(fY);
    fWVersion = VersionOf(fW);
}

double TRtInterpolation::GetY(double x) {
    if (fCalc.Recalculate() || DataChanged())
        Calculate();
    return fCalc.Evaluate(x);
}

bool TRtInterpolation::CalculationRange(double& start, double& stop) const {
    bool any = false;
    if (fX) {
        for (double v : fX->Values()) {
            if (!std::isfinite(v))
                continue;
            start = any ? std::min(start, v) : v;
            stop = any ? std::max(stop, v) : v;
            any = true;
        }
    }
    return any;
}

bool TRtInterpolation::Sample(double axisStart, double axisStop, int pixels, std::vector<double>& xs,
                              std::vector<double>& ys) {
    xs.clear();
    ys.clear();
    if (!fX || !fY || std::min(fX->Count(), fY->Count()) < 3 || pixels < 1)
        return false;
    double start = 0, stop = 0;
    if (!CalculationRange(start, stop))
        return false;
    const double lo = std::max(start, axisStart);
    const double hi = std::min(stop, axisStop);
    if (!(lo <= hi))
        return false;
    if (fCalc.Recalculate() || DataChanged())
        Calculate(); // throws with the lists left empty
    xs.resize(size_t(pixels));
    ys.resize(size_t(pixels));
    const double step = pixels > 1 ? (hi - lo) / (pixels - 1) : 0.0;
    for (int i = 0; i < pixels; ++i) {
        const double x = i + 1 == pixels ? hi : lo + step * i;
        xs[size_t(i)] = x;
        ys[size_t(i)] = fCalc.Evaluate(x);
    }
    return true;
}
