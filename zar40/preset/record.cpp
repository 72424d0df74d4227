#include "zar40/preset/record.h"

#include <cstdio>
#include <cstring>

namespace zar40::preset {

bool isNameCharacterAllowed(char c)
{
    return c != 0 && std::strchr("%'*\"+?><:\\", c) == nullptr;
}

std::string filterNameInput(std::string_view text, std::size_t width)
{
    std::string out;
    for (char c : text) {
        if (out.size() == width) break;
        if (isNameCharacterAllowed(c)) out.push_back(c);
    }
    return out;
}

EqBand defaultEqBand() { return {kBandOff, 1000, 0.7f, 0.0f}; }
CrossoverFilter defaultHighCut() { return {kHighCutOff, 1000, 4}; }
CrossoverFilter defaultLowCut() { return {kLowCutOff, 1000, 4}; }
Dynamics defaultDynamics() { return {kDynamicsOff, 0.0f, 0.0f, 0.0f, 1.1f, 10.0f, 500.0f}; }
NoiseGate defaultNoiseGate() { return {kNoiseGateOffThreshold, 100.0f, 10.0f}; }

void setDefaultProcessing(InputChannel &in)
{
    in.DELAY = 1.0f;
    in.GAIN = 0.0f;
    in.PEQ.fill(defaultEqBand());
}

void setDefaultProcessing(OutputChannel &out)
{
    out.DELAY = 1.0f;
    out.GAIN = 0.0f;
    out.PHASE = 0.0f;
    out.PEQ.fill(defaultEqBand());
    out.highCut = defaultHighCut();
    out.lowCut = defaultLowCut();
    out.DYNAMIC = defaultDynamics();
    out.NOISEGATE = defaultNoiseGate();
}

bool PresetMemory::setCurrent(int index)
{
    if (index < 0 || index >= kPresetCount) return false;
    m_current = index;
    return true;
}

namespace {

constexpr const char *kAuthor = "V.R.N.";

// Numeric defaults shared by both default sets; texts are left empty.
void fillNumericDefaults(PresetRecord &r)
{
    std::memset(&r, 0, sizeof r);
    for (auto &in : r.inputs) setDefaultProcessing(in);
    for (std::size_t n = 0; n < r.outputs.size(); ++n) {
        setDefaultProcessing(r.outputs[n]);
        r.outputs[n].ROUTE = static_cast<std::uint32_t>(n % 3);
    }
    r.number = 0;
    r.PRESET_FLAGS = 0;
    setText(r.AUTHOR, kAuthor);
}

} // namespace

void fillDefaultPreset(PresetRecord &r)
{
    fillNumericDefaults(r);
    setText(r.NAME, "Default Preset");
    setText(r.inputs[0].NAME, "In A");
    setText(r.inputs[1].NAME, "Summe");
    setText(r.inputs[2].NAME, "In B");
    for (std::size_t n = 0; n < r.outputs.size(); ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "Out %zu", n + 1);
        setText(r.outputs[n].NAME, name);
    }
}

PresetRecord defaultPreset()
{
    PresetRecord r;
    fillDefaultPreset(r);
    return r;
}

void fillStartupPreset(PresetRecord &r, int slot)
{
    fillNumericDefaults(r);
    r.number = static_cast<std::uint32_t>(slot);
    setStartupTexts(r, slot);
    for (std::size_t n = 0; n < r.outputs.size(); ++n) {
        char out[32];
        std::snprintf(out, sizeof out, "OUT %zu", n + 1);
        setText(r.outputs[n].NAME, out);
    }
}

void setStartupTexts(PresetRecord &r, int slot)
{
    char name[32];
    std::snprintf(name, sizeof name, "Preset %d", slot + 1);
    setText(r.NAME, name);
    setText(r.AUTHOR, kAuthor);
    setText(r.inputs[0].NAME, "IN A");
    setText(r.inputs[1].NAME, "Summe");
    setText(r.inputs[2].NAME, "IN B");
}

PresetRecord startupPreset(int slot)
{
    PresetRecord r;
    fillStartupPreset(r, slot);
    return r;
}

void resetPresetMemory(PresetMemory &memory)
{
    for (int k = 0; k < kPresetCount; ++k) fillStartupPreset(memory.records()[static_cast<std::size_t>(k)], k);
    memory.setCurrent(0);
}

} // namespace zar40::preset
