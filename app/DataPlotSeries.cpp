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
    const auto i = std::int32_t(index);
    const TRun point = std::isnan(v) ? TRun{-1, -1, i, 0, 0} : TRun{i, i, -1, v, v};
    for (std::size_t k = 0; k < fRuns.size(); ++k) {
        auto& level = fRuns[k];
        if ((index >> (kFirstRunShift + k)) == level.Size())
            level.PushBack(TRun());
        Merge(level.Back(), point);
    }
    // The longest runs so far became two: one run twice as long now covers both.
    if (fRuns.back().Size() == 2) {
        TRun both = fRuns.back()[0];
        Merge(both, fRuns.back()[1]);
        fRuns.emplace_back();
        fRuns.back().PushBack(both);
    }
}

void TDataPlotSeries::Merge(TRun& into, const TRun& run) {
    if (run.Min >= 0 && (into.Min < 0 || run.MinValue < into.MinValue)) {
        into.Min = run.Min;
        into.MinValue = run.MinValue;
    }
    if (run.Max >= 0 && (into.Max < 0 || run.MaxValue > into.MaxValue)) {
        into.Max = run.Max;
        into.MaxValue = run.MaxValue;
    }
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

std::size_t TDataPlotSeries::SearchFrom(double key, std::size_t guess, std::size_t from,
                                        std::size_t to) const {
    // Steps of 1, 2, 4, ... from the guess bracket the answer, then a binary search within; an
    // exact guess costs a couple of reads of neighbouring points.
    guess = std::clamp(guess, from, to);
    std::size_t step = 1;
    if (guess < to && fPoints[guess].key < key) {
        std::size_t lo = guess + 1; // every point before lo is before the key
        while (lo + step <= to && fPoints[lo + step - 1].key < key) {
            lo += step;
            step *= 2;
        }
        return Search(fPoints, key, false, lo, std::min(to, lo + step));
    }
    std::size_t hi = guess; // the point at hi (if any) is at or after the key
    while (hi >= from + step && fPoints[hi - step].key >= key) {
        hi -= step;
        step *= 2;
    }
    return Search(fPoints, key, false, hi >= from + step ? hi - step : from, hi);
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
        const double v = fPoints[p].value;
        Merge(out, std::isnan(v) ? TRun{-1, -1, i, 0, 0} : TRun{i, i, -1, v, v});
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
    out.reserve(3 * columns + 2);
    if (lo < first)
        out.append(fPoints[lo]);
    const double width = (upper - lower) / columns;
    // With many points per column, a column's end moves down to the end of a stored run: by less
    // than an eighth of a pixel, so the envelope reads only stored runs, never single points.
    constexpr std::size_t shortest = std::size_t(1) << kFirstRunShift;
    const bool snap = (last - first) / std::size_t(columns) >= 8 * shortest;
    std::size_t begin = first;
    for (int c = 0; c < columns && begin < last; ++c) {
        // Points are mostly evenly spaced: the search starts where an even share would end.
        std::size_t end = c == columns - 1
                              ? last
                              : SearchFrom(lower + (c + 1) * width,
                                           begin + (last - begin) / std::size_t(columns - c), begin, last);
        if (snap && end < last)
            end -= end % shortest;
        if (end <= begin)
            continue;
        // The column's smallest and largest values, in time order, draw its full height and join
        // it to its neighbours (the line between two columns runs from one's last extreme to the
        // next one's first); a break stays a break.
        const TRun run = RangeOf(begin, end);
        std::array<std::int32_t, 3> at = {run.Min, run.Max, run.Gap};
        std::sort(at.begin(), at.end());
        std::int32_t previous = -1;
        for (const std::int32_t i : at) {
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
