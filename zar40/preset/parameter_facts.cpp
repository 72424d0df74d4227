#include "zar40/preset/parameter_facts.h"

#include <array>

namespace zar40::preset {

namespace {

struct FactsOf {
    Group group;
    Field field;
    const ParameterFacts *facts;
};

// The crossovers share the equalizer's frequency range.
constexpr std::array<FactsOf, 15> kFacts{{
    {Group::Channel, Field::Gain, &kChannelGainFacts},
    {Group::Peq, Field::Frequency, &kEqFrequencyFacts},
    {Group::Peq, Field::Q, &kEqQFacts},
    {Group::Peq, Field::Gain, &kEqGainFacts},
    {Group::HighCut, Field::Frequency, &kEqFrequencyFacts},
    {Group::LowCut, Field::Frequency, &kEqFrequencyFacts},
    {Group::Dynamics, Field::Threshold, &kDynThresholdFacts},
    {Group::Dynamics, Field::Knee, &kDynKneeFacts},
    {Group::Dynamics, Field::Gain, &kDynGainFacts},
    {Group::Dynamics, Field::Ratio, &kDynRatioFacts},
    {Group::Dynamics, Field::Attack, &kDynAttackFacts},
    {Group::Dynamics, Field::Release, &kDynReleaseFacts},
    {Group::NoiseGate, Field::Threshold, &kGateThresholdFacts},
    {Group::NoiseGate, Field::CloseTime, &kGateCloseTimeFacts},
    {Group::NoiseGate, Field::HoldTime, &kGateHoldTimeFacts},
}};

} // namespace

const ParameterFacts *parameterFacts(const FieldDescriptor &field)
{
    for (const FactsOf &f : kFacts)
        if (f.group == field.key.group && f.field == field.key.field) return f.facts;
    return nullptr;
}

} // namespace zar40::preset
