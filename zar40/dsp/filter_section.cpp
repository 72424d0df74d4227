#include "zar40/dsp/filter_section.h"

#include <cmath>
#include <numbers>

namespace zar40::dsp {

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
    const std::complex<double> den = 1.0 - s.alpha1 * p.z1 - s.alpha2 * p.z2;
    if (s.g == 0.0)
        return (s.beta1 * p.z1 + s.beta2 * p.z2) / den;
    return s.g * (1.0 + s.beta1 * p.z1 + s.beta2 * p.z2) / den;
}

std::complex<double> CascadeResponse(const UnitCirclePoint &p, const FilterSection *sections, std::size_t count)
{
    std::complex<double> product = 1.0;
    for (std::size_t i = 0; i < count; ++i)
        product *= SectionResponse(sections[i], p);
    return product;
}

std::complex<double> SumResponse(const UnitCirclePoint &p, const FilterSection *sections, std::size_t sectionsPerChain,
                                 std::size_t totalSections)
{
    std::complex<double> sum = 0.0;
    if (sectionsPerChain == 0)
        return sum;
    const std::size_t chains = totalSections / sectionsPerChain;
    for (std::size_t c = 0; c < chains; ++c)
        sum += CascadeResponse(p, sections + c * sectionsPerChain, sectionsPerChain);
    return sum;
}

double MagnitudeDb(std::complex<double> h)
{
    return 20.0 * std::log10(std::abs(h));
}

double PhaseDeg(std::complex<double> h)
{
    return std::arg(h) * 180.0 / std::numbers::pi;
}

double CascadeMagnitude(float frequencyHz, const FilterSection *sections, std::size_t count)
{
    return MagnitudeDb(CascadeResponse(UnitCircleAt(frequencyHz), sections, count));
}

double CascadePhase(float frequencyHz, const FilterSection *sections, std::size_t count)
{
    return PhaseDeg(CascadeResponse(UnitCircleAt(frequencyHz), sections, count));
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

} // namespace zar40::dsp
