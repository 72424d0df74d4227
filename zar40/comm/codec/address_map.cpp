#include "address_map.h"

#include "request_codes.h"
#include "values.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

namespace zar40::codec {

using preset::FieldDescriptor;
using preset::Group;
using PField = preset::Field;

namespace {

// Digits of a decimal address CGIF.
struct Digits {
    int c, g, i, f;
};

Digits digitsOf(std::uint16_t address)
{
    return {address / 1000, address / 100 % 10, address / 10 % 10, address % 10};
}

std::uint16_t cgif(int c, int g, int i, int f) { return static_cast<std::uint16_t>(c * 1000 + g * 100 + i * 10 + f); }

// Where D sits among the fields of its group (its band, for Group::Peq) in
// the field table: the index or field digit that follows from it.
int positionInGroup(const FieldDescriptor &d)
{
    const auto group = preset::fieldsOf(d.key.channel, d.key.group, d.key.index);
    return static_cast<int>(&d - group.data());
}

// Text group G of the name of channel CH: IN A at 0030/0031, IN B at
// 0032/0033, output n at 0040 + 2 (n - 1); the Summe name stays off the wire.
std::optional<std::uint16_t> channelNameAddress(int ch, int g)
{
    if (ch == preset::kInputA) return cgif(0, 0, 3, g);
    if (ch == preset::kInputB) return cgif(0, 0, 3, 2 + g);
    if (ch >= preset::kFirstOutput) return static_cast<std::uint16_t>(40 + 2 * (ch - preset::kFirstOutput) + g);
    return std::nullopt;
}

// The one rule from fields to addresses. Channel digit C is the channel
// index + 1. Inputs: group 1 delay, 2 gain, 3 equalizer, 4 mute. Outputs: 1
// route, 2 delay, 3 gain, 4 phase, 5 equalizer, 6 crossover (high cut, then
// low cut), 7 dynamics, 8 noise gate, 9 mute. In the equalizer groups the
// index digit is the band and the field digit the field's place in the
// band; in groups 6 to 8 the index digit is the field's place in the group.
std::optional<std::uint16_t> encode(const FieldDescriptor &d, int textGroup)
{
    const int groups = d.isText() ? d.width / 4 : 1;
    if (textGroup < 0 || textGroup >= groups) return std::nullopt;
    const int ch = d.key.channel;
    const int pos = positionInGroup(d) + 1;
    switch (d.key.group) {
    case Group::Preset:
        switch (d.key.field) {
        case PField::Number: return cgif(0, 0, 0, 0);
        case PField::Name: return cgif(0, 0, 1, textGroup);
        case PField::Author: return cgif(0, 0, 2, textGroup);
        case PField::Flags: return cgif(0, 0, 6, 0);
        default: return std::nullopt;
        }
    case Group::Channel: {
        if (d.key.field == PField::Name) return channelNameAddress(ch, textGroup);
        const bool input = ch < preset::kFirstOutput;
        switch (d.key.field) {
        case PField::Route: return cgif(ch + 1, 1, 0, 0);
        case PField::Delay: return cgif(ch + 1, input ? 1 : 2, 0, 0);
        case PField::Gain: return cgif(ch + 1, input ? 2 : 3, 0, 0);
        case PField::Phase: return cgif(ch + 1, 4, 0, 0);
        case PField::Mute: return cgif(ch + 1, input ? 4 : 9, 0, 0);
        default: return std::nullopt;
        }
    }
    case Group::Peq: return cgif(ch + 1, ch < preset::kFirstOutput ? 3 : 5, d.key.index + 1, pos);
    case Group::HighCut: return cgif(ch + 1, 6, pos, 0);
    case Group::LowCut:
        return cgif(ch + 1, 6, static_cast<int>(preset::fieldsOf(ch, Group::HighCut).size()) + pos, 0);
    case Group::Dynamics: return cgif(ch + 1, 7, pos, 0);
    case Group::NoiseGate: return cgif(ch + 1, 8, pos, 0);
    }
    return std::nullopt;
}

Conversion conversionOf(const FieldDescriptor &d)
{
    if (d.isText()) return Conversion::Text;
    if (d.key.field == PField::Delay) return Conversion::Delay;
    if (d.key.field == PField::Mute) return Conversion::Mute;
    if (d.key.group == Group::LowCut && d.key.field == PField::Type) return Conversion::LowCutType;
    return Conversion::None;
}

// The read order's rule: inputs, then outputs, each group by group, then
// field digit, index digit and channel (the first equalizer fields of every
// band and channel before the second ones); then the preset-wide fields and
// the device settings in address order.
auto readRank(std::uint16_t address)
{
    const auto [c, g, i, f] = digitsOf(address);
    if (c == 0) return std::array<int, 5>{2, address, 0, 0, 0};
    return std::array<int, 5>{c <= preset::kInputCount ? 0 : 1, g, f, i, c};
}

struct Tables {
    std::map<std::uint16_t, ParameterTarget> byAddress;
    std::map<std::pair<const FieldDescriptor *, int>, std::uint16_t> byField;
    std::vector<std::uint16_t> all;
    std::vector<std::uint16_t> read;
    std::vector<TransferStep> write;
    std::vector<std::uint16_t> settings;
};

const Tables &tables()
{
    static const Tables t = [] {
        Tables t;
        for (const FieldDescriptor &d : preset::fieldTable()) {
            for (int g = 0;; ++g) {
                const auto address = encode(d, g);
                if (!address) break;
                t.byAddress.emplace(*address, ParameterTarget{&d, -1, g, conversionOf(d)});
                t.byField.emplace(std::make_pair(&d, g), *address);
            }
        }
        for (std::size_t w = 0; w < kDeviceSettingsWords; ++w) {
            const auto address = deviceSettingsAddress(w);
            if (!address) continue;
            const bool name = w >= kDeviceNameFirstWord;
            t.byAddress.emplace(*address,
                                ParameterTarget{nullptr, static_cast<int>(w),
                                                name ? static_cast<int>(w - kDeviceNameFirstWord) : 0,
                                                name ? Conversion::Text : Conversion::None});
            t.settings.push_back(*address);
        }
        std::sort(t.settings.begin(), t.settings.end());
        for (const auto &[address, target] : t.byAddress) {
            t.all.push_back(address);
            // The slot number travels only as the address of the slot requests.
            if (!target.field || target.field->key.field != PField::Number) t.read.push_back(address);
        }
        std::stable_sort(t.read.begin(), t.read.end(),
                         [](std::uint16_t a, std::uint16_t b) { return readRank(a) < readRank(b); });
        for (std::uint16_t a : t.read)
            if (t.byAddress.at(a).field) t.write.push_back({ReqWritePreset, a}); // settings are never written here
        t.write.push_back({ReqWritePara, t.read.front()});
        return t;
    }();
    return t;
}

std::uint32_t textWord(std::span<const char> bytes, int group)
{
    // Send the characters up to the terminating zero; whatever a field holds
    // after its zero stays off the wire.
    const auto end = std::find(bytes.begin(), bytes.end(), '\0');
    const std::string_view text(bytes.data(), static_cast<std::size_t>(end - bytes.begin()));
    return textGroupToWord(text, static_cast<std::size_t>(group));
}

void storeTextWord(std::span<char> bytes, std::size_t width, int group, std::uint32_t word)
{
    const auto chars = wordToTextGroup(word);
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t at = static_cast<std::size_t>(group) * 4 + k;
        if (at < width && at < bytes.size()) bytes[at] = chars[k];
    }
    if (width < bytes.size()) bytes[width] = '\0';
}

} // namespace

std::optional<ParameterTarget> lookupAddress(std::uint16_t address)
{
    const auto &m = tables().byAddress;
    if (const auto it = m.find(address); it != m.end()) return it->second;
    // The single-field groups of a channel answer whatever their index and
    // field digits say.
    if (address < 1000 || address > 9999) return std::nullopt;
    const auto it = m.find(static_cast<std::uint16_t>(address - address % 100));
    if (it == m.end() || !it->second.field || it->second.field->key.group != Group::Channel) return std::nullopt;
    return it->second;
}

std::optional<std::uint16_t> canonicalAddress(std::uint16_t address)
{
    const auto t = lookupAddress(address);
    if (!t) return std::nullopt;
    if (t->field) return addressOf(*t->field, t->textGroup);
    return deviceSettingsAddress(static_cast<std::size_t>(t->deviceWord));
}

std::optional<std::uint16_t> addressOf(const preset::FieldKey &key, int textGroup)
{
    const FieldDescriptor *d = preset::findField(key);
    if (!d) return std::nullopt;
    return addressOf(*d, textGroup);
}

std::optional<std::uint16_t> addressOf(const FieldDescriptor &field, int textGroup)
{
    const auto &m = tables().byField;
    const auto it = m.find({&field, textGroup});
    if (it == m.end()) return std::nullopt;
    return it->second;
}

std::optional<std::uint16_t> deviceSettingsAddress(std::size_t word)
{
    if (word == kDeviceNumberWord) return std::uint16_t{120};
    if (word == kKeyboardLockWord) return std::uint16_t{110};
    if (word >= kDeviceNameFirstWord && word < kDeviceNameFirstWord + 4)
        return static_cast<std::uint16_t>(100 + (word - kDeviceNameFirstWord));
    return std::nullopt;
}

std::span<const std::uint16_t> allAddresses() { return tables().all; }
std::span<const std::uint16_t> deviceSettingsAddresses() { return tables().settings; }

float delayToWire(float stored) { return (stored - 1.0f) / 96.0f; }
float delayFromWire(float wire) { return wire * 96.0f + 1.0f; }
// Unsigned arithmetic on purpose: a low-cut type below 4 (a high-cut code on
// the low-cut side) wraps exactly as the device's 32-bit word does.
std::uint32_t lowCutTypeToWire(std::uint32_t stored) { return stored - 4u; }
std::uint32_t lowCutTypeFromWire(std::uint32_t wire) { return wire + 4u; }

std::optional<std::uint32_t> wireValue(const preset::PresetRecord &record, const DeviceSettings &settings,
                                       std::uint16_t address)
{
    const auto t = lookupAddress(address);
    if (!t) return std::nullopt;
    if (!t->field) return settings[static_cast<std::size_t>(t->deviceWord)];
    const FieldDescriptor &d = *t->field;
    switch (t->conversion) {
    case Conversion::Text: return textWord(preset::fieldTextBytes(record, d), t->textGroup);
    case Conversion::Delay: return floatToWord(delayToWire(wordToFloat(preset::fieldWord(record, d))));
    case Conversion::LowCutType: return lowCutTypeToWire(preset::fieldWord(record, d));
    case Conversion::Mute:
    case Conversion::None: break;
    }
    return preset::fieldWord(record, d);
}

std::optional<std::uint32_t> wireValue(const preset::PresetRecord &record, std::uint16_t address)
{
    const auto t = lookupAddress(address);
    if (!t || !t->field) return std::nullopt;
    static const DeviceSettings none{};
    return wireValue(record, none, address);
}

bool storeWireValue(preset::PresetRecord &record, DeviceSettings &settings, std::uint16_t address,
                    std::uint32_t value)
{
    const auto t = lookupAddress(address);
    if (!t) return false;
    if (!t->field) {
        settings[static_cast<std::size_t>(t->deviceWord)] = value;
        return true;
    }
    const FieldDescriptor &d = *t->field;
    switch (t->conversion) {
    case Conversion::Text:
        storeTextWord(preset::fieldTextBytes(record, d), d.width, t->textGroup, value);
        return true;
    case Conversion::Delay:
        preset::setFieldWord(record, d, floatToWord(delayFromWire(wordToFloat(value))));
        return true;
    case Conversion::LowCutType:
        preset::setFieldWord(record, d, lowCutTypeFromWire(value));
        return true;
    case Conversion::Mute:
    case Conversion::None: break;
    }
    preset::setFieldWord(record, d, value);
    return true;
}

std::span<const std::uint16_t> readOrder() { return tables().read; }
std::span<const TransferStep> writeOrder() { return tables().write; }

void setSummeName(preset::PresetRecord &record)
{
    preset::setText(record.inputs[preset::kSumme].NAME, kSummeName);
}

bool storeReadValue(preset::PresetRecord &record, DeviceSettings &settings, std::uint16_t address,
                    std::uint32_t value)
{
    const bool stored = storeWireValue(record, settings, address, value);
    if (address == kSummeNameRuleAddress) setSummeName(record);
    return stored;
}

std::string deviceName(const DeviceSettings &settings)
{
    std::string name;
    for (std::size_t w = 0; w < 4; ++w) {
        for (char c : wordToTextGroup(settings[kDeviceNameFirstWord + w])) {
            if (c == '\0') return name;
            name.push_back(c);
        }
    }
    return name;
}

void setDeviceName(DeviceSettings &settings, std::string_view name)
{
    name = name.substr(0, std::min(name.size(), kDeviceNameWidth));
    for (std::size_t w = 0; w < 4; ++w) settings[kDeviceNameFirstWord + w] = textGroupToWord(name, w);
}

std::string deviceNumberText(std::uint32_t number)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "  K%06u", static_cast<unsigned>(number));
    return buf;
}

} // namespace zar40::codec
