#pragma once
// One row of the experiment as numbers, indexed by TProperty; formatted only when it is shown or
// written. An empty cell is NaN.
//
// - A data row (Kind Data) carries the point's numbers; its Mode is the integrating mode + 10.
//   The flag columns hold 1 for "True" and NaN when empty; Stable I also holds kMaxI ("MaxI":
//   the pump current at its limit).
// - A mode-change row (Kind ModeChange) carries only the new program state in Mode (0 to 6) and
//   the time of the change in Date; the data file shows that time in the Duration column.
// - Date is local wall-clock time, as the Time column shows it; UtcOffsetS is that clock's offset
//   from UTC when the row was taken, so Date less the offset is the row's UTC instant even in the
//   hour that repeats when daylight saving ends. It sits in the space after Kind that the row has
//   anyway, so it costs no memory.
#include "recording/ColumnTable.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

enum class TRowKind : std::uint8_t { Data, ModeChange };

struct TDataRow {
    static constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();
    static constexpr double kTrue = 1.0;
    static constexpr double kMaxI = 2.0;
    // UtcOffsetS of a row whose offset is not known (one read back from a file).
    static constexpr std::int32_t kNoUtcOffset = std::numeric_limits<std::int32_t>::min();

    TRowKind Kind = TRowKind::Data;
    std::int32_t UtcOffsetS = kNoUtcOffset; // s, local minus UTC
    std::array<double, PropertyCount> Value = Empty();

    double operator[](TProperty p) const { return Value[std::size_t(p)]; }
    double& operator[](TProperty p) { return Value[std::size_t(p)]; }
    bool Has(TProperty p) const { return !std::isnan((*this)[p]); }
    // A flag column reads "True".
    bool IsTrue(TProperty p) const { return (*this)[p] == kTrue; }

    static constexpr std::array<double, PropertyCount> Empty() {
        std::array<double, PropertyCount> a{};
        for (double& v : a)
            v = kEmpty;
        return a;
    }
};
