#pragma once
// "Speaker and Amplifier Data": whether the loudspeaker and the amplifier
// behind an output are protected by that output's limiter or compressor.
// A pure function of the output's dynamics and the panel's inputs; the
// panel only shows the lines.
#include "zar40/dsp/dynamics.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zar40::dsp {

// Whether a line confirms the setup or warns about it; the panel picks the
// colour (green or red).
enum class MessageLevel { Ok, Caution };

struct ImpedanceEntry {
    std::string_view text;
    double ohms;
};
// The impedance list, in list order; "4" is the default.
inline constexpr std::array<ImpedanceEntry, 5> kImpedances{{
    {"2", 2.0}, {"2.67", 2.67}, {"4", 4.0}, {"8", 8.0}, {"16", 16.0}}};
inline constexpr std::size_t kImpedanceDefaultIndex = 2;

// Box and amplifier power fields: 25 to 3200 W in steps of 25; amplifier
// gain 20 to 50 dB in steps of 0.1.
inline constexpr ParameterRange kSpeakerPowerRange{25.0f, 3200.0f, 25.0f};
inline constexpr ParameterRange kAmplifierGainRange{20.0f, 50.0f, 0.1f};

struct SpeakerPanel {
    double impedanceOhms = 4.0;
    double boxPowerW = 400.0;
    double amplifierPowerW = 600.0;
    float amplifierGainDb = 30.0f;
    bool balanced = false;
};

// Level reached by an input 18 dB above the threshold, T + G + 18/R, formed
// in single precision as the device does.
float maxOutputLevel(const DynamicsSettings &dynamics);
// Volts RMS, cut down to two decimals.
double MaxOutputVoltage(const DynamicsSettings &dynamics, const SpeakerPanel &panel);
// Whole watts. Kept in a double so that settings no panel produces (a ratio
// of 0 from a file gives an infinite level) stay infinite, and the checks
// below warn, instead of overflowing an integer.
double MaxOutputPower(const DynamicsSettings &dynamics, const SpeakerPanel &panel);

struct MessageLine {
    std::string text;
    MessageLevel level;
    friend bool operator==(const MessageLine &, const MessageLine &) = default;
};

// The panel's list, rebuilt from empty.
std::vector<MessageLine> speakerMessages(const DynamicsSettings &dynamics, const SpeakerPanel &panel);

} // namespace zar40::dsp
