#pragma once
// The table view's window onto the data grid: 17 columns, row 0 the captions, fixed widths. The
// view asks only for the cells it shows, so only those are formatted.
#include "recording/TDataGrid.h"

#include <QAbstractTableModel>
#include <array>

class TDataGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataGridModel(QObject* parent = nullptr);

    TDataGrid& Grid() { return fGrid; }
    const TDataGrid& Grid() const { return fGrid; }

    // Lays out the columns from the column table: captions into row 0 and the widths.
    void FormatGrid();
    int ColumnWidth(int col) const { return fWidths[std::size_t(col)]; }

    // Row operations that keep attached views up to date.
    int AddRow(const TDataRow& row = TDataRow());
    void SetValue(int row, TProperty p, double value);
    const TDataRow& Row(int row) const { return fGrid.Row(row); }
    QString Cell(int row, int col) const { return fGrid.Cell(row, col); }
    int RowCount() const { return fGrid.RowCount(); }
    void ClearData();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    TDataGrid fGrid;
    std::array<int, TDataGrid::ColumnCount> fWidths{};
};
