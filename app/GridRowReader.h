#pragma once
// Reads a row of the data grid, which holds text cells, back into numbers for the web monitor.
// It stands in for the grid until the grid keeps its rows as TDataRow itself; nothing else
// depends on the grid's text.
#include "recording/DataRow.h"

class TDataGrid;

// The grid's row `row` as numbers: cells parsed with the regional separator, "True" as 1, "MaxI"
// as kMaxI, the Time column as a time of day. A row whose Mode is below 10 is a mode change: its
// time is the one written in its Duration column (now, when that cannot be read).
TDataRow ReadGridRow(const TDataGrid& grid, int row);
