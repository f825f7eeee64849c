// Export for analysis of a data file the size of a long run: 1 000 000 data rows (nearly two
// weeks at one-second points) with a mode change every 10 000 rows. Goal: under 2 s.
#include "bench/BenchMain.h"
#include "bench/BenchRunRows.h"
#include "recording/AnalysisExport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

// Writes the data file's layout: header, variables, notes, DATA caption, then the rows.
void WriteDataFile(const QString& path, int rows) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    QByteArray head =
        "** HEADER  **********************************************\r\n\r\nLSC 64\r\nLaSrCoO3\r\n"
        "Saved 2024-03-15 14:05\r\n\r\n** VARIABLES ********************************************\r\n"
        "\r\nValue    ;Unit   ;Abbreviation   ;Field name\r\n";
    for (int i = 0; i < 27; ++i)
        head += "1.5;g/mol      ;bs     ;Variable\r\n";
    head +=
        "\r\n** NOTES ********************************************\r\n\r\nExample values\r\nExample notes\r\n"
        "\r\n** DATA *************************************************\r\n\r\n"
        "Duration,s;Mode;Step;CellT,\xBA"
        "C;PumpV,V;PumpI,A;CellpO2,atm;FlushpO2,atm;RCpO2,%;StablepO2;RangepO2;RCI,%;StableI;SP;Time;"
        "CellpO2P,atm;Interval,s\r\n";
    f.write(head);
    QByteArray chunk;
    for (int i = 0; i < rows; ++i) {
        AppendRunRow(chunk, i);
        if (chunk.size() > (1 << 22)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
}

void BM_ExportForAnalysis(benchmark::State& state) {
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("run_0001.csv"));
    WriteDataFile(input, int(state.range(0)));
    const QString output = dir.filePath(QStringLiteral("run.analysis.csv"));
    long long rows = 0;
    for (auto _ : state) {
        const TAnalysisExportResult r = TAnalysisExport::Run(input, output);
        if (!r.Ok)
            state.SkipWithError(qPrintable(r.Message));
        rows = r.DataRows;
    }
    state.counters["rows"] = double(rows);
    state.counters["MB in"] = double(QFile(input).size()) / 1e6;
}
BENCHMARK(BM_ExportForAnalysis)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
