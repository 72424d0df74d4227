#include "zar40/dsp/filter_section.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>

namespace zar40::dsp {

namespace {

// Numerator and denominator of a chain are multiplied up separately and
// divided once at the end: a division per section costs more than the rest
// of the section together, and the curves are redrawn while a marker moves.
// Both products stay far from overflow for the few sections of a chain
// (every denominator factor is at most 1 + |alpha1| + |alpha2|).
struct Fraction {
    double nr = 1.0, ni = 0.0, dr = 1.0, di = 0.0;
};

inline void MultiplySection(Fraction &f, const FilterSection &s, const UnitCirclePoint &p)
{
    const double z1r = p.z1.real(), z1i = p.z1.imag(), z2r = p.z2.real(), z2i = p.z2.imag();
    double ar, ai;
    if (s.g != 0.0) {
        ar = s.g * (1.0 + s.beta1 * z1r + s.beta2 * z2r);
        ai = s.g * (s.beta1 * z1i + s.beta2 * z2i);
    } else {
        // Unnormalised numerator b1 z^-1 + b2 z^-2 (b0 == 0).
        ar = s.beta1 * z1r + s.beta2 * z2r;
        ai = s.beta1 * z1i + s.beta2 * z2i;
    }
    const double br = 1.0 - s.alpha1 * z1r - s.alpha2 * z2r;
    const double bi = -(s.alpha1 * z1i + s.alpha2 * z2i);
    const double nr = f.nr * ar - f.ni * ai;
    const double ni = f.nr * ai + f.ni * ar;
    const double dr = f.dr * br - f.di * bi;
    const double di = f.dr * bi + f.di * br;
    f = {nr, ni, dr, di};
}

inline std::complex<double> Value(const Fraction &f)
{
    const double d2 = f.dr * f.dr + f.di * f.di;
    // A pole exactly on the unit circle (or a non-finite coefficient) is
    // left to the library's complex division and its infinities.
    if (!(d2 >= DBL_MIN && d2 <= DBL_MAX))
        return std::complex<double>(f.nr, f.ni) / std::complex<double>(f.dr, f.di);
    return {(f.nr * f.dr + f.ni * f.di) / d2, (f.ni * f.dr - f.nr * f.di) / d2};
}

inline std::complex<double> Cascade(const UnitCirclePoint &p, const FilterSection *sections, std::size_t count)
{
    Fraction f;
    for (std::size_t i = 0; i < count; ++i)
        MultiplySection(f, sections[i], p);
    return Value(f);
}

// Empty chain slots of a sum are zero-filled; they add exactly 0 and need
// not be evaluated at every frequency.
bool IsEmptyChain(const FilterSection *sections, std::size_t count)
{
    return std::all_of(sections, sections + count, [](const FilterSection &s) { return s == kZeroSection; });
}

template <typename Convert>
void SumCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t sectionsPerChain,
              std::size_t totalSections, std::span<double> out, Convert convert)
{
    std::vector<const FilterSection *> live;
    if (sectionsPerChain != 0) {
        for (std::size_t c = 0; c < totalSections / sectionsPerChain; ++c) {
            const FilterSection *chain = sections + c * sectionsPerChain;
            if (!IsEmptyChain(chain, sectionsPerChain))
                live.push_back(chain);
        }
    }
    const std::size_t n = std::min(points.size(), out.size());
    for (std::size_t i = 0; i < n; ++i) {
        std::complex<double> sum = 0.0;
        for (const FilterSection *chain : live)
            sum += Cascade(points[i], chain, sectionsPerChain);
        out[i] = convert(sum);
    }
}

template <typename Convert>
void CascadeCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t count,
                  std::span<double> out, Convert convert)
{
    const std::size_t n = std::min(points.size(), out.size());
    for (std::size_t i = 0; i < n; ++i)
        out[i] = convert(Cascade(points[i], sections, count));
}

} // namespace

FilterSection SectionFromCoefficients(double b0, double b1, double b2, double a1, double a2)
{
    if (b0 == 0.0)
        return FilterSection{0.0, b1, b2, -a1, -a2};
    return FilterSection{b0, b1 / b0, b2 / b0, -a1, -a2};
}

UnitCirclePoint UnitCircleAt(float frequencyHz)
{
    const double w = static_cast<double>(frequencyHz) * (-2.0 * std::numbers::pi) / kSampleRate;
    return UnitCirclePoint{{std::cos(w), std::sin(w)}, {std::cos(2.0 * w), std::sin(2.0 * w)}};
}

std::complex<double> SectionResponse(const FilterSection &s, const UnitCirclePoint &p)
{
    return Cascade(p, &s, 1);
}

std::complex<double> CascadeResponse(const UnitCirclePoint &p, const FilterSection *sections, std::size_t count)
{
    return Cascade(p, sections, count);
}

std::complex<double> SumResponse(const UnitCirclePoint &p, const FilterSection *sections, std::size_t sectionsPerChain,
                                 std::size_t totalSections)
{
    std::complex<double> sum = 0.0;
    if (sectionsPerChain == 0)
        return sum;
    const std::size_t chains = totalSections / sectionsPerChain;
    for (std::size_t c = 0; c < chains; ++c)
        sum += Cascade(p, sections + c * sectionsPerChain, sectionsPerChain);
    return sum;
}

double MagnitudeDb(std::complex<double> h)
{
    // |h|^2 avoids hypot's cost; it is exact enough wherever it neither
    // underflows nor overflows, and hypot takes over where it would.
    const double n = h.real() * h.real() + h.imag() * h.imag();
    if (n >= DBL_MIN && n <= DBL_MAX)
        return 10.0 * std::log10(n);
    return 20.0 * std::log10(std::abs(h));
}

double PhaseDeg(std::complex<double> h)
{
    return std::arg(h) * 180.0 / std::numbers::pi;
}

double CascadeMagnitude(float frequencyHz, const FilterSection *sections, std::size_t count)
{
    return MagnitudeDb(Cascade(UnitCircleAt(frequencyHz), sections, count));
}

double CascadePhase(float frequencyHz, const FilterSection *sections, std::size_t count)
{
    return PhaseDeg(Cascade(UnitCircleAt(frequencyHz), sections, count));
}

double SumMagnitude(float frequencyHz, const FilterSection *sections, std::size_t sectionsPerChain,
                    std::size_t totalSections)
{
    return MagnitudeDb(SumResponse(UnitCircleAt(frequencyHz), sections, sectionsPerChain, totalSections));
}

double SumPhase(float frequencyHz, const FilterSection *sections, std::size_t sectionsPerChain,
                std::size_t totalSections)
{
    return PhaseDeg(SumResponse(UnitCircleAt(frequencyHz), sections, sectionsPerChain, totalSections));
}

std::vector<float> LogSpacedFrequencies(float lowHz, float highHz, std::size_t count)
{
    std::vector<float> f(count);
    if (count == 1)
        f[0] = lowHz;
    const double ratio = static_cast<double>(highHz) / static_cast<double>(lowHz);
    for (std::size_t i = 0; count > 1 && i < count; ++i)
        f[i] = static_cast<float>(lowHz * std::pow(ratio, static_cast<double>(i) / static_cast<double>(count - 1)));
    if (count > 1)
        f.back() = highHz;
    return f;
}

std::vector<UnitCirclePoint> UnitCirclePoints(std::span<const float> frequenciesHz)
{
    std::vector<UnitCirclePoint> points;
    points.reserve(frequenciesHz.size());
    for (float f : frequenciesHz)
        points.push_back(UnitCircleAt(f));
    return points;
}

void CascadeMagnitudeCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t count,
                           std::span<double> out)
{
    CascadeCurve(points, sections, count, out, MagnitudeDb);
}

void CascadePhaseCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t count,
                       std::span<double> out)
{
    CascadeCurve(points, sections, count, out, PhaseDeg);
}

void SumMagnitudeCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections,
                       std::size_t sectionsPerChain, std::size_t totalSections, std::span<double> out)
{
    SumCurve(points, sections, sectionsPerChain, totalSections, out, MagnitudeDb);
}

void SumPhaseCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections,
                   std::size_t sectionsPerChain, std::size_t totalSections, std::span<double> out)
{
    SumCurve(points, sections, sectionsPerChain, totalSections, out, PhaseDeg);
}

} // namespace zar40::dsp
