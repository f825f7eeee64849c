#include "control/TPIDListContent.h"

#include "control/EPIDListError.h"

TPIDListEntry TPIDListEntry::FromLine(const QString& line) {
    TPIDListEntry e;
    e.Line = line;
    try {
        e.LogPO2 = TPIDList::ParseField(line, 0);
        e.Row = TPIDList::ParseRow(line);
    } catch (const EPIDListError& error) {
        e.Problem = QString::fromStdString(error.what());
    }
    return e;
}

TPIDListEntry TPIDListEntry::FromRow(const TPIDRow& row) {
    return FromLine(TPIDList::FormatRow(row));
}

const TPIDRow& TPIDListEntry::Values() const {
    if (!Row)
        throw EPIDListError(Problem.toStdString());
    return *Row;
}

int TPIDListEntry::Order() const {
    if (!LogPO2)
        throw EPIDListError(Problem.toStdString());
    return *LogPO2;
}

TPIDListContent TPIDListContent::FromLines(const QStringList& lines) {
    if (lines.size() < TPIDList::FirstDataLine)
        throw EPIDListError(
            QStringLiteral("The PID list needs its title, elasticity and header lines").toStdString());
    TPIDListContent list;
    list.Title = lines[TPIDList::TitleLine];
    list.ElasticityLine = lines[TPIDList::ElasticityLine];
    list.Header = lines[TPIDList::HeaderLine];
    for (int i = TPIDList::FirstDataLine; i < lines.size(); ++i)
        list.Rows << TPIDListEntry::FromLine(lines[i]);
    return list;
}

TPIDListContent TPIDListContent::Starting() {
    return FromLines(TPIDList::StartingList());
}

QStringList TPIDListContent::Lines() const {
    QStringList lines{Title, ElasticityLine, Header};
    for (const TPIDListEntry& e : Rows)
        lines << e.Line;
    return lines;
}
