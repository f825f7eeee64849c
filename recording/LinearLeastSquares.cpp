#include "recording/LinearLeastSquares.h"

#include "common/NumberFormat.h"
#include "diagnostics/LogChannel.h"

#include <cmath>

namespace {

using TExtended = long double;

void Trace(const char* label, const QString& value) {
    LogLLS.Send(QString::fromLatin1(label) + value);
}
QString General(TExtended v) {
    return FormatGeneral(double(v));
}
// Scientific notation with 15 significant digits, for the lines that diagnose cancellation.
QString Scientific(TExtended v) {
    return QString::number(double(v), 'E', 14);
}

bool Refuse(const char* why) {
    LogLLS.Send(QString::fromLatin1(why));
    return false;
}

} // namespace

bool LinearLeastSquares(const TPointArray& points, TLLSResult& result) {
    const bool log = LogLLS.Enabled(); // trace lines are only built when they will be written
    const std::int32_t count = std::int32_t(points.size());
    const TExtended N = count;

    TExtended SumX = 0, SumY = 0, SumX2 = 0, SumY2 = 0, SumXY = 0;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const TExtended x = points[size_t(i)].X;
        const TExtended y = points[size_t(i)].Y;
        SumX += x;
        SumY += y;
        SumX2 += x * x;
        SumY2 += y * y;
        SumXY += x * y;
        const double px = points[size_t(i)].X, py = points[size_t(i)].Y;
        if (i == 0) {
            minX = maxX = px;
            minY = maxY = py;
        } else {
            minX = px < minX ? px : minX;
            maxX = px > maxX ? px : maxX;
            minY = py < minY ? py : minY;
            maxY = py > maxY ? py : maxY;
        }
    }
    result.MinY = minY;
    result.MaxY = maxY;

    if (N * SumX2 == SumX * SumX)
        return Refuse("LLS=False, (N*SumX2 = SumX*SumX)");
    if (N * SumY2 == SumY * SumY)
        return Refuse("LLS=False, (N*SumY2 = SumY*SumY)");
    if (count < 2)
        return Refuse("LLS=False, (N<2)");

    const TExtended slope = (N * SumXY - SumX * SumY) / (N * SumX2 - SumX * SumX);
    const TExtended intercept = (SumY - slope * SumX) / N;
    result.Slope = double(slope);
    result.Intercept = double(intercept);

    const TExtended sqrSumX = SumX * SumX;
    const TExtended varX = SumX2 - sqrSumX / N;
    if (log) {
        Trace("sqr(SumX):", Scientific(sqrSumX));
        Trace("a / N:", Scientific(sqrSumX / N));
        Trace("SumX2-a:", Scientific(varX));
        if (varX > 0)
            Trace("sqrt(a):", Scientific(std::sqrt(varX)));
    }
    if (varX <= 0)
        return Refuse("LLS=False, sqrt( SumX2-(sqr(SumX)/N) ) ");

    const TExtended varY = SumY2 - SumY * SumY / N;
    if (varY <= 0) {
        Refuse("LLS=False, sqrt( SumY2-(sqr(SumY)/N) ) ");
        if (log) {
            Trace("  SumY2 : ", General(SumY2));
            Trace("   SumY : ", General(SumY));
            Trace("      N : ", QString::number(count));
        }
        return false;
    }

    const TExtended averageY = SumY / N;
    result.R = double((SumXY - SumX * SumY / N) / (std::sqrt(varX) * std::sqrt(varY)));
    result.N = count;
    result.AverageY = double(averageY);
    const TExtended duration = TExtended(maxX) - TExtended(minX);
    result.Duration = double(duration);
    if (log) {
        Trace("  SumY2 : ", General(SumY2));
        Trace("   SumY : ", General(SumY));
        Trace("Average : ", General(averageY));
    }

    if (intercept == 0)
        return Refuse("LLS=False, cannot calculate relative rate of change");
    result.RelativeChange = double((intercept + slope * duration) / intercept - 1);
    // A not-a-number point (or a result beyond the double range) must not pass as a relative
    // change: NaN would make every later "below the threshold" test pass.
    if (!std::isfinite(result.RelativeChange))
        return Refuse("LLS=False, relative change is not finite");
    return true;
}
