#pragma once
// The operator's PID list as the program holds it: the title, the elasticity line and the column
// header, then the data rows, in the layout TPIDList describes. Each data row keeps its line exactly
// as the list box shows it and the PID file keeps it, with its values read once when the row is
// made or loaded. A file may hold a row that does not read: it stays in the list as it is, and the
// table build (or a click on it) reports the text that is wrong.
#include "control/TPIDList.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// One data row of the list.
struct TPIDListEntry {
    QString Line;
    // -log10(pO2), the first column, which orders the rows. It is read on its own: a row whose
    // other columns do not read still bounds the rows beside it.
    std::optional<int> LogPO2;
    std::optional<TPIDRow> Row; // every column, when all of them read
    QString Problem;            // why Row (or LogPO2) is missing, as EPIDListError says it

    static TPIDListEntry FromLine(const QString& line);
    // The row laid out as TPIDList::FormatRow does, and read back from that line.
    static TPIDListEntry FromRow(const TPIDRow& row);
    // The row's values, or EPIDListError with Problem when they do not read.
    const TPIDRow& Values() const;
    // Its -log10(pO2), or EPIDListError with Problem when that column does not read.
    int Order() const;

    bool operator==(const TPIDListEntry& other) const { return Line == other.Line; }
};

struct TPIDListContent {
    QString Title;          // line 1: the file name the list was last saved as
    QString ElasticityLine; // line 2: "Elasticity " and the smoothing elasticity
    QString Header;         // line 3: the column header
    QList<TPIDListEntry> Rows;

    // The lines of a PID list (a file's, or the starting list); throws EPIDListError when the title,
    // elasticity and header lines are not all there.
    static TPIDListContent FromLines(const QStringList& lines);
    // The list the window starts with (TPIDList::StartingList).
    static TPIDListContent Starting();
    // The lines as the list box shows them and a PID file keeps them.
    QStringList Lines() const;
    // Lines counted as the list box counts them: the three leading lines and the rows.
    int LineCount() const { return TPIDList::FirstDataLine + int(Rows.size()); }

    bool operator==(const TPIDListContent& other) const = default;
};
