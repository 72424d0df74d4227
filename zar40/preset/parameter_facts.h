#pragma once
// What the editors allow and show for the numeric fields of the preset:
// range, step, decimals, the text after the number and the label, and how
// the printed report writes the same field. The editors, the diagrams, the
// equalizer fit, the report, the tool and the tests read them here, so that
// a range or a number form is written down once, beside the field table.
#include "zar40/preset/fields.h"

#include <string_view>

namespace zar40::preset {

// Sliders move through this many steps between their limits.
inline constexpr int kSliderSteps = 1000;

// How the printed report writes a field: its row label and number form.
// The printout keeps one decimal where the editors show whole numbers and
// names the unit of times the editors put in their captions.
struct PrintedForm {
    std::string_view label;
    int decimals;
    std::string_view suffix;
};

struct ParameterFacts {
    std::string_view label;  // the editor's caption of the control
    float min;
    float max;
    float step;              // one spin or key step; 0 for a slider of kSliderSteps
    int decimals;            // digits after the point the editors show
    std::string_view suffix; // what follows the number, blank included: " dB", ":1"
    PrintedForm printed;
};

// The fader of each channel.
inline constexpr ParameterFacts kChannelGainFacts{"Gain", -60.0f, 10.0f, 0.0f, 1, " dB", {"Gain", 1, " dB"}};
// An equalizer band; the crossover frequencies share the band's range.
inline constexpr ParameterFacts kEqFrequencyFacts{"Freq", 20.0f, 44000.0f, 1.0f, 0, " Hz", {"Freq.", 0, " Hz"}};
inline constexpr ParameterFacts kEqQFacts{"Q", 0.1f, 20.0f, 0.1f, 1, "", {"Q", 1, ""}};
inline constexpr ParameterFacts kEqGainFacts{"Gain", -20.0f, 12.0f, 0.1f, 1, " dB", {"Gain", 1, " dB"}};
// The dynamics stage of an output.
inline constexpr ParameterFacts kDynThresholdFacts{"Thresh", -40.0f, 10.0f, 0.0f, 0, " dBu", {"Threshold", 1, " dB"}};
inline constexpr ParameterFacts kDynKneeFacts{"Knee", 0.0f, 10.0f, 0.0f, 0, " dB", {"Knee", 1, ""}};
inline constexpr ParameterFacts kDynGainFacts{"Gain", -10.0f, 10.0f, 0.0f, 0, " dB", {"Gain", 1, " dB"}};
inline constexpr ParameterFacts kDynRatioFacts{"Ratio", 1.1f, 10.0f, 0.0f, 1, ":1", {"Ratio", 1, ""}};
inline constexpr ParameterFacts kDynAttackFacts{"AT ms", 0.1f, 1000.0f, 0.1f, 1, "", {"Attack Time", 1, " ms"}};
inline constexpr ParameterFacts kDynReleaseFacts{"RT ms", 1.0f, 10000.0f, 1.0f, 0, "", {"Release Time", 1, " ms"}};
// The noise gate of an output.
inline constexpr ParameterFacts kGateThresholdFacts{"Thresh", -85.0f, -35.0f, 0.0f, 0, " dBu",
    {"Threshold", 1, " dB"}};
inline constexpr ParameterFacts kGateCloseTimeFacts{"CT ms", 0.1f, 1000.0f, 0.1f, 1, "", {"Close Time", 1, " ms"}};
inline constexpr ParameterFacts kGateHoldTimeFacts{"HT ms", 1.0f, 10000.0f, 1.0f, 0, "", {"Hold Time", 1, " ms"}};
// A channel's delay, printed in milliseconds; the delay panel shows it in a
// unit of the user's choice (zar40/dsp/delay_units.h).
inline constexpr PrintedForm kDelayPrinted{"Delay", 1, " ms"};

// The facts of a field of the table; nullptr for the fields no editor sets
// as a number (texts, type codes, flags, routes, delays, orders, polarity).
const ParameterFacts *parameterFacts(const FieldDescriptor &field);

} // namespace zar40::preset
