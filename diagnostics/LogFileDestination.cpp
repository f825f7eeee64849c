#include "diagnostics/LogFileDestination.h"

#include <QDir>
#include <atomic>
#include <spdlog/details/log_msg.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/rotating_file_sink.h>

namespace {
std::shared_ptr<LogFileDestination> gDestination;
std::atomic<bool> gInstalled{false};
} // namespace

LogFileDestination::LogFileDestination(const QString& folder, const QString& fileName, int sizeLimitKiB,
                                       int maxParts)
    : fPath(QDir(folder).filePath(fileName)) {
    try {
        // The sink keeps the current part plus maxParts - 1 older ones.
        auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
            QDir::toNativeSeparators(fPath).toStdString(), std::size_t(sizeLimitKiB) * 1024,
            std::size_t(std::max(maxParts - 1, 0)));
        sink->set_formatter(std::make_unique<spdlog::pattern_formatter>("%Y-%m-%d %H:%M:%S.%e\t%v"));
        fSink = std::move(sink);
    } catch (const std::exception&) {
        fSink.reset(); // the folder is missing or not writable: every entry will fail
    }
    if (fSink)
        fFlusher = std::thread([this] { FlushLoop(); });
}

LogFileDestination::~LogFileDestination() {
    {
        std::lock_guard<std::mutex> lock(fFlushMutex);
        fStopFlusher = true;
    }
    fFlushWake.notify_all();
    if (fFlusher.joinable())
        fFlusher.join();
    if (fSink) {
        try {
            fSink->flush();
        } catch (const std::exception&) {
        }
    }
}

void LogFileDestination::FlushLoop() {
    std::unique_lock<std::mutex> lock(fFlushMutex);
    while (!fStopFlusher) {
        fFlushWake.wait_for(lock, std::chrono::milliseconds(500));
        try {
            fSink->flush();
        } catch (const std::exception&) {
            fFailed.store(true); // the next entry reports it to its channel
        }
    }
}

void LogFileDestination::Flush() {
    if (!fSink)
        return;
    try {
        fSink->flush();
    } catch (const std::exception&) {
        fFailed.store(true);
    }
}

void LogFileDestination::Install(std::shared_ptr<LogFileDestination> dest) {
    gInstalled.store(bool(dest));
    std::atomic_store(&gDestination, std::move(dest));
}

bool LogFileDestination::Write(const std::string& line) {
    if (!gInstalled.load(std::memory_order_acquire))
        return true;
    const auto dest = std::atomic_load(&gDestination);
    return dest ? dest->WriteLine(line) : true;
}

bool LogFileDestination::WriteLine(const std::string& line) {
    if (!fSink || fFailed.load(std::memory_order_relaxed))
        return false;
    try {
        spdlog::details::log_msg msg(spdlog::string_view_t(), spdlog::level::info,
                                     spdlog::string_view_t(line.data(), line.size()));
        fSink->log(msg);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
