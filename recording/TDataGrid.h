#pragma once
// The data grid's storage: row 0 holds the column captions, every other row is a TDataRow of
// numbers. A cell becomes text only when it is shown or written (Cell, AppendFileLine), so what
// the fits and estimates read is the number the point carried, never a rounded text read back.
//
// Besides the rows it keeps where each run of equal modes starts, worked out lazily, so building
// a row costs work in proportion to the relative-change window, never to the rows of the grid.
// Both sit in fixed-size blocks: appending a row never moves the rows already stored, so a run of
// millions of rows appends each one at the same cost, and a row is still found from its index in
// constant time.
#include "recording/DataRow.h"
#include "recording/TDataGridBlocks.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

class TDataGrid {
public:
    static constexpr int ColumnCount = 17;

    TDataGrid();

    // Row 0 with its captions: set once when the window is made.
    void SetCaption(int col, const QString& caption);
    int RowCount() const { return int(fRows.Size()); }
    // Appends a row and returns its index.
    int AddRow(const TDataRow& row = TDataRow());
    // A row's numbers; row 0 and rows out of range read as an empty data row.
    const TDataRow& Row(int row) const;
    void SetValue(int row, TProperty p, double value);
    // A cell's text as the grid shows it: row 0 the captions, then each column in its format.
    QString Cell(int row, int col) const;
    // Cuts the grid back to its caption row.
    void ClearData();
    // Bytes held by the rows (for the memory budget).
    std::size_t MemoryBytes() const;

    // The numbers the relative-change fits read. Mode: the row's Mode as an integer (a mode-change
    // row gives its program state); Duration and Value: false when the cell is empty.
    bool Mode(int row, int& mode) const;
    bool Duration(int row, double& seconds) const;
    bool Value(int row, TProperty p, double& value) const;
    // The first row of the run of rows with the same Mode that ends at `last`. Row 1 and the
    // caption row never belong to a run, so the result is at least 2 (or `last` itself when
    // `last` < 2, or when its Mode is empty).
    int RunStart(int last) const;

    // One row as a line of the data file: cells joined with ';', a cell holding ';' or '"' quoted
    // with its quotes doubled, every blank removed, CR LF at the end. Row 0 gives the caption line.
    void AppendFileLine(QByteArray& out, int row) const;

private:
    void UpdateRuns() const;

    std::array<QString, ColumnCount> fCaptions;
    TDataGridBlocks<TDataRow> fRows; // fRows[0] stands for the caption row
    mutable TDataGridBlocks<std::int32_t> fRunStart;
};
