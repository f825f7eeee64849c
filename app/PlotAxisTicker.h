#pragma once
// Ticks and labels of the data plot's axes, made to be read at a glance over a long run:
// - a logarithmic axis that spans two or more decades is ticked once per decade (or once per few
//   decades), labelled "10⁻⁵", with minor ticks at 2..9 times the decade between;
// - over less than that, and on a linear axis, ticks fall on round steps, and the labels get just
//   the digits that tell neighbouring ticks apart, so no two labels of an axis read the same;
// - labels are compact: plain decimals between 0.001 and 99 999, otherwise "2.5e-4";
// - a linear axis may count in a unit of its own (TPlotScale): µA or mV on an axis in A or V, hours
//   or days on the time axis in minutes; ticks then fall on round steps of that unit.
#include "app/PlotScale.h"

#include <qcustomplot.h>

#include <optional>

class TPlotAxisTicker : public QCPAxisTicker {
public:
    // How a linear axis picks the unit it counts in.
    enum class TUnits { Plain, SiPrefix, Time };

    explicit TPlotAxisTicker(bool logarithmic, TUnits units = TUnits::Plain);
    bool Logarithmic() const { return fLogarithmic; }
    TUnits Units() const { return fUnits; }
    // The unit the labels of this range count in (scale 1 for a plain or logarithmic axis).
    TPlotScale::TUnit UnitFor(const QCPRange& range) const;
    // Ticks only over this part of the axis (its panel when the plot stacks its quantities), or
    // over all of it (nullopt).
    void SetShownRange(std::optional<QCPRange> shown) { fShown = shown; }
    // The part of an axis of this range that carries ticks.
    QCPRange ShownRange(const QCPRange& range) const { return fShown.value_or(range); }

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels) override;

    // The labels of these ticks, the shortest that are all different (exposed for tests).
    static QVector<QString> DistinctLabels(const QVector<double>& ticks);
    // "10⁻⁵" for 1e-5.
    static QString DecadeLabel(int exponent);

protected:
    double getTickStep(const QCPRange& range) override;
    int getSubTickCount(double tickStep) override;
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override;
    QVector<double> createSubTickVector(int subTickCount, const QVector<double>& ticks) override;
    QVector<QString> createLabelVector(const QVector<double>& ticks, const QLocale& locale, QChar formatChar,
                                       int precision) override;

private:
    // Decades per major tick on a logarithmic axis; 0 when the range is ticked linearly.
    int DecadeStep(const QCPRange& range) const;

    bool fLogarithmic;
    TUnits fUnits;
    double fScale = 1;   // data units per displayed unit, of the ticks being generated
    int fDecadeStep = 0; // of the ticks being generated
    std::optional<QCPRange> fShown;
};
