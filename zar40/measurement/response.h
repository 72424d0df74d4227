#pragma once
// A measurement on the frequencies a diagram or a fit works with, and what
// the processor's own filters make of it: the predicted response is the
// measurement with the channel's sections applied, in magnitude alone or,
// where the measurement has a phase, as complex values.
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/filter_section.h"
#include "zar40/measurement/measurement_file.h"

#include <complex>
#include <optional>
#include <span>
#include <vector>

namespace zar40::measurement {

// Mid band whose mean level is taken as 0 dB when normalising.
inline constexpr double kNormaliseLowHz = 200.0;
inline constexpr double kNormaliseHighHz = 2000.0;

enum class Normalisation { Off, MidBand };

// Values on given frequencies. Where the measurement does not reach a
// frequency the value is NaN: nothing is invented beyond its ends. phaseDeg
// is empty for a measurement without phase, and lies within -180 to +180.
struct Curve {
    std::vector<float> frequencyHz;
    std::vector<double> magnitudeDb;
    std::vector<double> phaseDeg;

    bool hasPhase() const { return !phaseDeg.empty(); }
};

// The level to add so that the mean over 200 Hz to 2 kHz (on a logarithmic
// frequency axis) is 0 dB; nullopt when the measurement does not reach into
// that band.
std::optional<double> normalisationOffset(const Measurement &m);

// Linear interpolation over log frequency; the phase is unwrapped first so
// that a wrap between two points does not average to a false value.
// offsetDb is added to every magnitude.
Curve interpolate(const Measurement &m, std::span<const float> frequencies, double offsetDb = 0.0);

// interpolate() with the offset the normalisation asks for (0 when off or
// when the measurement misses the mid band).
Curve onFrequencies(const Measurement &m, std::span<const float> frequencies, Normalisation n);

// The curve with a chain of sections applied at its frequencies.
Curve predict(const Curve &measured, const dsp::FilterSection *sections, std::size_t count);
Curve predictEq(const Curve &measured, std::span<const dsp::EqBandSettings, dsp::kEqBands> bands);
Curve predictOutput(const Curve &measured, const dsp::OutputChain &chain);

// The phase-true sum of predicted responses on the same frequencies: only
// when every one has a phase (nullopt otherwise, or for none).
std::optional<Curve> complexSum(std::span<const Curve> predicted);

// The terms complexSum() adds: a curve with a phase as complex values, NaN
// where it has no value. A diagram keeps them for the predictions that did
// not change.
std::vector<std::complex<double>> complexValues(const Curve &c);
// Their sum on FREQUENCIES, NaN where any term is; the same numbers as
// complexSum() of the curves they came from.
Curve sumOfComplex(std::span<const float> frequencies,
                   std::span<const std::vector<std::complex<double>> *const> terms);

} // namespace zar40::measurement
