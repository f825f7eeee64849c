#pragma once
// Relative change and stability of the data rows.
//
// The relative change of a column is the straight-line fit over the last `rcDuration` seconds of
// the current mode run (the data rows since the last mode change), as the fitted change over the
// fit's span relative to the fitted starting value, in percent. A quantity is stable when the
// magnitude of its relative change is below the threshold (percent). Trace lines go to the "Form"
// log channel, which is switched off once a fit has been tried.
#include "recording/ColumnTable.h"

class TDataGrid;
class TDataGridModel;

// The relative change in percent of `aColumn` (Cell pO2 or Pump I) over the run that ends at the
// grid's last row; false, with aRRC unchanged, when there are too few rows, the run is shorter than
// three rows or than rcDuration, a cell in the fit is empty, or the fit is degenerate.
// `aChange`, when given, gets the same fit's absolute change over rcDuration (slope x rcDuration, in
// the column's unit) whenever the fit found a slope, also when no relative change came of it (a
// fitted start of exactly 0, or a column that does not change at all, which gives 0); otherwise NaN.
bool GetRRC(const TDataGrid& grid, double& aRRC, TProperty aColumn, double rcDuration,
            double* aChange = nullptr);

// The current at or beyond which the pump is taken as limited, A.
constexpr double kCurrentLimitA = 0.00495;

// pO2 within thresholdPercent of 10^setpointLog10 (bounds excluded). A NaN operand is never in range.
bool PO2InRange(double pO2, double setpointLog10, double thresholdPercent);
// |rc| < |thresholdPercent|; false when either is NaN.
bool BelowThreshold(double rc, double thresholdPercent);
// |pumpI| >= kCurrentLimitA; false for NaN.
bool AtCurrentLimit(double pumpI);

// The Range pO2 flag of `row`: set ("True") when PO2InRange, else left empty.
void WriteRangeFlag(TDataGridModel& grid, int row, double pO2, double setpointLog10, double thresholdPercent);

// The stability values of the grid's last row `row`, in this order: RC pO2 and Stable pO2 (stable
// only once the row's Duration exceeds rcDuration), then either Stable I "MaxI" at the current
// limit, or RC I and Stable I. Values that can't be had stay empty. `currentChangeA`, when given,
// gets the current's fitted absolute change over rcDuration in A (see GetRRC); NaN at the current
// limit or without a fit.
void WriteStabilityFlags(TDataGridModel& grid, int row, double pumpI, double rcDuration,
                         double thresholdPercent, double* currentChangeA = nullptr);
