#pragma once
// A channel's five bands as the equalizer text that many measurement and
// playback programs exchange, one line per band:
//   Filter 1: ON PK Fc 1000 Hz Gain -3.0 dB Q 1.41
// Types are mapped to the device's codes where the shapes correspond;
// anything else is refused with the line it came from.
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/eq_design.h"
#include "zar40/measurement/text_lines.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace zar40::measurement {

// No band file comes near this; larger text is refused unread.
inline constexpr std::size_t kMaxBandTextBytes = 1u << 20;

// Why the text was refused, when it was (line, message, errorText()).
struct BandTextRead : LineRefusal {
    bool ok = false;
    std::array<dsp::EqBandSettings, dsp::kEqBands> bands{};
};

// Lines that do not start with "Filter" are header text and skipped.
// Bands the text does not name are bypassed.
BandTextRead readBandText(std::string_view text);

struct BandTextWrite {
    bool ok = false;
    std::string text;
    std::string message; // names the band without a counterpart
};

BandTextWrite writeBandText(std::span<const dsp::EqBandSettings, dsp::kEqBands> bands);

} // namespace zar40::measurement
