#include "recording/JournalWriter.h"

#include "common/AtomicFile.h"
#include "common/Clock.h"
#include "recording/ExperimentJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>

#include <fcntl.h>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using TSteady = std::chrono::steady_clock;

// How long the writer gathers rows after the first one wakes it (at one row a second, a row
// reaches the file this much later; a killed process loses at most what came within it).
constexpr std::chrono::milliseconds kGather{1};

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

// The journal's file and marker, used by the writer's thread alone.
class TJournalFile {
public:
    TJournalFile(const QString& userdata, const QString& path, const QString& experiment)
        : fUserdata(userdata), fPath(path), fExperiment(experiment) {}

    // Bytes or the marker not written yet.
    bool Behind() const { return !fPending.isEmpty() || !fMarkerWritten; }

    // Takes the bytes handed over (under the lock: a swap, never a copy), then puts them after
    // what is pending (outside it).
    void Take(QByteArray& incoming) { fTaken.swap(incoming); }
    void Queue() {
        if (fPending.isEmpty())
            fPending.swap(fTaken); // the common case: no copy, and the buffers keep their room
        else
            fPending.append(fTaken);
        fTaken.resize(0);
    }

    // One round of the writer, at monotonic time `now` (s).
    void Round(double now, bool syncNow, bool ending, bool lastTry) {
        // A journal behind waits for its next try (one a second after the last); the last round
        // tries whenever the last try was.
        if (Behind() && (lastTry || now >= fNextTry))
            CatchUp(now);
        if (fHandle >= 0) {
            if (syncNow || ending)
                Sync(now);
            else if (!Behind() && fDirty && now - fLastSync >= 1)
                Sync(now);
        }
        if (ending && fHandle >= 0) {
            SystemFile::Close(fHandle);
            fHandle = -1;
        }
    }

    void RemoveMarker() {
        if (fMarkerWritten)
            QFile::remove(TExperimentJournal::MarkerPath(fUserdata));
    }

    void Publish(TJournalWriterState& s) const {
        s.Failing = Behind();
        s.SyncFailed = fSyncFailed;
        s.Error = fError;
        s.Written = fWritten;
    }

private:
    bool Fail(double now, const QString& error) {
        fError = error;
        fNextTry = now + 1;
        return false;
    }

    // Writes what is pending, the marker first; false with the error when anything is left.
    bool CatchUp(double now) {
        const QFileInfo info(fPath);
        if (!fMarkerWritten) {
            errno = 0;
            if (!QDir().mkpath(info.absolutePath())) {
                const int error = errno ? errno : QFileInfo(info.absolutePath()).exists() ? EEXIST : EACCES;
                return Fail(now,
                            QStringLiteral("The folder %1 can't be made: %2")
                                .arg(QDir::toNativeSeparators(info.absolutePath()), SystemReason(error)));
            }
            // The marker names the journal (relative to Userdata) and the experiment it belongs to.
            const QString relative = QDir(fUserdata).relativeFilePath(info.absoluteFilePath());
            const TWriteResult marker = TAtomicFile::WriteWhole(
                TExperimentJournal::MarkerPath(fUserdata), (relative + u'\n' + fExperiment + u'\n').toUtf8());
            if (!marker.Ok)
                return Fail(now, QStringLiteral("The journal marker %1 can't be written: %2")
                                     .arg(QDir::toNativeSeparators(marker.Path), marker.Reason));
            fMarkerWritten = true;
        }
        if (fHandle < 0) {
            fHandle = OpenForAppend(fPath);
            if (fHandle < 0)
                return FailOnFile(now, QStringLiteral("The journal can't be opened:"), errno);
        }
        // Whatever a failed write took stays in the file; the rest follows it, so the file is the
        // same as if nothing had failed.
        qsizetype done = 0;
        while (done < fPending.size()) {
            const qint64 n =
                SystemFile::WriteSome(fHandle, fPending.constData() + done, fPending.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : ENOSPC;
                fPending.remove(0, done);
                fWritten += done;
                fDirty = fDirty || done > 0;
                return FailOnFile(now, QStringLiteral("The journal can't be written:"), error);
            }
            done += qsizetype(n);
        }
        fWritten += done;
        fDirty = fDirty || done > 0;
        fPending.resize(0);
        if (fPending.capacity() > (1 << 20))
            fPending.squeeze(); // the room a long catch-up took is given back
        fError.clear();
        return true;
    }

    bool FailOnFile(double now, const QString& what, int error) {
        return Fail(
            now, QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(fPath), SystemReason(error)));
    }

    void Sync(double now) {
        fLastSync = now;
        fDirty = false;
        fSyncFailed = !SystemFile::Sync(fHandle, true);
        if (fSyncFailed) {
            const int error = errno;
            fDirty = true; // the next sync tries again
            // A write's failure is what the operator is told about; a sync's does not replace it.
            if (!Behind())
                fError = QStringLiteral("The journal %1 can't be synced to the disk: %2")
                             .arg(QDir::toNativeSeparators(fPath), SystemReason(error));
        }
    }

    const QString fUserdata;
    const QString fPath;
    const QString fExperiment;
    int fHandle = -1;
    bool fMarkerWritten = false;
    QByteArray fPending; // bytes handed over but not yet in the file, oldest first
    QByteArray fTaken;   // bytes just taken from the hand-over
    QString fError;
    double fNextTry = 0; // MonotonicSeconds() from which a journal behind tries again
    qint64 fWritten = 0; // bytes in the file
    bool fDirty = false;
    bool fSyncFailed = false;
    double fLastSync = -1e18;
};

} // namespace

// Everything the thread and the journal share; the thread holds it too, so a thread left behind
// in a round that does not return uses nothing of the journal that owned it.
struct TJournalWriter::TShared {
    TShared(const QString& userdata, const QString& path, const QString& experiment, double stuck)
        : File(userdata, path, experiment), StuckAfter(std::chrono::duration<double>(stuck)) {}

    mutable std::mutex Mutex;
    std::condition_variable Wake;         // the thread: something was asked
    mutable std::condition_variable Done; // waiters: a round finished
    // Guarded by Mutex:
    QByteArray Incoming; // bytes handed over, not yet taken by the thread
    quint64 Asked = 0;   // requests made so far (rows, syncs, the end)
    quint64 Handled = 0; // requests the finished rounds took
    bool SyncNow = false;
    bool Ending = false; // the end was asked: nothing more is taken
    TEnd EndHow = TEnd::Close;
    bool Waiting = false; // the thread sleeps until it is woken
    bool Busy = false;    // a round runs (outside the lock)
    TSteady::time_point BusySince;
    TJournalWriterState Published;
    // Read without the lock (the journal asks at every row whether it is behind):
    std::atomic<bool> FailingNow{false};
    std::atomic<std::int64_t> BusySinceNs{0}; // the steady clock at the start of the round; 0 between
    // The thread's own:
    TJournalFile File;
    const std::chrono::duration<double> StuckAfter;

    void Run() {
        std::unique_lock<std::mutex> lock(Mutex);
        for (;;) {
            Waiting = true;
            Wake.wait(lock, [this] { return Asked != Handled; });
            Waiting = false;
            if (!SyncNow && !Ending) {
                // Rows that come close together go out in one write: a burst of rows costs one
                // wake-up and one system call, not one of each per row.
                lock.unlock();
                std::this_thread::sleep_for(kGather);
                lock.lock();
            }
            const quint64 taken = Asked;
            File.Take(Incoming);
            const bool syncNow = std::exchange(SyncNow, false);
            const bool ending = Ending;
            const TEnd how = EndHow;
            Busy = true;
            BusySince = TSteady::now();
            BusySinceNs.store(std::chrono::nanoseconds(BusySince.time_since_epoch()).count(),
                              std::memory_order_release);
            lock.unlock();

            File.Queue();
            const bool finish = ending && how != TEnd::Close;
            File.Round(MonotonicSeconds(), syncNow, ending, finish);
            if (ending && how == TEnd::FinishRemovingMarker)
                File.RemoveMarker();

            lock.lock();
            Busy = false;
            BusySinceNs.store(0, std::memory_order_release);
            File.Publish(Published);
            FailingNow.store(Published.Failing, std::memory_order_release);
            Handled = taken;
            Published.Ended = ending;
            Done.notify_all();
            if (ending)
                return;
        }
    }
};

TJournalWriter::TJournalWriter(const QString& userdataFolder, const QString& path,
                               const QString& experimentName, double stuckSeconds)
    : fShared(std::make_shared<TShared>(userdataFolder, path, experimentName, stuckSeconds)) {
    fThread = std::thread([shared = fShared] { shared->Run(); });
}

TJournalWriter::~TJournalWriter() {
    End(TEnd::Close); // nothing when the end was asked already
    bool ended = false;
    {
        std::lock_guard<std::mutex> lock(fShared->Mutex);
        ended = fShared->Published.Ended;
    }
    if (ended)
        fThread.join();
    else
        fThread.detach(); // it ends when the disk answers, or with the process
}

void TJournalWriter::Ask(const QByteArray* bytes, bool syncNow, TEnd* end, bool mayWait) {
    if (bytes)
        fHeld.append(*bytes);
    // Rows and the tick's question never wait for the lock: while the thread holds it (a moment,
    // but a thread that loses its core there holds it until it gets one again) they are kept here
    // and go with the next hand-over. A sync, the end and a wait take the lock whatever it costs.
    mayWait = mayWait || syncNow || end;
    std::unique_lock<std::mutex> lock(fShared->Mutex, std::defer_lock);
    if (mayWait)
        lock.lock();
    else if (!lock.try_lock())
        return;
    if (fShared->Ending) {
        fHeld.resize(0);
        return;
    }
    if (!fHeld.isEmpty()) {
        if (fShared->Incoming.isEmpty())
            fShared->Incoming.swap(fHeld); // no copy; both buffers keep their room
        else
            fShared->Incoming.append(fHeld);
        fHeld.resize(0);
    }
    fShared->SyncNow = fShared->SyncNow || syncNow;
    if (end) {
        fShared->Ending = true;
        fShared->EndHow = *end;
    }
    ++fShared->Asked;
    const bool wake = fShared->Waiting;
    lock.unlock();
    // A thread in a round finds the request when the round ends; only a sleeping one needs waking.
    if (wake)
        fShared->Wake.notify_one();
}

void TJournalWriter::Add(const QByteArray& bytes) {
    Ask(&bytes, false, nullptr);
}

void TJournalWriter::SyncIfDue() {
    Ask(nullptr, false, nullptr);
}

void TJournalWriter::SyncNow() {
    Ask(nullptr, true, nullptr);
}

void TJournalWriter::End(TEnd how) {
    Ask(nullptr, false, &how);
}

bool TJournalWriter::Wait(int ms) {
    if (!fHeld.isEmpty())
        Ask(nullptr, false, nullptr, true); // bytes kept back from a taken lock were asked for too
    std::unique_lock<std::mutex> lock(fShared->Mutex);
    const quint64 target = fShared->Asked;
    return fShared->Done.wait_for(lock, std::chrono::milliseconds(ms),
                                  [&] { return fShared->Handled >= target; });
}

bool TJournalWriter::Behind() const {
    if (fShared->FailingNow.load(std::memory_order_acquire))
        return true;
    const std::int64_t since = fShared->BusySinceNs.load(std::memory_order_acquire);
    return since != 0 &&
           TSteady::now().time_since_epoch() - std::chrono::nanoseconds(since) > fShared->StuckAfter;
}

TJournalWriterState TJournalWriter::State() const {
    std::lock_guard<std::mutex> lock(fShared->Mutex);
    TJournalWriterState s = fShared->Published;
    if (fShared->Busy) {
        const std::chrono::duration<double> busy = TSteady::now() - fShared->BusySince;
        s.BusySeconds = busy.count();
        s.Stuck = busy > fShared->StuckAfter;
    }
    return s;
}
