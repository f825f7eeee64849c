// Data rows at the size of a long run: a week at one-second points is about 600 000 rows.
//  - Building one row (cells, pump estimates, range, both relative changes and flags, step test)
//    must cost the rows of the relative-change window, not the rows of the grid: with a 300 s
//    window at 1 s points, 1 000 000 rows must cost at most 1.5 times what 10 000 rows cost, and
//    under 1 ms (median of the repetitions).
//  - Saving 100 000 rows must take under 1 s, and copying the rows' lines from the journal must
//    keep it within twice the time of writing the same bytes with one write call.
//  - The relative change over a 300 s window at 1 000 000 rows must take under 100 us.
//  - The grid and its side index must stay under 183 bytes per row at 100 000, 1 000 000 and
//    3 000 000 rows (a month at one-second points is 2.6 million rows).
//  - Appending one row (the whole row build) at any size up to 3 000 000 rows must never take
//    more than 5 ms: the rows sit in fixed-size blocks, so no append moves the rows stored before
//    it. The median stays that of the row build above.
//  - Every row also goes to the run's journal (formatted and handed to the journal's writer
//    thread, which writes it and syncs), which the row build above includes; appending one row to
//    the journal alone must take under 50 us (median).
// The plot's share of a row (one append per series) is measured in bench_plot.
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "control/TPID.h"
#include "control/TRunState.h"
#include "experiment/RowBuilder.h"
#include "recording/ColumnTable.h"
#include "recording/ExperimentFile.h"
#include "recording/ExperimentJournal.h"
#include "recording/RelativeChange.h"
#include "recording/TDataGridModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

const TDateTime kStart = 45366.5; // 2024-03-15 12:00

// The cells a settled PID step row carries, at second i of the run.
void FillRow(TDataGridModel& grid, int i) {
    const double t = i;
    TDataRow row;
    row[TProperty::Time] = t;
    row[TProperty::Interval] = 1;
    row[TProperty::PumpV] = 0.2 + 1e-6 * std::sin(t);
    row[TProperty::PumpI] = -2e-4 + 1e-7 * std::sin(t);
    row[TProperty::Mode] = 15;
    row[TProperty::Date] = kStart + t / SecondsPerDay;
    row[TProperty::CellpO2] = 1e-4 * (1 + 1e-5 * std::sin(t));
    row[TProperty::Temp] = 800.12;
    row[TProperty::RangepO2] = TDataRow::kTrue;
    row[TProperty::Step] = 3;
    row[TProperty::SetPoint] = -4;
    row[TProperty::RCpO2] = 0.001;
    row[TProperty::StablepO2] = TDataRow::kTrue;
    row[TProperty::RCI] = -0.012;
    row[TProperty::StableI] = TDataRow::kTrue;
    grid.AddRow(row);
}

std::unique_ptr<TDataGridModel> FilledGrid(int rows) {
    auto grid = std::make_unique<TDataGridModel>();
    grid->FormatGrid();
    for (int i = 0; i < rows; ++i)
        FillRow(*grid, i);
    return grid;
}

// CPU time of the calling thread, microseconds: unlike the wall clock it leaves out the time the
// thread waited for a core on a busy machine.
double ThreadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// Resident memory of the process, bytes.
double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// The folder of a row-build run's journal: memory-backed where the system has one. The row builds
// below step the clock seam by a second per row, so the journal's once-a-second sync to the disk
// would fall on every row and the figure would be the disk's, not the row build's; the sync is
// measured where it belongs, in BM_JournalAppend (real clock, at most one sync a second).
QString JournalFolderTemplate() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return (shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath()) +
           QStringLiteral("/ondrix-bench-XXXXXX");
}

// One grid and row builder per size, filled once and shared by the repetitions (filling a
// million rows takes longer than the measurement itself).
struct TRun {
    TRunState state; // what the row builder reads: the mode, the criterion, the points
    std::unique_ptr<TDataGridModel> grid;
    std::unique_ptr<TRowBuilder> builder;
    QTemporaryDir folder{JournalFolderTemplate()};
    TExperimentJournal journal;
    int next = 0; // second of the next point
};

// A grid of `rows` rows with its row builder and journal, ready for the next row.
void Prepare(TRun& run, int rows) {
    run.grid = FilledGrid(rows);
    TRowBuilderLinks links;
    links.FlushGaspO2 = [] { return 0.21; };
    links.AutoScroll = [] { return true; };
    run.journal.Start(run.folder.path(), run.folder.filePath(QStringLiteral("Run.journal.csv")),
                      QStringLiteral("Run"), QByteArray("head\r\n"), run.grid->Grid());
    TRun* r = &run;
    links.RowCompleted = [r](int row) { r->journal.Append(r->grid->Grid(), row); };
    run.builder = std::make_unique<TRowBuilder>(run.state, *run.grid, links);
    run.next = rows;
}

// The run of `rows` rows, made on first use and not yet filled.
TRun& RunOf(int rows) {
    static std::map<int, TRun> runs;
    return runs[rows];
}

// The state every row build of these benchmarks runs in: a PID step with a 300 s window.
void BeginRowBuilds(TRunState& run) {
    run.Reset();
    run.ProgramState = TProgramState::PIDStep;
    run.RCDuration = 300;
    run.RCThreshold = 0.05;
    Clock::Fix(kStart);
    run.ExperimentStartTime = MonotonicSeconds();
    run.PID = new TPID();
    run.PID->SetSetpoint(-4);
}

void EndRowBuilds(TRunState& run) {
    Clock::Release();
    delete run.PID;
    run.PID = nullptr;
    run.Reset();
}

// One data point completed and built into a row, one second after the last.
void BuildOneRow(TRun& run) {
    const double t = run.next++;
    Clock::Fix(kStart + t / SecondsPerDay);
    TRunState& s = run.state;
    TDataPoint& DataPoint = s.DataPoint;
    DataPoint = TDataPoint{};
    DataPoint.PumpV = 0.2 + 1e-6 * std::sin(t);
    DataPoint.PumpI = -2e-4 + 1e-7 * std::sin(t);
    DataPoint.Mode = 15;
    DataPoint.CellpO2Valid = true;
    DataPoint.CellpO2 = 1e-4 * (1 + 1e-5 * std::sin(t));
    DataPoint.Temp = 800.12;
    DataPoint.Time = t;
    DataPoint.Interval = 1;
    s.DataPointDate = Now();
    DataPoint.Date = s.DataPointDate;
    DataPoint.SetPoint = -4;
    DataPoint.Galvanostatic = true;
    s.HandOverDataPoint(DataPoint);
    run.builder->AddDataUpdates();
}

void BM_BuildRow(benchmark::State& state) {
    TRun& run = RunOf(int(state.range(0)));
    BeginRowBuilds(run.state);
    if (!run.grid)
        Prepare(run, int(state.range(0)));

    for (auto _ : state)
        BuildOneRow(run);
    // 1 when the last row got both relative changes, i.e. the fits ran rather than bailed out.
    const int last = run.grid->RowCount() - 1;
    state.counters["fitted"] = !run.grid->Cell(last, ColumnOf(TProperty::RCpO2)).isEmpty() &&
                               !run.grid->Cell(last, ColumnOf(TProperty::RCI)).isEmpty();
    EndRowBuilds(run.state);
}

// Every row of a run from the first to the given count, each built as the tick builds it and
// timed on its own: the worst single row is what the operator would feel as a stall.
void BM_AppendEveryRow(benchmark::State& state) {
    const int rows = int(state.range(0));
    for (auto _ : state) {
        TRun run;
        BeginRowBuilds(run.state);
        Prepare(run, 0);
        std::vector<float> micros;
        micros.reserve(std::size_t(rows));
        int worstRow = 0;
        double worstCpu = 0;
        for (int i = 0; i < rows; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const double cpu = ThreadCpuMicros();
            BuildOneRow(run);
            worstCpu = std::max(worstCpu, ThreadCpuMicros() - cpu);
            const auto took =
                std::chrono::duration<float, std::micro>(std::chrono::steady_clock::now() - start);
            micros.push_back(took.count());
            if (micros.back() > micros[std::size_t(worstRow)])
                worstRow = i;
        }
        const float worst = micros[std::size_t(worstRow)];
        std::nth_element(micros.begin(), micros.begin() + rows / 2, micros.end());
        state.counters["worst ms"] = worst / 1000.0;
        state.counters["worst at row"] = worstRow + 1;
        state.counters["worst cpu ms"] = worstCpu / 1000.0;
        state.counters["median us"] = micros[std::size_t(rows / 2)];
        // One row in 10 000 is slower than this.
        std::nth_element(micros.begin(), micros.end() - rows / 10000, micros.end());
        state.counters["p99.99 us"] = *(micros.end() - rows / 10000);
        run.journal.Finish();
        EndRowBuilds(run.state);
    }
}
// One row into the journal: formatted as a data line and handed to the writer thread, which
// writes it and syncs to the disk at most once a second while the rows go on (on a loaded machine
// its share of the cores shows in the figure).
void BM_JournalAppend(benchmark::State& state) {
    QTemporaryDir folder;
    auto grid = FilledGrid(1);
    TExperimentJournal journal;
    if (!journal.Start(folder.path(), folder.filePath(QStringLiteral("Run.journal.csv")),
                       QStringLiteral("Run"), QByteArray("head\r\n"), grid->Grid())) {
        state.SkipWithError(journal.LastError().toStdString().c_str());
        return;
    }
    for (auto _ : state)
        if (!journal.Append(grid->Grid(), 1))
            state.SkipWithError("append failed");
    journal.Finish();
}
BENCHMARK(BM_JournalAppend)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20000)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK(BM_BuildRow)
    ->Arg(10000)
    ->Arg(1000000)
    ->Arg(3000000)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(2000)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// Saving rows, against writing the same bytes with one write call (and a sync to the disk, as the
// save's commit does). "journal": the rows' lines are copied from the run's journal, as the window
// saves; "formatted": every row is formatted again (the save of a run whose journal failed).
void BM_Save(benchmark::State& state) {
    const auto grid = FilledGrid(int(state.range(0)));
    const bool fromJournal = state.range(1) != 0;
    QTemporaryDir dir;
    TExperimentFileRecord record;
    record.Sample.Name = QStringLiteral("Bench");
    record.Notes = QStringLiteral("Example values\nExample notes");
    record.Grid = &grid->Grid();
    TExperimentJournal journal;
    if (fromJournal) {
        journal.Start(dir.path(), dir.filePath(QStringLiteral("Run.journal.csv")), QStringLiteral("Run"),
                      TExperimentFile::Head(record, kStart), grid->Grid());
        for (int r = 1; r < grid->RowCount(); ++r)
            journal.Append(grid->Grid(), r);
        record.RowLines = journal.LinesOfRows(grid->RowCount() - 1);
        if (record.RowLines.IsEmpty())
            state.SkipWithError("the journal does not hold the rows");
    }
    QString written;
    for (auto _ : state) {
        const TSaveResult r = TExperimentFile::Save(record, dir.path(), kStart, 1);
        if (!r.Ok())
            state.SkipWithError(r.Message.toStdString().c_str());
        written = r.FilePath;
    }
    state.counters["rows"] = double(grid->RowCount());
    state.counters["MB"] = double(QFileInfo(written).size()) / 1e6;
    journal.Finish();
}
BENCHMARK(BM_Save)->Args({100000, 1})->Args({100000, 0})->Unit(benchmark::kMillisecond)->Iterations(5);

// The bytes of that save written with one write call into a new file, then synced and closed.
void BM_OneWrite(benchmark::State& state) {
    const auto grid = FilledGrid(int(state.range(0)));
    QTemporaryDir dir;
    TExperimentFileRecord record;
    record.Sample.Name = QStringLiteral("Bench");
    record.Notes = QStringLiteral("Example values\nExample notes");
    record.Grid = &grid->Grid();
    const TSaveResult saved = TExperimentFile::Save(record, dir.path(), kStart, 1);
    QFile file(saved.FilePath);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    file.close();
    const std::string path = dir.filePath(QStringLiteral("one.csv")).toStdString();
    const bool sync = state.range(1) != 0;
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, bytes.constData(), std::size_t(bytes.size())) != bytes.size())
            state.SkipWithError("write failed");
        if (sync)
            ::fsync(fd);
        ::close(fd);
    }
    state.counters["MB"] = double(bytes.size()) / 1e6;
}
BENCHMARK(BM_OneWrite)->Args({100000, 1})->Args({100000, 0})->Unit(benchmark::kMillisecond)->Iterations(5);

// The relative change of a row: both fits over a 300 s window of one-second rows, at the end of
// a grid of 1 000 000 rows.
void BM_RelativeChange(benchmark::State& state) {
    const auto grid = FilledGrid(int(state.range(0)));
    bool ok = true;
    for (auto _ : state) {
        double rcpO2 = 0, rcI = 0;
        ok = GetRRC(grid->Grid(), rcpO2, TProperty::CellpO2, 300) &&
             GetRRC(grid->Grid(), rcI, TProperty::PumpI, 300) && ok;
        benchmark::DoNotOptimize(rcpO2 + rcI);
    }
    state.counters["fitted"] = ok;
}
BENCHMARK(BM_RelativeChange)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Memory of the grid and the row builder's side index per row, both as the grid accounts for its
// storage and as the process's resident size grows.
void BM_GridMemory(benchmark::State& state) {
    const int rows = int(state.range(0));
    for (auto _ : state) {
        const double before = ResidentBytes();
        const auto grid = FilledGrid(rows);
        grid->Grid().RunStart(grid->RowCount() - 1); // the run starts the fits keep
        const double after = ResidentBytes();
        state.counters["bytes/row"] = double(grid->Grid().MemoryBytes()) / rows;
        state.counters["resident bytes/row"] = (after - before) / rows;
    }
}
BENCHMARK(BM_GridMemory)->Arg(100000)->Arg(1000000)->Arg(3000000)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK(BM_AppendEveryRow)->Arg(3000000)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
