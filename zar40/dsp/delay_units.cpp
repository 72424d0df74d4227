#include "zar40/dsp/delay_units.h"
#include "zar40/dsp/filter_section.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zar40::dsp {

namespace {

constexpr double kSpeedOfSoundCentimetres = 33140.0;
// 33140 cm/s over 30.479974 cm per foot (not 30.48): the factor distances
// in feet have always been shown with.
constexpr double kSpeedOfSoundFeet = 1087.2712686697173;

struct UnitInfo {
    std::string_view name;
    std::string_view caption;
    double step;
    double maxInput;  // times the speed-of-sound factor for distances
    double maxOutput;
    bool distance;
};

constexpr std::array<UnitInfo, kDelayUnitCount> kUnits{{
    {"\u00b5s", "Delay [\u00b5s]", 10.0, 2000000.0, 500000.0, false},
    {"ms", "Delay [ms]", 0.1, 2000.0, 500.0, false},
    {"s", "Delay [s]", 0.1, 2.0, 0.5, false},
    {"cm", "Delay [cm]", 1.0, 66280.0, 16570.0, true},
    {"m", "Delay [m]", 0.1, 662.8, 165.7, true},
    {"feet", "Delay [ft]", 1.0, 2174.5425373394346, 543.6356343348587, true},
}};

int truncateToInt(double v)
{
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(std::trunc(v), lo, hi));
}

bool knownUnit(int unit)
{
    return unit >= 0 && unit < kDelayUnitCount;
}

} // namespace

std::string_view delayUnitName(int unit)
{
    return knownUnit(unit) ? kUnits[static_cast<std::size_t>(unit)].name : std::string_view{};
}

std::string_view delayUnitCaption(int unit)
{
    return knownUnit(unit) ? kUnits[static_cast<std::size_t>(unit)].caption : std::string_view{};
}

double delayUnitStep(int unit)
{
    return knownUnit(unit) ? kUnits[static_cast<std::size_t>(unit)].step : 0.0;
}

double speedOfSoundFactor(int celsius)
{
    // 1/273.15 as a product: the quotient celsius/273.15 differs from it in
    // the last bit for some temperatures (24 °C), and truncated distances
    // must come out the same as they always have.
    return std::sqrt(static_cast<double>(celsius) * 0.0036609921288669233 + 1.0);
}

double delayFieldMaximum(int unit, bool output, int celsius)
{
    if (!knownUnit(unit))
        return 0.0;
    const UnitInfo &u = kUnits[static_cast<std::size_t>(unit)];
    const double limit = output ? u.maxOutput : u.maxInput;
    return u.distance ? limit * speedOfSoundFactor(celsius) : limit;
}

double clampDelayValue(double value, int unit, bool output, int celsius)
{
    if (std::isnan(value))
        return 0.0;
    return std::clamp(value, 0.0, delayFieldMaximum(unit, output, celsius));
}

std::int32_t DelayToSamples(double value, int unit, int celsius)
{
    const double s = speedOfSoundFactor(celsius);
    double samples = 0.0;
    switch (unit) {
    case DelayMicroseconds: samples = value / 1000.0 * 96.0; break;
    case DelayMilliseconds: samples = value * 96.0; break;
    case DelaySeconds: samples = value * kSampleRate; break;
    case DelayCentimetres: samples = value * kSampleRate / (kSpeedOfSoundCentimetres * s); break;
    case DelayMetres: samples = value * kSampleRate / (kSpeedOfSoundMetres * s); break;
    case DelayFeet: samples = value * kSampleRate / (kSpeedOfSoundFeet * s); break;
    default: return 1;
    }
    // The field never holds such values; a caller that passes them still
    // gets a defined count instead of an undefined conversion.
    constexpr double most = static_cast<double>(std::numeric_limits<std::int32_t>::max() - 1);
    if (!(samples > 0.0))
        return 1;
    if (samples >= most)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(samples) + 1;
}

double SamplesToDelay(std::int32_t stored, int unit, int celsius)
{
    const double n = static_cast<double>(stored) - 1.0;
    const double s = speedOfSoundFactor(celsius);
    switch (unit) {
    case DelayMicroseconds: return std::trunc(n / kSampleRate * 1000000.0);
    case DelayMilliseconds: return n / kSampleRate * 1000.0;
    case DelaySeconds: return n / kSampleRate;
    case DelayCentimetres: return std::trunc(s * (n / kSampleRate * 100.0 * kSpeedOfSoundMetres));
    case DelayMetres: return s * (n / kSampleRate * kSpeedOfSoundMetres);
    case DelayFeet: return std::trunc(s * (n / kSampleRate * 100.0 / kCentimetresPerFoot * kSpeedOfSoundMetres));
    default: return 0.0;
    }
}

std::int32_t storedDelayFromField(float delay)
{
    if (std::isnan(delay))
        return 1;
    const double d = static_cast<double>(delay);
    if (d <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (d >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(d);
}

int celsiusToFahrenheit(int celsius)
{
    return truncateToInt(static_cast<double>(celsius) * 9.0 / 5.0 + 32.0);
}

int fahrenheitToCelsius(int fahrenheit)
{
    return truncateToInt((static_cast<double>(fahrenheit) - 32.0) * 5.0 / 9.0);
}

} // namespace zar40::dsp
