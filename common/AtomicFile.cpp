#include "common/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#ifdef Q_OS_WIN
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

int OpenNew(const QString& path) {
#ifdef Q_OS_WIN
    return _wopen(reinterpret_cast<const wchar_t*>(path.utf16()), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                  _S_IREAD | _S_IWRITE);
#else
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
#endif
}

void RemoveFile(const QString& path) {
#ifdef Q_OS_WIN
    _wunlink(reinterpret_cast<const wchar_t*>(path.utf16()));
#else
    ::unlink(QFile::encodeName(path).constData());
#endif
}

// Replaces `to` by `from`; errno (or the Windows error) on failure.
bool Replace(const QString& from, const QString& to, int& error) {
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t*>(from.utf16()),
                    reinterpret_cast<const wchar_t*>(to.utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    error = EIO;
    return false;
#else
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    error = errno;
    return false;
#endif
}

// The folder's entry of the renamed file reaches the disk too (best effort: not every file
// system can sync a folder).
void SyncFolderOf(const QString& path) {
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path);
#endif
}

} // namespace

qint64 SystemFile::WriteSome(int handle, const char* data, qint64 size) {
#ifdef Q_OS_WIN
    return _write(handle, data, unsigned(std::min<qint64>(size, 1 << 30)));
#else
    return ::write(handle, data, size_t(size));
#endif
}

bool SystemFile::Sync(int handle, bool dataOnly) {
    if (handle < 0)
        return false;
#ifdef Q_OS_WIN
    Q_UNUSED(dataOnly);
    return _commit(handle) == 0;
#elif defined(Q_OS_MACOS)
    Q_UNUSED(dataOnly);
    return ::fsync(handle) == 0;
#else
    return (dataOnly ? ::fdatasync(handle) : ::fsync(handle)) == 0;
#endif
}

int SystemFile::Close(int handle) {
#ifdef Q_OS_WIN
    return _close(handle);
#else
    return ::close(handle);
#endif
}

QString SystemReason(int error) {
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("unknown error");
}

QString TWriteResult::Describe() const {
    return QDir::toNativeSeparators(Path) + QStringLiteral(": ") + Reason;
}

TWriteResult TWriteResult::Failure(const QString& path, const QString& reason) {
    TWriteResult r;
    r.Ok = false;
    r.Path = path;
    r.Reason = reason.isEmpty() ? SystemReason(0) : reason;
    return r;
}

TWriteResult TWriteResult::Failure(const QString& path, int error) {
    return Failure(path, SystemReason(error));
}

TAtomicFile::TAtomicFile(const QString& path) : fPath(path) {
    fResult.Path = path;
}

TAtomicFile::~TAtomicFile() {
    Discard();
}

bool TAtomicFile::Fail(int error) {
    if (fResult.Ok)
        fResult = TWriteResult::Failure(fPath, error);
    return false;
}

bool TAtomicFile::Open() {
    Discard();
    fResult = TWriteResult();
    fResult.Path = fPath;
    // A name of our own beside the target, so the rename stays within one file system.
    for (int attempt = 0; attempt < 16; ++attempt) {
        fTemporary = fPath + QStringLiteral(".~") +
                     QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".tmp");
        fHandle = OpenNew(fTemporary);
        if (fHandle >= 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    fTemporary.clear();
    return Fail(error);
}

bool TAtomicFile::Write(const char* data, qint64 size) {
    if (!fResult.Ok)
        return false;
    if (fHandle < 0)
        return Fail(EBADF);
    while (size > 0) {
        const qint64 n = SystemFile::WriteSome(fHandle, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(errno);
        }
        if (n == 0)
            return Fail(ENOSPC); // a write that takes nothing will take nothing next time either
        data += n;
        size -= n;
    }
    return true;
}

TWriteResult TAtomicFile::Commit() {
    if (fResult.Ok && fHandle < 0)
        Fail(EBADF);
    if (fResult.Ok && !SystemFile::Sync(fHandle, false))
        Fail(errno);
    if (fHandle >= 0) {
        const int closed = SystemFile::Close(fHandle);
        const int error = errno;
        fHandle = -1;
        if (closed != 0)
            Fail(error);
    }
    int error = 0;
    if (fResult.Ok && !Replace(fTemporary, fPath, error))
        Fail(error);
    if (!fResult.Ok) {
        Discard();
        return fResult;
    }
    fTemporary.clear();
    SyncFolderOf(fPath);
    return fResult;
}

void TAtomicFile::Discard() {
    if (fHandle >= 0) {
        SystemFile::Close(fHandle);
        fHandle = -1;
    }
    if (!fTemporary.isEmpty()) {
        RemoveFile(fTemporary);
        fTemporary.clear();
    }
}

TWriteResult TAtomicFile::WriteWhole(const QString& path, const QByteArray& bytes) {
    TAtomicFile f(path);
    if (!f.Open())
        return f.Result();
    f.Write(bytes);
    return f.Commit();
}
