#pragma once
// The "Quick Setup" layouts: ready-made loudspeaker configurations that
// replace the current preset. Pure functions; asking the user and sending the
// result to the device are the editor's business.
#include "zar40/preset/record.h"

#include <optional>
#include <span>
#include <string_view>

namespace zar40::preset {

enum class FactoryLayout {
    StereoBypass,         // "Stereo Bypass"
    MonoBypass,           // "Mono Bypass"
    TwoWayStereo,         // "2 Way Stereo"
    TwoWayStereoMonoBass, // "2 Way Stereo w. mono Bass"
};

std::span<const FactoryLayout> factoryLayouts();
std::string_view factoryLayoutName(FactoryLayout layout);
// By its menu name, exactly as factoryLayoutName gives it.
std::optional<FactoryLayout> findFactoryLayout(std::string_view name);

// The layout as it replaces CURRENT, the record of slot SLOT (0..31): every
// field is overwritten except the mute flags. All inputs take input A's
// former mute flag and all outputs output 1's. The number becomes 0, except
// with "Mono Bypass", which keeps it; the name becomes "Preset SLOT+1".
PresetRecord applyFactoryLayout(const PresetRecord &current, int slot, FactoryLayout layout);

// Replaces the current record of the preset memory.
void applyFactoryLayout(PresetMemory &memory, FactoryLayout layout);

} // namespace zar40::preset
