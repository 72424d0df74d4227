#pragma once
// Equalizer bands: one band's settings become one second-order section,
// designed by the bilinear transform at 96 kHz.
#include "zar40/dsp/filter_section.h"

#include <cstdint>
#include <string_view>

namespace zar40::dsp {

enum EqBandType : std::uint32_t {
    EqBypass = 0,
    EqPeq1 = 1,
    EqPeq2 = 2,
    EqLowShelf6 = 3,
    EqLowShelf12 = 4,
    EqHighShelf6 = 5,
    EqHighShelf12 = 6,
    EqLowPass = 7,
    EqHighPass = 8,
    EqBandPass = 9,
    EqBandStop = 10,
    EqAllPass1 = 11,
    EqAllPass2 = 12,
};
inline constexpr std::uint32_t kEqBandTypeMax = 12;

// One equalizer band, as a design reads it. A default one is bypassed.
struct EqBandSettings {
    std::uint32_t type = EqBypass;
    std::int32_t frequencyHz = 0;
    float q = 0.0f;
    float gainDb = 0.0f;
};

// Writes the section of one band. Refuses (false, out untouched) a type code
// above 12; every other input is designed as given, unchecked.
bool DesignEqSection(std::uint32_t type, std::int32_t frequencyHz, float q, float gainDb, FilterSection &out);

// Long name for reports; "" above 12.
std::string_view EqBandTypeName(std::uint32_t type);
// Name in the band editor's type list, leading blank included; the list
// holds codes 1 to 12, so code 0 (the bypass check box) and codes above 12
// have "".
std::string_view eqBandShortName(std::uint32_t type);

// The band editor's type list holds codes 1 to 12: list position p means
// code p + 1. Position -1 (or any other outside the list) is the bypass
// check box, code 0; code 0 and unknown codes have position -1.
std::uint32_t eqBandTypeAtListPosition(int position);
int eqBandListPosition(std::uint32_t type);

// Which settings a band type's design reads.
struct EqBandUses {
    bool frequency = false;
    bool q = false;
    bool gain = false;
};
EqBandUses eqBandTypeUses(std::uint32_t type);

// Diagrams hold frequencies as floating point; designs take the integer
// frequency truncated toward zero. Values beyond the 32-bit range saturate
// and a NaN becomes 0 instead of being undefined.
std::int32_t truncateFrequency(double frequencyHz);

} // namespace zar40::dsp
