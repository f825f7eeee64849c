#pragma once
// How the data plot scales and names what it shows, as plain rules the plot applies at each
// redraw:
// - a value axis never spans less than its quantity's smallest meaningful change, so the noise of
//   a steady cell (a tenth of a degree, a few nA) does not fill the axis;
// - a current or voltage axis counts in the SI prefix of its largest value (µA, mA, mV);
// - the time axis counts in minutes, hours or days as the run grows.
#include <QString>
#include <qcustomplot.h>

class TPlotScale {
public:
    // A unit the axis counts in: one displayed unit is `Scale` data units (1e-6 for µA on an axis in
    // A, 60 for hours on an axis in minutes).
    struct TUnit {
        double Scale = 1;
        QString Symbol; // the prefix ("µ", "m", "") or the time unit ("m", "h", "d")
    };

    // `range` widened about its middle to at least `minimumSpan`: data units on a linear axis,
    // decades on a logarithmic one (where the range must be positive). A wider range is unchanged.
    static QCPRange WithMinimumSpan(const QCPRange& range, double minimumSpan, bool logarithmic);

    // The range an axis gets so that `data` fills band `band` of `bands` equal horizontal bands of
    // the plot (band 0 at the top), less a small gap at each edge: stacked panels in one plot area.
    // On a logarithmic axis the bands are in decades.
    static QCPRange InBand(const QCPRange& data, int band, int bands, bool logarithmic);

    // The SI prefix (n, µ, m or none) in which the larger magnitude of `lower` and `upper` reads
    // between 1 and 999; below a nano everything reads in n, from 1 up without a prefix.
    static TUnit SiPrefix(double lower, double upper);
    // Minutes up to three hours, hours up to three days, days beyond.
    static TUnit TimeUnit(double spanMinutes);

    // A readout: `value` (in `unit`, e.g. "A") with `digits` significant digits in its SI prefix,
    // "5.00 µA"; "–" when the value is not a number.
    static QString FormatSi(double value, const QString& unit, int digits);
};
