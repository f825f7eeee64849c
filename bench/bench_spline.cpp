// Speed of the approximative spline: a calculation through 1000 points (goal: under 1 ms) and
// 10000 evaluations (goal: under 1 ms), the latter both in ascending order, as the PID table is
// filled, and in scattered order.
#include "numerics/TRtInterpolation.h"
#include "numerics/TRtInterpolationCalculation.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

void MakePoints(int n, std::vector<double>& x, std::vector<double>& y) {
    std::mt19937 gen(42);
    std::uniform_real_distribution<double> step(0.5, 1.5), val(0.0, 5000.0);
    x.clear();
    y.clear();
    double at = 0;
    for (int i = 0; i < n; ++i) {
        x.push_back(at);
        y.push_back(val(gen));
        at += step(gen);
    }
}

void BM_SplineCalculate(benchmark::State& state) {
    std::vector<double> x, y;
    MakePoints(int(state.range(0)), x, y);
    TRtInterpolationCalculation calc;
    calc.SetElasticityFactor(100.0);
    for (auto _ : state) {
        calc.Calculate(x.data(), int(x.size()), y.data(), int(y.size()));
        benchmark::DoNotOptimize(calc.A().data());
    }
}
BENCHMARK(BM_SplineCalculate)->Arg(14)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// 10000 evaluations per iteration over a curve of state.range(0) knots.
void Evaluate10000(benchmark::State& state, bool scattered) {
    std::vector<double> x, y;
    MakePoints(int(state.range(0)), x, y);
    TRtInterpolationCalculation calc;
    calc.Calculate(x.data(), int(x.size()), y.data(), int(y.size()));
    std::vector<double> at(10000);
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> anywhere(x.front() - 1, x.back() + 1);
    for (size_t i = 0; i < at.size(); ++i)
        at[i] =
            scattered ? anywhere(gen) : x.front() + (x.back() - x.front()) * double(i) / double(at.size());
    for (auto _ : state) {
        double sum = 0;
        for (double v : at)
            sum += calc.Evaluate(v);
        benchmark::DoNotOptimize(sum);
    }
}
void BM_Evaluate10000Ascending(benchmark::State& state) {
    Evaluate10000(state, false);
}
void BM_Evaluate10000Scattered(benchmark::State& state) {
    Evaluate10000(state, true);
}
BENCHMARK(BM_Evaluate10000Ascending)->Arg(14)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Evaluate10000Scattered)->Arg(14)->Arg(1000)->Unit(benchmark::kMicrosecond);

// What the PID table build does: four curves over 14 rows, 10000 GetY calls each.
void BM_PidTableBuild(benchmark::State& state) {
    std::vector<double> x, y;
    MakePoints(14, x, y);
    TRtDoubleVector xv, yv[4];
    TRtInterpolation curve[4];
    for (int c = 0; c < 4; ++c) {
        curve[c].SetXData(&xv);
        curve[c].SetYData(&yv[c]);
        curve[c].SetElasticityFactor(100.0);
    }
    for (auto _ : state) {
        xv.Assign(x);
        for (auto& v : yv)
            v.Assign(y);
        double sum = 0;
        double at = 0;
        for (int k = 0; k < 10000; ++k) {
            for (auto& c : curve)
                sum += c.GetY(at);
            at += 25.0 / 10000;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_PidTableBuild)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
