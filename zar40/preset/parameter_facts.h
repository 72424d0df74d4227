#pragma once
// What the editors allow and show for the numeric fields of the preset:
// range, step, decimals, the text after the number and the label. The
// editors, the diagrams, the equalizer fit and the tests read them here, so
// that a range is written down once, beside the field table.
#include "zar40/preset/fields.h"

#include <string_view>

namespace zar40::preset {

// Sliders move through this many steps between their limits.
inline constexpr int kSliderSteps = 1000;

struct ParameterFacts {
    std::string_view label;  // the editor's caption of the control
    float min;
    float max;
    float step;              // one spin or key step; 0 for a slider of kSliderSteps
    int decimals;            // digits after the point the editors show
    std::string_view suffix; // what follows the number, blank included: " dB", ":1"
};

// The fader of each channel.
inline constexpr ParameterFacts kChannelGainFacts{"Gain", -60.0f, 10.0f, 0.0f, 1, " dB"};
// An equalizer band; the crossover frequencies share the band's range.
inline constexpr ParameterFacts kEqFrequencyFacts{"Freq", 20.0f, 44000.0f, 1.0f, 0, " Hz"};
inline constexpr ParameterFacts kEqQFacts{"Q", 0.1f, 20.0f, 0.1f, 1, ""};
inline constexpr ParameterFacts kEqGainFacts{"Gain", -20.0f, 12.0f, 0.1f, 1, " dB"};
// The dynamics stage of an output.
inline constexpr ParameterFacts kDynThresholdFacts{"Thresh", -40.0f, 10.0f, 0.0f, 0, " dBu"};
inline constexpr ParameterFacts kDynKneeFacts{"Knee", 0.0f, 10.0f, 0.0f, 0, " dB"};
inline constexpr ParameterFacts kDynGainFacts{"Gain", -10.0f, 10.0f, 0.0f, 0, " dB"};
inline constexpr ParameterFacts kDynRatioFacts{"Ratio", 1.1f, 10.0f, 0.0f, 1, ":1"};
inline constexpr ParameterFacts kDynAttackFacts{"AT ms", 0.1f, 1000.0f, 0.1f, 1, ""};
inline constexpr ParameterFacts kDynReleaseFacts{"RT ms", 1.0f, 10000.0f, 1.0f, 0, ""};
// The noise gate of an output.
inline constexpr ParameterFacts kGateThresholdFacts{"Thresh", -85.0f, -35.0f, 0.0f, 0, " dBu"};
inline constexpr ParameterFacts kGateCloseTimeFacts{"CT ms", 0.1f, 1000.0f, 0.1f, 1, ""};
inline constexpr ParameterFacts kGateHoldTimeFacts{"HT ms", 1.0f, 10000.0f, 1.0f, 0, ""};

// The facts of a field of the table; nullptr for the fields no editor sets
// as a number (texts, type codes, flags, routes, delays, orders, polarity).
const ParameterFacts *parameterFacts(const FieldDescriptor &field);

} // namespace zar40::preset
