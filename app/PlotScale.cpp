#include "app/PlotScale.h"

#include <cmath>

QCPRange TPlotScale::WithMinimumSpan(const QCPRange& range, double minimumSpan, bool logarithmic) {
    if (!(minimumSpan > 0))
        return range;
    if (logarithmic) {
        if (!(range.lower > 0 && range.upper > 0))
            return range;
        // In decades: log10(upper / lower) at least minimumSpan, about the geometric middle.
        const double lo = std::log10(range.lower), hi = std::log10(range.upper);
        if (hi - lo >= minimumSpan)
            return range;
        const double mid = (lo + hi) / 2;
        return QCPRange(std::pow(10.0, mid - minimumSpan / 2), std::pow(10.0, mid + minimumSpan / 2));
    }
    if (range.upper - range.lower >= minimumSpan)
        return range;
    const double mid = (range.lower + range.upper) / 2;
    return QCPRange(mid - minimumSpan / 2, mid + minimumSpan / 2);
}

QCPRange TPlotScale::InBand(const QCPRange& data, int band, int bands, bool logarithmic) {
    if (bands < 1 || band < 0 || band >= bands || (logarithmic && !(data.lower > 0 && data.upper > 0)))
        return data;
    constexpr double kGap = 0.03; // of the band's height, free at each edge
    // Fractions of the plot's height, from the bottom, where the data's lower and upper end sit.
    const double bottom = double(bands - 1 - band) / bands, height = 1.0 / bands;
    const double at0 = bottom + kGap * height, at1 = bottom + (1 - kGap) * height;
    const double lo = logarithmic ? std::log10(data.lower) : data.lower;
    const double hi = logarithmic ? std::log10(data.upper) : data.upper;
    const double perFraction = (hi - lo) / (at1 - at0);
    const double lower = lo - at0 * perFraction, upper = hi + (1 - at1) * perFraction;
    if (logarithmic)
        return QCPRange(std::pow(10.0, lower), std::pow(10.0, upper));
    return QCPRange(lower, upper);
}

TPlotScale::TUnit TPlotScale::SiPrefix(double lower, double upper) {
    const double largest = std::max(std::abs(lower), std::abs(upper));
    if (!std::isfinite(largest) || largest >= 1)
        return {1, QString()};
    if (largest >= 1e-3)
        return {1e-3, QStringLiteral("m")};
    if (largest >= 1e-6)
        return {1e-6, QString::fromUtf8("\u00B5")};
    return {1e-9, QStringLiteral("n")};
}

TPlotScale::TUnit TPlotScale::TimeUnit(double spanMinutes) {
    if (!(spanMinutes > 180))
        return {1, QStringLiteral("m")};
    if (spanMinutes <= 3 * 24 * 60)
        return {60, QStringLiteral("h")};
    return {24 * 60, QStringLiteral("d")};
}

QString TPlotScale::FormatSi(double value, const QString& unit, int digits) {
    if (std::isnan(value))
        return QString::fromUtf8("\u2013");
    const TUnit prefix = SiPrefix(value, value);
    const double scaled = value == 0 ? 0 : value / prefix.Scale;
    // Significant digits as decimals: 5.00, 12.3, 456.
    const int whole = scaled == 0 ? 1 : int(std::floor(std::log10(std::abs(scaled)))) + 1;
    const int decimals = std::max(0, digits - whole);
    return QString::number(scaled, 'f', decimals) + u' ' + prefix.Symbol + unit;
}
