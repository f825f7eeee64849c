#include "recording/TDataGrid.h"

namespace {
constexpr char kSep = '\t';

// The byte range of cell `col` in a row: [begin, end).
void CellRange(const std::string& row, int col, std::size_t& begin, std::size_t& end) {
    begin = 0;
    for (int c = 0; c < col; ++c) {
        const std::size_t at = row.find(kSep, begin);
        begin = at == std::string::npos ? row.size() : at + 1;
    }
    end = row.find(kSep, begin);
    if (end == std::string::npos)
        end = row.size();
}
} // namespace

TDataGrid::TDataGrid() {
    fRows.emplace_back(std::string(ColumnCount - 1, kSep));
}

void TDataGrid::SetCaption(int col, const QString& caption) {
    SetCell(0, col, caption);
}

int TDataGrid::AddRow() {
    fRows.emplace_back(std::string(ColumnCount - 1, kSep));
    return RowCount() - 1;
}

QString TDataGrid::Cell(int row, int col) const {
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColumnCount)
        return QString();
    const std::string& r = fRows[std::size_t(row)];
    std::size_t b = 0, e = 0;
    CellRange(r, col, b, e);
    return QString::fromLatin1(r.data() + b, qsizetype(e - b));
}

void TDataGrid::SetCell(int row, int col, const QString& text) {
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColumnCount)
        return;
    std::string& r = fRows[std::size_t(row)];
    std::size_t b = 0, e = 0;
    CellRange(r, col, b, e);
    QByteArray bytes = text.toLatin1();
    bytes.replace('\t', ' '); // a tab would split the cell
    r.replace(b, e - b, bytes.constData(), std::size_t(bytes.size()));
    if (r.capacity() > r.size() + 32)
        r.shrink_to_fit();
}

void TDataGrid::ClearData() {
    fRows.resize(1);
    fRows.shrink_to_fit();
}

std::size_t TDataGrid::MemoryBytes() const {
    std::size_t total = fRows.capacity() * sizeof(std::string);
    for (const std::string& r : fRows)
        if (r.capacity() > 15) // longer strings live on the heap
            total += r.capacity() + 1;
    return total;
}
