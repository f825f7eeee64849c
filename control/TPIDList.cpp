#include "control/TPIDList.h"

#include "common/NumberFormat.h"
#include "control/EPIDListError.h"
#include "control/TPIDListContent.h"

#include <cmath>

namespace {

QString Column(const QString& line, int field) {
    return line.mid(field * TPIDList::FieldWidth, TPIDList::FieldWidth).trimmed();
}

// An integer written into its column: the digits, then blanks, cut to the column width.
QString Field(int value) {
    return (QString::number(value) + QString(TPIDList::FieldWidth, u' ')).left(TPIDList::FieldWidth);
}

[[noreturn]] void NotAnInteger(const QString& text) {
    throw EPIDListError(QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
}

} // namespace

QString TPIDList::StartingTitle() {
    return QStringLiteral("Example - not applied until modified");
}

QString TPIDList::Header() {
    return QStringLiteral("-log(pO2) Proportio Integral  Derivate  Current   Notes");
}

QStringList TPIDList::StartingList() {
    struct TStart {
        int logPO2, a;
        const char* notes;
    };
    static const TStart kRows[] = {
        {0, 5000, "Very slow"},
        {1, 5000, "Very slow"},
        {2, 3000, "Slow"},
        {3, 1500, "Fast"},
        {4, 1100, "Fast"},
        {9, 1000, "Fast"},
        {10, 1100, "Fast"},
        {11, 1600, "Fast"},
        {12, 3000, "Slow"},
        {13, 4500, "Very slow"},
        {14, 5000, "Very slow"},
        {15, 5050, "Extremely slow"},
        {20, 5200, "Extremely slow"},
        {25, 5300, "Extremely slow"},
    };
    QStringList lines{StartingTitle(), FormatElasticity(100.0), Header()};
    for (const TStart& r : kRows)
        lines << FormatRow({r.logPO2, 1000, 1000, 1000, r.a, QString::fromLatin1(r.notes)});
    return lines;
}

QString TPIDList::FormatRow(const TPIDRow& row) {
    return Field(row.LogPO2) + Field(row.P) + Field(row.I) + Field(row.D) + Field(row.A) +
           CutNotes(row.Notes);
}

QString TPIDList::FormatElasticity(double elasticity) {
    return QStringLiteral("Elasticity ") + FormatFloat(QStringLiteral("0.0"), elasticity);
}

QString TPIDList::CutNotes(const QString& notes) {
    QString cut = notes.trimmed().left(NotesWidth);
    // Never keep half of a character that needs two UTF-16 units.
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut;
}

int TPIDList::ParseField(const QString& line, int field) {
    const QString text = Column(line, field);
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        NotAnInteger(text);
    return value;
}

TPIDRow TPIDList::ParseRow(const QString& line) {
    TPIDRow row;
    row.LogPO2 = ParseField(line, 0);
    row.P = ParseField(line, 1);
    row.I = ParseField(line, 2);
    row.D = ParseField(line, 3);
    row.A = ParseField(line, 4);
    row.Notes = line.mid(Fields * FieldWidth, NotesWidth).trimmed();
    return row;
}

double TPIDList::ParseElasticity(const QString& line) {
    const QString text = line.mid(11, 10).trimmed();
    double value = 0;
    // The file may come from a machine whose regional settings use the other separator; the
    // field holds one plain number, so either one can only be the decimal separator.
    if (!TryParseRegional(text, value, u','))
        throw EPIDListError(
            QStringLiteral("'%1' is not a valid floating point value").arg(text).toStdString());
    return value;
}

TPIDList::TApplyResult TPIDList::ApplyOrAdd(TPIDListContent& list, int selected, double elasticity,
                                            const TPIDRow& row) {
    list.ElasticityLine = FormatElasticity(elasticity);
    const int v = row.LogPO2;
    const int lines = list.LineCount();
    TApplyResult result;
    if (selected >= FirstDataLine && selected < lines) {
        const int at = selected - FirstDataLine;
        const int lo = at > 0 ? list.Rows[at - 1].Order() : MinLogPO2;
        const int hi = at + 1 < list.Rows.size() ? list.Rows[at + 1].Order() : MaxLogPO2;
        if (v < lo || v > hi) {
            result.Message =
                QStringLiteral("Cannot apply. -Log(pO2) value must fit between %1 and %2").arg(lo).arg(hi);
            return result;
        }
        list.Rows[at] = TPIDListEntry::FromRow(row);
    } else {
        // Without data rows the header stands last, and its first column is no number.
        const int lo = list.Rows.isEmpty() ? ParseField(list.Header, 0) : list.Rows.last().Order();
        if (v < lo || v > MaxLogPO2) {
            result.Message = QStringLiteral("Cannot add. -Log(pO2) value must fit between %1 and %2")
                                 .arg(lo)
                                 .arg(MaxLogPO2);
            return result;
        }
        list.Rows.append(TPIDListEntry::FromRow(row));
    }
    result.Changed = true;
    return result;
}

bool TPIDList::DeleteLast(TPIDListContent& list) {
    if (list.LineCount() < MinLinesToDelete)
        return false;
    list.Rows.removeLast();
    return true;
}
