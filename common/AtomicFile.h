#pragma once
// A file written whole or not at all, that says truthfully whether it was: the bytes go into a
// temporary file beside the target, every write is checked, and only a commit that synced the
// bytes to the disk renames it over the target. A failure names the file and the system's reason
// ("No space left on device"), never an empty or "Unknown error" one.
#include <QByteArray>
#include <QString>

// The outcome of a write: the file and, when it failed, why.
struct TWriteResult {
    bool Ok = true;
    QString Path;   // the file written, or the one that was to be written
    QString Reason; // the system's reason for the failure; empty when Ok

    // "<path>: <reason>" with the platform's separators, for messages.
    QString Describe() const;
    static TWriteResult Failure(const QString& path, const QString& reason);
    static TWriteResult Failure(const QString& path, int error);
};

// The system's text for an errno value; "unknown error" only when there is none.
QString SystemReason(int error);

// The C runtime's file calls, the same on every platform: errno says why one failed.
namespace SystemFile {
// One write call: the bytes taken, or -1.
qint64 WriteSome(int handle, const char* data, qint64 size);
// To the disk: the data only (enough for a file appended to), or the data and the file's entry.
bool Sync(int handle, bool dataOnly);
int Close(int handle);
} // namespace SystemFile

class TAtomicFile {
public:
    explicit TAtomicFile(const QString& path);
    ~TAtomicFile(); // a file not committed is discarded
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Creates the temporary file; false with Result() when it can't be made.
    bool Open();
    // Hands the bytes to the operating system; false once anything failed (later writes do nothing).
    bool Write(const char* data, qint64 size);
    bool Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }
    // Syncs, closes and renames the file over the target. The first failure of the whole write is
    // what the result says; a failed file leaves the target as it was.
    TWriteResult Commit();
    // Drops the temporary file; the target stays as it was.
    void Discard();
    // The first failure so far, or Ok.
    const TWriteResult& Result() const { return fResult; }

    // Open, Write and Commit of one piece of bytes.
    static TWriteResult WriteWhole(const QString& path, const QByteArray& bytes);

private:
    bool Fail(int error);

    QString fPath;
    QString fTemporary;
    int fHandle = -1;
    TWriteResult fResult;
};
