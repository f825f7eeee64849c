#pragma once
// The data columns: their captions, cell formats, grid positions and widths.
#include <QString>
#include <array>
#include <cstdint>

enum class TProperty : std::uint8_t {
    Mode,
    Time,
    PumpV,
    PumpI,
    CellpO2,
    Temp,
    FlushpO2,
    RCpO2,
    RCI,
    StablepO2,
    RangepO2,
    StableI,
    Step,
    SetPoint,
    Date,
    CellpO2P,
    Interval,
};
constexpr int PropertyCount = 17;

struct RColInfo {
    QString Caption;
    QString Format;          // number pattern, or the date-time pattern of the Date column
    std::int32_t ColID = -1; // grid column; negative or an empty caption: no column
    std::int32_t ColWidth = 0;
};

using TColInfoTable = std::array<RColInfo, PropertyCount>;

// The process-wide column table, indexed by TProperty.
const TColInfoTable& ColInfo();
inline const RColInfo& Col(TProperty p) {
    return ColInfo()[std::size_t(p)];
}
// The grid column of a property.
inline int ColumnOf(TProperty p) {
    return Col(p).ColID;
}
