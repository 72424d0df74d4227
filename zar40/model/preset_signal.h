#pragma once
// The preset record seen by the signal math. The designs know nothing of
// presets and the record knows nothing of filters; everything that draws a
// curve from a preset (the diagrams, the report, the zar40 tool) turns the
// record into design inputs here, so that all of them draw the same curve.
//
// Outputs are counted from 0 here (0 = output 1); channels use the channel
// index of the record (0 input A, 1 Summe, 2 input B, 3..8 outputs 1..6).
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/dynamics.h"
#include "zar40/dsp/eq_design.h"
#include "zar40/preset/record.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace zar40::model {

// Integer fields are unsigned words; the designs take signed 32-bit values.
// A word beyond the signed range counts as the largest signed value, so that
// an absurd order from a file is drawn as order 8 (never as a negative one).
std::int32_t signedField(std::uint32_t word);

dsp::EqBandSettings toBand(const preset::EqBand &band);
dsp::CrossoverSettings toCrossover(const preset::CrossoverFilter &filter);
dsp::DynamicsSettings toDynamics(const preset::Dynamics &dynamics);

using BandSettings = std::array<dsp::EqBandSettings, dsp::kEqBands>;
BandSettings channelBands(const preset::PresetRecord &record, int channel);

// The chain of a channel's five bands: the equalizer diagrams' "Result".
dsp::EqChain channelEqChain(const preset::PresetRecord &record, int channel, dsp::ChainProblems *problems = nullptr);

// One output's 13 sections: bands (unity when withPeq is false), high cut
// (the low-pass), low cut (the high-pass).
dsp::OutputChain outputChainOf(const preset::PresetRecord &record, int output, bool withPeq,
                               dsp::ChainProblems *problems = nullptr);

// An output draws its own curve unless both of its crossover filters are
// off (high cut code 0 and low cut code 4).
bool outputDrawsCurve(const preset::OutputChannel &output);

// The outputs summed into the crossover diagrams' "Result" while SELECTED
// is the output chosen in the editor: every output whose input routing
// equals the selected one's, the selected one included, in output order.
// These are also the outputs the diagrams lock. Empty for an index outside
// 0 to 5.
std::vector<int> resultOutputs(const preset::PresetRecord &record, int selected);
std::array<bool, preset::kOutputCount> resultMembers(const preset::PresetRecord &record, int selected);

// The "Result" buffer of the given outputs (at most six; indices outside 0
// to 5 are skipped). problems, when given, receives one entry per output
// used, in the same order.
dsp::ResultBuffer resultBufferOf(const preset::PresetRecord &record, std::span<const int> outputs, bool withPeq,
                                 std::vector<dsp::ChainProblems> *problems = nullptr);

} // namespace zar40::model
