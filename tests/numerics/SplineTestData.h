#pragma once
// Point sets for the spline tests and an independent reference: the same smoothing spline built
// with a dense matrix and Gaussian elimination with partial pivoting.
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

struct TSplinePoints {
    std::vector<double> x, y, w;
};

// n points with increasing, uneven x spacing and scattered y (fixed seed).
inline TSplinePoints RandomPoints(int n, unsigned seed, bool withWeights = false) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> step(0.2, 2.0), val(-5.0, 5.0), weight(0.5, 2.0);
    TSplinePoints p;
    double x = val(gen);
    for (int i = 0; i < n; ++i) {
        p.x.push_back(x);
        p.y.push_back(val(gen));
        p.w.push_back(withWeights ? weight(gen) : 1.0);
        x += step(gen);
    }
    return p;
}

struct TDenseSpline {
    std::vector<double> a, b, c, d;
};

// The spline through knots x (ascending, distinct) with values y and weights w (already
// multiplied by the elasticity), written straight from its defining equations.
inline TDenseSpline DenseSpline(const std::vector<double>& x, const std::vector<double>& y,
                                const std::vector<double>& w) {
    const int n = int(x.size());
    std::vector<double> h(n), g(n), s(n);
    for (int i = 0; i + 1 < n; ++i) {
        h[i] = x[i + 1] - x[i];
        g[i] = 1.0 / h[i];
    }
    for (int i = 0; i < n; ++i)
        s[i] = 6.0 / w[i];
    const int m = n - 2;
    // Unknowns c_1 ... c_{n-2} at rows 0 ... m-1; column m holds the right-hand side.
    std::vector<std::vector<double>> M(m, std::vector<double>(m + 1, 0.0));
    for (int j = 1; j <= n - 2; ++j) {
        const int row = j - 1;
        M[row][row] = 2 * (h[j - 1] + h[j]) + s[j - 1] * g[j - 1] * g[j - 1] +
                      s[j] * (g[j - 1] + g[j]) * (g[j - 1] + g[j]) + s[j + 1] * g[j] * g[j];
        if (j + 1 <= n - 2) {
            const double v = h[j] - s[j] * g[j] * (g[j - 1] + g[j]) - s[j + 1] * g[j] * (g[j] + g[j + 1]);
            M[row][row + 1] = M[row + 1][row] = v;
        }
        if (j + 2 <= n - 2) {
            const double v = s[j + 1] * g[j] * g[j + 1];
            M[row][row + 2] = M[row + 2][row] = v;
        }
        M[row][m] = 3 * ((y[j + 1] - y[j]) * g[j] - (y[j] - y[j - 1]) * g[j - 1]);
    }
    for (int col = 0; col < m; ++col) {
        int piv = col;
        for (int r = col + 1; r < m; ++r)
            if (std::fabs(M[r][col]) > std::fabs(M[piv][col]))
                piv = r;
        std::swap(M[col], M[piv]);
        for (int r = col + 1; r < m; ++r) {
            const double f = M[r][col] / M[col][col];
            for (int k = col; k <= m; ++k)
                M[r][k] -= f * M[col][k];
        }
    }
    TDenseSpline sp;
    sp.c.assign(n, 0.0);
    for (int row = m - 1; row >= 0; --row) {
        double v = M[row][m];
        for (int k = row + 1; k < m; ++k)
            v -= M[row][k] * sp.c[k + 1];
        sp.c[row + 1] = v / M[row][row];
    }
    sp.a.assign(n, 0.0);
    sp.a[0] = y[0] - s[0] / 3 * g[0] * sp.c[1];
    for (int k = 1; k <= n - 2; ++k)
        sp.a[k] =
            y[k] - s[k] / 3 * (g[k - 1] * sp.c[k - 1] - (g[k - 1] + g[k]) * sp.c[k] + g[k] * sp.c[k + 1]);
    sp.a[n - 1] = y[n - 1] - s[n - 1] / 3 * g[n - 2] * sp.c[n - 2];
    sp.b.assign(n, 0.0);
    sp.d.assign(n, 0.0);
    for (int k = 0; k + 1 < n; ++k) {
        sp.b[k] = (sp.a[k + 1] - sp.a[k]) * g[k] - h[k] / 3 * (2 * sp.c[k] + sp.c[k + 1]);
        sp.d[k] = g[k] / 3 * (sp.c[k + 1] - sp.c[k]);
    }
    sp.b[n - 1] = sp.b[n - 2];
    return sp;
}

// Intercept and slope of the least-squares line through the points.
inline void LeastSquaresLine(const std::vector<double>& x, const std::vector<double>& y, double& intercept,
                             double& slope) {
    const double n = double(x.size());
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        mx += x[i] / n;
        my += y[i] / n;
    }
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    slope = sxy / sxx;
    intercept = my - slope * mx;
}
