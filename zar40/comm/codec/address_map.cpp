#include "address_map.h"

#include "request_codes.h"
#include "values.h"

#include <algorithm>
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

std::optional<ParameterTarget> fieldTarget(int channel, Group group, int index, PField field,
                                           Conversion conversion = Conversion::None)
{
    const FieldDescriptor *d = preset::findField(channel, group, index, field);
    if (!d) return std::nullopt;
    return ParameterTarget{d, -1, 0, conversion};
}

std::optional<ParameterTarget> textTarget(int channel, Group group, PField field, int textGroup)
{
    auto t = fieldTarget(channel, group, 0, field, Conversion::Text);
    if (t) t->textGroup = textGroup;
    return t;
}

std::optional<ParameterTarget> deviceTarget(int word, Conversion conversion = Conversion::None)
{
    return ParameterTarget{nullptr, word, 0, conversion};
}

std::optional<ParameterTarget> presetWide(int i, int f)
{
    using preset::kPresetWide;
    switch (i) {
    case 0:
        if (f == 0) return fieldTarget(kPresetWide, Group::Preset, 0, PField::Number);
        break;
    case 1:
        if (f <= 3) return textTarget(kPresetWide, Group::Preset, PField::Name, f);
        break;
    case 2:
        if (f <= 1) return textTarget(kPresetWide, Group::Preset, PField::Author, f);
        break;
    case 3: // IN A at 0030/0031, IN B at 0032/0033; the Summe name stays off the wire
        if (f <= 3) return textTarget(f < 2 ? preset::kInputA : preset::kInputB, Group::Channel, PField::Name, f % 2);
        break;
    case 4: // outputs 1 to 5, two addresses each
        return textTarget(preset::kFirstOutput + f / 2, Group::Channel, PField::Name, f % 2);
    case 5:
        if (f <= 1) return textTarget(preset::kFirstOutput + 5, Group::Channel, PField::Name, f);
        break;
    case 6:
        if (f == 0) return fieldTarget(kPresetWide, Group::Preset, 0, PField::Flags);
        break;
    default:
        break;
    }
    return std::nullopt;
}

std::optional<ParameterTarget> deviceSetting(int i, int f)
{
    if (i == 0 && f <= 3) {
        auto t = deviceTarget(static_cast<int>(kDeviceNameFirstWord) + f, Conversion::Text);
        t->textGroup = f;
        return t;
    }
    if (i == 1 && f == 0) return deviceTarget(static_cast<int>(kKeyboardLockWord));
    if (i == 2 && f == 0) return deviceTarget(static_cast<int>(kDeviceNumberWord));
    return std::nullopt;
}

std::optional<ParameterTarget> eqTarget(int channel, int i, int f)
{
    if (i < 1 || i > preset::kBandCount) return std::nullopt;
    const auto field = preset::eqField(f);
    if (!field) return std::nullopt;
    return fieldTarget(channel, Group::Peq, i - 1, *field);
}

// STRICT: the single-field groups answer only at their canonical address
// (index and field digits 0); otherwise those digits are ignored.
std::optional<ParameterTarget> decode(std::uint16_t address, bool strict)
{
    if (address > 9999) return std::nullopt;
    const auto [c, g, i, f] = digitsOf(address);
    const bool canonical = i == 0 && f == 0;
    if (c == 0) {
        if (g == 0) return presetWide(i, f);
        if (g == 1) return deviceSetting(i, f);
        return std::nullopt;
    }
    const int channel = c - 1;
    if (channel < preset::kFirstOutput) {
        if (g == 3) return eqTarget(channel, i, f);
        if (strict && !canonical) return std::nullopt;
        switch (g) {
        case 1: return fieldTarget(channel, Group::Channel, 0, PField::Delay, Conversion::Delay);
        case 2: return fieldTarget(channel, Group::Channel, 0, PField::Gain);
        case 4: return fieldTarget(channel, Group::Channel, 0, PField::Mute, Conversion::Mute);
        default: return std::nullopt;
        }
    }
    switch (g) {
    case 5: return eqTarget(channel, i, f);
    case 6: {
        static constexpr PField sides[] = {PField::Type, PField::Frequency, PField::Order};
        if (f != 0 || i < 1 || i > 6) return std::nullopt;
        const bool low = i > 3;
        const PField field = sides[(i - 1) % 3];
        return fieldTarget(channel, low ? Group::LowCut : Group::HighCut, 0, field,
                           low && field == PField::Type ? Conversion::LowCutType : Conversion::None);
    }
    case 7: {
        static constexpr PField dyn[] = {PField::Type,  PField::Gain,   PField::Threshold, PField::Knee,
                                         PField::Ratio, PField::Attack, PField::Release};
        if (f != 0 || i < 1 || i > 7) return std::nullopt;
        return fieldTarget(channel, Group::Dynamics, 0, dyn[i - 1]);
    }
    case 8: {
        static constexpr PField gate[] = {PField::Threshold, PField::CloseTime, PField::HoldTime};
        if (f != 0 || i < 1 || i > 3) return std::nullopt;
        return fieldTarget(channel, Group::NoiseGate, 0, gate[i - 1]);
    }
    default: break;
    }
    if (strict && !canonical) return std::nullopt;
    switch (g) {
    case 1: return fieldTarget(channel, Group::Channel, 0, PField::Route);
    case 2: return fieldTarget(channel, Group::Channel, 0, PField::Delay, Conversion::Delay);
    case 3: return fieldTarget(channel, Group::Channel, 0, PField::Gain);
    case 4: return fieldTarget(channel, Group::Channel, 0, PField::Phase);
    case 9: return fieldTarget(channel, Group::Channel, 0, PField::Mute, Conversion::Mute);
    default: return std::nullopt;
    }
}

struct Tables {
    std::vector<std::uint16_t> all;
    std::map<std::pair<const FieldDescriptor *, int>, std::uint16_t> byField;
    std::vector<std::uint16_t> read;
    std::vector<TransferStep> write;
};

std::vector<std::uint16_t> makeReadOrder()
{
    std::vector<std::uint16_t> a;
    auto add = [&a](int v) { a.push_back(static_cast<std::uint16_t>(v)); };
    for (int g : {1, 2})
        for (int c = 1; c <= 3; ++c) add(c * 1000 + g * 100);
    for (int f = 1; f <= 4; ++f)
        for (int i = 1; i <= 5; ++i)
            for (int c = 1; c <= 3; ++c) add(c * 1000 + 300 + i * 10 + f);
    for (int c = 1; c <= 3; ++c) add(c * 1000 + 400);
    for (int g = 1; g <= 4; ++g)
        for (int c = 4; c <= 9; ++c) add(c * 1000 + g * 100);
    for (int f = 1; f <= 4; ++f)
        for (int i = 1; i <= 5; ++i)
            for (int c = 4; c <= 9; ++c) add(c * 1000 + 500 + i * 10 + f);
    for (int i = 1; i <= 6; ++i)
        for (int c = 4; c <= 9; ++c) add(c * 1000 + 600 + i * 10);
    for (int i = 1; i <= 7; ++i)
        for (int c = 4; c <= 9; ++c) add(c * 1000 + 700 + i * 10);
    for (int i = 1; i <= 3; ++i)
        for (int c = 4; c <= 9; ++c) add(c * 1000 + 800 + i * 10);
    for (int c = 4; c <= 9; ++c) add(c * 1000 + 900);
    for (int v : {10, 11, 12, 13, 20, 21, 30, 31, 32, 33}) add(v);
    for (int v = 40; v <= 51; ++v) add(v);
    add(60);
    for (int v : {100, 101, 102, 103, 110, 120}) add(v);
    return a;
}

const Tables &tables()
{
    static const Tables t = [] {
        Tables t;
        for (int a = 0; a <= 9999; ++a) {
            const auto addr = static_cast<std::uint16_t>(a);
            const auto target = decode(addr, true);
            if (!target) continue;
            t.all.push_back(addr);
            if (target->field) t.byField.emplace(std::make_pair(target->field, target->textGroup), addr);
        }
        t.read = makeReadOrder();
        for (std::uint16_t a : t.read) {
            if (!decode(a, true)->field) continue; // device settings are read, never written
            t.write.push_back({ReqWritePreset, a});
        }
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

std::optional<ParameterTarget> lookupAddress(std::uint16_t address) { return decode(address, false); }

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
