#include "recording/TDataGrid.h"

#include "common/DateTime.h"
#include "common/NumberFormat.h"

#include <cmath>
#include <cstring>

namespace {
const TDataRow kNoRow;

// The property shown in each grid column.
const std::array<TProperty, TDataGrid::ColumnCount>& PropertyOfColumn() {
    static const auto table = [] {
        std::array<TProperty, TDataGrid::ColumnCount> t{};
        for (int p = 0; p < PropertyCount; ++p) {
            const int col = ColumnOf(TProperty(p));
            if (col >= 0 && col < TDataGrid::ColumnCount)
                t[std::size_t(col)] = TProperty(p);
        }
        return t;
    }();
    return table;
}

QString DataCell(const TDataRow& row, TProperty p) {
    const double v = row[p];
    if (std::isnan(v))
        return QString();
    switch (p) {
    case TProperty::Date:
        return FormatDateTime(Col(p).Format, v);
    case TProperty::SetPoint:
        return FormatGeneral(v);
    case TProperty::Step:
        return QString::number(std::int64_t(v));
    case TProperty::StablepO2:
    case TProperty::RangepO2:
    case TProperty::StableI:
        return v == TDataRow::kMaxI ? QStringLiteral("MaxI") : QStringLiteral("True");
    default:
        return FormatFloat(Col(p).Format, v);
    }
}

// A mode-change row shows the time of the change in the Duration column and the new state.
QString ModeChangeCell(const TDataRow& row, TProperty p) {
    if (p == TProperty::Time && row.Has(TProperty::Date))
        return FormatDateTime(QStringLiteral("yyyy-mm-dd hh:mm:ss"), row[TProperty::Date]);
    if (p == TProperty::Mode && row.Has(TProperty::Mode))
        return FormatFloat(Col(p).Format, row[p]);
    return QString();
}
} // namespace

TDataGrid::TDataGrid() {
    fRows.PushBack(TDataRow());
}

void TDataGrid::SetCaption(int col, const QString& caption) {
    if (col >= 0 && col < ColumnCount)
        fCaptions[std::size_t(col)] = caption;
}

int TDataGrid::AddRow(const TDataRow& row) {
    fRows.PushBack(row);
    return RowCount() - 1;
}

const TDataRow& TDataGrid::Row(int row) const {
    return row >= 1 && row < RowCount() ? fRows[std::size_t(row)] : kNoRow;
}

void TDataGrid::SetValue(int row, TProperty p, double value) {
    if (row < 1 || row >= RowCount())
        return;
    fRows[std::size_t(row)][p] = value;
    if (p == TProperty::Mode)
        fRunStart.Truncate(std::size_t(row));
}

QString TDataGrid::Cell(int row, int col) const {
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColumnCount)
        return QString();
    if (row == 0)
        return fCaptions[std::size_t(col)];
    const TDataRow& r = fRows[std::size_t(row)];
    const TProperty p = PropertyOfColumn()[std::size_t(col)];
    return r.Kind == TRowKind::ModeChange ? ModeChangeCell(r, p) : DataCell(r, p);
}

void TDataGrid::ClearData() {
    fRows.Clear();
    fRows.PushBack(TDataRow());
    fRunStart.Clear();
}

std::size_t TDataGrid::MemoryBytes() const {
    return fRows.MemoryBytes() + fRunStart.MemoryBytes();
}

bool TDataGrid::Mode(int row, int& mode) const {
    if (row < 1 || row >= RowCount() || !fRows[std::size_t(row)].Has(TProperty::Mode))
        return false;
    mode = int(fRows[std::size_t(row)][TProperty::Mode]);
    return true;
}

bool TDataGrid::Duration(int row, double& seconds) const {
    if (row < 1 || row >= RowCount())
        return false;
    const TDataRow& r = fRows[std::size_t(row)];
    if (r.Kind != TRowKind::Data || !r.Has(TProperty::Time))
        return false;
    seconds = r[TProperty::Time];
    return true;
}

bool TDataGrid::Value(int row, TProperty p, double& value) const {
    if (row < 1 || row >= RowCount())
        return false;
    const TDataRow& r = fRows[std::size_t(row)];
    if (r.Kind != TRowKind::Data || !r.Has(p))
        return false;
    value = r[p];
    return true;
}

void TDataGrid::UpdateRuns() const {
    const std::size_t n = fRows.Size();
    int previousMode = 0;
    bool previousHasMode = false;
    if (!fRunStart.Empty()) {
        previousHasMode = Mode(int(fRunStart.Size()) - 1, previousMode);
    }
    for (std::size_t r = fRunStart.Size(); r < n; ++r) {
        int mode = 0;
        const bool hasMode = Mode(int(r), mode);
        const bool continues = r >= 3 && hasMode && previousHasMode && mode == previousMode;
        fRunStart.PushBack(continues ? fRunStart[r - 1] : std::int32_t(r));
        previousMode = mode;
        previousHasMode = hasMode;
    }
}

int TDataGrid::RunStart(int last) const {
    if (last < 0 || last >= RowCount())
        return last;
    if (fRunStart.Size() <= std::size_t(last))
        UpdateRuns();
    return fRunStart[std::size_t(last)];
}

void TDataGrid::AppendFileLine(QByteArray& out, int row) const {
    for (int col = 0; col < ColumnCount; ++col) {
        if (col > 0)
            out += ';';
        const QByteArray cell = Cell(row, col).toLatin1();
        const bool quote = cell.contains(';') || cell.contains('"');
        if (quote)
            out += '"';
        for (const char c : cell) {
            if (c == ' ')
                continue;
            out += c;
            if (quote && c == '"')
                out += '"';
        }
        if (quote)
            out += '"';
    }
    out += "\r\n";
}
