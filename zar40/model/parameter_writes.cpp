#include "zar40/model/parameter_writes.h"

#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/preset/fields.h"

#include <algorithm>
#include <bit>

namespace zar40::model {

namespace {

using preset::Field;
using preset::Group;

bool isChannel(int channel) { return channel >= 0 && channel < preset::kChannelCount; }
bool isOutput(int channel) { return channel >= preset::kFirstOutput && channel < preset::kChannelCount; }

std::optional<std::uint16_t> channelAddress(int channel, Field field)
{
    if (!isChannel(channel)) return std::nullopt;
    return codec::addressOf(preset::FieldKey{channel, Group::Channel, 0, field});
}

std::uint32_t floatWord(float v) { return std::bit_cast<std::uint32_t>(v); }

preset::InputChannel *inputOf(preset::PresetRecord &r, int channel)
{
    return channel < preset::kInputCount ? &r.inputs[static_cast<std::size_t>(channel)] : nullptr;
}
preset::OutputChannel *outputOf(preset::PresetRecord &r, int channel)
{
    return isOutput(channel) ? &r.outputs[static_cast<std::size_t>(channel - preset::kFirstOutput)] : nullptr;
}
const preset::OutputChannel &outputAt(const preset::PresetRecord &r, int channel)
{
    return r.outputs[static_cast<std::size_t>(channel - preset::kFirstOutput)];
}

std::uint8_t muteOf(const preset::PresetRecord &r, int channel)
{
    return channel < preset::kInputCount ? r.inputs[static_cast<std::size_t>(channel)].MUTE
                                         : outputAt(r, channel).MUTE;
}
float gainOf(const preset::PresetRecord &r, int channel)
{
    return channel < preset::kInputCount ? r.inputs[static_cast<std::size_t>(channel)].GAIN
                                         : outputAt(r, channel).GAIN;
}

void append(WriteBatch &batch, std::optional<std::uint16_t> address, std::uint32_t value)
{
    if (address) batch.push_back(ParameterWrite{0, *address, value});
}

} // namespace

void markBatch(WriteBatch &batch)
{
    for (ParameterWrite &w : batch) w.code = codec::ReqWritePreset;
    if (!batch.empty()) batch.back().code = codec::ReqWritePara;
}

std::optional<int> stereoPartner(int channel)
{
    switch (channel) {
    case preset::kInputA: return preset::kInputB;
    case preset::kInputB: return preset::kInputA;
    default: break;
    }
    if (!isOutput(channel)) return std::nullopt;
    const int output = channel - preset::kFirstOutput;
    return preset::kFirstOutput + (output % 2 == 0 ? output + 1 : output - 1);
}

std::vector<int> linkedChannels(int channel, bool stereoLink)
{
    if (!isChannel(channel)) return {};
    const std::optional<int> partner = stereoLink ? stereoPartner(channel) : std::nullopt;
    if (!partner) return {channel};
    return {std::min(channel, *partner), std::max(channel, *partner)};
}

std::optional<std::uint16_t> gainAddress(int channel) { return channelAddress(channel, Field::Gain); }
std::optional<std::uint16_t> muteAddress(int channel) { return channelAddress(channel, Field::Mute); }
std::optional<std::uint16_t> phaseAddress(int channel)
{
    return isOutput(channel) ? channelAddress(channel, Field::Phase) : std::nullopt;
}

void applyFader(preset::PresetRecord &record, int channel, FaderChange change, float value, bool stereoLink)
{
    for (int ch : linkedChannels(channel, stereoLink)) {
        preset::InputChannel *in = inputOf(record, ch);
        preset::OutputChannel *out = outputOf(record, ch);
        switch (change) {
        case FaderChange::Gain:
            (in ? in->GAIN : out->GAIN) = value;
            break;
        case FaderChange::Mute:
            (in ? in->MUTE : out->MUTE) = value != 0.0f ? 1 : 0;
            break;
        case FaderChange::Phase:
            if (out) out->PHASE = value;
            break;
        }
    }
}

WriteBatch faderWrites(const preset::PresetRecord &record, int channel, FaderChange change, bool stereoLink)
{
    WriteBatch batch;
    const std::vector<int> channels = linkedChannels(channel, stereoLink);
    for (int ch : channels) {
        switch (change) {
        case FaderChange::Gain:
            append(batch, gainAddress(ch), floatWord(gainOf(record, ch)));
            break;
        case FaderChange::Mute: {
            // The unit takes the input pair's mute from input A alone.
            const bool inputPair = channels.size() == 2 && ch < preset::kInputCount;
            append(batch, muteAddress(ch), muteOf(record, inputPair ? preset::kInputA : ch));
            break;
        }
        case FaderChange::Phase:
            if (isOutput(ch)) append(batch, phaseAddress(ch), floatWord(outputAt(record, ch).PHASE));
            break;
        }
    }
    markBatch(batch);
    return batch;
}

WriteBatch applyMuteAll(preset::PresetRecord &record, bool mute)
{
    WriteBatch batch;
    for (int o = 0; o < preset::kOutputCount; ++o) {
        preset::OutputChannel &out = record.outputs[static_cast<std::size_t>(o)];
        const std::uint8_t wanted = mute ? 1 : 0;
        if ((out.MUTE != 0) == mute) continue;
        out.MUTE = wanted;
        append(batch, muteAddress(preset::kFirstOutput + o), wanted);
    }
    markBatch(batch);
    return batch;
}

bool allOutputsMuted(const preset::PresetRecord &record)
{
    return std::all_of(record.outputs.begin(), record.outputs.end(),
                       [](const preset::OutputChannel &o) { return o.MUTE != 0; });
}

WriteBatch applyStereoLinkEngage(preset::PresetRecord &record)
{
    WriteBatch batch;
    for (int first : {preset::kInputA, 3, 5, 7}) {
        const int second = *stereoPartner(first);
        const bool a = muteOf(record, first) != 0;
        const bool b = muteOf(record, second) != 0;
        if (a == b) continue;
        const int newlyMuted = a ? second : first;
        applyFader(record, newlyMuted, FaderChange::Mute, 1.0f, false);
        append(batch, gainAddress(newlyMuted), floatWord(kEngageMuteGain));
    }
    markBatch(batch);
    return batch;
}

WriteBatch changedFieldWrites(const preset::PresetRecord &before, const preset::PresetRecord &after)
{
    WriteBatch batch;
    const auto consider = [&](std::optional<std::uint16_t> address) {
        if (!address) return;
        const auto was = codec::wireValue(before, *address);
        const auto now = codec::wireValue(after, *address);
        if (now && was != now) batch.push_back(ParameterWrite{0, *address, *now});
    };
    for (const preset::FieldDescriptor *field : preset::differingFields(before, after)) {
        if (field->key.group == Group::Preset && field->key.field == Field::Number) continue;
        if (!field->isText()) {
            consider(codec::addressOf(*field));
            continue;
        }
        for (int group = 0; group * 4 < field->width; ++group) consider(codec::addressOf(*field, group));
    }
    std::sort(batch.begin(), batch.end(),
              [](const ParameterWrite &a, const ParameterWrite &b) { return a.address < b.address; });
    markBatch(batch);
    return batch;
}

WriteBatch deviceSettingsWrites(const std::string &name, bool keyboardLock, std::optional<std::uint32_t> password)
{
    codec::DeviceSettings settings{};
    codec::setDeviceName(settings, name);
    settings[codec::kKeyboardLockWord] = keyboardLock ? 1u : 0u;
    WriteBatch batch;
    for (std::size_t w = codec::kDeviceNameFirstWord; w < codec::kDeviceNameFirstWord + 4; ++w)
        batch.push_back({codec::ReqWritePreset, *codec::deviceSettingsAddress(w), settings[w]});
    batch.push_back({codec::ReqWritePreset, *codec::deviceSettingsAddress(codec::kKeyboardLockWord),
                     settings[codec::kKeyboardLockWord]});
    if (password) batch.push_back({codec::ReqWritePwd, 0, *password});
    else markBatch(batch);
    return batch;
}

} // namespace zar40::model
