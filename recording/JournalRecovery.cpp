#include "recording/JournalRecovery.h"

#include "common/AtomicFile.h"
#include "common/Clock.h"
#include "recording/ExperimentFile.h"
#include "recording/ExperimentJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
using TStat = struct _stat64;
int StatOf(const QString& path, TStat& st) {
    return _wstat64(reinterpret_cast<const wchar_t*>(path.utf16()), &st);
}
int OpenForReading(const QString& path) {
    return _wopen(reinterpret_cast<const wchar_t*>(path.utf16()), _O_RDONLY | _O_BINARY);
}
int StatOf(int fd, TStat& st) {
    return _fstat64(fd, &st);
}
qint64 ReadSome(int fd, char* to, qint64 size) {
    return _read(fd, to, unsigned(size));
}
int CloseFd(int fd) {
    return _close(fd);
}
bool IsLink(const TStat&) {
    return false;
}
#else
using TStat = struct stat;
// The entry itself: a symbolic link is seen as one, not followed.
int StatOf(const QString& path, TStat& st) {
    return ::lstat(QFile::encodeName(path).constData(), &st);
}
// Never follows a link, never waits on a FIFO or a device.
int OpenForReading(const QString& path) {
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}
int StatOf(int fd, TStat& st) {
    return ::fstat(fd, &st);
}
qint64 ReadSome(int fd, char* to, qint64 size) {
    return ::read(fd, to, size_t(size));
}
int CloseFd(int fd) {
    return ::close(fd);
}
bool IsLink(const TStat& st) {
    return S_ISLNK(st.st_mode);
}
#endif

bool IsRegular(const TStat& st) {
    return (st.st_mode & S_IFMT) == S_IFREG;
}
bool IsFolder(const TStat& st) {
    return (st.st_mode & S_IFMT) == S_IFDIR;
}

// An open file descriptor, closed with its owner.
struct TFd {
    int fd = -1;
    ~TFd() {
        if (fd >= 0)
            CloseFd(fd);
    }
};

// A path or a name from a file, cut to a length a message can carry.
QString Shown(const QString& text) {
    constexpr qsizetype kMax = 200;
    QString t = text.left(kMax);
    for (QChar& c : t)
        if (c.category() == QChar::Other_Control)
            c = u'?';
    return text.size() > kMax ? t + QStringLiteral("…") : t;
}

// Reads a file line by line through one buffer: a line longer than kMaxJournalLine is passed over
// whole and reported as too long, and never more than kMaxJournalBytes are read.
class TLineReader {
public:
    explicit TLineReader(int fd) : fFd(fd) { fBuffer.resize(kChunk + kMaxJournalLine); }

    // The next line, with its line end; false at the end (or a read error: Error()). `complete` is
    // false for a last line without a line end.
    bool Next(const char*& line, qsizetype& length, bool& tooLong, bool& complete) {
        tooLong = false;
        complete = true;
        for (;;) {
            const char* begin = fBuffer.constData() + fStart;
            const void* nl = std::memchr(begin, '\n', size_t(fEnd - fStart));
            if (nl) {
                const qsizetype end = static_cast<const char*>(nl) - fBuffer.constData() + 1;
                line = begin;
                length = end - fStart;
                fStart = end;
                if (tooLong)
                    length = 0;
                return true;
            }
            if (fEnd - fStart >= kMaxJournalLine) {
                tooLong = true; // drop what there is and read on to the line's end
                fStart = fEnd = 0;
            }
            if (fStart > 0) {
                std::memmove(fBuffer.data(), fBuffer.constData() + fStart, size_t(fEnd - fStart));
                fEnd -= fStart;
                fStart = 0;
            }
            const qint64 want = std::min<qint64>(fBuffer.size() - fEnd, kMaxJournalBytes - fRead);
            qint64 got = want > 0 ? ReadSome(fFd, fBuffer.data() + fEnd, want) : 0;
            while (got < 0 && errno == EINTR)
                got = ReadSome(fFd, fBuffer.data() + fEnd, want);
            if (got < 0) {
                fError = errno;
                return false;
            }
            if (got == 0) {
                if (fEnd == fStart && !tooLong)
                    return false;
                line = fBuffer.constData() + fStart;
                length = tooLong ? 0 : fEnd - fStart;
                complete = false;
                fStart = fEnd = 0;
                return true;
            }
            fRead += got;
            fEnd += qsizetype(got);
        }
    }
    int Error() const { return fError; }

private:
    static constexpr qsizetype kChunk = 1 << 20;
    int fFd;
    QByteArray fBuffer;
    qsizetype fStart = 0, fEnd = 0;
    qint64 fRead = 0;
    int fError = 0;
};

// What a byte of a data line is: a digit, sign, separator or exponent; a letter of the flag
// words; the cell separator; or none of these.
enum : unsigned char { kNone, kDigit, kLetter, kSeparator };
const std::array<unsigned char, 256>& CellBytes() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (const char c : QByteArrayView("0123456789+-.,:_Ee"))
            t[(unsigned char)c] = kDigit;
        for (const char c : QByteArrayView("TrueMaxINFnfa"))
            if (!t[(unsigned char)c])
                t[(unsigned char)c] = kLetter;
        t[(unsigned char)';'] = kSeparator;
        return t;
    }();
    return table;
}

bool IsFlagWord(const char* p, qsizetype n) {
    // Compared as whole words: a row holds several flags, and a million rows are read at a start.
    const auto word = [](const char* w, qsizetype size) {
        quint32 v = 0;
        std::memcpy(&v, w, size_t(size));
        return v;
    };
    if (n != 3 && n != 4)
        return false;
    const quint32 v = word(p, n);
    static const quint32 kThree[] = {word("INF", 3), word("inf", 3), word("NAN", 3), word("NaN", 3),
                                     word("nan", 3)};
    static const quint32 kFour[] = {word("True", 4), word("MaxI", 4), word("-INF", 4), word("+INF", 4),
                                    word("-inf", 4)};
    for (const quint32 w : n == 3 ? kThree : kFour)
        if (v == w)
            return true;
    return false;
}

// Whether `line` (without its CR LF) is a data or mode-change line of a journal whose caption line
// has `fields` columns: that many cells, the first not empty, each a number, a date-time or a flag.
bool IsDataLine(const char* line, qsizetype length, int fields) {
    if (length == 0 || line[0] == ';')
        return false;
    const std::array<unsigned char, 256>& bytes = CellBytes();
    int cells = 1;
    qsizetype cellStart = 0;
    bool letters = false;
    for (qsizetype i = 0; i < length; ++i) {
        const unsigned char kind = bytes[(unsigned char)line[i]];
        if (kind == kDigit) // nearly every byte: the loop stays short for them
            continue;
        if (kind == kNone)
            return false;
        if (kind == kLetter) {
            letters = true;
            continue;
        }
        if (letters && !IsFlagWord(line + cellStart, i - cellStart))
            return false;
        if (++cells > fields)
            return false;
        cellStart = i + 1;
        letters = false;
    }
    if (letters && !IsFlagWord(line + cellStart, length - cellStart))
        return false;
    return cells == fields;
}

bool StartsWith(const char* line, qsizetype length, const char* text) {
    const qsizetype n = qsizetype(std::strlen(text));
    return length >= n && std::memcmp(line, text, size_t(n)) == 0;
}

// What a pass over a journal found.
struct TScan {
    bool IsJournal = false; // a head of this program's layout with its caption line
    qint64 Rows = 0;
    qint64 Skipped = 0;
    bool Whole = false; // every line after the caption is a row, the last one ended
    // Every line after the caption is a row but the last, which a crash cut: the journal up to
    // RowsEnd is whole.
    bool WholeButACutLine = false;
    qint64 RowsEnd = 0;
    int ReadError = 0;
};

// One pass over the journal: checks its head and each line after the caption line; with `out`,
// writes the head and the rows into it.
TScan ScanJournal(int fd, TAtomicFile* out) {
    constexpr qsizetype kMaxHead = 1 << 20;
    TScan scan;
    TLineReader reader(fd);
    QByteArray pending; // bytes for `out`, written in pieces of about a megabyte
    const auto flush = [&](qsizetype atLeast) {
        if (out && pending.size() >= atLeast) {
            out->Write(pending);
            pending.resize(0);
        }
    };
    enum { Header, Head, Blank, Caption, Rows } part = Header;
    qsizetype headBytes = 0;
    int fields = 0;
    bool lastEnded = true;
    const char* line = nullptr;
    qsizetype length = 0;
    bool tooLong = false, complete = true;
    qint64 offset = 0, lineStart = 0;
    bool lastHadEnd = true;
    while (reader.Next(line, length, tooLong, complete)) {
        lastEnded = complete && !tooLong;
        lastHadEnd = complete;
        lineStart = offset;
        offset += tooLong ? 0 : length; // only needed up to a line that is not too long
        const bool crlf = complete && length >= 2 && line[length - 2] == '\r';
        const qsizetype text = crlf ? length - 2 : length;
        if (part != Rows) {
            headBytes += length;
            if (tooLong || !crlf || headBytes > kMaxHead)
                return scan; // no head of this program's
            switch (part) {
            case Header:
                if (!StartsWith(line, text, "** HEADER "))
                    return scan;
                part = Head;
                break;
            case Head:
                if (StartsWith(line, text, "** DATA "))
                    part = Blank;
                break;
            case Blank:
                if (text != 0)
                    return scan;
                part = Caption;
                break;
            case Caption:
                fields = 1 + int(QByteArrayView(line, text).count(';'));
                if (fields < 2)
                    return scan;
                part = Rows;
                scan.IsJournal = true;
                break;
            case Rows:
                break;
            }
            if (out)
                pending.append(line, length);
            continue;
        }
        if (crlf && IsDataLine(line, text, fields)) {
            ++scan.Rows;
            if (out) {
                pending.append(line, length);
                flush(1 << 20);
            }
        } else {
            ++scan.Skipped;
        }
    }
    scan.ReadError = reader.Error();
    scan.Whole = scan.IsJournal && scan.Skipped == 0 && lastEnded && scan.ReadError == 0;
    scan.WholeButACutLine = scan.IsJournal && scan.Skipped == 1 && !lastHadEnd && scan.ReadError == 0;
    scan.RowsEnd = lineStart;
    flush(1);
    return scan;
}

// Why `relative` (the marker's first line) is no journal in a day folder of Userdata; empty when it
// is one.
QString PathProblem(const QString& relative) {
    static const QRegularExpression kDay(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    if (relative.isEmpty())
        return QStringLiteral("it names no journal");
    if (QDir::isAbsolutePath(relative) || relative.startsWith(u'/') || relative.startsWith(u'\\') ||
        relative.contains(u':'))
        return QStringLiteral("it names a path outside Userdata");
    if (relative.contains(u'\\') || relative.contains(QChar(0)))
        return QStringLiteral("it names no file of a day folder");
    const QStringList parts = relative.split(u'/');
    for (const QString& p : parts)
        if (p == QStringLiteral(".."))
            return QStringLiteral("it names a path outside Userdata");
    if (parts.size() != 2 || !kDay.match(parts[0]).hasMatch() || parts[1].startsWith(u'.') ||
        !parts[1].endsWith(QStringLiteral(".journal.csv")))
        return QStringLiteral("it names no journal file of a day folder");
    return QString();
}

// Moves a refused marker aside, so the next start does not try it again.
QString SetAside(const QString& markerPath) {
    const QString stem =
        markerPath + QStringLiteral(".refused-") + FormatDateTime(QStringLiteral("yyyymmdd-hhmmss"), Now());
    QString target = stem;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = stem + u'-' + QString::number(n);
#ifdef Q_OS_WIN
    if (QFile::rename(markerPath, target) || QDir().rename(markerPath, target))
        return target;
#else
    if (::rename(QFile::encodeName(markerPath).constData(), QFile::encodeName(target).constData()) == 0)
        return target;
#endif
    return QString();
}

// Reads the small marker file; false with `problem` when it is no marker.
bool ReadMarker(const QString& path, QByteArray& bytes, QString& problem) {
    constexpr qint64 kMaxMarker = 8192;
    TStat st{};
    if (StatOf(path, st) != 0 || !IsRegular(st)) {
        problem = QStringLiteral("it is no regular file");
        return false;
    }
    TFd f;
    f.fd = OpenForReading(path);
    if (f.fd < 0 || StatOf(f.fd, st) != 0 || !IsRegular(st)) {
        problem = f.fd < 0 ? SystemReason(errno) : QStringLiteral("it is no regular file");
        return false;
    }
    if (qint64(st.st_size) > kMaxMarker) {
        problem = QStringLiteral("it is too large for a marker");
        return false;
    }
    bytes.resize(qsizetype(kMaxMarker) + 1);
    qint64 got = 0, n = 0;
    while ((n = ReadSome(f.fd, bytes.data() + got, bytes.size() - got)) > 0)
        got += n;
    if (n < 0 || got > kMaxMarker) {
        problem = n < 0 ? SystemReason(errno) : QStringLiteral("it is too large for a marker");
        return false;
    }
    bytes.resize(qsizetype(got));
    return true;
}

} // namespace

QString TJournalRecovery::Message() const {
    if (Refused)
        return QStringLiteral(
                   "The last run ended without closing, but its journal could not be recovered: the "
                   "marker %1 was refused (%2)%3.")
            .arg(QDir::toNativeSeparators(MarkerPath), Error,
                 RefusedMarkerPath.isEmpty()
                     ? QString()
                     : QStringLiteral("; it was renamed to ") + QDir::toNativeSeparators(RefusedMarkerPath));
    const QString when = FormatDateTime(QStringLiteral("yyyy-mm-dd hh:mm:ss"), LastWrite);
    if (!Recovered)
        return QStringLiteral("The last run ended without closing (its last row at %1). Its journal %2 could "
                              "not be recovered: %3. The next start tries again. The pump may have been "
                              "driven from %1 until this start.")
            .arg(when, Shown(QDir::toNativeSeparators(JournalPath)), Error);
    QString text =
        QStringLiteral("The last run ended without closing (its last row at %1): %2 rows recovered into %3. "
                       "The pump may have been driven from %1 until this start.")
            .arg(when)
            .arg(Rows)
            .arg(QDir::toNativeSeparators(DataFilePath));
    if (Skipped == 1)
        text += QStringLiteral(" 1 line of the journal that was no data row was skipped.");
    else if (Skipped > 1)
        text += QStringLiteral(" %1 lines of the journal that were no data rows were skipped.").arg(Skipped);
    return text;
}

TJournalRecovery RecoverJournal(const QString& userdataFolder) {
    TJournalRecovery r;
    r.MarkerPath = TExperimentJournal::MarkerPath(userdataFolder);
    TStat st{};
    if (StatOf(r.MarkerPath, st) != 0)
        return r;
    r.Found = true;
    const auto refuse = [&](const QString& why) {
        r.Refused = true;
        r.Error = why;
        r.RefusedMarkerPath = SetAside(r.MarkerPath);
        return r;
    };

    QByteArray marker;
    QString problem;
    if (!ReadMarker(r.MarkerPath, marker, problem))
        return refuse(problem);
    const QList<QByteArray> lines = marker.split('\n');
    const QString relative = QString::fromUtf8(lines.value(0)).trimmed();
    QString name = QString::fromUtf8(lines.value(1));
    problem = PathProblem(relative);
    if (!problem.isEmpty())
        return refuse(problem + QStringLiteral(": ") + Shown(relative));
    r.JournalPath = QDir(userdataFolder).filePath(relative);

    // Neither the day folder nor the journal may be a link that leads elsewhere.
    const QString dayFolder = QFileInfo(r.JournalPath).absolutePath();
    if (StatOf(dayFolder, st) != 0 || IsLink(st) || !IsFolder(st))
        return refuse(QStringLiteral("%1 is no day folder of Userdata").arg(Shown(relative)));
    if (StatOf(r.JournalPath, st) != 0)
        return refuse(QStringLiteral("its journal %1 is not there").arg(Shown(relative)));
    if (IsLink(st) || !IsRegular(st))
        return refuse(QStringLiteral("its journal %1 is no regular file").arg(Shown(relative)));
    TFd journal;
    journal.fd = OpenForReading(r.JournalPath);
    if (journal.fd < 0)
        return refuse(
            QStringLiteral("its journal %1 can't be read: %2").arg(Shown(relative), SystemReason(errno)));
    if (StatOf(journal.fd, st) != 0 || !IsRegular(st))
        return refuse(QStringLiteral("its journal %1 is no regular file").arg(Shown(relative)));
    if (qint64(st.st_size) > kMaxJournalBytes)
        return refuse(QStringLiteral("its journal %1 is larger than %2 bytes")
                          .arg(Shown(relative))
                          .arg(kMaxJournalBytes));
    r.LastWrite = DateTimeFromQt(QFileInfo(r.JournalPath).lastModified());

    TScan scan = ScanJournal(journal.fd, nullptr);
    if (!scan.IsJournal)
        return refuse(QStringLiteral("%1 is no journal of this program").arg(Shown(relative)));
    if (scan.ReadError != 0) {
        r.Error = QStringLiteral("%1: %2").arg(Shown(QDir::toNativeSeparators(r.JournalPath)),
                                               SystemReason(scan.ReadError));
        return r; // the marker stays: the next start tries again
    }
    r.Rows = scan.Rows;
    r.Skipped = scan.Skipped;

    const QDir folder(dayFolder);
    if (name.endsWith(u'\r'))
        name.chop(1);
    if (!TExperimentFile::NameAllowed(name) || name.size() > 200 || Shown(name) != name)
        name = QStringLiteral("recovered");
    int number = 1;
    while (QFileInfo::exists(folder.filePath(TExperimentFile::FileName(name, number))) ||
           QFileInfo(folder.filePath(TExperimentFile::FileName(name, number))).isSymLink())
        ++number;
    r.DataFilePath = folder.filePath(TExperimentFile::FileName(name, number));

    bool written = false;
#ifndef Q_OS_WIN
    if (scan.WholeButACutLine) {
        // Only the last line, cut by the crash, is no row: the journal without it is whole. It is
        // cut off the very file that was checked, then renamed as any whole journal.
        TFd writable;
        writable.fd = ::open(QFile::encodeName(r.JournalPath).constData(),
                             O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        TStat again{};
        if (writable.fd >= 0 && StatOf(writable.fd, again) == 0 && again.st_ino == st.st_ino &&
            again.st_dev == st.st_dev && ::ftruncate(writable.fd, off_t(scan.RowsEnd)) == 0)
            scan.Whole = true;
    }
#endif
    if (scan.Whole) {
        // Every line is a row: the journal is the data file. Synced first (the run synced every
        // second, so little is left), then renamed within its folder.
#ifdef Q_OS_WIN
        written = _commit(journal.fd) == 0;
        CloseFd(journal.fd);
        journal.fd = -1;
        written = written && QFile::rename(r.JournalPath, r.DataFilePath);
#else
        written = ::fsync(journal.fd) == 0 && ::rename(QFile::encodeName(r.JournalPath).constData(),
                                                       QFile::encodeName(r.DataFilePath).constData()) == 0;
        if (written) {
            TFd dir;
            dir.fd = ::open(QFile::encodeName(dayFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dir.fd >= 0)
                ::fsync(dir.fd);
        }
#endif
    }
    if (!written) {
        // The rows only, streamed from the journal into the data file.
#ifdef Q_OS_WIN
        if (journal.fd < 0)
            journal.fd = OpenForReading(r.JournalPath);
        const bool rewound = journal.fd >= 0 && _lseeki64(journal.fd, 0, SEEK_SET) == 0;
#else
        const bool rewound = ::lseek(journal.fd, 0, SEEK_SET) == 0;
#endif
        TAtomicFile out(r.DataFilePath);
        if (!rewound) {
            r.Error = QStringLiteral("%1: %2").arg(Shown(QDir::toNativeSeparators(r.JournalPath)),
                                                   SystemReason(errno));
            return r;
        }
        if (out.Open()) {
            const TScan copied = ScanJournal(journal.fd, &out);
            if (copied.ReadError != 0 || copied.Rows != scan.Rows) {
                out.Discard();
                r.Error =
                    QStringLiteral("%1: %2").arg(Shown(QDir::toNativeSeparators(r.JournalPath)),
                                                 SystemReason(copied.ReadError ? copied.ReadError : EIO));
                return r;
            }
        }
        const TWriteResult result = out.Commit();
        if (!result.Ok) {
            r.Error = result.Describe();
            return r; // the marker stays: the next start tries again
        }
    }
    r.Recovered = true;
    QFile::remove(r.MarkerPath);
    return r;
}
