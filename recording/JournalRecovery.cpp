#include "recording/JournalRecovery.h"

#include "recording/ExperimentFile.h"
#include "recording/ExperimentJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// Data and mode-change rows of a journal: the lines after the caption line of its DATA section.
qint64 CountRows(const QByteArray& bytes) {
    const qsizetype data = bytes.indexOf("\r\n** DATA ");
    if (data < 0)
        return 0;
    // The DATA marker line, an empty line, the caption line; then the rows.
    qsizetype pos = data + 2;
    for (int skip = 0; skip < 3; ++skip) {
        pos = bytes.indexOf("\r\n", pos);
        if (pos < 0)
            return 0;
        pos += 2;
    }
    return bytes.mid(pos).count("\r\n");
}
} // namespace

QString TJournalRecovery::Message() const {
    const QString when = FormatDateTime(QStringLiteral("yyyy-mm-dd hh:mm:ss"), LastWrite);
    if (!Recovered)
        return QStringLiteral("The last run ended without closing (its last row at %1). Its journal %2 could "
                              "not be recovered: %3. The pump may have been driven from %1 until this start.")
            .arg(when, QDir::toNativeSeparators(JournalPath), Error);
    return QStringLiteral(
               "The last run ended without closing (its last row at %1): %2 rows recovered into %3. "
               "The pump may have been driven from %1 until this start.")
        .arg(when)
        .arg(Rows)
        .arg(QDir::toNativeSeparators(DataFilePath));
}

TJournalRecovery RecoverJournal(const QString& userdataFolder) {
    TJournalRecovery r;
    const QString markerPath = TExperimentJournal::MarkerPath(userdataFolder);
    QFile marker(markerPath);
    if (!marker.exists())
        return r;
    r.Found = true;
    if (!marker.open(QIODevice::ReadOnly)) {
        r.Error = marker.errorString();
        return r;
    }
    const QStringList lines = QString::fromUtf8(marker.readAll()).split(u'\n');
    marker.close();
    const QString relative = lines.value(0).trimmed();
    const QString name = lines.value(1);
    r.JournalPath = QDir(userdataFolder).filePath(relative);

    QFile journal(r.JournalPath);
    if (relative.isEmpty() || !journal.open(QIODevice::ReadOnly)) {
        // Nothing to recover from: the marker would only repeat this at every start.
        r.Error = relative.isEmpty() ? QStringLiteral("the marker names no journal") : journal.errorString();
        QFile::remove(markerPath);
        return r;
    }
    QByteArray bytes = journal.readAll();
    journal.close();
    r.LastWrite = DateTimeFromQt(QFileInfo(r.JournalPath).lastModified());
    // A line cut by the crash is no row.
    const qsizetype end = bytes.lastIndexOf("\r\n");
    bytes.truncate(end < 0 ? 0 : end + 2);
    r.Rows = CountRows(bytes);

    const QDir folder = QFileInfo(r.JournalPath).absoluteDir();
    QString stem = name;
    if (!TExperimentFile::NameAllowed(stem))
        stem = QStringLiteral("recovered");
    int number = 1;
    while (QFileInfo::exists(folder.filePath(TExperimentFile::FileName(stem, number))))
        ++number;
    r.DataFilePath = folder.filePath(TExperimentFile::FileName(stem, number));
    QSaveFile out(r.DataFilePath);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        r.Error = out.errorString();
        return r; // the marker stays: the next start tries again
    }
    r.Recovered = true;
    QFile::remove(markerPath);
    return r;
}
