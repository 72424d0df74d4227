#pragma once
// How the editor's panels map stored preset fields to what they show and
// back: the crossover's type list and bypass, the dynamics panel's stored
// and shown values, and the noise gate, which has no design of its own.
// The panels, the report and the tests read these instead of re-deriving
// them from the code tables.
#include "zar40/dsp/dynamics.h"
#include "zar40/preset/record.h"

#include <cstdint>

namespace zar40::model {

// ---- Crossover -------------------------------------------------------------

enum class CrossoverSide {
    HighCut, // the low-pass, codes 0 to 3
    LowCut,  // the high-pass, codes 4 to 7
};

// The editor's type list "Butterworth", "Linkwitz-Riley", "Bessel":
// position p means code p + 1 on the high cut and p + 5 on the low cut.
inline constexpr int kCrossoverListSize = 3;
// A position outside the list gives the side's bypass code.
std::uint32_t crossoverTypeAtListPosition(CrossoverSide side, int position);
// -1 for the side's bypass code and for codes that are not the side's.
int crossoverListPosition(CrossoverSide side, std::uint32_t type);

// What a side reads back as once the bypass box is ticked: code 0 (or 4),
// 1000 Hz, order 4, the preset's defaults.
preset::CrossoverFilter bypassedCrossover(CrossoverSide side);
// The stored filter of a side from the editor's controls.
preset::CrossoverFilter storedCrossover(CrossoverSide side, bool bypass, int listPosition, std::uint32_t frequencyHz,
                                        std::uint32_t order);

// ---- Dynamics ----------------------------------------------------------------

// The settings the panel stores for a type: bypass stores type 0 and the
// default ratio 1.1, the limiter ratio 1000, the compressor the slider's
// ratio; the other values are the panel's.
dsp::DynamicsSettings storedDynamics(std::uint32_t type, const dsp::DynamicsSettings &panel);
// What the panel shows for stored settings: a bypassed stage shows
// threshold, knee and gain 0, ratio 1.0 and the default attack and release.
dsp::DynamicsSettings shownDynamics(const dsp::DynamicsSettings &stored);
inline constexpr float kBypassShownRatio = 1.0f;

// ---- Noise gate ----------------------------------------------------------------

// The gate's panel (its ranges are preset::kGate...Facts); whether a stored
// gate is off is the record's rule (preset::isNoiseGateOn).
inline constexpr float kGateDefaultThreshold = -65.0f;
inline constexpr float kGateDefaultFirstTime = 0.1f;
inline constexpr float kGateDefaultSecondTime = 1.0f;

struct NoiseGatePanel {
    bool bypass = true;
    float threshold = kGateDefaultThreshold;
    float firstTime = kGateDefaultFirstTime;   // "CT ms"
    float secondTime = kGateDefaultSecondTime; // "HT ms"
};
// What the panel shows: a gate that is off shows -65 dBu, 10 ms and 500 ms
// whatever is stored.
NoiseGatePanel noiseGatePanelValues(const preset::NoiseGate &stored);
// What the panel stores: switching to bypass stores the off threshold and
// keeps the times.
preset::NoiseGate storedNoiseGate(const NoiseGatePanel &panel);

} // namespace zar40::model
