// One PID controller step as the multimeter's results step runs it: table lookups, the step and
// its 26-line listing. Goal: well under 20 µs.
#include "control/TPID.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

void BuildTable(TPID& pid) {
    pid.Calibration.Size = TPIDCalib::Rows;
    pid.Calibration.Data.resize(TPIDCalib::Rows);
    for (int k = 0; k < TPIDCalib::Rows; ++k) {
        const double x = k * TPIDCalib::RowStep;
        pid.Calibration.Data[k] = {x, 1000 + 10 * std::sin(x), 1000, 1000, 1000 + 200 * std::cos(x)};
    }
    pid.Calibration.Valid = true;
}

void BM_PIDStepWithListing(benchmark::State& state) {
    TPID pid;
    BuildTable(pid);
    pid.SetSetpoint(-7);
    pid.CurrentApplied = 0.0008;
    double pv = -5;
    for (auto _ : state) {
        pid.SetProcessVariable(pv);
        benchmark::DoNotOptimize(pid.FeedBack());
        benchmark::DoNotOptimize(pid.SL().constData());
        pv = pv < -9 ? -5 : pv - 0.0037; // wander over rows and both signs of the error
    }
}
BENCHMARK(BM_PIDStepWithListing);

} // namespace

BENCHMARK_MAIN();
