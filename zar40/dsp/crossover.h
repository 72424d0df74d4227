#pragma once
// Crossover filters (Butterworth, Linkwitz-Riley, Bessel; orders up to 8) as
// four second-order sections each, and the chains the crossover diagrams
// evaluate: one output's 13 sections and the "Result" sum of up to six.
#include "zar40/dsp/eq_design.h"
#include "zar40/dsp/filter_section.h"
#include "zar40/unit_counts.h"

#include <array>
#include <complex>
#include <cstdint>
#include <span>
#include <string_view>

namespace zar40::dsp {

// Low-pass ("High Cut") codes 0 to 3, high-pass ("Low Cut") codes 4 to 7.
enum CrossoverType : std::uint32_t {
    XoLowPassBypass = 0,
    XoLowPassButterworth = 1,
    XoLowPassLinkwitzRiley = 2,
    XoLowPassBessel = 3,
    XoHighPassBypass = 4,
    XoHighPassButterworth = 5,
    XoHighPassLinkwitzRiley = 6,
    XoHighPassBessel = 7,
};
inline constexpr std::uint32_t kCrossoverTypeMax = 7;

inline constexpr std::int32_t kCrossoverOrderMin = 1;
inline constexpr std::int32_t kCrossoverOrderMax = 8;
inline constexpr std::size_t kCrossoverSections = 4;

using CrossoverSections = std::array<FilterSection, kCrossoverSections>;

// Writes the four sections of one crossover filter. Refuses (false, out
// untouched) a type code above 7. Orders outside 0 to 8, which only a file
// or the device can bring, are clamped to that range: an order above 8 is
// drawn as order 8, a negative order as order 0 (four unity sections).
bool DesignCrossoverSections(std::uint32_t type, std::int32_t frequencyHz, std::int32_t order, CrossoverSections &out);

// "Bypass", "Butterworth", "Linkwitz-Riley", "Bessel" for either side; ""
// above 7.
std::string_view CrossoverTypeName(std::uint32_t type);

// The order a design uses: the given order clamped to 0 to 8.
std::int32_t effectiveCrossoverOrder(std::int32_t order);

// Analog prototype poles with the -3 dB point at 1 rad/s. The list holds the
// upper members of the conjugate pairs, then the real pole of an odd order,
// then the conjugates; count is the order (0 outside 1 to 8).
struct PoleList {
    std::array<std::complex<double>, kCrossoverOrderMax> poles{};
    std::size_t count = 0;
};
PoleList butterworthPoles(std::int32_t order);
PoleList besselPoles(std::int32_t order);

// One side of an output's crossover, as a design reads it. A default one is
// a bypassed low-pass.
struct CrossoverSettings {
    std::uint32_t type = XoLowPassBypass;
    std::int32_t frequencyHz = 0;
    std::int32_t order = 0;
};

inline constexpr std::size_t kEqBands = std::size_t(zar40::kBandCount);
inline constexpr std::size_t kOutputChainSections = 13;
inline constexpr std::size_t kOutputs = std::size_t(zar40::kOutputCount);
inline constexpr std::size_t kResultSections = kOutputs * kOutputChainSections;

// Sections 0-4 the equalizer bands, 5-8 the low-pass, 9-12 the high-pass.
using OutputChain = std::array<FilterSection, kOutputChainSections>;
using ResultBuffer = std::array<FilterSection, kResultSections>;

// What went wrong while building a chain, per part (band, low-pass,
// high-pass): a design refused for a type code the tables do not know, or
// a design whose coefficients are not all finite numbers (a Q of 0, a NaN
// from a file). Such parts are left out: refused parts stay unity sections,
// and every section that is not finite is replaced by a unity section, so a
// chain or a sum never evaluates to NaN because of one odd value.
struct PartProblem {
    bool refused = false;
    bool notFinite = false;

    bool any() const { return refused || notFinite; }
};
struct ChainProblems {
    std::array<PartProblem, kEqBands> bands{};
    PartProblem lowPass;
    PartProblem highPass;

    bool any() const;
};

bool isFinite(const FilterSection &s);

// The five sections of a channel's equalizer in band order; bands that are
// refused or not finite are unity sections.
using EqChain = std::array<FilterSection, kEqBands>;
EqChain buildEqChain(std::span<const EqBandSettings, kEqBands> bands, ChainProblems *problems = nullptr);
// One band's section by the same rule; false when it was left out.
bool designEqSectionOrUnity(const EqBandSettings &band, FilterSection &out, PartProblem *problem = nullptr);

// Builds one output's chain. With withPeq false the equalizer sections are
// unity, as when the diagrams' "PEQ" option is off.
OutputChain buildOutputChain(std::span<const EqBandSettings, kEqBands> bands, const CrossoverSettings &lowPass,
                             const CrossoverSettings &highPass, bool withPeq, ChainProblems *problems = nullptr);

// Zero-filled 78-section buffer holding the given chains one after another
// (at most six; further chains are ignored), with the equalizer sections
// replaced by unity sections when withPeq is false. Evaluate it with
// SumMagnitude / SumPhase, 13 sections per chain, 78 in total.
ResultBuffer buildResultBuffer(std::span<const OutputChain> chains, bool withPeq);

} // namespace zar40::dsp
