// What "Fit EQ..." costs: five free bands on a 1600-point measurement of
// five device bands (the cases the tests use), the default options (flat
// target over 20 Hz-20 kHz, 1/6 octave smoothing, 1600 points weighed), and
// the reader on a 200000-point file.
#include "zar40/measurement/fit.h"
#include "zar40/measurement/measurement_file.h"

#include "fit_cases.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

using namespace zar40::measurement;

namespace {

void FitFiveBands(benchmark::State &state)
{
    const fitcases::Case c = fitcases::deviceBands(static_cast<unsigned>(state.range(0)), 0.0);
    FitOptions o;
    o.usable.fill(true);
    double rms = 0.0, max = 0.0;
    for (auto _ : state) {
        const FitResult r = fitEq(c.measurement, Bands{}, o);
        benchmark::DoNotOptimize(r.bands);
        rms = r.after.rmsDb;
        max = r.after.maxDb;
    }
    state.counters["rms_db"] = rms;
    state.counters["max_db"] = max;
}
BENCHMARK(FitFiveBands)
    ->Apply([](benchmark::internal::Benchmark *b) {
        for (unsigned seed : fitcases::kPlainSeeds)
            b->Arg(seed);
        for (unsigned seed : fitcases::kOverlappingSeeds)
            b->Arg(seed);
    })
    ->Unit(benchmark::kMillisecond);

void ReadLargestFile(benchmark::State &state)
{
    std::string text = "* frequency magnitude phase\n";
    for (std::size_t i = 1; i <= kMaxPoints; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%.3f %.3f %.2f\n", 10.0 + 0.12 * double(i), 85.0 - 1e-5 * double(i), -45.5);
        text += line;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(readMeasurement(text).ok);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(ReadLargestFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
