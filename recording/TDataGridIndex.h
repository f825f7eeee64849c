#pragma once
// The numbers the relative-change fits read from the data grid, kept next to the grid so that a
// new row costs work in proportion to the rows of the fit window, never to the rows of the grid.
//
// For every row it holds the Mode cell as an integer, the Duration, Cell pO2 and Pump I cells as
// numbers (blanks removed from the last two, as the fits read them), and the first row of the run
// of equal modes that ends at that row. It follows the model's signals, so every change made
// through TDataGridModel (AddRow, SetCell, ClearData, the marker rows of a mode change) reaches it;
// writes that bypass the model (Grid().SetCell) are not seen.
#include "recording/ColumnTable.h"

#include <QObject>
#include <cstdint>
#include <deque>

class TDataGridModel;

class TDataGridIndex : public QObject {
    Q_OBJECT
public:
    // Reads the rows the model already holds, then follows it.
    explicit TDataGridIndex(TDataGridModel& model, QObject* parent = nullptr);

    const TDataGridModel& Model() const { return fModel; }
    int RowCount() const { return int(fRows.size()); }

    // The Mode cell read as an integer; false when it does not read as one.
    bool Mode(int row, int& mode) const;
    // The Duration cell as a number; false when it does not read as one.
    bool Duration(int row, double& seconds) const;
    // A cell with every blank removed, read as a number; false when it does not read as one.
    // Cell pO2 and Pump I come from the index, other columns are read from the grid.
    bool Value(int row, TProperty column, double& value) const;

    // The first row of the run of rows with the same readable Mode that ends at `last`. Row 1 and
    // the caption row never belong to a run, so the result is at least 2 (or `last` itself when
    // `last` < 2, or when its Mode cell does not read as an integer).
    int RunStart(int last) const;

    // Bytes held by the index (for the memory budget).
    std::size_t MemoryBytes() const;

private:
    static constexpr std::int32_t kNoMode = INT32_MIN;
    struct TRowNumbers {
        double Duration;
        double CellpO2;
        double PumpI;
        std::int32_t Mode;
        mutable std::int32_t RunStart;
    };

    void Rebuild();
    void ReadRow(int row);
    void ReadCell(int row, int col);
    void RowsInserted(int first, int last);
    void RowsRemoved(int first, int last);
    void CellsChanged(int firstRow, int lastRow, int firstCol, int lastCol);
    void UpdateRuns() const;

    TDataGridModel& fModel;
    std::deque<TRowNumbers> fRows;
    // Run starts are worked out lazily from this row on.
    mutable int fRunsValidFrom = 0;
    int fColMode, fColDuration, fColCellpO2, fColPumpI;
};
