// Redraw of the experiment plot at the size of a long run: a week at one-second points is about
// 600 000 rows, so each of the four line series holds 1 000 000 points here. The plot is redrawn
// up to four times a second while data come in, so one redraw must stay well below 50 ms.
#include "app/DataPlot.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

namespace {

// A plot the size of the operator's window, filled with smooth curves plus a little noise, so
// adaptive sampling has real work to do in every pixel column. pumpEvery > 0 adds a pump pO2 point
// on every pumpEvery-th row (1: a run spent wholly at a fixed current).
std::unique_ptr<TDataPlot> FilledPlot(int points, int pumpEvery) {
    auto plot = std::make_unique<TDataPlot>();
    plot->resize(1300, 800);
    plot->show();
    for (int i = 0; i < points; ++i) {
        const double minutes = i / 60.0;
        const double wobble = std::sin(i * 0.7) * 0.01;
        const double pO2 = std::pow(10.0, -4.0 - 3.0 * (1.0 - std::exp(-minutes / 3000.0)) + wobble);
        plot->AppendDataPoint(minutes, 0.2 + 0.1 * std::sin(minutes / 500.0) + wobble,
                              -1e-4 * std::exp(-minutes / 2000.0) + wobble * 1e-6,
                              800.0 + 2.0 * std::sin(minutes / 300.0) + wobble, pO2);
        if (pumpEvery > 0 && i % pumpEvery == 0)
            plot->AppendPumppO2(minutes, pO2 * 1.1);
    }
    return plot;
}

void Replot(benchmark::State& state, TDataPlot& plot) {
    for (auto _ : state) {
        plot.ReplotNow();
        QCoreApplication::processEvents(); // paints the redrawn buffer into the window
    }
    state.counters["points/line"] = double(plot.PointCount(plot.RtLineSeriesPumpVoltage));
    state.counters["pump points"] = double(plot.PointCount(plot.RtLineSeriesPumppO2));
}

// The four line series at the given length, no pump pO2 points.
void BM_ReplotLines(benchmark::State& state) {
    const auto plot = FilledPlot(int(state.range(0)), 0);
    Replot(state, *plot);
}
BENCHMARK(BM_ReplotLines)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// All five series at 1 000 000 points: a week held at a fixed current, where every row also
// gives a pump pO2 point.
void BM_ReplotAllSeries(benchmark::State& state) {
    const auto plot = FilledPlot(1000000, 1);
    Replot(state, *plot);
}
BENCHMARK(BM_ReplotAllSeries)->Unit(benchmark::kMillisecond);

// What the row builder costs per data row, excluding the timed redraw.
void BM_AppendDataPoint(benchmark::State& state) {
    TDataPlot plot;
    double minutes = 0;
    for (auto _ : state) {
        plot.AppendDataPoint(minutes, 0.25, -1e-4, 800.0, 1e-5);
        minutes += 1.0 / 60.0;
    }
}
BENCHMARK(BM_AppendDataPoint);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
