#include "zar40/model/channel_copy.h"

#include <bit>

namespace zar40::model {

namespace {

bool inRange(int index, int count)
{
    return index >= 0 && index < count;
}

} // namespace

int copyInputSetup(preset::PresetRecord &record, int from, int to, std::uint32_t items)
{
    if (!inRange(from, preset::kInputCount) || !inRange(to, preset::kInputCount) || from == to) return 0;
    const preset::InputChannel source = record.inputs[static_cast<std::size_t>(from)];
    preset::InputChannel &target = record.inputs[static_cast<std::size_t>(to)];
    items &= CopyInputGain | CopyInputDelay | CopyInputPeq;
    if (items & CopyInputGain) target.GAIN = source.GAIN;
    if (items & CopyInputDelay) target.DELAY = source.DELAY;
    if (items & CopyInputPeq) target.PEQ = source.PEQ;
    return std::popcount(items);
}

int copyOutputSetup(preset::PresetRecord &record, int from, int to, std::uint32_t items)
{
    if (!inRange(from, preset::kOutputCount) || !inRange(to, preset::kOutputCount) || from == to) return 0;
    const preset::OutputChannel source = record.outputs[static_cast<std::size_t>(from)];
    preset::OutputChannel &target = record.outputs[static_cast<std::size_t>(to)];
    items &= 0xFFu;
    if (items & CopyOutputRoute) target.ROUTE = source.ROUTE;
    if (items & CopyOutputDelay) target.DELAY = source.DELAY;
    if (items & CopyOutputGain) target.GAIN = source.GAIN;
    if (items & CopyOutputPhase) target.PHASE = source.PHASE;
    if (items & CopyOutputPeq) target.PEQ = source.PEQ;
    if (items & CopyOutputXover) {
        target.highCut = source.highCut;
        target.lowCut = source.lowCut;
    }
    if (items & CopyOutputDynamics) target.DYNAMIC = source.DYNAMIC;
    if (items & CopyOutputNoiseGate) target.NOISEGATE = source.NOISEGATE;
    return std::popcount(items);
}

int copyChannels(preset::PresetRecord &record, const ChannelCopy &copy)
{
    return copyInputSetup(record, copy.inputFrom, copy.inputTo, copy.inputItems)
           + copyOutputSetup(record, copy.outputFrom, copy.outputTo, copy.outputItems);
}

} // namespace zar40::model
