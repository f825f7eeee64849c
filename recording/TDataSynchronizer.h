#pragma once
// The accumulator of one measured quantity for the current data point: it sums the readings added
// to it, counts them, and keeps the earliest start and the latest end time of the measurements
// behind them. A data point is complete when the accumulators span the integration time; their
// averages then become the point, and the accumulators start empty again (TPointIntegrator).
//
// Times are seconds of the monotonic clock (MonotonicSeconds), so a point's span is the time its
// readings really took, whatever the wall clock does meanwhile.
//
// Main thread only: the workers' readings reach it through their hand-over to the main thread.
#include <QString>
#include <cstdint>

class TDataSynchronizer {
public:
    explicit TDataSynchronizer(const QString& aName);

    // One reading measured between StartTime and EndTime (monotonic seconds).
    void Add(double StartTime, double EndTime, double aValue);

    double TimeMin() const { return fTimeMin; }
    double TimeMax() const { return fTimeMax; }
    // (TimeMax - TimeMin) in seconds, as of the last add; 0 before any.
    double DurationS() const { return fDurationS; }
    double Sum() const { return fSum; }
    std::int32_t Count() const { return fCount; }
    // Sum / Count, or 0 when nothing was added.
    double Average() const;
    // Nothing added since the start or the last Clear.
    bool Empty() const { return fCount == 0; }
    // Back to the start values, as if nothing had been added.
    void Clear();

private:
    // The extremes start beyond any real time, so the first add sets both.
    double fTimeMin;
    double fTimeMax;
    double fDurationS = 0.0;
    double fSum = 0.0;
    std::int32_t fCount = 0;
    QString fName;
};
