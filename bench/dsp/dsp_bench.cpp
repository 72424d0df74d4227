// What dragging a marker costs: designing every section of a preset and
// evaluating the crossover "Result" and an equalizer curve at diagram
// resolution (1600 points from 20 Hz to 44 kHz).
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/eq_design.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <vector>

using namespace zar40::dsp;

namespace {

constexpr int kPoints = 1600;

std::vector<float> LogFrequencies()
{
    return logSpacedFrequencies(20.0f, 44000.0f, kPoints);
}

benchmark::Counter PerSection(std::size_t sections)
{
    return benchmark::Counter(double(sections) * kPoints,
                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A busy preset: every band of every channel in use, every crossover side a
// high-order filter.
struct Preset {
    std::array<std::array<EqBandSettings, kEqBands>, 9> bands;
    std::array<CrossoverSettings, kOutputs> lowPass;
    std::array<CrossoverSettings, kOutputs> highPass;
};

Preset BusyPreset()
{
    Preset p;
    for (std::size_t c = 0; c < 9; ++c) {
        for (std::size_t b = 0; b < kEqBands; ++b) {
            const auto type = static_cast<std::uint32_t>(1 + (c * kEqBands + b) % kEqBandTypeMax);
            p.bands[c][b] = {type, static_cast<std::int32_t>(100 * (b + 1) * (c + 1)), 1.4f, -3.0f + float(b)};
        }
    }
    for (std::size_t o = 0; o < kOutputs; ++o) {
        p.lowPass[o] = {static_cast<std::uint32_t>(1 + o % 3), static_cast<std::int32_t>(2000 + 500 * o), 8};
        p.highPass[o] = {static_cast<std::uint32_t>(5 + o % 3), static_cast<std::int32_t>(80 + 40 * o), 7};
    }
    return p;
}

ResultBuffer BusyResult()
{
    const Preset p = BusyPreset();
    std::vector<OutputChain> chains;
    for (std::size_t o = 0; o < kOutputs; ++o)
        chains.push_back(buildOutputChain(p.bands[3 + o], p.lowPass[o], p.highPass[o], true));
    return buildResultBuffer(chains, true);
}

void DesignAllSectionsOfAPreset(benchmark::State &state)
{
    const Preset p = BusyPreset();
    std::array<FilterSection, 45> eq;
    std::array<CrossoverSections, 12> xo;
    for (auto _ : state) {
        for (std::size_t c = 0; c < 9; ++c)
            for (std::size_t b = 0; b < kEqBands; ++b) {
                const EqBandSettings &s = p.bands[c][b];
                DesignEqSection(s.type, s.frequencyHz, s.q, s.gainDb, eq[c * kEqBands + b]);
            }
        for (std::size_t o = 0; o < kOutputs; ++o) {
            DesignCrossoverSections(p.lowPass[o].type, p.lowPass[o].frequencyHz, p.lowPass[o].order, xo[2 * o]);
            DesignCrossoverSections(p.highPass[o].type, p.highPass[o].frequencyHz, p.highPass[o].order, xo[2 * o + 1]);
        }
        benchmark::DoNotOptimize(eq);
        benchmark::DoNotOptimize(xo);
    }
    state.counters["designs"] = 45 + 12;
}
BENCHMARK(DesignAllSectionsOfAPreset);

void ResultCurve(benchmark::State &state, bool phase)
{
    const ResultBuffer result = BusyResult();
    const std::vector<float> freqs = LogFrequencies();
    std::vector<double> curve(freqs.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < freqs.size(); ++i)
            curve[i] = phase ? SumPhase(freqs[i], result.data(), kOutputChainSections, result.size())
                             : SumMagnitude(freqs[i], result.data(), kOutputChainSections, result.size());
        benchmark::DoNotOptimize(curve.data());
    }
    state.counters["per_section"] = PerSection(kResultSections);
}
void ResultMagnitudeCurve(benchmark::State &state) { ResultCurve(state, false); }
void ResultPhaseCurve(benchmark::State &state) { ResultCurve(state, true); }
BENCHMARK(ResultMagnitudeCurve)->Unit(benchmark::kMicrosecond);
BENCHMARK(ResultPhaseCurve)->Unit(benchmark::kMicrosecond);

// The five sections of the busy preset's first channel.
std::array<FilterSection, kEqBands> BusyEqChain()
{
    const Preset p = BusyPreset();
    std::array<FilterSection, kEqBands> chain;
    for (std::size_t b = 0; b < kEqBands; ++b) {
        const EqBandSettings &s = p.bands[0][b];
        DesignEqSection(s.type, s.frequencyHz, s.q, s.gainDb, chain[b]);
    }
    return chain;
}

void EqMagnitudeCurve(benchmark::State &state)
{
    const std::array<FilterSection, kEqBands> chain = BusyEqChain();
    const std::vector<float> freqs = LogFrequencies();
    std::vector<double> curve(freqs.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < freqs.size(); ++i)
            curve[i] = CascadeMagnitude(freqs[i], chain.data(), chain.size());
        benchmark::DoNotOptimize(curve.data());
    }
    state.counters["per_section"] = PerSection(kEqBands);
}
BENCHMARK(EqMagnitudeCurve)->Unit(benchmark::kMicrosecond);

// The same curves as a diagram draws them: the unit-circle points of its
// columns computed once, every curve evaluated on them. The argument picks
// how many frequencies go at once: 0 the widest vectors the processor has
// (what the diagrams use), 2 two-lane vectors, 1 one frequency at a time.
void ResultCurvePrecomputed(benchmark::State &state, bool phase)
{
    const ResultBuffer result = BusyResult();
    const std::vector<float> freqs = LogFrequencies();
    const std::vector<UnitCirclePoint> points = unitCirclePoints(freqs);
    std::vector<double> curve(freqs.size());
    setCurveLanes(state.range(0) == 0 ? CurveLanes::Widest : state.range(0) == 2 ? CurveLanes::Two : CurveLanes::One);
    for (auto _ : state) {
        if (phase)
            sumPhaseCurve(points, result.data(), kOutputChainSections, result.size(), curve);
        else
            sumMagnitudeCurve(points, result.data(), kOutputChainSections, result.size(), curve);
        benchmark::DoNotOptimize(curve.data());
    }
    setCurveLanes(CurveLanes::Widest);
    state.counters["per_section"] = PerSection(kResultSections);
}
void ResultMagnitudeCurvePrecomputed(benchmark::State &state) { ResultCurvePrecomputed(state, false); }
void ResultPhaseCurvePrecomputed(benchmark::State &state) { ResultCurvePrecomputed(state, true); }
BENCHMARK(ResultMagnitudeCurvePrecomputed)->Arg(0)->Arg(2)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(ResultPhaseCurvePrecomputed)->Arg(0)->Arg(2)->Arg(1)->Unit(benchmark::kMicrosecond);

void EqMagnitudeCurvePrecomputed(benchmark::State &state)
{
    const std::array<FilterSection, kEqBands> chain = BusyEqChain();
    const std::vector<float> freqs = LogFrequencies();
    const std::vector<UnitCirclePoint> points = unitCirclePoints(freqs);
    std::vector<double> curve(freqs.size());
    for (auto _ : state) {
        cascadeMagnitudeCurve(points, chain.data(), chain.size(), curve);
        benchmark::DoNotOptimize(curve.data());
    }
    state.counters["per_section"] = PerSection(kEqBands);
}
BENCHMARK(EqMagnitudeCurvePrecomputed)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
