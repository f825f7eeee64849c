// Cost of a log entry: on a switched-off channel (callers compose texts on every serial exchange
// and measuring cycle, so this must be next to nothing) and on a switched-on channel into the
// rolling log file.
#include "diagnostics/LogChannel.h"
#include "diagnostics/LogFileDestination.h"

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

BENCHMARK_MAIN();
