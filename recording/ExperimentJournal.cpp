#include "recording/ExperimentJournal.h"

#include "recording/ExperimentFile.h"
#include "recording/TDataGrid.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {
qint64 MonotonicMs() {
    static const QDateTime origin = QDateTime::currentDateTimeUtc();
    return origin.msecsTo(QDateTime::currentDateTimeUtc());
}

// Opens the file for appending through the C runtime, so the descriptor the sync needs is there on
// every platform (a file Qt opens itself has none on Windows).
int OpenForAppend(const QString& path) {
#ifdef Q_OS_WIN
    return _wopen(reinterpret_cast<const wchar_t*>(path.utf16()),
                  _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
#endif
}

bool SyncHandle(int handle) {
    if (handle < 0)
        return false;
#ifdef Q_OS_WIN
    return _commit(handle) == 0;
#elif defined(Q_OS_MACOS)
    return fsync(handle) == 0;
#else
    return fdatasync(handle) == 0;
#endif
}
} // namespace

TExperimentJournal::~TExperimentJournal() {
    Close();
}

QString TExperimentJournal::FileName(const QString& experimentName, TDateTime start) {
    QString name = experimentName;
    for (QChar& c : name)
        if (c == u'/' || c == u'\\' || c == u':' || c.isNull())
            c = u'_';
    return name + QStringLiteral("_run-") + FormatDateTime(QStringLiteral("yyyymmdd-hhmmss"), start) +
           QStringLiteral(".journal.csv");
}

QString TExperimentJournal::MarkerPath(const QString& userdataFolder) {
    return QDir(userdataFolder).filePath(QStringLiteral("journal.open"));
}

bool TExperimentJournal::Fail(const QString& what) {
    fError = QStringLiteral("%1 %2: %3")
                 .arg(what, QDir::toNativeSeparators(fFile.fileName()), fFile.errorString());
    return false;
}

bool TExperimentJournal::Start(const QString& userdataFolder, const QString& path,
                               const QString& experimentName, const QByteArray& head, const TDataGrid& grid) {
    Close();
    fRows = 0;
    fSize = 0;
    fFirstRowOffset = -1;
    fLastRow = 0;
    fError.clear();
    fPath = path;
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        fError =
            QStringLiteral("The folder %1 can't be made").arg(QDir::toNativeSeparators(info.absolutePath()));
        return false;
    }
    const int fd = OpenForAppend(path);
    if (fd < 0) {
        fError = QStringLiteral("The journal can't be opened: %1: %2")
                     .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Unbuffered: every write is a system call, so a row is with the operating system at once.
    if (!fFile.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
#ifdef Q_OS_WIN
        _close(fd);
#else
        ::close(fd);
#endif
        return Fail(QStringLiteral("The journal can't be opened:"));
    }
    QByteArray start = head;
    grid.AppendFileLine(start, 0);
    if (!Write(start) || !Sync())
        return false;

    // The marker names the journal (relative to Userdata) and the experiment it belongs to.
    QSaveFile marker(MarkerPath(userdataFolder));
    const QString relative = QDir(userdataFolder).relativeFilePath(info.absoluteFilePath());
    if (!marker.open(QIODevice::WriteOnly) ||
        marker.write((relative + u'\n' + experimentName + u'\n').toUtf8()) < 0 || !marker.commit()) {
        fError = QStringLiteral("The journal marker %1 can't be written: %2")
                     .arg(QDir::toNativeSeparators(MarkerPath(userdataFolder)), marker.errorString());
        return false;
    }
    fMarker = MarkerPath(userdataFolder);
    return true;
}

bool TExperimentJournal::Write(const QByteArray& bytes) {
    if (!fFile.isOpen()) {
        fError = QStringLiteral("The journal is not open");
        return false;
    }
    const qint64 written = fFile.write(bytes);
    if (written > 0)
        fSize += written;
    if (written != bytes.size())
        return Fail(QStringLiteral("The journal can't be written:"));
    fDirty = true;
    return true;
}

bool TExperimentJournal::Append(const TDataGrid& grid, int row) {
    fLine.resize(0);
    grid.AppendFileLine(fLine, row);
    const qint64 at = fSize;
    if (!Write(fLine)) {
        fFirstRowOffset = -1;
        return false;
    }
    if (row == 1) {
        fFirstRowOffset = at;
        fLastRow = 1;
    } else if (fFirstRowOffset >= 0 && row == fLastRow + 1) {
        fLastRow = row;
    } else {
        fFirstRowOffset = -1; // a gap or a repeat: the journal no longer mirrors the grid
    }
    ++fRows;
    return SyncIfDue();
}

TFileRange TExperimentJournal::LinesOfRows(int lastRow) const {
    TFileRange r;
    if (!fFile.isOpen() || fFirstRowOffset < 0 || lastRow != fLastRow)
        return r;
    r.Path = fPath;
    r.Offset = fFirstRowOffset;
    r.Length = fSize - fFirstRowOffset;
    return r;
}

bool TExperimentJournal::SyncIfDue() {
    if (!fDirty || MonotonicMs() - fLastSyncMs < 1000)
        return true;
    return Sync();
}

bool TExperimentJournal::Sync() {
    if (!fFile.isOpen())
        return false;
    fLastSyncMs = MonotonicMs();
    fDirty = false;
    if (!SyncHandle(fFile.handle())) {
        fError =
            QStringLiteral("The journal %1 can't be synced to the disk").arg(QDir::toNativeSeparators(fPath));
        return false;
    }
    return true;
}

void TExperimentJournal::Finish() {
    if (fFile.isOpen())
        Sync();
    fFile.close();
    if (!fMarker.isEmpty())
        QFile::remove(fMarker);
    fMarker.clear();
}

void TExperimentJournal::Close() {
    if (fFile.isOpen()) {
        Sync();
        fFile.close();
    }
}
