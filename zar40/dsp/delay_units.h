#pragma once
// Delays: the device counts samples at 96 kHz (stored as samples + 1); the
// delay panel shows them in a unit of time or of distance, distances through
// the speed of sound at the panel's air temperature.
#include <array>
#include <cstdint>
#include <string_view>

namespace zar40::dsp {

enum DelayUnit : int { DelayMicroseconds = 0, DelayMilliseconds, DelaySeconds, DelayCentimetres, DelayMetres, DelayFeet };
inline constexpr int kDelayUnitCount = 6;

// "µs", "ms", "s", "cm", "m", "feet" (list entries) and "Delay [µs]" ...
// "Delay [ft]" (field captions); "" for an unknown index.
std::string_view delayUnitName(int unit);
std::string_view delayUnitCaption(int unit);
// Step of the unit's fields; 0 for an unknown index.
double delayUnitStep(int unit);

// Largest value of an input's or an output's delay field in the unit at
// temperature celsius (inputs reach 2 s, outputs 0.5 s); the smallest is 0.
double delayFieldMaximum(int unit, bool output, int celsius);
// A field keeps its value within its limits.
double clampDelayValue(double value, int unit, bool output, int celsius);

// Stored delay (samples + 1) of a value in the unit; the sample count is
// truncated toward zero. Negative or non-numeric values count as 0 samples
// and the count saturates at the 32-bit range instead of overflowing; an
// unknown unit gives 1 (no delay).
std::int32_t DelayToSamples(double value, int unit, int celsius);
// Value a field shows for a stored delay.
double SamplesToDelay(std::int32_t stored, int unit, int celsius);

// Stored delay from the record's single-precision DELAY field: the whole
// number it holds, saturated to the 32-bit range; NaN gives 1 (no delay).
std::int32_t storedDelayFromField(float delay);

// Speed-of-sound factor sqrt(1 + celsius / 273.15).
double speedOfSoundFactor(int celsius);
inline constexpr double kSpeedOfSoundMetres = 331.4;  // m/s at 0 °C
inline constexpr double kCentimetresPerFoot = 30.479974;

// Temperature fields: °C -20 to 60, °F -4 to 140, step 1, default 20 °C.
inline constexpr int kCelsiusMin = -20;
inline constexpr int kCelsiusMax = 60;
inline constexpr int kCelsiusDefault = 20;
inline constexpr int kFahrenheitMin = -4;
inline constexpr int kFahrenheitMax = 140;
// Conversions as the temperature unit switch makes them, truncated toward
// zero.
int celsiusToFahrenheit(int celsius);
int fahrenheitToCelsius(int fahrenheit);

} // namespace zar40::dsp
