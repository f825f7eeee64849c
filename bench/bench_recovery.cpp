// Recovery at start of a run that ended without closing, with a journal of 1 000 000 rows (about
// twelve days at one-second points), against a start that finds no marker. Goal: at most 0.3 s more
// than the start without one. junk 0: a journal of rows only (renamed into the data file); junk 1:
// a journal with a line of junk after its rows, streamed into the data file (which is written and
// synced, so its time is the disk's).
#include "bench/BenchMain.h"
#include "bench/BenchRunRows.h"
#include "recording/ExperimentFile.h"
#include "recording/ExperimentJournal.h"
#include "recording/JournalRecovery.h"
#include "recording/TDataGridModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

const char* const kJournal = "2024-03-15/LSC 64_run-20240315-140509.journal.csv";

// A journal as a run writes it: the data file's head and caption line, then the rows.
void WriteJournal(const QString& userdata, int rows, bool junk) {
    QDir().mkpath(userdata + QStringLiteral("/2024-03-15"));
    QFile f(QDir(userdata).filePath(QString::fromLatin1(kJournal)));
    if (!f.open(QIODevice::WriteOnly))
        return;
    TExperimentFileRecord record;
    record.Sample.Name = QStringLiteral("LSC 64");
    TDataGridModel grid;
    grid.FormatGrid();
    QByteArray chunk = TExperimentFile::Head(record, 45366.5);
    grid.Grid().AppendFileLine(chunk, 0);
    for (int i = 0; i < rows; ++i) {
        AppendRunRow(chunk, i);
        if (chunk.size() > (1 << 22)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    if (junk)
        chunk += "not a row\r\n";
    f.write(chunk);
    f.flush();
    // As a run leaves it: synced every second, so nothing is waiting for the disk.
    ::fsync(f.handle());
    f.close();
    QFile marker(TExperimentJournal::MarkerPath(userdata));
    if (marker.open(QIODevice::WriteOnly))
        marker.write(QByteArray(kJournal) + "\nLSC 64\n");
}

// range(0): rows (0: no marker at all); range(1): 1 for a journal with a line to skip.
void BM_RecoverAtStart(benchmark::State& state) {
    const int rows = int(state.range(0));
    const bool junk = state.range(1) != 0;
    qint64 recovered = 0, bytes = 0;
    std::unique_ptr<QTemporaryDir> dir;
    for (auto _ : state) {
        state.PauseTiming();
        dir = std::make_unique<QTemporaryDir>(); // the last one's files go outside the timing
        const QString userdata = dir->filePath(QStringLiteral("Userdata"));
        QDir().mkpath(userdata);
        if (rows > 0)
            WriteJournal(userdata, rows, junk);
        bytes = QFileInfo(QDir(userdata).filePath(QString::fromLatin1(kJournal))).size();
        state.ResumeTiming();
        const TJournalRecovery r = RecoverJournal(userdata);
        state.PauseTiming();
        if (rows > 0 && !r.Recovered)
            state.SkipWithError(qPrintable(r.Message()));
        recovered = r.Rows;
        state.ResumeTiming();
    }
    dir.reset();
    state.counters["rows"] = double(recovered);
    state.counters["MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_RecoverAtStart)
    ->ArgNames({"rows", "junk"})
    ->Args({0, 0})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
