#include "recording/TDataGridModel.h"

#include "recording/ColumnTable.h"

TDataGridModel::TDataGridModel(QObject* parent) : QAbstractTableModel(parent) {
    fWidths.fill(64);
}

void TDataGridModel::FormatGrid() {
    for (const RColInfo& c : ColInfo()) {
        if (c.ColID < 0 || c.ColID >= TDataGrid::ColumnCount || c.Caption.isEmpty())
            continue;
        fGrid.SetCaption(c.ColID, c.Caption);
        fWidths[std::size_t(c.ColID)] = c.ColWidth;
    }
    emit dataChanged(index(0, 0), index(0, TDataGrid::ColumnCount - 1));
}

int TDataGridModel::AddRow(const TDataRow& row) {
    const int r = fGrid.RowCount();
    beginInsertRows(QModelIndex(), r, r);
    fGrid.AddRow(row);
    endInsertRows();
    return r;
}

void TDataGridModel::SetValue(int row, TProperty p, double value) {
    fGrid.SetValue(row, p, value);
    const QModelIndex i = index(row, ColumnOf(p));
    emit dataChanged(i, i, {Qt::DisplayRole});
}

void TDataGridModel::ClearData() {
    if (fGrid.RowCount() <= 1)
        return;
    beginRemoveRows(QModelIndex(), 1, fGrid.RowCount() - 1);
    fGrid.ClearData();
    endRemoveRows();
}

int TDataGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : fGrid.RowCount();
}

int TDataGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TDataGrid::ColumnCount;
}

QVariant TDataGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    if (role == Qt::DisplayRole)
        return fGrid.Cell(index.row(), index.column());
    return QVariant();
}
