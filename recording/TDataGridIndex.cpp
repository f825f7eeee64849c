#include "recording/TDataGridIndex.h"

#include "common/NumberFormat.h"
#include "recording/TDataGridModel.h"

#include <cmath>
#include <limits>

namespace {
constexpr double kUnread = std::numeric_limits<double>::quiet_NaN();

// Unreadable cells are kept as NaN: the regional parser never yields a NaN itself.
double Number(const QString& text) {
    double v = 0;
    return TryParseRegional(text, v) ? v : kUnread;
}

double NumberWithoutBlanks(QString text) {
    text.remove(u' ');
    return Number(text);
}
} // namespace

TDataGridIndex::TDataGridIndex(TDataGridModel& model, QObject* parent)
    : QObject(parent), fModel(model), fColMode(ColumnOf(TProperty::Mode)),
      fColDuration(ColumnOf(TProperty::Time)), fColCellpO2(ColumnOf(TProperty::CellpO2)),
      fColPumpI(ColumnOf(TProperty::PumpI)) {
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { RowsInserted(first, last); });
    connect(&model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { RowsRemoved(first, last); });
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& tl, const QModelIndex& br) {
                CellsChanged(tl.row(), br.row(), tl.column(), br.column());
            });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] { Rebuild(); });
    Rebuild();
}

void TDataGridIndex::Rebuild() {
    fRows.clear();
    RowsInserted(0, fModel.RowCount() - 1);
}

void TDataGridIndex::ReadRow(int row) {
    for (int col : {fColMode, fColDuration, fColCellpO2, fColPumpI})
        ReadCell(row, col);
}

void TDataGridIndex::ReadCell(int row, int col) {
    TRowNumbers& n = fRows[std::size_t(row)];
    const QString text = fModel.Cell(row, col);
    if (col == fColMode) {
        bool ok = false;
        const int m = text.trimmed().toInt(&ok);
        n.Mode = ok ? m : kNoMode;
        fRunsValidFrom = std::min(fRunsValidFrom, row);
    } else if (col == fColDuration) {
        n.Duration = Number(text);
    } else if (col == fColCellpO2) {
        n.CellpO2 = NumberWithoutBlanks(text);
    } else if (col == fColPumpI) {
        n.PumpI = NumberWithoutBlanks(text);
    }
}

void TDataGridIndex::RowsInserted(int first, int last) {
    if (first < 0 || last < first)
        return;
    const TRowNumbers empty{kUnread, kUnread, kUnread, kNoMode, 0};
    fRows.insert(fRows.begin() + std::min<std::ptrdiff_t>(first, std::ptrdiff_t(fRows.size())),
                 std::size_t(last - first + 1), empty);
    for (int r = first; r <= last; ++r)
        ReadRow(r);
    fRunsValidFrom = std::min(fRunsValidFrom, first);
}

void TDataGridIndex::RowsRemoved(int first, int last) {
    if (first < 0 || last < first || first >= RowCount())
        return;
    const int end = std::min(last + 1, RowCount());
    fRows.erase(fRows.begin() + first, fRows.begin() + end);
    if (fRows.empty())
        fRows.shrink_to_fit();
    fRunsValidFrom = std::min(fRunsValidFrom, first);
}

void TDataGridIndex::CellsChanged(int firstRow, int lastRow, int firstCol, int lastCol) {
    lastRow = std::min(lastRow, RowCount() - 1);
    for (int col : {fColMode, fColDuration, fColCellpO2, fColPumpI}) {
        if (col < firstCol || col > lastCol)
            continue;
        for (int r = std::max(firstRow, 0); r <= lastRow; ++r)
            ReadCell(r, col);
    }
}

void TDataGridIndex::UpdateRuns() const {
    const int n = RowCount();
    for (int r = std::max(fRunsValidFrom, 0); r < n; ++r) {
        const TRowNumbers& row = fRows[std::size_t(r)];
        const bool continues = r >= 3 && row.Mode != kNoMode && row.Mode == fRows[std::size_t(r - 1)].Mode;
        row.RunStart = continues ? fRows[std::size_t(r - 1)].RunStart : r;
    }
    fRunsValidFrom = n;
}

bool TDataGridIndex::Mode(int row, int& mode) const {
    if (row < 0 || row >= RowCount() || fRows[std::size_t(row)].Mode == kNoMode)
        return false;
    mode = fRows[std::size_t(row)].Mode;
    return true;
}

bool TDataGridIndex::Duration(int row, double& seconds) const {
    if (row < 0 || row >= RowCount() || std::isnan(fRows[std::size_t(row)].Duration))
        return false;
    seconds = fRows[std::size_t(row)].Duration;
    return true;
}

bool TDataGridIndex::Value(int row, TProperty column, double& value) const {
    if (row < 0 || row >= RowCount())
        return false;
    double v = kUnread;
    if (column == TProperty::CellpO2)
        v = fRows[std::size_t(row)].CellpO2;
    else if (column == TProperty::PumpI)
        v = fRows[std::size_t(row)].PumpI;
    else
        v = NumberWithoutBlanks(fModel.Cell(row, ColumnOf(column)));
    if (std::isnan(v))
        return false;
    value = v;
    return true;
}

int TDataGridIndex::RunStart(int last) const {
    if (last < 0 || last >= RowCount())
        return last;
    if (fRunsValidFrom <= last)
        UpdateRuns();
    return fRows[std::size_t(last)].RunStart;
}

std::size_t TDataGridIndex::MemoryBytes() const {
    return fRows.size() * sizeof(TRowNumbers);
}
