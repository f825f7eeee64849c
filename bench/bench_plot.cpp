// Redraw of the experiment plot at the size of a long run: a week at one-second points is about
// 600 000 rows, a month 2.6 million, so each of the four line series holds up to 3 000 000 points
// here. The plot is redrawn up to four times a second while data come in, so one redraw must stay
// well below 50 ms, and must not grow with the run: the four lines at 3 000 000 points under 30 ms,
// at 1 000 000 no slower than 24.6 ms. Appending a row's points must never stall: the worst single
// append up to 3 000 000 points under 5 ms.
#include "app/DataPlot.h"
#include "bench/BenchMain.h"

#include <QApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <vector>

namespace {

// CPU time of the calling thread, microseconds: unlike the wall clock it leaves out the time the
// thread waited for a core on a busy machine.
double ThreadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

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
BENCHMARK(BM_ReplotLines)->Arg(100000)->Arg(1000000)->Arg(3000000)->Unit(benchmark::kMillisecond);

// All five series: a run held at a fixed current, where every row also gives a pump pO2 point.
void BM_ReplotAllSeries(benchmark::State& state) {
    const auto plot = FilledPlot(int(state.range(0)), 1);
    Replot(state, *plot);
}
BENCHMARK(BM_ReplotAllSeries)->Arg(1000000)->Arg(3000000)->Unit(benchmark::kMillisecond);

// A redraw of the operator's zoom into the middle of a long run (an hour of 3 000 000 points).
void BM_ReplotZoomed(benchmark::State& state) {
    const auto plot = FilledPlot(int(state.range(0)), 0);
    const double middle = state.range(0) / 120.0;
    plot->XAxisTime->setRange(middle - 30, middle + 30);
    Replot(state, *plot);
}
BENCHMARK(BM_ReplotZoomed)->Arg(3000000)->Unit(benchmark::kMillisecond);

// Every row's points appended one by one up to 3 000 000 rows, each timed on its own.
void BM_AppendEveryDataPoint(benchmark::State& state) {
    const int rows = int(state.range(0));
    for (auto _ : state) {
        TDataPlot plot;
        std::vector<float> micros;
        micros.reserve(std::size_t(rows));
        double worstCpu = 0;
        for (int i = 0; i < rows; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const double cpu = ThreadCpuMicros();
            plot.AppendDataPoint(i / 60.0, 0.25, -1e-4, 800.0, 1e-5);
            worstCpu = std::max(worstCpu, ThreadCpuMicros() - cpu);
            micros.push_back(
                std::chrono::duration<float, std::micro>(std::chrono::steady_clock::now() - start).count());
        }
        const float worst = *std::max_element(micros.begin(), micros.end());
        std::nth_element(micros.begin(), micros.begin() + rows / 2, micros.end());
        state.counters["worst ms"] = worst / 1000.0;
        state.counters["median us"] = micros[std::size_t(rows / 2)];
        // One append in 10 000 is slower than this.
        std::nth_element(micros.begin(), micros.end() - rows / 10000, micros.end());
        state.counters["p99.99 us"] = *(micros.end() - rows / 10000);
        state.counters["worst cpu ms"] = worstCpu / 1000.0;
    }
}
BENCHMARK(BM_AppendEveryDataPoint)->Arg(3000000)->Iterations(1)->Unit(benchmark::kSecond);

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
    return RunBenchmarks(argc, argv);
}
