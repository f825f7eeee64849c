#include "numerics/TRtInterpolationCalculation.h"

#include "numerics/EMathError.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const char* const kNotEnoughPoints = "Not enough data points to calculate function";
const char* const kMethodNotAvailable = "Interpolation method not available";
} // namespace

void TRtInterpolationCalculation::SetElasticityFactor(double value) {
    if (!(value > 0.0))
        value = MinElasticity;
    if (value != fElasticityFactor) {
        fElasticityFactor = value;
        if (fMethod == TRtInterpolationMethod::ApproximativeSpline)
            FRecalculate = true;
    }
}

void TRtInterpolationCalculation::SetInterpolationMethod(TRtInterpolationMethod method) {
    if (method != fMethod) {
        fMethod = method;
        FRecalculate = true;
    }
}

void TRtInterpolationCalculation::Calculate(const double* x, int xCount, const double* y, int yCount,
                                            const double* weights, int weightCount) {
    // Only the approximative spline is used by the program; the other methods are not built.
    if (fMethod != TRtInterpolationMethod::ApproximativeSpline)
        throw EMathError(kMethodNotAvailable);
    int m = std::min(xCount, yCount);
    if (weights)
        m = std::min(m, weightCount);
    CollectPoints(x, y, weights, std::max(m, 0));
    MergeEqualX();
    if (int(fKnotX.size()) < MinKnots)
        throw EMathError(kNotEnoughPoints);
    SolveApproximativeSpline();
    FRecalculate = false;
}

void TRtInterpolationCalculation::CollectPoints(const double* x, const double* y, const double* w, int m) {
    fPoints.clear();
    for (int i = 0; i < m; ++i) {
        // A point without a usable x cannot become a knot (and would break the ordering below).
        if (!std::isfinite(x[i]))
            continue;
        const double weight = w ? w[i] : 1.0;
        if (!(weight > 0.0))
            continue;
        // A product that underflows to 0 would make 6 / w infinite; the smallest positive weight
        // still lets the point relax towards the straight line.
        const double wi = std::max(weight * fElasticityFactor, std::numeric_limits<double>::denorm_min());
        fPoints.push_back({x[i], y[i], wi});
    }
}

void TRtInterpolationCalculation::MergeEqualX() {
    // Points may come out of order (e.g. rows loaded from a file): order them by x, keeping the
    // given order among equal x, so that the merge below sees each run of equal x together.
    const auto byX = [](const TPointXYW& a, const TPointXYW& b) { return a.x < b.x; };
    if (!std::is_sorted(fPoints.begin(), fPoints.end(), byX))
        std::stable_sort(fPoints.begin(), fPoints.end(), byX);

    // A run of equal x becomes one knot: each further point halves its y with the knot's current
    // y, and the knot takes the mean of the last two unmerged weights.
    fKnotX.clear();
    fY.clear();
    fKnotW.clear();
    for (size_t i = 0; i < fPoints.size(); ++i) {
        const TPointXYW& p = fPoints[i];
        if (i > 0 && p.x == fPoints[i - 1].x) {
            fY.back() = (fY.back() + p.y) / 2;
            fKnotW.back() = (fPoints[i - 1].w + p.w) / 2;
        } else {
            fKnotX.push_back(p.x);
            fY.push_back(p.y);
            fKnotW.push_back(p.w);
        }
    }
}

void TRtInterpolationCalculation::SolveApproximativeSpline() {
    const int n = int(fKnotX.size());
    FIntCount = n;
    FX.assign(fKnotX.begin(), fKnotX.end());
    FW.assign(fKnotW.begin(), fKnotW.end());
    FX.push_back(FX[n - 1]);
    FW.push_back(FW[n - 1]);
    FA.assign(size_t(n) + 1, 0.0);
    FB.assign(size_t(n) + 1, 0.0);
    FC.assign(size_t(n) + 1, 0.0);
    FD.assign(size_t(n) + 1, 0.0);

    fH.assign(size_t(n), 0.0);
    fG.assign(size_t(n), 0.0);
    for (int i = 0; i + 1 < n; ++i) {
        fH[i] = FX[i + 1] - FX[i];
        fG[i] = 1.0 / fH[i];
    }

    // s_i = 6 / w_i reaches 6e300 at the smallest elasticity, and s g^2 then overflows for knots
    // closer than about 1e-4. The system is therefore solved scaled by sigma = 2^e >= max s_i:
    // M/sigma u = r with u = sigma c, and s c = (s/sigma) u. A power of two scales exactly, so
    // wherever the unscaled calculation stays within range the results are the same.
    double wMin = FW[0];
    for (int i = 1; i < n; ++i)
        wMin = std::min(wMin, FW[i]);
    int e = 0;
    if (wMin < 6.0) {
        int wExp = 0;
        std::frexp(wMin, &wExp); // wMin = f 2^wExp, 0.5 <= f < 1, so 6 / wMin < 2^(4 - wExp)
        e = 4 - wExp;
    }
    fS.assign(size_t(n), 0.0); // scaled s_i
    for (int i = 0; i < n; ++i)
        fS[i] = 6.0 / std::ldexp(FW[i], e);

    // Five-band symmetric matrix for c_1 ... c_{n-2}, stored by row j: diagonal, then the
    // elements (j, j+1) and (j, j+2).
    const double* h = fH.data();
    const double* g = fG.data();
    const double* s = fS.data();
    const double* y = fY.data();
    fDiag.assign(size_t(n), 0.0);
    fOff1.assign(size_t(n), 0.0);
    fOff2.assign(size_t(n), 0.0);
    fRhs.assign(size_t(n), 0.0);
    double* dg = fDiag.data();
    double* o1 = fOff1.data();
    double* o2 = fOff2.data();
    double* r = fRhs.data();
    for (int j = 1; j <= n - 2; ++j) {
        const double gg = g[j - 1] + g[j];
        dg[j] = std::ldexp(2.0 * (h[j - 1] + h[j]), -e) + s[j - 1] * g[j - 1] * g[j - 1] + s[j] * gg * gg +
                s[j + 1] * g[j] * g[j];
        if (j <= n - 3)
            o1[j] = std::ldexp(h[j], -e) - s[j] * g[j] * gg - s[j + 1] * g[j] * (g[j] + g[j + 1]);
        if (j <= n - 4)
            o2[j] = s[j + 1] * g[j] * g[j + 1];
        r[j] = 3.0 * ((y[j + 1] - y[j]) * g[j] - (y[j] - y[j - 1]) * g[j - 1]);
    }

    // The matrix is symmetric positive definite, so a banded L D L^T factorisation without
    // pivoting is exact and stable: D in dg, the two sub-diagonals of L in o1 and o2.
    for (int j = 1; j <= n - 2; ++j) {
        double d = dg[j];
        double l1 = o1[j];
        if (j >= 2) {
            d -= dg[j - 1] * o1[j - 1] * o1[j - 1];
            l1 -= dg[j - 1] * o1[j - 1] * o2[j - 1];
        }
        if (j >= 3)
            d -= dg[j - 2] * o2[j - 2] * o2[j - 2];
        dg[j] = d;
        o1[j] = l1 / d;
        o2[j] = o2[j] / d;
    }
    // L z = r, then L^T u = D^-1 z; u ends up in r.
    for (int j = 2; j <= n - 2; ++j) {
        r[j] -= o1[j - 1] * r[j - 1];
        if (j >= 3)
            r[j] -= o2[j - 2] * r[j - 2];
    }
    for (int j = n - 2; j >= 1; --j) {
        r[j] /= dg[j];
        if (j + 1 <= n - 2)
            r[j] -= o1[j] * r[j + 1];
        if (j + 2 <= n - 2)
            r[j] -= o2[j] * r[j + 2];
    }
    r[0] = 0.0;
    r[n - 1] = 0.0; // u_0 = u_{n-1} = 0: zero curvature at both ends

    // Smoothed values at the knots: a_k = y_k - (s_k / 3) (Q u)_k.
    for (int k = 0; k < n; ++k) {
        double q = 0.0;
        if (k > 0)
            q += g[k - 1] * (r[k - 1] - r[k]);
        if (k < n - 1)
            q += g[k] * (r[k + 1] - r[k]);
        FA[k] = y[k] - s[k] / 3.0 * q;
    }
    for (int k = 0; k < n; ++k)
        FC[k] = std::ldexp(r[k], -e);
    for (int k = 0; k + 1 < n; ++k) {
        FB[k] = (FA[k + 1] - FA[k]) * g[k] - h[k] / 3.0 * (2.0 * FC[k] + FC[k + 1]);
        FD[k] = g[k] / 3.0 * (FC[k + 1] - FC[k]);
    }
    // The last knot carries the preceding piece's slope coefficient, so the curve continues
    // beyond it as a straight line.
    FB[n - 1] = FB[n - 2];
    FC[n - 1] = 0.0;
    FD[n - 1] = 0.0;
    FA[n] = FA[n - 1];
    FB[n] = FB[n - 1];
    FC[n] = FC[n - 1];
    FD[n] = FD[n - 1];
}

int TRtInterpolationCalculation::Piece(double x) const {
    const int last = FIntCount - 1;
    if (!(x < FX[last])) // also NaN
        return last;
    // The first knot j >= 1 with x < x_j (there is one, x_{n-1} at the latest); the piece is the
    // one before it. A binary search whose steps compile to conditional moves, so scattered
    // arguments cost no branch mispredictions.
    const double* base = FX.data() + 1;
    int len = last; // x_1 ... x_{last}
    while (len > 1) {
        const int half = len / 2;
        base = base[half] <= x ? base + half : base;
        len -= half;
    }
    const int j = int(base - FX.data()) + (*base <= x ? 1 : 0);
    return j - 1;
}

double TRtInterpolationCalculation::Evaluate(double x) const {
    if (FIntCount == 0)
        return 0.0;
    const int k = Piece(x);
    const double t = x - FX[k];
    const double v = FA[k] + t * (FB[k] + t * (FC[k] + t * FD[k]));
    if (std::isfinite(v))
        return v;
    // A NaN argument gives NaN; an overflow (far out on a cubic piece, or an infinite x) gives 0.
    return std::isnan(x) ? x : 0.0;
}
