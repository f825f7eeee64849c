#pragma once
// Oxygen partial pressures worked out from the pump voltage while the pump carries no current: the
// voltage is then the Nernst voltage between the gas in the cell and the flush gas outside it.
//   flush side:  pO2 = e^( 4 F V / (R Tk)) * sensor pO2 of the row
//   cell side:   pO2 = e^(-4 F V / (R Tk)) * flush gas pO2
// Both need the galvanostatic mode selected with a zero current setpoint and a cell above 775 K;
// any input that is missing or does not read as a number gives no result, silently.
#include "recording/DataRow.h"

class TDataGrid;

// What the estimates read: the grid's last row and three of the operator's controls.
struct TPumpOxygenInputs {
    int RowCount = 0;                   // rows of the grid, caption row included
    bool GalvanostaticSelected = false; // the "GS set current, µA:" mode button is checked
    double CurrentSetpoint = 0;         // its current setpoint, µA
    // Of the last row: Cell T (ºC), Pump V (V), Cell pO2 (atm); NaN when the row has none.
    double CellT = TDataRow::kEmpty;
    double PumpV = TDataRow::kEmpty;
    double CellpO2 = TDataRow::kEmpty;
    double FlushGaspO2 = 0; // FGpO2 of the cell details

    // The numbers of the grid's last row; the controls' values are given.
    static TPumpOxygenInputs FromLastRow(const TDataGrid& grid, bool galvanostaticSelected,
                                         double currentSetpoint, double flushGaspO2);
};

// The flush-side pO2 in atm; false (PO unchanged) when it can't be worked out.
bool FlushSidepO2(double& PO, const TPumpOxygenInputs& in);
// The cell-side pO2 in atm; false (PO unchanged) when it can't be worked out. Traces every call
// and each result on the "Form" log channel.
bool CellSidepO2(double& PO, const TPumpOxygenInputs& in);
