#include "app/DataPlotSeries.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {
// Index of the first point in [from, to) whose time is at or after `key` (after, when `after`).
std::size_t Search(const TDataGridBlocks<QCPGraphData>& points, double key, bool after, std::size_t from,
                   std::size_t to) {
    while (from < to) {
        const std::size_t mid = from + (to - from) / 2;
        const double k = points[mid].key;
        if (after ? k <= key : k < key)
            from = mid + 1;
        else
            to = mid;
    }
    return from;
}
} // namespace

void TDataPlotSeries::Append(double key, double value) {
    fPoints.PushBack(QCPGraphData(key, value));
    AddToRuns(fPoints.Size() - 1);
}

void TDataPlotSeries::AddToRuns(std::size_t index) {
    if (fRuns.empty())
        fRuns.emplace_back();
    const double v = fPoints[index].value;
    const bool gap = std::isnan(v);
    const auto i = std::int32_t(index);
    for (std::size_t k = 0; k < fRuns.size(); ++k) {
        auto& level = fRuns[k];
        if ((index >> (kFirstRunShift + k)) == level.Size())
            level.PushBack(TRun());
        TRun& run = level.Back();
        if (gap) {
            if (run.Gap < 0)
                run.Gap = i;
            continue;
        }
        if (run.Min < 0 || v < fPoints[std::size_t(run.Min)].value)
            run.Min = i;
        if (run.Max < 0 || v > fPoints[std::size_t(run.Max)].value)
            run.Max = i;
    }
    // The longest runs so far became two: one run twice as long now covers both.
    if (fRuns.back().Size() == 2) {
        TRun both = fRuns.back()[0];
        Merge(both, fRuns.back()[1]);
        fRuns.emplace_back();
        fRuns.back().PushBack(both);
    }
}

void TDataPlotSeries::Merge(TRun& into, const TRun& run) const {
    if (run.Min >= 0 &&
        (into.Min < 0 || fPoints[std::size_t(run.Min)].value < fPoints[std::size_t(into.Min)].value))
        into.Min = run.Min;
    if (run.Max >= 0 &&
        (into.Max < 0 || fPoints[std::size_t(run.Max)].value > fPoints[std::size_t(into.Max)].value))
        into.Max = run.Max;
    if (into.Gap < 0)
        into.Gap = run.Gap;
}

void TDataPlotSeries::Rebuild() {
    fRuns.clear();
    for (std::size_t i = 0; i < fPoints.Size(); ++i)
        AddToRuns(i);
}

void TDataPlotSeries::RemoveFirst(std::size_t n) {
    fPoints.PopFront(n);
    // The runs are aligned to point indices, which all moved.
    Rebuild();
}

void TDataPlotSeries::Clear() {
    fPoints.Clear();
    fRuns.clear();
}

std::size_t TDataPlotSeries::LowerBound(double key) const {
    return Search(fPoints, key, false, 0, fPoints.Size());
}

TDataPlotSeries::TRun TDataPlotSeries::RangeOf(std::size_t begin, std::size_t end) const {
    constexpr std::size_t shortest = std::size_t(1) << kFirstRunShift;
    TRun out;
    std::size_t p = begin;
    while (p < end) {
        if (p % shortest == 0 && p + shortest <= end) {
            // The longest stored run that starts here and ends by `end`.
            std::size_t k = fRuns.size() - 1;
            while (k > 0 && (p % (shortest << k) != 0 || p + (shortest << k) > end))
                --k;
            Merge(out, fRuns[k][p >> (kFirstRunShift + k)]);
            p += shortest << k;
            continue;
        }
        const auto i = std::int32_t(p);
        Merge(out, std::isnan(fPoints[p].value) ? TRun{-1, -1, i} : TRun{i, i, -1});
        ++p;
    }
    return out;
}

void TDataPlotSeries::Envelope(double lower, double upper, int columns, QVector<QCPGraphData>& out) const {
    out.clear();
    const std::size_t n = fPoints.Size();
    if (n == 0 || columns < 1)
        return;
    const std::size_t first = Search(fPoints, lower, false, 0, n);
    const std::size_t last = Search(fPoints, upper, true, first, n); // one past the range
    const std::size_t lo = first > 0 ? first - 1 : 0;
    const std::size_t hi = std::min(n, last + 1);
    if (hi - lo <= 2 * std::size_t(columns) || !(upper > lower)) {
        out.reserve(int(hi - lo));
        for (std::size_t i = lo; i < hi; ++i)
            out.append(fPoints[i]);
        return;
    }
    out.reserve(5 * columns + 2);
    if (lo < first)
        out.append(fPoints[lo]);
    const double width = (upper - lower) / columns;
    std::size_t begin = first;
    for (int c = 0; c < columns && begin < last; ++c) {
        const std::size_t end =
            c == columns - 1 ? last : Search(fPoints, lower + (c + 1) * width, false, begin, last);
        if (end == begin)
            continue;
        // The column's first and last point keep the line joined to its neighbours; its smallest
        // and largest values draw the column's full height; a break stays a break.
        const TRun run = RangeOf(begin, end);
        std::array<std::int64_t, 5> at = {std::int64_t(begin), run.Min, run.Max, run.Gap,
                                          std::int64_t(end - 1)};
        std::sort(at.begin(), at.end());
        std::int64_t previous = -1;
        for (const std::int64_t i : at) {
            if (i < 0 || i == previous)
                continue;
            out.append(fPoints[std::size_t(i)]);
            previous = i;
        }
        begin = end;
    }
    if (last < hi)
        out.append(fPoints[last]);
}
