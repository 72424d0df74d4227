#pragma once
// What "Copy Channel Setup" copies inside one preset. Names and mute flags
// never travel: they say which speaker is which and whether it plays.
#include "zar40/preset/record.h"

#include <cstdint>

namespace zar40::model {

enum InputCopyItem : std::uint32_t {
    CopyInputGain = 1u << 0,
    CopyInputDelay = 1u << 1,
    CopyInputPeq = 1u << 2,
};

enum OutputCopyItem : std::uint32_t {
    CopyOutputRoute = 1u << 0,
    CopyOutputDelay = 1u << 1,
    CopyOutputGain = 1u << 2,
    CopyOutputPhase = 1u << 3,
    CopyOutputPeq = 1u << 4,
    CopyOutputXover = 1u << 5,
    CopyOutputDynamics = 1u << 6,
    CopyOutputNoiseGate = 1u << 7,
};

// Copies the ITEMS of input FROM to input TO (0 to 2) and returns how many
// items were copied (0 when an index is out of range, FROM is TO or nothing
// is checked).
int copyInputSetup(preset::PresetRecord &record, int from, int to, std::uint32_t items);
// The same for outputs (0 to 5).
int copyOutputSetup(preset::PresetRecord &record, int from, int to, std::uint32_t items);

// One press of "Copy": the checked items of both groups.
struct ChannelCopy {
    int inputFrom = 0;
    int inputTo = 0;
    std::uint32_t inputItems = 0;
    int outputFrom = 0;
    int outputTo = 0;
    std::uint32_t outputItems = 0;
};
// Inputs first, then outputs; the number of items copied.
int copyChannels(preset::PresetRecord &record, const ChannelCopy &copy);

} // namespace zar40::model
