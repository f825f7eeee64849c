#include "app/GridRowReader.h"

#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "recording/ColumnTable.h"
#include "recording/TDataGrid.h"

TDataRow ReadGridRow(const TDataGrid& grid, int row) {
    TDataRow r;
    for (int i = 0; i < PropertyCount; ++i) {
        const TProperty p = TProperty(i);
        const int col = ColumnOf(p);
        if (col < 0 || p == TProperty::Date)
            continue;
        const QString text = grid.Cell(row, col).trimmed();
        if (text.isEmpty())
            continue;
        if (text == QStringLiteral("True"))
            r[p] = TDataRow::kTrue;
        else if (text == QStringLiteral("MaxI"))
            r[p] = TDataRow::kMaxI;
        else {
            double v = 0;
            if (TryParseRegional(text, v))
                r[p] = v;
        }
    }
    if (r.Has(TProperty::Mode) && r[TProperty::Mode] < 10) {
        // A mode change: its time stands in the Duration column.
        r.Kind = TRowKind::ModeChange;
        const QString when = grid.Cell(row, ColumnOf(TProperty::Time));
        const QDateTime t = QDateTime::fromString(when, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        r[TProperty::Time] = TDataRow::kEmpty;
        r[TProperty::Date] = t.isValid() ? DateTimeFromQt(t) : Now();
        return r;
    }
    const QDateTime t = QDateTime::fromString(grid.Cell(row, ColumnOf(TProperty::Date)),
                                              QStringLiteral("yyyy-MM-dd_HH:mm:ss:zzz"));
    r[TProperty::Date] = t.isValid() ? DateTimeFromQt(t) : Now();
    return r;
}
