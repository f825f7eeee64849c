#include "recording/TDataSynchronizer.h"

#include "common/NumberFormat.h"
#include "diagnostics/LogChannel.h"

#include <limits>

TDataSynchronizer::TDataSynchronizer(const QString& aName)
    : fTimeMin(std::numeric_limits<double>::max()), fTimeMax(std::numeric_limits<double>::min()),
      fName(aName) {}

void TDataSynchronizer::Clear() {
    fTimeMin = std::numeric_limits<double>::max();
    fTimeMax = std::numeric_limits<double>::min();
    fDurationS = 0.0;
    fSum = 0.0;
    fCount = 0;
}

void TDataSynchronizer::Add(double StartTime, double EndTime, double aValue) {
    // The channel is off in normal runs; the line is only built when it will be written.
    if (LogSynchronizer.Enabled())
        LogSynchronizer.Send(QStringLiteral("Synchronizer ") + fName + QStringLiteral(" adds ") +
                             FormatGeneral(aValue));
    ++fCount;
    // Written so that a NaN on either side also takes the new time.
    if (!(fTimeMin <= StartTime))
        fTimeMin = StartTime;
    if (!(fTimeMax >= EndTime))
        fTimeMax = EndTime;
    fSum += aValue;
    fDurationS = fTimeMax - fTimeMin;
}

double TDataSynchronizer::Average() const {
    return fCount > 0 ? fSum / fCount : 0.0;
}
