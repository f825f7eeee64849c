#pragma once
// The data grid's storage: rows of 17 text cells, row 0 holding the column captions. A week of
// one-second points is 600 000 rows, so a row is kept as one compact byte string (cells separated
// by a tab, Latin-1) instead of 17 separate strings.
#include <QString>
#include <string>
#include <vector>

class TDataGrid {
public:
    static constexpr int ColumnCount = 17;

    TDataGrid();

    // Row 0 with its captions: set once when the window is made.
    void SetCaption(int col, const QString& caption);
    int RowCount() const { return int(fRows.size()); }
    // Appends an empty row and returns its index.
    int AddRow();
    QString Cell(int row, int col) const;
    void SetCell(int row, int col, const QString& text);
    // Cuts the grid back to its caption row.
    void ClearData();
    // Bytes held by the rows (for the memory budget).
    std::size_t MemoryBytes() const;
    const std::string& RawRow(int row) const { return fRows[std::size_t(row)]; }

private:
    std::vector<std::string> fRows;
};
