#include "zar40/preset/factory_layouts.h"

namespace zar40::preset {

namespace {

constexpr FactoryLayout kLayouts[] = {FactoryLayout::StereoBypass, FactoryLayout::MonoBypass, FactoryLayout::TwoWayStereo,
                                      FactoryLayout::TwoWayStereoMonoBass};

constexpr std::uint32_t kRouteA = 0, kRouteSumme = 1, kRouteB = 2;

CrossoverFilter crossover(std::uint32_t type, std::uint32_t frequency) { return {type, frequency, 4}; }

void setOutput(OutputChannel &o, const char *name, std::uint32_t route)
{
    setText(o.NAME, name);
    o.ROUTE = route;
}

} // namespace

std::span<const FactoryLayout> factoryLayouts() { return kLayouts; }

std::string_view factoryLayoutName(FactoryLayout layout)
{
    switch (layout) {
    case FactoryLayout::StereoBypass: return "Stereo Bypass";
    case FactoryLayout::MonoBypass: return "Mono Bypass";
    case FactoryLayout::TwoWayStereo: return "2 Way Stereo";
    case FactoryLayout::TwoWayStereoMonoBass: return "2 Way Stereo w. mono Bass";
    }
    return {};
}

std::optional<FactoryLayout> findFactoryLayout(std::string_view name)
{
    for (FactoryLayout l : kLayouts)
        if (factoryLayoutName(l) == name) return l;
    return std::nullopt;
}

PresetRecord applyFactoryLayout(const PresetRecord &current, int slot, FactoryLayout layout)
{
    PresetRecord r = current;

    InputChannel &a = r.inputs[0];
    setDefaultProcessing(a);
    r.inputs[1] = a; // the mute flag travels with the copies
    r.inputs[2] = a;

    OutputChannel &o1 = r.outputs[0];
    setDefaultProcessing(o1);
    for (std::size_t n = 1; n < r.outputs.size(); ++n) r.outputs[n] = o1;

    auto &out = r.outputs;
    switch (layout) {
    case FactoryLayout::StereoBypass:
        for (std::size_t n = 0; n < out.size(); ++n)
            setOutput(out[n], n % 2 == 0 ? "OUT L" : "OUT R", n % 2 == 0 ? kRouteA : kRouteB);
        break;
    case FactoryLayout::MonoBypass:
        for (auto &o : out) setOutput(o, "OUT MONO", kRouteSumme);
        break;
    case FactoryLayout::TwoWayStereo:
    case FactoryLayout::TwoWayStereoMonoBass: {
        const bool monoBass = layout == FactoryLayout::TwoWayStereoMonoBass;
        setOutput(out[0], monoBass ? "BASS MON" : "BASS L", monoBass ? kRouteSumme : kRouteA);
        setOutput(out[1], monoBass ? "BASS MON" : "BASS R", monoBass ? kRouteSumme : kRouteB);
        setOutput(out[2], "TOP L", kRouteA);
        setOutput(out[3], "TOP R", kRouteB);
        setOutput(out[4], "OUT L", kRouteA);
        setOutput(out[5], "OUT R", kRouteB);

        const Dynamics compressor{2, 0.0f, -3.0f, 3.0f, 8.0f, 10.0f, 500.0f};
        const Dynamics limiter{1, 0.0f, 0.0f, 3.0f, 1000.0f, 10.0f, 500.0f};
        for (std::size_t n : {0u, 1u}) {
            out[n].highCut = crossover(2, 120); // Linkwitz-Riley low-pass
            out[n].lowCut = defaultLowCut();
            out[n].DYNAMIC = compressor;
        }
        for (std::size_t n : {2u, 3u}) {
            out[n].highCut = defaultHighCut();
            out[n].lowCut = crossover(6, 120); // Linkwitz-Riley high-pass
            out[n].DYNAMIC = limiter;
        }
        break;
    }
    }

    if (layout != FactoryLayout::MonoBypass) r.number = 0;
    setStartupTexts(r, slot);
    r.PRESET_FLAGS = 0;
    return r;
}

void applyFactoryLayout(PresetMemory &memory, FactoryLayout layout)
{
    memory.currentRecord() = applyFactoryLayout(memory.currentRecord(), memory.current(), layout);
}

} // namespace zar40::preset
