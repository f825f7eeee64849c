#include "recording/ColumnTable.h"

const TColInfoTable& ColInfo() {
    static const TColInfoTable table = [] {
        TColInfoTable t;
        const auto set = [&t](TProperty p, const char* caption, const char* format, int col, int width) {
            t[std::size_t(p)] = RColInfo{QString::fromUtf8(caption), QString::fromUtf8(format), col, width};
        };
        set(TProperty::Mode, "Mode", "0", 1, 35);
        set(TProperty::Time, "Duration, s", "0.00", 0, 120);
        set(TProperty::PumpV, "Pump V, V", "0.00000E+0", 4, 80);
        set(TProperty::PumpI, "Pump I, A", "0.000E+0", 5, 60);
        set(TProperty::CellpO2, "Cell pO2, atm", "0.000000E+00", 6, 85);
        set(TProperty::Temp, "Cell T, ºC", "0.00", 3, 55);
        set(TProperty::FlushpO2, "Flush pO2, atm", "0.00E+0", 7, 80);
        set(TProperty::RCpO2, "RC pO2, %", "0.000", 8, 80);
        set(TProperty::RCI, "RC I, %", "0.000", 11, 80);
        set(TProperty::StablepO2, "Stable pO2", "0", 9, 65);
        set(TProperty::RangepO2, "Range pO2", "0", 10, 65);
        set(TProperty::StableI, "Stable I", "0", 12, 55);
        set(TProperty::Step, "Step", "0", 2, 40);
        set(TProperty::SetPoint, "SP", "0", 13, 30);
        set(TProperty::Date, "Time", "yyyy-mm-dd_hh:mm:ss:zzz", 14, 150);
        set(TProperty::CellpO2P, "Cell pO2P, atm", "0.000000E+00", 15, 90);
        set(TProperty::Interval, "Interval, s", "0.00", 16, 120);
        return t;
    }();
    return table;
}
