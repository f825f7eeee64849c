#pragma once
// The thread that writes a run's journal. Every file operation of a journal runs on it, never on
// the thread that builds the rows: the marker in Userdata, the journal's bytes, the sync to the
// disk (at most once a second), the retry after a failed write (at most once a second) with the
// catch-up of every byte the failure held back, and at an orderly end the marker's removal. A slow
// or stuck disk then holds this thread alone; the bytes handed to it wait in memory meanwhile.
//
// The writer acts only when it is asked (the bytes of each row, the tick's "sync if due", a save's
// "sync now", the end) and reads the monotonic clock then, so its once-a-second rules follow the
// program's clock. Handing a row over never waits for the writer: a row that finds the writer's
// lock taken goes with the next row or tick. One thread (the journal's owner) asks. What it found out (a
// failure and why, the bytes in the file) is read through State() from any thread.
#include <QByteArray>
#include <QString>

#include <memory>
#include <thread>

// What the writer knows after the last round it finished.
struct TJournalWriterState {
    // Bytes or the marker held back by a failure (a full disk, a folder that can't be made): the
    // writer tries again at most once a second.
    bool Failing = false;
    bool SyncFailed = false; // the last sync to the disk failed; the next one tries again
    QString Error;           // the last failure, with the file and the system's reason
    qint64 Written = 0;      // bytes in the journal's file
    // How long the round in progress has run (s); 0 between rounds. Longer than the stuck limit:
    // a write, a sync or an open that has not returned (a disk that does not answer).
    double BusySeconds = 0;
    bool Stuck = false;
    bool Ended = false; // the thread has finished its last round
};

class TJournalWriter {
public:
    // The journal at `path`, named by the marker of `userdataFolder` before its first byte goes
    // in; a round that runs longer than `stuckSeconds` is told as stuck. Starts the thread.
    TJournalWriter(const QString& userdataFolder, const QString& path, const QString& experimentName,
                   double stuckSeconds);
    // Asks for the end (Close) unless it was asked, and does not wait: the owner waits for the
    // last round first (End, then Wait). A thread still in its last round (a disk that does not
    // answer) is left to end on its own; it holds nothing of this object.
    ~TJournalWriter();
    TJournalWriter(const TJournalWriter&) = delete;
    TJournalWriter& operator=(const TJournalWriter&) = delete;

    // The bytes go after everything handed over before; the writer writes them at once, or at its
    // next try while it is failing. Syncs to the disk when a second has passed since the last sync.
    void Add(const QByteArray& bytes);
    // Syncs when bytes came since the last sync and a second has passed; a writer that is failing
    // tries again when a second has passed since its last try.
    void SyncIfDue();
    // Syncs to the disk now (after the catch-up, when one is due).
    void SyncNow();
    enum class TEnd {
        Finish,               // one last try at what is held back, synced, closed
        FinishRemovingMarker, // the same, then the marker is removed
        Close,                // synced and closed as it is; the marker stays
    };
    // The last round: after it the thread ends, and nothing more is taken.
    void End(TEnd how);

    // Waits until the writer has handled everything asked of it so far (written it, or failed and
    // waits for its next try); false when it has not within `ms` milliseconds.
    bool Wait(int ms);
    TJournalWriterState State() const;
    // Failing or stuck, as State() says it, read without taking the lock.
    bool Behind() const;

private:
    struct TShared;
    void Ask(const QByteArray* bytes, bool syncNow, TEnd* end, bool mayWait = false);

    std::shared_ptr<TShared> fShared;
    std::thread fThread;
    // Bytes of rows that found the lock taken: they go with the next hand-over (the owner's
    // thread only).
    QByteArray fHeld;
};
