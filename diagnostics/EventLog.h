#pragma once
// The event log: one line for each thing an operator or a service technician wants to find the
// morning after (a fault starting and ending, an instrument set up again, a mode change, a step
// advance, a save, a validation), kept for the whole run and at least the last 30 days. Unlike the
// rolling diagnostic log it has no switches and no size limit per part: events are rare, so a day
// of them is small, and every one is written.
//
// File: "<logs folder>/Events_yyyy-MM-dd.log", one per day of local time, UTF-8, lines ending in LF:
//   2026-12-10 14:02:11.123<TAB>SMU<TAB>no reply since 14:02:09 (Reading SMU failed)
// Tabs and line breaks inside a source or text become blanks, so one event is always one line.
//
// Each event is a TEventRecord: the file gets its line, the run keeps the record (for the web
// monitor, which serialises the records themselves).
//
// Writing an event only formats it into memory; a flusher thread appends what has gathered to the
// file five times a second (and at once when the log is closed). A write that fails is reported
// once on standard error and retried at the next flush; the program is never stopped by it.
#include "diagnostics/EventRecord.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TEventLog {
public:
    // Opens the event log in `logsFolder` and deletes its files of days more than `keepDays`
    // before today (by the date in their names; no other file is touched).
    explicit TEventLog(const QString& logsFolder, int keepDays = 30);
    ~TEventLog();
    TEventLog(const TEventLog&) = delete;
    TEventLog& operator=(const TEventLog&) = delete;

    // Thread-safe and never throws; returns after formatting the line into memory.
    void Write(const QString& source, const QString& text) noexcept;
    // Appends what has gathered to the files now; false when a write failed.
    bool Flush();

    // The events written in this run, from the one numbered `since` (0: the first of the run) on.
    // Only the last kMaxLinesKept are kept; earlier ones are no longer returned.
    std::vector<TEventRecord> RecordsOfThisRun(qsizetype since = 0) const;
    // The same events as the lines of the file.
    QStringList LinesOfThisRun(qsizetype since = 0) const;
    // How many lines were written in this run; the `since` to pass to see only newer lines.
    qsizetype LineCount() const;

    QString Folder() const { return fFolder; }
    // "Events_2026-12-10.log"
    static QString FileNameOf(const QDate& day);
    static constexpr qsizetype kMaxLinesKept = 100000;

private:
    struct TChunk {
        std::string day; // yyyy-MM-dd
        std::string text;
    };
    // Dates the record now; the offset from UTC is looked up once a second.
    void Stamp(TEventRecord& record);
    void DeleteOldFiles(int keepDays);
    void TrimPending();
    void FlushLoop();
    bool WriteChunks(std::vector<TChunk>& chunks);

    const QString fFolder;

    mutable std::mutex fMutex; // guards everything below down to fOffsetS
    std::vector<TChunk> fPending;
    std::size_t fPendingBytes = 0;
    bool fWriteFailing = false; // the last flush failed: waiting text is limited
    std::deque<TEventRecord> fRecords;
    qsizetype fFirstLine = 0;        // number of the event at the front of fRecords
    std::int64_t fOffsetSecond = -1; // the UTC second fOffsetS is for
    std::int32_t fOffsetS = 0;

    std::mutex fFileMutex; // one flush at a time
    bool fFailureReported = false;

    std::mutex fWakeMutex;
    std::condition_variable fWake;
    bool fStop = false;
    std::thread fFlusher;
};

// The event log of the process: the window installs one at start and uninstalls it (nullptr) when
// it is destroyed; the last owner to let go flushes and closes it.
void InstallEventLog(std::shared_ptr<TEventLog> log);
// Writes an event to the installed log; does nothing when none is installed. Thread-safe, never
// throws, and costs a few microseconds (no file access on the caller's thread).
void LogEvent(const QString& source, const QString& text);
// The installed log's events of this run (empty without one); see TEventLog::RecordsOfThisRun.
std::vector<TEventRecord> EventLogRecordsOfThisRun(qsizetype since = 0);
// The same as lines; see TEventLog::LinesOfThisRun.
QStringList EventLogLinesOfThisRun(qsizetype since = 0);
