#pragma once
// The part of a benchmark's main after its Qt application object is made: reads the benchmark
// options, runs the benchmarks the command line selects and reports them.
#include <benchmark/benchmark.h>

inline int RunBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
