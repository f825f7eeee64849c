#pragma once
// The rows of an experiment data file (or journal) as its lines: what a test compares with the
// rows the program built.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

// The lines of a data file's DATA section after its caption line, without their CR LF.
inline QList<QByteArray> RowsOfFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    const qsizetype data =
        lines.indexOf(QByteArray("** DATA *************************************************"));
    if (data < 0 || lines.size() < data + 3)
        return {};
    lines = lines.mid(data + 3);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
