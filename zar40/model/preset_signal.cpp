#include "zar40/model/preset_signal.h"

#include <algorithm>
#include <limits>

namespace zar40::model {

// The record's off codes and the designs' bypass codes are one fact seen
// from two sides; they must never drift apart.
static_assert(preset::kBandOff == dsp::EqBypass);
static_assert(preset::kHighCutOff == dsp::XoLowPassBypass);
static_assert(preset::kLowCutOff == dsp::XoHighPassBypass);
static_assert(preset::kDynamicsOff == dsp::DynBypass);
static_assert(preset::kBandCount == static_cast<int>(dsp::kEqBands));
static_assert(preset::kOutputCount == static_cast<int>(dsp::kOutputs));

std::int32_t signedField(std::uint32_t word)
{
    constexpr auto most = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(std::min(word, most));
}

dsp::EqBandSettings toBand(const preset::EqBand &b)
{
    return {b.TYPE, signedField(b.FREQUENCY), b.Q, b.GAIN};
}

dsp::CrossoverSettings toCrossover(const preset::CrossoverFilter &f)
{
    return {f.TYPE, signedField(f.FREQUENCY), signedField(f.ORDER)};
}

dsp::DynamicsSettings toDynamics(const preset::Dynamics &d)
{
    return {d.TYPE, d.THRESHOLD, d.KNEE, d.RATIO, d.GAIN, d.AT, d.RT};
}

BandSettings channelBands(const preset::PresetRecord &r, int channel)
{
    const auto &bands = channel < preset::kFirstOutput
                            ? r.inputs.at(static_cast<std::size_t>(channel)).PEQ
                            : r.outputs.at(static_cast<std::size_t>(channel - preset::kFirstOutput)).PEQ;
    BandSettings out;
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = toBand(bands[i]);
    return out;
}

dsp::EqChain channelEqChain(const preset::PresetRecord &r, int channel, dsp::ChainProblems *problems)
{
    return dsp::buildEqChain(channelBands(r, channel), problems);
}

dsp::OutputChain outputChainOf(const preset::PresetRecord &r, int output, bool withPeq, dsp::ChainProblems *problems)
{
    const preset::OutputChannel &o = r.outputs.at(static_cast<std::size_t>(output));
    return dsp::buildOutputChain(channelBands(r, preset::kFirstOutput + output), toCrossover(o.highCut),
                                 toCrossover(o.lowCut), withPeq, problems);
}

bool outputDrawsCurve(const preset::OutputChannel &o)
{
    return preset::isHighCutOn(o.highCut) || preset::isLowCutOn(o.lowCut);
}

std::array<bool, preset::kOutputCount> resultMembers(const preset::PresetRecord &r, int selected)
{
    std::array<bool, preset::kOutputCount> members{};
    if (selected < 0 || selected >= preset::kOutputCount)
        return members;
    const std::uint32_t route = r.outputs[static_cast<std::size_t>(selected)].ROUTE;
    for (std::size_t o = 0; o < members.size(); ++o)
        members[o] = r.outputs[o].ROUTE == route;
    return members;
}

std::vector<int> resultOutputs(const preset::PresetRecord &r, int selected)
{
    const auto members = resultMembers(r, selected);
    std::vector<int> outputs;
    for (std::size_t o = 0; o < members.size(); ++o)
        if (members[o])
            outputs.push_back(static_cast<int>(o));
    return outputs;
}

dsp::ResultBuffer resultBufferOf(const preset::PresetRecord &r, std::span<const int> outputs, bool withPeq,
                                 std::vector<dsp::ChainProblems> *problems)
{
    std::vector<dsp::OutputChain> chains;
    if (problems)
        problems->clear();
    for (int o : outputs) {
        if (o < 0 || o >= preset::kOutputCount || chains.size() == dsp::kOutputs)
            continue;
        dsp::ChainProblems found;
        chains.push_back(outputChainOf(r, o, withPeq, &found));
        if (problems)
            problems->push_back(found);
    }
    return dsp::buildResultBuffer(chains, withPeq);
}

} // namespace zar40::model
