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
}

LogFileDestination::~LogFileDestination() = default;

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
    if (!fSink)
        return false;
    try {
        spdlog::details::log_msg msg(spdlog::string_view_t(), spdlog::level::info,
                                     spdlog::string_view_t(line.data(), line.size()));
        fSink->log(msg);
        fSink->flush(); // a crash must not take the last entries with it
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
