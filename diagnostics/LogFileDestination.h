#pragma once
// The rolling log file that every channel writes to: "<folder>/<fileName>", parts of
// sizeLimitKiB kibibytes, at most maxParts parts (the oldest is dropped when another begins).
// One destination is installed per process; entries sent while none is installed are lost.
#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace spdlog::sinks {
class sink;
}

class LogFileDestination {
public:
    LogFileDestination(const QString& folder, const QString& fileName, int sizeLimitKiB, int maxParts);
    ~LogFileDestination();
    bool IsOpen() const { return bool(fSink); }
    QString FilePath() const { return fPath; }
    // Pushes what was written to the file now (throws nothing; errors surface on the next entry).
    void Flush();

    // Makes `dest` the destination of all channels (nullptr: none).
    static void Install(std::shared_ptr<LogFileDestination> dest);
    // Writes one line with the current time in front; false when it could not be written.
    // Without an installed destination the entry is dropped and true is returned.
    static bool Write(const std::string& line);

private:
    bool WriteLine(const std::string& line);
    void FlushLoop();
    QString fPath;
    std::shared_ptr<spdlog::sinks::sink> fSink;
    // Entries are pushed to the file twice a second by a flusher thread, so a crash loses at most
    // that much of the log while an entry costs no system call.
    std::thread fFlusher;
    std::mutex fFlushMutex;
    std::condition_variable fFlushWake;
    bool fStopFlusher = false;
    std::atomic<bool> fFailed{false};
};
