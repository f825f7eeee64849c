// Cost of a log entry: on a switched-off channel (callers compose texts on every serial exchange
// and measuring cycle, so this must be next to nothing) and on a switched-on channel into the
// rolling log file. And how long the rolling log reaches back: both workers run against the
// simulator at 1 s data points with the channels switched as at start (and once with the
// SourceMeter thread's channel on as well, as the Debug page's "SMU thread" box does), and the
// bytes the log grows by give bytes per hour and the hours that 20 parts of 1 MiB hold.
#include "bench/BenchMain.h"
#include "bench/BenchWorkers.h"
#include "diagnostics/LogChannel.h"
#include "diagnostics/LogFileDestination.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

static void BM_SendDisabled(benchmark::State& state) {
    LogChannel channel(QStringLiteral("Bench"), false);
    const QString text = QStringLiteral("Pump voltage: 0.25 Current: -0.0001");
    for (auto _ : state)
        channel.Send(text);
}
BENCHMARK(BM_SendDisabled);

static void BM_SendEnabledToFile(benchmark::State& state) {
    QTemporaryDir dir;
    auto dest = std::make_shared<LogFileDestination>(dir.path(), QStringLiteral("Log.csl"), 1024, 20);
    LogFileDestination::Install(dest);
    LogChannel channel(QStringLiteral("Bench"), true);
    const QString text = QStringLiteral("Pump voltage: 0.25 Current: -0.0001");
    for (auto _ : state)
        channel.Send(text);
    LogFileDestination::Install(nullptr);
    if (!channel.Enabled())
        state.SkipWithError("the log file could not be written");
}
BENCHMARK(BM_SendEnabledToFile)->Repetitions(5)->ReportAggregatesOnly(true);

// The bytes of every part of the log in `folder`.
static double LogBytes(const QString& folder) {
    double bytes = 0;
    for (const QFileInfo& f : QDir(folder).entryInfoList({QStringLiteral("Log*.csl")}, QDir::Files))
        bytes += double(f.size());
    return bytes;
}

static void BM_LogCoverage(benchmark::State& state) {
    const bool smuThread = state.range(0) != 0;
    constexpr int kSeconds = 60;
    for (auto _ : state) {
        QTemporaryDir dir;
        InitializeLogChannels();
        if (smuThread)
            LogThread2401.SetEnabled(true);
        auto dest = std::make_shared<LogFileDestination>(dir.path(), QStringLiteral("Log.csl"), 1024, 20);
        LogFileDestination::Install(dest);
        double bytes = 0;
        double seconds = 0;
        {
            TBothWorkers workers(Paced(), true); // fast mode is on in a fresh window
            if (!workers.failed.empty()) {
                state.SkipWithError(workers.failed.c_str());
                break;
            }
            workers.host2401.pointLength = 1;
            dest->Flush();
            const double before = LogBytes(dir.path());
            QElapsedTimer clock;
            clock.start();
            Serve(kSeconds * 1000);
            dest->Flush();
            seconds = double(clock.elapsed()) / 1000;
            bytes = LogBytes(dir.path()) - before;
        }
        LogFileDestination::Install(nullptr);
        InitializeLogChannels();
        const double perHour = bytes * 3600 / seconds;
        state.counters["bytes_per_hour"] = perHour;
        // 20 parts of 1 MiB; the newest part may be anything from empty to full, so count 19. A log
        // that did not grow reaches back as far as the run.
        if (perHour > 0)
            state.counters["hours_covered"] = 19.0 * 1024 * 1024 / perHour;
    }
}
BENCHMARK(BM_LogCoverage)
    ->Name("Log/coverage_1s_points")
    ->Arg(0)
    ->Arg(1)
    ->ArgName("smu_thread")
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
