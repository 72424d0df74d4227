#pragma once
// Measurements made of device bands, shared by the fit's tests and its
// benchmark: the fit's figures are quoted for exactly these cases.
#include "zar40/dsp/crossover.h"
#include "zar40/measurement/fit.h"

#include <array>
#include <cmath>
#include <random>
#include <sstream>
#include <string>

namespace fitcases {

// Seeds of the cases the fit's figures are quoted for: the first six, and
// six whose features overlap (a peak with narrow dips on its flanks, broad
// peaks adding up over several octaves, a peak and a dip side by side) on
// which a search that only placed bands one at a time got stuck.
inline constexpr std::array<unsigned, 6> kPlainSeeds{1, 2, 3, 4, 5, 6};
inline constexpr std::array<unsigned, 6> kOverlappingSeeds{10, 46, 80, 117, 157, 179};

struct Case {
    zar40::measurement::Bands bands{};
    zar40::measurement::Measurement measurement;
};

// Five bands from a seeded generator: three peaks of +3 to +9 dB and two
// dips of -3 to -6 dB, Q 0.7 to 5, 40 Hz to 12 kHz, either peaking design,
// at a level of 85 dB; noise adds up to +-noiseDb per point.
inline Case deviceBands(unsigned seed, double noiseDb, std::size_t points = 1600)
{
    namespace dsp = zar40::dsp;
    std::mt19937 rng(seed);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    Case c;
    for (std::size_t b = 0; b < dsp::kEqBands; ++b) {
        const bool dip = b >= 3;
        c.bands[b].type = rng() % 2 ? dsp::EqPeq1 : dsp::EqPeq2;
        c.bands[b].frequencyHz = static_cast<std::int32_t>(std::exp(uniform(std::log(40.0), std::log(12000.0))));
        c.bands[b].q = static_cast<float>(uniform(0.7, 5.0));
        c.bands[b].gainDb = static_cast<float>(dip ? uniform(-6.0, -3.0) : uniform(3.0, 9.0));
    }
    const dsp::EqChain chain = dsp::buildEqChain(c.bands);
    for (float f : dsp::logSpacedFrequencies(15.0f, 24000.0f, points)) {
        c.measurement.frequencyHz.push_back(f);
        c.measurement.magnitudeDb.push_back(85.0 + dsp::CascadeMagnitude(f, chain.data(), chain.size()) +
                                            (noiseDb > 0.0 ? uniform(-noiseDb, noiseDb) : 0.0));
    }
    return c;
}

inline std::string describe(const Case &c, const zar40::measurement::FitResult &r)
{
    std::ostringstream s;
    s << "measured bands:";
    for (const auto &b : c.bands)
        s << " [" << b.type << " " << b.frequencyHz << " Hz Q " << b.q << " " << b.gainDb << " dB]";
    s << "\nfitted bands:";
    for (const auto &b : r.bands)
        s << " [" << b.type << " " << b.frequencyHz << " Hz Q " << b.q << " " << b.gainDb << " dB]";
    s << "\nbefore " << r.before.rmsDb << " / " << r.before.maxDb << ", after " << r.after.rmsDb << " / "
      << r.after.maxDb;
    return s.str();
}

} // namespace fitcases
