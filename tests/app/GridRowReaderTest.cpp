// The grid's text rows read back as numbers for the web monitor: each kind of cell the row builder
// and the mode change write, and a cell that is no number.
#include "app/GridRowReader.h"
#include "common/DateTime.h"
#include "common/NumberFormat.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGrid.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

class GridRowReader : public ::testing::Test {
protected:
    int Row(std::initializer_list<std::pair<TProperty, QString>> cells) {
        const int r = grid.AddRow();
        for (const auto& [p, text] : cells)
            grid.SetCell(r, ColumnOf(p), text);
        return r;
    }
    TDataGrid grid;
};

TEST_F(GridRowReader, DataRowCellsBecomeNumbers) {
    const QString v = FormatFloat(QStringLiteral("0.00000E+0"), -0.123456); // regional separator
    const int r = Row({{TProperty::Mode, QStringLiteral("12")},
                       {TProperty::PumpV, v},
                       {TProperty::PumpI, QStringLiteral("2.000E-6")},
                       {TProperty::Temp, QStringLiteral(" 700.00 ")},
                       {TProperty::StablepO2, QStringLiteral("True")},
                       {TProperty::StableI, QStringLiteral("MaxI")},
                       {TProperty::RCpO2, QStringLiteral("n/a")},
                       {TProperty::Date, QStringLiteral("2026-12-10_14:02:11:123")}});
    const TDataRow row = ReadGridRow(grid, r);
    EXPECT_EQ(row.Kind, TRowKind::Data);
    EXPECT_EQ(row[TProperty::Mode], 12);
    EXPECT_DOUBLE_EQ(row[TProperty::PumpV], -0.123456);
    EXPECT_DOUBLE_EQ(row[TProperty::PumpI], 2e-6);
    EXPECT_DOUBLE_EQ(row[TProperty::Temp], 700);
    EXPECT_EQ(row[TProperty::StablepO2], TDataRow::kTrue);
    EXPECT_EQ(row[TProperty::StableI], TDataRow::kMaxI);
    EXPECT_FALSE(row.Has(TProperty::RangepO2)) << "an empty flag stays empty";
    EXPECT_FALSE(row.Has(TProperty::RCpO2)) << "no number: empty";
    EXPECT_FALSE(row.Has(TProperty::FlushpO2));
    EXPECT_EQ(QtFromDateTime(row[TProperty::Date]), QDateTime(QDate(2026, 12, 10), QTime(14, 2, 11, 123)));
}

TEST_F(GridRowReader, ModeChangeRowCarriesItsStateAndTime) {
    const int r = Row(
        {{TProperty::Mode, QStringLiteral("2")}, {TProperty::Time, QStringLiteral("2026-12-10 14:02:11")}});
    const TDataRow row = ReadGridRow(grid, r);
    EXPECT_EQ(row.Kind, TRowKind::ModeChange);
    EXPECT_EQ(row[TProperty::Mode], 2);
    EXPECT_FALSE(row.Has(TProperty::Time)) << "the time is no duration";
    EXPECT_EQ(QtFromDateTime(row[TProperty::Date]), QDateTime(QDate(2026, 12, 10), QTime(14, 2, 11)));
}

} // namespace
