#include "app/PlotAxisTicker.h"

#include <cmath>

namespace {

constexpr int kWantedTicks = 5;

QString Superscript(int n) {
    static const char16_t digits[] = {0x2070, 0x00B9, 0x00B2, 0x00B3, 0x2074,
                                      0x2075, 0x2076, 0x2077, 0x2078, 0x2079};
    QString s;
    if (n < 0)
        s += QChar(0x207B);
    const QString plain = QString::number(std::abs(n));
    for (QChar c : plain)
        s += QChar(digits[c.digitValue()]);
    return s;
}

// One label with `digits` significant digits (scientific) or `decimals` decimals (plain).
QString Label(double v, bool scientific, int places) {
    if (v == 0)
        return QStringLiteral("0");
    if (scientific) {
        QString s = QString::number(v, 'e', places);
        // "2.50e-04" -> "2.5e-4": trailing zeros of the mantissa and of the exponent go.
        const qsizetype e = s.indexOf(u'e');
        QString mantissa = s.left(e);
        if (mantissa.contains(u'.')) {
            while (mantissa.endsWith(u'0'))
                mantissa.chop(1);
            if (mantissa.endsWith(u'.'))
                mantissa.chop(1);
        }
        const int exponent = s.mid(e + 1).toInt();
        return mantissa + QStringLiteral("e") + QString::number(exponent);
    }
    return QString::number(v, 'f', places);
}

} // namespace

TPlotAxisTicker::TPlotAxisTicker(bool logarithmic, TUnits units) : fLogarithmic(logarithmic), fUnits(units) {
    setTickCount(kWantedTicks);
}

TPlotScale::TUnit TPlotAxisTicker::UnitFor(const QCPRange& range) const {
    if (DecadeStep(range) > 0)
        return {};
    switch (fUnits) {
    case TUnits::SiPrefix:
        return TPlotScale::SiPrefix(range.lower, range.upper);
    case TUnits::Time:
        return TPlotScale::TimeUnit(range.size());
    case TUnits::Plain:
        break;
    }
    return {};
}

QString TPlotAxisTicker::DecadeLabel(int exponent) {
    if (exponent == 0)
        return QStringLiteral("1");
    if (exponent == 1)
        return QStringLiteral("10");
    return QStringLiteral("10") + Superscript(exponent);
}

int TPlotAxisTicker::DecadeStep(const QCPRange& range) const {
    if (!fLogarithmic || range.lower <= 0 || range.upper <= 0)
        return 0;
    const int first = int(std::ceil(std::log10(range.lower) - 1e-9));
    const int last = int(std::floor(std::log10(range.upper) + 1e-9));
    const int decades = last - first;
    if (decades < 1)
        return 0; // fewer than two decade ticks: round linear steps read better
    return std::max(1, int(std::ceil(double(decades) / kWantedTicks)));
}

void TPlotAxisTicker::generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                               QVector<double>& ticks, QVector<double>* subTicks,
                               QVector<QString>* tickLabels) {
    QCPAxisTicker::generate(ShownRange(range), locale, formatChar, precision, ticks, subTicks, tickLabels);
}

double TPlotAxisTicker::getTickStep(const QCPRange& range) {
    fDecadeStep = DecadeStep(range);
    if (fDecadeStep > 0)
        return fDecadeStep;
    // Round steps of the displayed unit.
    fScale = UnitFor(range).Scale;
    return QCPAxisTicker::getTickStep(QCPRange(range.lower / fScale, range.upper / fScale)) * fScale;
}

int TPlotAxisTicker::getSubTickCount(double tickStep) {
    if (fDecadeStep == 1)
        return 8; // 2..9 times the decade
    if (fDecadeStep > 1)
        return fDecadeStep - 1; // one at each decade between labels
    return QCPAxisTicker::getSubTickCount(tickStep / fScale);
}

QVector<double> TPlotAxisTicker::createTickVector(double tickStep, const QCPRange& range) {
    if (fDecadeStep == 0) {
        QVector<double> ticks = QCPAxisTicker::createTickVector(
            tickStep / fScale, QCPRange(range.lower / fScale, range.upper / fScale));
        for (double& t : ticks)
            t *= fScale;
        return ticks;
    }
    QVector<double> ticks;
    const int first = int(std::floor(std::log10(range.lower)));
    const int last = int(std::ceil(std::log10(range.upper)));
    int start = first - ((first % fDecadeStep) + fDecadeStep) % fDecadeStep;
    for (int e = start; e <= last + fDecadeStep; e += fDecadeStep)
        ticks.append(std::pow(10.0, e));
    return ticks;
}

QVector<double> TPlotAxisTicker::createSubTickVector(int subTickCount, const QVector<double>& ticks) {
    if (fDecadeStep == 0)
        return QCPAxisTicker::createSubTickVector(subTickCount, ticks);
    QVector<double> sub;
    for (int i = 0; i + 1 < ticks.size(); ++i) {
        if (fDecadeStep == 1) {
            for (int k = 2; k <= 9; ++k)
                sub.append(ticks[i] * k);
        } else {
            for (int k = 1; k < fDecadeStep; ++k)
                sub.append(ticks[i] * std::pow(10.0, k));
        }
    }
    return sub;
}

QVector<QString> TPlotAxisTicker::createLabelVector(const QVector<double>& ticks, const QLocale&, QChar,
                                                    int) {
    if (fDecadeStep == 0) {
        QVector<double> shown = ticks;
        for (double& t : shown)
            t /= fScale;
        return DistinctLabels(shown);
    }
    QVector<QString> labels;
    labels.reserve(ticks.size());
    for (double t : ticks)
        labels.append(DecadeLabel(int(std::lround(std::log10(t)))));
    return labels;
}

QVector<QString> TPlotAxisTicker::DistinctLabels(const QVector<double>& ticks) {
    double largest = 0;
    for (double t : ticks)
        largest = std::max(largest, std::abs(t));
    // Plain decimals for everyday magnitudes, otherwise a short mantissa and exponent.
    const bool scientific = largest != 0 && (largest < 1e-3 || largest >= 1e5);
    // The fewest digits that tell the ticks apart; one more where that shows the ticks exactly
    // (a step of 0.25 reads 0.25, 0.50, not 0.3, 0.5).
    double step = 0;
    for (int i = 1; i < ticks.size(); ++i)
        step = std::max(step, std::abs(ticks[i] - ticks[i - 1]));
    const auto labelsWith = [&](int places, bool& distinct, bool& exact) {
        QVector<QString> labels(ticks.size());
        distinct = exact = true;
        for (int i = 0; i < ticks.size(); ++i) {
            labels[i] = Label(ticks[i], scientific, places);
            if (i > 0 && labels[i] == labels[i - 1])
                distinct = false;
            if (std::abs(labels[i].toDouble() - ticks[i]) > 1e-6 * step)
                exact = false;
        }
        return labels;
    };
    QVector<QString> labels;
    bool distinct = false, exact = false;
    int places = 0;
    for (; places <= 15; ++places) {
        labels = labelsWith(places, distinct, exact);
        if (distinct)
            break;
    }
    if (!exact && places < 15) {
        QVector<QString> finer = labelsWith(places + 1, distinct, exact);
        if (exact)
            labels = finer;
    }
    return labels;
}
