#include "zar40/model/editor_rules.h"

namespace zar40::model {

namespace {

std::uint32_t offCode(CrossoverSide side)
{
    return side == CrossoverSide::HighCut ? preset::kHighCutOff : preset::kLowCutOff;
}

} // namespace

std::uint32_t crossoverTypeAtListPosition(CrossoverSide side, int position)
{
    if (position < 0 || position >= kCrossoverListSize)
        return offCode(side);
    return offCode(side) + 1 + static_cast<std::uint32_t>(position);
}

int crossoverListPosition(CrossoverSide side, std::uint32_t type)
{
    const std::uint32_t off = offCode(side);
    if (type <= off || type > off + kCrossoverListSize)
        return -1;
    return static_cast<int>(type - off - 1);
}

preset::CrossoverFilter bypassedCrossover(CrossoverSide side)
{
    return side == CrossoverSide::HighCut ? preset::defaultHighCut() : preset::defaultLowCut();
}

preset::CrossoverFilter storedCrossover(CrossoverSide side, bool bypass, int listPosition, std::uint32_t frequencyHz,
                                        std::uint32_t order)
{
    if (bypass)
        return bypassedCrossover(side);
    return {crossoverTypeAtListPosition(side, listPosition), frequencyHz, order};
}

dsp::DynamicsSettings storedDynamics(std::uint32_t type, const dsp::DynamicsSettings &panel)
{
    dsp::DynamicsSettings s = panel;
    s.type = type;
    if (type == dsp::DynBypass)
        s.ratio = preset::defaultDynamics().RATIO;
    else if (type == dsp::DynLimiter)
        s.ratio = dsp::kLimiterRatio;
    return s;
}

dsp::DynamicsSettings shownDynamics(const dsp::DynamicsSettings &stored)
{
    if (stored.type != dsp::DynBypass)
        return stored;
    const preset::Dynamics d = preset::defaultDynamics();
    return dsp::DynamicsSettings{dsp::DynBypass, 0.0f, 0.0f, kBypassShownRatio, 0.0f, d.AT, d.RT};
}

NoiseGatePanel noiseGatePanelValues(const preset::NoiseGate &stored)
{
    if (!preset::isNoiseGateOn(stored))
        return NoiseGatePanel{true, kGateDefaultThreshold, 10.0f, 500.0f};
    return NoiseGatePanel{false, stored.THRESHOLD, stored.CT, stored.HT};
}

preset::NoiseGate storedNoiseGate(const NoiseGatePanel &panel)
{
    return {panel.bypass ? preset::kNoiseGateOffThreshold : panel.threshold, panel.firstTime, panel.secondTime};
}

} // namespace zar40::model
