// The titration balance at the size of a long run.
//  - BM_TitrationRowUpdate: one row into a balance that has taken 1 000 or 1 000 000 rows of a step
//    program already. Goal: median under 2 us, the same at both counts.
//  - BM_TitrationFile: `ondrix --titration` of a 1 000 000-row data file. Goal: under 2 s.
#include "bench/BenchMain.h"
#include "common/DateTime.h"
#include "common/Locale.h"
#include "recording/ExperimentFile.h"
#include "recording/TDataGridModel.h"
#include "titration/TOxygenBalance.h"
#include "titration/TitrationFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

// Row k of a PPID program that advances every 300 rows of 1 s, walking pO2 down and up again.
TDataRow ProgramRow(long long k) {
    TDataRow r;
    const long long step = k / 300;
    const double logp = -2 - double(step % 16 < 8 ? step % 16 : 16 - step % 16);
    r[TProperty::Mode] = 15;
    r[TProperty::Step] = double(step + 1);
    r[TProperty::Time] = double(k + 1);
    r[TProperty::Interval] = 0.98;
    r[TProperty::Temp] = 700 + 0.01 * double(k % 7);
    r[TProperty::PumpI] = 1e-5 * (1 + double(k % 300 < 200 ? 300 - k % 300 : 1) / 100);
    r[TProperty::CellpO2] = std::pow(10.0, logp + (k % 300 < 200 ? 0.5 : 0));
    r[TProperty::Date] = 45366.5 + double(k + 1) / SecondsPerDay;
    if (k % 300 == 299) {
        r[TProperty::StablepO2] = TDataRow::kTrue;
        r[TProperty::RangepO2] = TDataRow::kTrue;
    }
    return r;
}

TTitrationSetup Setup() {
    TTitrationSetup s;
    s.m0 = 0.05;
    s.M0 = 222.6;
    s.b0 = 2.99;
    s.bs = 3;
    return s;
}

void BM_TitrationRowUpdate(benchmark::State& state) {
    TOxygenBalance balance(Setup());
    long long k = 0;
    for (; k < state.range(0); ++k)
        balance.Add(ProgramRow(k));
    // The next 100 000 rows made beforehand, so only the update is timed.
    std::vector<TDataRow> next;
    for (long long i = 0; i < 100000; ++i)
        next.push_back(ProgramRow(k + i));
    std::size_t i = 0;
    TBalanceRow out;
    for (auto _ : state) {
        balance.Add(next[i], &out);
        benchmark::DoNotOptimize(out.Delta);
        if (++i == next.size()) { // the balance goes on with later rows
            state.PauseTiming();
            k += static_cast<long long>(next.size());
            for (std::size_t j = 0; j < next.size(); ++j)
                next[j] = ProgramRow(k + static_cast<long long>(j));
            i = 0;
            state.ResumeTiming();
        }
    }
    state.counters["points"] = double(balance.Points().size());
}
BENCHMARK(BM_TitrationRowUpdate)
    ->Arg(1000)
    ->Arg(1000000)
    ->Unit(benchmark::kNanosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_TitrationFile(benchmark::State& state) {
    SetRegionalLocale(QLocale::c());
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("Userdata"));
    TDataGridModel grid;
    grid.FormatGrid();
    for (long long k = 0; k < state.range(0); ++k)
        grid.AddRow(ProgramRow(k));
    TExperimentFileRecord record;
    record.Sample.Name = QStringLiteral("LSCF");
    record.Sample.m0 = 0.05;
    record.Sample.M0 = 222.6;
    record.Sample.b0 = 2.99;
    record.Sample.bs = 3;
    record.Grid = &grid.Grid();
    const TSaveResult saved =
        TExperimentFile::Save(record, dir.filePath(QStringLiteral("Userdata")), 45366.6, 1);
    if (!saved.Ok()) {
        state.SkipWithError(qPrintable(saved.Message));
        return;
    }
    const QString output = dir.filePath(QStringLiteral("run.titration.csv"));
    long long rows = 0;
    for (auto _ : state) {
        const TTitrationFileResult r = TTitrationFile::Run(saved.FilePath, output);
        if (!r.Ok)
            state.SkipWithError(qPrintable(r.Message));
        rows = r.DataRows;
    }
    state.counters["rows"] = double(rows);
    state.counters["MB in"] = double(QFile(saved.FilePath).size()) / 1e6;
}
BENCHMARK(BM_TitrationFile)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
