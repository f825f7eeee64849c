#include "titration/LeakFit.h"

#include <algorithm>
#include <cmath>
#include <limits>

void TLeakFit::Add(double drive, double flow) {
    if (!std::isfinite(drive) || !std::isfinite(flow))
        return;
    ++fCount;
    fSxx += drive * drive;
    fSxy += drive * flow;
    fSyy += flow * flow;
}

double TLeakFit::Alpha() const {
    return HasFit() ? fSxy / fSxx : 0;
}

double TLeakFit::StandardError() const {
    if (fCount < 2 || !HasFit())
        return std::numeric_limits<double>::quiet_NaN();
    const double residual = std::max(0.0, fSyy - fSxy * fSxy / fSxx);
    return std::sqrt(residual / (fCount - 1) / fSxx);
}
