#pragma once
// Smallest and largest finite value of a set of values, and the same over its positive values only
// (what a logarithmic axis can show). Kept up to date as values come, so a plot's redraw never
// scans its data to fit an axis.
#include <algorithm>
#include <cmath>
#include <limits>

struct TPlotValueRange {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    double posLo = std::numeric_limits<double>::infinity();
    double posHi = -std::numeric_limits<double>::infinity();

    // A value that is not a finite number is not counted.
    void Add(double v) {
        if (!std::isfinite(v))
            return;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        if (v > 0) {
            posLo = std::min(posLo, v);
            posHi = std::max(posHi, v);
        }
    }
    bool Any() const { return lo <= hi; }
    bool AnyPositive() const { return posLo <= posHi; }
};
