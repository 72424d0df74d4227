#pragma once
// The automatic equalizer fit: places and tunes a channel's free bands so
// that the measurement with the channel's bands comes as close to a target
// as the device's own band designs allow. Every curve it weighs is computed
// with the same designs the diagrams and the unit use.
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/eq_design.h"
#include "zar40/measurement/measurement_file.h"

#include <array>
#include <span>
#include <string>

namespace zar40::measurement {

enum class TargetKind { Flat, Tilt, File };

struct FitTarget {
    TargetKind kind = TargetKind::Flat;
    double tiltDbPerDecade = 0.0; // about 1 kHz
    Measurement file;             // for TargetKind::File
};

using Bands = std::array<dsp::EqBandSettings, dsp::kEqBands>;

struct FitOptions {
    FitTarget target;
    double lowHz = 20.0;
    double highHz = 20000.0;
    // Bands the fit may set; the others stay exactly as they are and count
    // as part of the response.
    std::array<bool, dsp::kEqBands> usable{};
    // Highest gain of a band and of the whole equalizer curve; cuts go down
    // to the device's -20 dB.
    double maxBoostDb = 6.0;
    // Smoothing before fitting, 1/N octave; 0 fits the raw measurement.
    int smoothingFraction = 6;
    // Points on a logarithmic axis over the range that the deviation is
    // weighed on.
    std::size_t points = 1600;
};

inline constexpr double kMaxBoostLimitDb = 12.0;
inline constexpr int kMaxSmoothingFraction = 48;
inline constexpr std::size_t kMinFitPoints = 16;
inline constexpr std::size_t kMaxFitPoints = 20000;

// Deviation of the response from the target within the range, in dB, with
// the target placed at the level that matches best: the level is the
// channel gain's business, not the equalizer's.
struct Residual {
    double rmsDb = 0.0;
    double maxDb = 0.0;
};

struct FitResult {
    bool ok = false;
    std::string message; // why nothing could be fitted when !ok
    Bands bands{};       // the channel's five bands after the fit
    Residual before;     // measured against the unsmoothed measurement
    Residual after;
    // False when no better setting was found; bands are then the given ones.
    bool improved = false;
};

// A channel's defaults: the bands that are off are free, the rest kept;
// for an output (given its high cut, the low-pass, and low cut, the
// high-pass) the range is the passband between the two when they are on.
FitOptions defaultFitOptions(std::span<const dsp::EqBandSettings, dsp::kEqBands> bands,
                             const dsp::CrossoverSettings *highCut = nullptr,
                             const dsp::CrossoverSettings *lowCut = nullptr);

// The deviation of measurement + bands from the target, on the options'
// range and points, against the unsmoothed measurement. ok false (with a
// message) when the measurement, the target or the options do not allow it.
FitResult residualOf(const Measurement &m, std::span<const dsp::EqBandSettings, dsp::kEqBands> bands,
                     const FitOptions &options);

FitResult fitEq(const Measurement &m, std::span<const dsp::EqBandSettings, dsp::kEqBands> current,
                const FitOptions &options);

} // namespace zar40::measurement
