// Cost of an event-log line on the calling thread: the worker threads write their fault lines in
// the middle of a measuring cycle, so a line must cost a few microseconds at most (median under
// 5 us), whatever the file system does.
#include "diagnostics/EventLog.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

static void BM_LogEvent(benchmark::State& state) {
    QTemporaryDir dir;
    InstallEventLog(std::make_shared<TEventLog>(dir.path()));
    const QString source = QStringLiteral("SMU");
    const QString text = QStringLiteral("no reply since 14:02:09 (Reading SMU failed)");
    for (auto _ : state)
        LogEvent(source, text);
    InstallEventLog(nullptr);
}
BENCHMARK(BM_LogEvent)->Repetitions(9)->ReportAggregatesOnly(true);

// Two threads writing at once, as the two workers may during a fault of both instruments.
static void BM_LogEventTwoThreads(benchmark::State& state) {
    static QTemporaryDir* dir = nullptr;
    if (state.thread_index() == 0) {
        dir = new QTemporaryDir;
        InstallEventLog(std::make_shared<TEventLog>(dir->path()));
    }
    const QString source = QStringLiteral("DMM");
    const QString text = QStringLiteral("no reply since 14:02:09 (Reading DMM failed)");
    for (auto _ : state)
        LogEvent(source, text);
    if (state.thread_index() == 0) {
        InstallEventLog(nullptr);
        delete dir;
        dir = nullptr;
    }
}
BENCHMARK(BM_LogEventTwoThreads)->Threads(2)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
