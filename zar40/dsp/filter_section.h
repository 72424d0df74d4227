#pragma once
// One second-order digital section and the evaluation of chains and sums of
// chains on the unit circle. Every curve of the equalizer and crossover
// diagrams goes through these few functions, so they are the one place that
// decides what "the response at f" means.
#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace zar40::dsp {

// The processor is modelled at this rate for every design and evaluation.
inline constexpr double kSampleRate = 96000.0;

// H(z) = g * (1 + beta1 z^-1 + beta2 z^-2) / (1 - alpha1 z^-1 - alpha2 z^-2)
//
// A design whose leading numerator coefficient b0 is exactly zero has no
// normalised form (beta = b/b0). Such a section is stored with g = 0 and the
// unnormalised numerator in beta1 and beta2 (b1 and b2 themselves), so that
// the numerator evaluates to b1 z^-1 + b2 z^-2. A zero-filled section
// (all five fields 0) therefore still evaluates to exactly 0, which is how
// empty chain slots drop out of a sum.
struct FilterSection {
    double g = 1.0;
    double beta1 = 0.0;
    double beta2 = 0.0;
    double alpha1 = 0.0;
    double alpha2 = 0.0;

    friend constexpr bool operator==(const FilterSection &, const FilterSection &) = default;
};

inline constexpr FilterSection kUnitySection{1.0, 0.0, 0.0, 0.0, 0.0};
inline constexpr FilterSection kZeroSection{0.0, 0.0, 0.0, 0.0, 0.0};

// Builds a section from direct-form coefficients, denominator
// 1 + a1 z^-1 + a2 z^-2.
FilterSection sectionFromCoefficients(double b0, double b1, double b2, double a1, double a2);

// The two unit-circle points of one frequency: z^-1 and z^-2.
struct UnitCirclePoint {
    std::complex<double> z1;
    std::complex<double> z2;
};
UnitCirclePoint unitCircleAt(float frequencyHz);

// Complex response of one section, of the product of the first count
// sections, and of the sum of chains. A sum holds
// totalSections / sectionsPerChain chains (integer division); with
// sectionsPerChain 0 it holds none and is 0.
std::complex<double> sectionResponse(const FilterSection &s, const UnitCirclePoint &p);
std::complex<double> cascadeResponse(const UnitCirclePoint &p, const FilterSection *sections, std::size_t count);
std::complex<double> sumResponse(const UnitCirclePoint &p, const FilterSection *sections, std::size_t sectionsPerChain,
                                 std::size_t totalSections);

// 20 log10 |h|: an exact zero is -infinity.
double magnitudeDbOf(std::complex<double> h);
// arg h in degrees, -180 to +180, never unwrapped.
double phaseDegOf(std::complex<double> h);

double CascadeMagnitude(float frequencyHz, const FilterSection *sections, std::size_t count);
double CascadePhase(float frequencyHz, const FilterSection *sections, std::size_t count);
double SumMagnitude(float frequencyHz, const FilterSection *sections, std::size_t sectionsPerChain,
                    std::size_t totalSections);
double SumPhase(float frequencyHz, const FilterSection *sections, std::size_t sectionsPerChain,
                std::size_t totalSections);

// Whole curves. A diagram's frequencies change only with its width, so it
// computes their unit-circle points once and evaluates every curve on them;
// the values equal the single-frequency functions above. Each curve fills
// as many values as both points and out hold.
// count frequencies from lowHz to highHz (both above 0), equally spaced on a
// logarithmic axis; the ends are exact.
std::vector<float> logSpacedFrequencies(float lowHz, float highHz, std::size_t count);
std::vector<UnitCirclePoint> unitCirclePoints(std::span<const float> frequenciesHz);
void cascadeMagnitudeCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t count,
                           std::span<double> out);
void cascadePhaseCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t count,
                       std::span<double> out);
void sumMagnitudeCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections,
                       std::size_t sectionsPerChain, std::size_t totalSections, std::span<double> out);
void sumPhaseCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections,
                   std::size_t sectionsPerChain, std::size_t totalSections, std::span<double> out);

// How the whole-curve functions evaluate: several frequencies at once in the
// widest vectors the processor has (the default), in vectors of two as on
// any x86-64 processor, or one frequency at a time through the
// single-frequency functions. All three give the same values; the choice is
// there so that tests and benchmarks can compare them. Process-wide.
enum class CurveLanes { Widest, Two, One };
void setCurveLanes(CurveLanes lanes);

} // namespace zar40::dsp
