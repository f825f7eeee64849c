#pragma once
// The points of one plot series, all of them, in time order, and what a redraw hands the graph
// instead: for each pixel column of the visible time range, the points of the column's smallest
// and largest value (and a break where the line breaks inside it). A redraw then costs
// the width of the plot, however long the run: a spike narrower than a pixel still shows its true
// top and bottom, and a view with fewer points than pixel columns gets every point.
//
// The smallest and largest values of fixed runs of points (64, 128, 256, ... points, aligned to
// their size) are kept up to date as points append, so the envelope of any column is found from a
// few of those runs and at most a few hundred single points at its edges. A point whose value is
// NaN is a break in the line.
#include "recording/TDataGridBlocks.h"
#include <qcustomplot.h>

#include <QVector>
#include <cstdint>
#include <vector>

class TDataPlotSeries {
public:
    std::size_t Size() const { return fPoints.Size(); }
    bool Empty() const { return fPoints.Empty(); }
    const QCPGraphData& operator[](std::size_t i) const { return fPoints[i]; }
    const QCPGraphData& Back() const { return fPoints.Back(); }

    // Points must come in time order (equal times allowed).
    void Append(double key, double value);
    // Drops the first n points.
    void RemoveFirst(std::size_t n);
    void Clear();

    // Index of the first point at or after `key` (Size() when none is).
    std::size_t LowerBound(double key) const;

    // What the graph draws of the time range [lower, upper] over `columns` pixel columns: every
    // point when there are few, otherwise each column's smallest and largest point (and a NaN
    // point where the line breaks), in time order; one point either side of the range so that
    // lines run on to the edges.
    void Envelope(double lower, double upper, int columns, QVector<QCPGraphData>& out) const;

private:
    // A run of points: the indices of its smallest and largest values (-1 when it holds no value)
    // and of its first break (-1 when none), and those two values (kept here so that combining
    // runs never reaches back into the points).
    struct TRun {
        std::int32_t Min = -1, Max = -1, Gap = -1;
        double MinValue = 0, MaxValue = 0;
    };
    static constexpr int kFirstRunShift = 6; // the shortest runs are 64 points

    void AddToRuns(std::size_t index);
    static void Merge(TRun& into, const TRun& run);
    // Index of the first point in [from, to) at or after `key`, starting the search at `guess`.
    std::size_t SearchFrom(double key, std::size_t guess, std::size_t from, std::size_t to) const;
    // The envelope of points [begin, end) (at least one point).
    TRun RangeOf(std::size_t begin, std::size_t end) const;
    void Rebuild();

    TDataGridBlocks<QCPGraphData> fPoints;
    // fRuns[k] holds the runs of 64 << k points; a level is added when the one below has two runs.
    std::vector<TDataGridBlocks<TRun, 10>> fRuns;
};
