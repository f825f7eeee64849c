#include "diagnostics/EventLog.h"

#include "common/Clock.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string_view>

namespace {
std::shared_ptr<TEventLog> gEventLog;
std::atomic<bool> gInstalled{false};

// What may wait in memory for a folder that cannot be written; beyond it the oldest waiting text
// goes (the lines of the run stay in memory for the monitor).
constexpr std::size_t kMaxPendingBytes = 4u << 20;
constexpr auto kFlushInterval = std::chrono::milliseconds(200);

// One event, one line: control characters (tabs and line breaks among them) become blanks.
void AppendOneLine(std::string& out, const QString& text) {
    const auto put = [&out](char c) { out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c; };
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        for (const QChar c : text)
            put(char(c.unicode()));
        return;
    }
    for (const char c : text.toUtf8())
        put(c);
}

void Warn(const std::string& text) {
    std::cerr << "ondrix: " << text << std::endl;
}
} // namespace

TEventLog::TEventLog(const QString& logsFolder, int keepDays) : fFolder(logsFolder) {
    QDir().mkpath(fFolder);
    DeleteOldFiles(keepDays);
    fFlusher = std::thread([this] { FlushLoop(); });
}

TEventLog::~TEventLog() {
    {
        std::lock_guard<std::mutex> lock(fWakeMutex);
        fStop = true;
    }
    fWake.notify_all();
    if (fFlusher.joinable())
        fFlusher.join();
    Flush();
}

QString TEventLog::FileNameOf(const QDate& day) {
    return QStringLiteral("Events_") + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

void TEventLog::DeleteOldFiles(int keepDays) {
    const QDate today = QtFromDateTime(Now()).date();
    static const QRegularExpression name(QStringLiteral("^Events_(\\d{4}-\\d{2}-\\d{2})\\.log$"));
    const QDir dir(fFolder);
    for (const QString& file : dir.entryList({QStringLiteral("Events_*.log")}, QDir::Files)) {
        const QRegularExpressionMatch m = name.match(file);
        if (!m.hasMatch())
            continue;
        const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (day.isValid() && day.daysTo(today) > keepDays)
            QFile::remove(dir.filePath(file));
    }
}

// The clock of a test, when fixed, is taken instead of the wall clock, with the offset its zone
// rules give.
void TEventLog::Stamp(TEventRecord& record) {
    if (Clock::IsFixed()) {
        const QDateTime local = QtFromDateTime(Now());
        record.LocalMs =
            QDate(1970, 1, 1).daysTo(local.date()) * 86400000LL + local.time().msecsSinceStartOfDay();
        record.UtcOffsetS = local.offsetFromUtc();
        return;
    }
    using namespace std::chrono;
    const std::int64_t ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::int64_t second = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    if (second != fOffsetSecond) {
        const std::time_t tt = std::time_t(second);
        std::tm local{};
        localtime_r(&tt, &local);
        fOffsetS = std::int32_t(local.tm_gmtoff);
        fOffsetSecond = second;
    }
    record.LocalMs = ms + std::int64_t(fOffsetS) * 1000; // local wall clock = UTC + offset
    record.UtcOffsetS = fOffsetS;
}

void TEventLog::Write(const QString& source, const QString& text) noexcept {
    try {
        // The record is made outside the lock but for its time, which is taken under it so that
        // the stamps of the file run in the order of its lines.
        TEventRecord record;
        AppendOneLine(record.Source, source);
        AppendOneLine(record.Text, text);

        std::lock_guard<std::mutex> lock(fMutex);
        Stamp(record);
        char stamp[TEventRecord::kStampLength];
        record.WriteStamp(stamp);
        const std::string_view day(stamp, 10);
        if (fPending.empty() || fPending.back().day != day)
            fPending.push_back({std::string(day), std::string()});
        std::string& chunk = fPending.back().text;
        const std::size_t before = chunk.size();
        chunk.append(stamp, sizeof stamp).append(1, '\t').append(record.Source);
        chunk.append(1, '\t').append(record.Text).append(1, '\n');
        fPendingBytes += chunk.size() - before;
        TrimPending();
        fRecords.push_back(std::move(record));
        if (qsizetype(fRecords.size()) > kMaxLinesKept) {
            fRecords.pop_front();
            ++fFirstLine;
        }
    } catch (...) {
        // Out of memory: the event is lost, the caller carries on.
    }
}

// While the folder cannot be written, the oldest waiting lines go once too much has gathered:
// down to three quarters of the limit at once, so a long outage costs one cut now and then.
// While writes succeed nothing is dropped, however fast events come.
void TEventLog::TrimPending() {
    if (!fWriteFailing || fPendingBytes <= kMaxPendingBytes)
        return;
    std::size_t excess = fPendingBytes - kMaxPendingBytes / 4 * 3;
    while (excess > 0 && !fPending.empty()) {
        std::string& oldest = fPending.front().text;
        if (oldest.size() <= excess) {
            excess -= oldest.size();
            fPendingBytes -= oldest.size();
            fPending.erase(fPending.begin());
            continue;
        }
        const std::size_t cut = oldest.find('\n', excess - 1);
        const std::size_t drop = cut == std::string::npos ? oldest.size() : cut + 1;
        oldest.erase(0, drop);
        fPendingBytes -= drop;
        excess = 0;
        if (oldest.empty())
            fPending.erase(fPending.begin());
    }
}

bool TEventLog::WriteChunks(std::vector<TChunk>& chunks) {
    while (!chunks.empty()) {
        const TChunk& c = chunks.front();
        const QString path = QDir(fFolder).filePath(
            FileNameOf(QDate::fromString(QString::fromStdString(c.day), QStringLiteral("yyyy-MM-dd"))));
        QFile f(path);
        // A folder removed while running is made again.
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append) &&
            !(QDir().mkpath(fFolder) && f.open(QIODevice::WriteOnly | QIODevice::Append)))
            return false;
        if (f.write(c.text.data(), qint64(c.text.size())) != qint64(c.text.size()) || !f.flush())
            return false; // what did reach the file stays; the whole chunk is tried again
        chunks.erase(chunks.begin());
    }
    return true;
}

bool TEventLog::Flush() {
    std::lock_guard<std::mutex> fileLock(fFileMutex);
    std::vector<TChunk> chunks;
    {
        std::lock_guard<std::mutex> lock(fMutex);
        chunks.swap(fPending);
        fPendingBytes = 0;
    }
    if (chunks.empty())
        return true;
    const bool ok = WriteChunks(chunks);
    if (!ok) {
        // Put back what was not written, in front of what came meanwhile.
        std::lock_guard<std::mutex> lock(fMutex);
        for (const TChunk& c : chunks)
            fPendingBytes += c.text.size();
        chunks.insert(chunks.end(), std::make_move_iterator(fPending.begin()),
                      std::make_move_iterator(fPending.end()));
        fPending.swap(chunks);
        fWriteFailing = true;
        TrimPending();
        if (!fFailureReported)
            Warn("cannot write the event log in " + QDir::toNativeSeparators(fFolder).toStdString() +
                 "; trying again");
        fFailureReported = true;
    } else if (fFailureReported) {
        {
            std::lock_guard<std::mutex> lock(fMutex);
            fWriteFailing = false;
        }
        Warn("the event log is written again");
        fFailureReported = false;
    }
    return ok;
}

void TEventLog::FlushLoop() {
    std::unique_lock<std::mutex> lock(fWakeMutex);
    while (!fStop) {
        fWake.wait_for(lock, kFlushInterval);
        lock.unlock();
        Flush();
        lock.lock();
    }
}

std::vector<TEventRecord> TEventLog::RecordsOfThisRun(qsizetype since) const {
    std::lock_guard<std::mutex> lock(fMutex);
    const qsizetype from = std::max(since, fFirstLine) - fFirstLine;
    if (from >= qsizetype(fRecords.size()))
        return {};
    return std::vector<TEventRecord>(fRecords.begin() + from, fRecords.end());
}

QStringList TEventLog::LinesOfThisRun(qsizetype since) const {
    QStringList out;
    for (const TEventRecord& r : RecordsOfThisRun(since))
        out << QString::fromStdString(r.Line());
    return out;
}

qsizetype TEventLog::LineCount() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return fFirstLine + qsizetype(fRecords.size());
}

void InstallEventLog(std::shared_ptr<TEventLog> log) {
    gInstalled.store(bool(log));
    std::atomic_store(&gEventLog, std::move(log));
}

void LogEvent(const QString& source, const QString& text) {
    if (!gInstalled.load(std::memory_order_acquire))
        return;
    if (const auto log = std::atomic_load(&gEventLog))
        log->Write(source, text);
}

std::vector<TEventRecord> EventLogRecordsOfThisRun(qsizetype since) {
    const auto log = std::atomic_load(&gEventLog);
    return log ? log->RecordsOfThisRun(since) : std::vector<TEventRecord>();
}

QStringList EventLogLinesOfThisRun(qsizetype since) {
    const auto log = std::atomic_load(&gEventLog);
    return log ? log->LinesOfThisRun(since) : QStringList();
}
