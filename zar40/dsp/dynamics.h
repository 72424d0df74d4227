#pragma once
// Dynamics stage (limiter / compressor) of an output: parameter ranges and
// the static transfer curve. How the panel stores and shows a stage, and the
// noise gate, which has no curve, belong to the preset side (zar40/model).
#include <cstdint>
#include <string_view>
#include <vector>

namespace zar40::dsp {

enum DynamicsType : std::uint32_t { DynBypass = 0, DynLimiter = 1, DynCompressor = 2 };

// "Bypass", "Limiter", "Compressor"; "" above 2.
std::string_view dynamicsTypeName(std::uint32_t type);

struct ParameterRange {
    float min;
    float max;
    float step; // 0 for the sliders, which have 1000 steps between the limits
};

// A limiter is a compressor of this ratio.
inline constexpr float kLimiterRatio = 1000.0f;

// One output's dynamics settings, in the record's units. A default one is a
// bypassed stage of ratio 1; the preset's defaults are the preset's.
struct DynamicsSettings {
    std::uint32_t type = DynBypass;
    float threshold = 0.0f;
    float knee = 0.0f;
    float ratio = 1.0f;
    float gain = 0.0f;
    float attack = 0.0f;
    float release = 0.0f;
};

// The knee: a cubic through (x0,y0)..(x3,y3) in Newton form. `defined` is
// false for a ratio that is not above 0 (or not a number); the curve
// formulas divide by the ratio and have no meaning there.
struct KneeCurve {
    bool defined = false;
    double offset = 0.0;
    double x0 = 0.0, x1 = 0.0, x2 = 0.0, x3 = 0.0;
    double c0 = 0.0, c1 = 0.0, c2 = 0.0, c3 = 0.0;
};

KneeCurve ComputeKneeCurve(double threshold, double knee, double ratio);

// Output level (dBu) for an input level (dBu): unity below the knee, the
// cubic through the knee, slope 1/ratio above it, shifted by the gain.
// For an undefined curve (ratio 0 or below) the stage is taken as
// uncompressed: input + gain.
double DynamicsOutputLevel(double input, double threshold, double knee, double ratio, double gain,
                           const KneeCurve &curve);

// Convenience for callers that hold the settings.
double DynamicsOutputLevel(double input, const DynamicsSettings &s);

// The dynamics diagram's polyline: for pixel columns 0 to plotWidth - 2 the
// input level i * (inMax - inMin) / plotWidth + inMin and the output level
// clamped to outMin..outMax. Empty when nothing is drawn: a bypassed stage,
// a ratio not above 0, or a plot narrower than two pixels.
struct CurvePoint {
    double input;
    double output;
};
inline constexpr double kDynPlotMin = -40.0;
inline constexpr double kDynPlotMax = 20.0;
std::vector<CurvePoint> dynamicsCurvePoints(const DynamicsSettings &s, int plotWidth, double inMin = kDynPlotMin,
                                            double inMax = kDynPlotMax, double outMin = kDynPlotMin,
                                            double outMax = kDynPlotMax);

} // namespace zar40::dsp
