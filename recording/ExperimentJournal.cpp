#include "recording/ExperimentJournal.h"

#include "common/AtomicFile.h"
#include "common/Clock.h"
#include "recording/ExperimentFile.h"
#include "recording/TDataGrid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {
// Opens the file for appending through the C runtime: every write is a system call whose errno
// says why it failed, and the descriptor is there for the sync on every platform.
int OpenForAppend(const QString& path) {
#ifdef Q_OS_WIN
    return _wopen(reinterpret_cast<const wchar_t*>(path.utf16()),
                  _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
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

bool TExperimentJournal::Fail(const QString& what, int error) {
    fError = QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(fPath), SystemReason(error));
    fNextTry = MonotonicSeconds() + 1;
    return false;
}

void TExperimentJournal::CloseHandle() {
    if (fHandle >= 0)
        SystemFile::Close(fHandle);
    fHandle = -1;
}

bool TExperimentJournal::Start(const QString& userdataFolder, const QString& path,
                               const QString& experimentName, const QByteArray& head, const TDataGrid& grid) {
    Close();
    fUserdata = userdataFolder;
    fExperiment = experimentName;
    fPath = path;
    fMarker.clear();
    fMarkerWritten = false;
    fFinished = false;
    fRows = 0;
    fWritten = 0;
    fFirstRowOffset = -1;
    fLastRow = 0;
    fError.clear();
    fPending = head;
    grid.AppendFileLine(fPending, 0);
    fNextTry = 0;
    return CatchUp() && Sync();
}

bool TExperimentJournal::CatchUp() {
    if (fPath.isEmpty()) {
        fError = QStringLiteral("The journal is not open");
        return false;
    }
    const QFileInfo info(fPath);
    if (!fMarkerWritten) {
        errno = 0;
        if (!QDir().mkpath(info.absolutePath())) {
            const int error = errno ? errno : QFileInfo(info.absolutePath()).exists() ? EEXIST : EACCES;
            fError = QStringLiteral("The folder %1 can't be made: %2")
                         .arg(QDir::toNativeSeparators(info.absolutePath()), SystemReason(error));
            fNextTry = MonotonicSeconds() + 1;
            return false;
        }
        // The marker names the journal (relative to Userdata) and the experiment it belongs to.
        const QString relative = QDir(fUserdata).relativeFilePath(info.absoluteFilePath());
        const TWriteResult marker =
            TAtomicFile::WriteWhole(MarkerPath(fUserdata), (relative + u'\n' + fExperiment + u'\n').toUtf8());
        if (!marker.Ok) {
            fError = QStringLiteral("The journal marker %1 can't be written: %2")
                         .arg(QDir::toNativeSeparators(marker.Path), marker.Reason);
            fNextTry = MonotonicSeconds() + 1;
            return false;
        }
        fMarker = MarkerPath(fUserdata);
        fMarkerWritten = true;
    }
    if (fHandle < 0) {
        fHandle = OpenForAppend(fPath);
        if (fHandle < 0)
            return Fail(QStringLiteral("The journal can't be opened:"), errno);
    }
    // Whatever a failed write took stays in the file; the rest follows it, so the file is the
    // same as if nothing had failed.
    qsizetype done = 0;
    while (done < fPending.size()) {
        const qint64 n = SystemFile::WriteSome(fHandle, fPending.constData() + done, fPending.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            fPending.remove(0, done);
            fWritten += done;
            fDirty = fDirty || done > 0;
            return Fail(QStringLiteral("The journal can't be written:"), error);
        }
        done += qsizetype(n);
    }
    fWritten += done;
    fDirty = fDirty || done > 0;
    fPending.resize(0);
    fError.clear();
    return true;
}

bool TExperimentJournal::Append(const TDataGrid& grid, int row) {
    if (fPath.isEmpty()) {
        fError = QStringLiteral("The journal is not open");
        return false;
    }
    const qint64 at = fWritten + fPending.size();
    grid.AppendFileLine(fPending, row);
    if (row == 1) {
        fFirstRowOffset = at;
        fLastRow = 1;
    } else if (fFirstRowOffset >= 0 && row == fLastRow + 1) {
        fLastRow = row;
    } else {
        fFirstRowOffset = -1; // a gap or a repeat: the journal no longer mirrors the grid
    }
    ++fRows;
    // A journal behind waits for its next try; rows only queue until then.
    if (Behind() && MonotonicSeconds() < fNextTry)
        return false;
    if (!CatchUp())
        return false;
    return SyncIfDue();
}

TFileRange TExperimentJournal::LinesOfRows(int lastRow) const {
    TFileRange r;
    if (fHandle < 0 || Behind() || fFirstRowOffset < 0 || lastRow != fLastRow)
        return r;
    r.Path = fPath;
    r.Offset = fFirstRowOffset;
    r.Length = fWritten - fFirstRowOffset;
    return r;
}

bool TExperimentJournal::SyncIfDue() {
    if (Behind()) {
        if (MonotonicSeconds() < fNextTry || !CatchUp())
            return false;
    }
    if (!fDirty || MonotonicSeconds() - fLastSync < 1)
        return true;
    return Sync();
}

bool TExperimentJournal::Sync() {
    if (fHandle < 0)
        return false;
    fLastSync = MonotonicSeconds();
    fDirty = false;
    if (!SystemFile::Sync(fHandle, true)) {
        const int error = errno;
        fDirty = true; // the next sync tries again
        fError = QStringLiteral("The journal %1 can't be synced to the disk: %2")
                     .arg(QDir::toNativeSeparators(fPath), SystemReason(error));
        return false;
    }
    return !Behind();
}

void TExperimentJournal::Finish(bool rowsSaved) {
    if (Behind() && !fPath.isEmpty())
        CatchUp(); // one last try, whenever the last one was
    if (fHandle >= 0)
        Sync();
    CloseHandle();
    fFinished = true;
    if (rowsSaved && !fMarker.isEmpty())
        QFile::remove(fMarker);
    fMarker.clear();
}

void TExperimentJournal::Close() {
    if (fHandle >= 0) {
        Sync();
        CloseHandle();
    }
}
