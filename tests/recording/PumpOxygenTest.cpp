#include "recording/PumpOxygen.h"

#include "common/Locale.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGrid.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

// A row taken at zero galvanostatic current: 800 ºC, 0.1 V, sensor 1e-4 atm, flush gas 0.21.
TPumpOxygenInputs Row() {
    TPumpOxygenInputs in;
    in.RowCount = 2;
    in.GalvanostaticSelected = true;
    in.CurrentSetpoint = 0;
    in.CellT = 800;
    in.PumpV = 0.1;
    in.CellpO2 = 1e-4;
    in.FlushGaspO2 = 0.21;
    return in;
}

template <class F> TPumpOxygenInputs With(F change) {
    TPumpOxygenInputs in = Row();
    change(in);
    return in;
}

struct EstimateCase {
    const char* what;
    TPumpOxygenInputs in;
    std::optional<double> flush, cell; // nothing: no result
};

TEST(PumpOxygen, Estimates) {
    SetRegionalLocale(QLocale::c());
    // A = 4 F V / (R Tk) at 1073.15 K and 0.1 V; the program raises e written to ten decimals.
    const double A = 4 * 96485 * 0.1 / (8.314 * 1073.15);
    const auto exp = [](double a) { return std::pow(2.7182818284, a); };
    const EstimateCase cases[] = {
        {"Nernst voltage", Row(), 1e-4 * exp(A), 0.21 * exp(-A)},
        {"no voltage", With([](auto& in) { in.PumpV = 0; }), 1e-4, 0.21},
        {"exactly 775 K", With([](auto& in) { in.CellT = 501.85; }), std::nullopt, std::nullopt},
        {"just above 775 K", With([](auto& in) { in.CellT = 501.86; }),
         1e-4 * exp(4 * 96485 * 0.1 / (8.314 * 775.01)), 0.21 * exp(-4 * 96485 * 0.1 / (8.314 * 775.01))},
        {"a current setpoint", With([](auto& in) { in.CurrentSetpoint = 1; }), std::nullopt, std::nullopt},
        {"another mode selected", With([](auto& in) { in.GalvanostaticSelected = false; }), std::nullopt,
         std::nullopt},
        {"caption row only", With([](auto& in) { in.RowCount = 1; }), std::nullopt, std::nullopt},
        {"no sensor pO2 in the row", With([](auto& in) { in.CellpO2 = TDataRow::kEmpty; }), std::nullopt,
         0.21 * exp(-A)},
        {"no temperature", With([](auto& in) { in.CellT = TDataRow::kEmpty; }), std::nullopt, std::nullopt},
        {"no voltage in the row", With([](auto& in) { in.PumpV = TDataRow::kEmpty; }), std::nullopt,
         std::nullopt},
        // e^(4 F 20 / (R 1073)) is beyond any double: no number rather than an infinite one.
        {"voltage far beyond a Nernst voltage", With([](auto& in) { in.PumpV = 20; }), std::nullopt, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        double flush = -1, cell = -1;
        EXPECT_EQ(FlushSidepO2(flush, c.in), c.flush.has_value());
        EXPECT_EQ(CellSidepO2(cell, c.in), c.cell.has_value());
        if (c.flush)
            EXPECT_NEAR(flush, *c.flush, *c.flush * 1e-12);
        else
            EXPECT_EQ(flush, -1);
        if (c.cell)
            EXPECT_NEAR(cell, *c.cell, *c.cell * 1e-12);
        else
            EXPECT_EQ(cell, -1);
    }
    // The worked example: A about 4.3256 and 7.56E-3 atm on the flush side.
    EXPECT_NEAR(A, 4.3256, 1e-4);
    double flush = 0;
    ASSERT_TRUE(FlushSidepO2(flush, Row()));
    EXPECT_NEAR(flush, 7.56e-3, 0.005e-3);
}

TEST(PumpOxygen, InputsFromTheLastRow) {
    TDataGrid grid;
    EXPECT_EQ(TPumpOxygenInputs::FromLastRow(grid, true, 0, 0.21).RowCount, 1);
    grid.AddRow();
    TDataRow row;
    row[TProperty::Temp] = 800;
    row[TProperty::PumpV] = 0.1;
    row[TProperty::CellpO2] = 1e-4;
    grid.AddRow(row);
    const TPumpOxygenInputs in = TPumpOxygenInputs::FromLastRow(grid, true, 0, 0.21);
    EXPECT_EQ(in.RowCount, 3);
    EXPECT_EQ(in.CellT, 800);
    EXPECT_EQ(in.PumpV, 0.1);
    EXPECT_EQ(in.CellpO2, 1e-4);
    // After a mode change the last row is the change's: it has no pump numbers.
    row.Kind = TRowKind::ModeChange;
    grid.AddRow(row);
    double flush = 0;
    EXPECT_FALSE(FlushSidepO2(flush, TPumpOxygenInputs::FromLastRow(grid, true, 0, 0.21)));
}

TEST(PumpOxygen, CellSideTrace) {
    SetRegionalLocale(QLocale::c());
    TLogCapture log(LogForm);
    double po = 0;
    EXPECT_FALSE(CellSidepO2(po, With([](auto& in) { in.CurrentSetpoint = 2; })));
    ASSERT_TRUE(CellSidepO2(po, With([](auto& in) { in.PumpV = 0; })));
    FlushSidepO2(po, Row()); // writes nothing
    const QStringList expected = {"CellSidepO2 ->",
                                  "CellSidepO2 ->",
                                  "Determining cell pO2 : refpO2=0.21",
                                  "Determining cell pO2 : A     =0",
                                  "Determining cell pO2 : V     =0",
                                  "Determining cell pO2 : Tc    =800",
                                  "Determining cell pO2 : Tk    =1073.15",
                                  "Determining cell pO2 : pO2   =0.21"};
    EXPECT_EQ(log.Messages(), expected);
}

} // namespace
