#include "zar40/preset/fields.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <type_traits>

namespace zar40::preset {

static_assert(std::is_standard_layout_v<PresetRecord> && std::is_trivially_copyable_v<PresetRecord>,
              "fields are reached by byte offset");

namespace {

struct TableBuilder {
    std::vector<FieldDescriptor> rows;

    void add(FieldKey key, FieldType type, std::size_t offset, std::string path, const char *xml, std::uint8_t width = 0)
    {
        rows.push_back(FieldDescriptor{key, type, width, offset, std::move(path), xml});
    }

    void addBands(int channel, std::size_t base, const std::string &prefix)
    {
        for (int b = 0; b < kBandCount; ++b) {
            const std::size_t at = base + static_cast<std::size_t>(b) * sizeof(EqBand);
            const std::string p = prefix + "peq[" + std::to_string(b) + "].";
            add({channel, Group::Peq, b, Field::Type}, FieldType::U32, at + offsetof(EqBand, TYPE), p + "type", "TYPE");
            add({channel, Group::Peq, b, Field::Frequency}, FieldType::U32, at + offsetof(EqBand, FREQUENCY), p + "frequency", "FREQUENCY");
            add({channel, Group::Peq, b, Field::Q}, FieldType::F32, at + offsetof(EqBand, Q), p + "q", "Q");
            add({channel, Group::Peq, b, Field::Gain}, FieldType::F32, at + offsetof(EqBand, GAIN), p + "gain", "GAIN");
        }
    }

    void addCrossover(int channel, Group g, std::size_t at, const std::string &p)
    {
        add({channel, g, 0, Field::Type}, FieldType::U32, at + offsetof(CrossoverFilter, TYPE), p + "type", "TYPE");
        add({channel, g, 0, Field::Frequency}, FieldType::U32, at + offsetof(CrossoverFilter, FREQUENCY), p + "frequency", "FREQUENCY");
        add({channel, g, 0, Field::Order}, FieldType::U32, at + offsetof(CrossoverFilter, ORDER), p + "order", "ORDER");
    }

    TableBuilder()
    {
        rows.reserve(330);
        add({kPresetWide, Group::Preset, 0, Field::Number}, FieldType::U32, offsetof(PresetRecord, number), "number", nullptr);
        add({kPresetWide, Group::Preset, 0, Field::Name}, FieldType::Text, offsetof(PresetRecord, NAME), "name", "NAME",
            kPresetNameWidth);
        add({kPresetWide, Group::Preset, 0, Field::Author}, FieldType::Text, offsetof(PresetRecord, AUTHOR), "author", "AUTHOR",
            kAuthorWidth);
        add({kPresetWide, Group::Preset, 0, Field::Flags}, FieldType::U32, offsetof(PresetRecord, PRESET_FLAGS), "flags",
            "PRESET_FLAGS");
        for (int i = 0; i < kInputCount; ++i) {
            const std::size_t at = offsetof(PresetRecord, inputs) + static_cast<std::size_t>(i) * sizeof(InputChannel);
            const std::string p = "inputs[" + std::to_string(i) + "].";
            const int c = i;
            add({c, Group::Channel, 0, Field::Name}, FieldType::Text, at + offsetof(InputChannel, NAME), p + "name", "NAME",
                kChannelNameWidth);
            add({c, Group::Channel, 0, Field::Delay}, FieldType::F32, at + offsetof(InputChannel, DELAY), p + "delay", "DELAY");
            add({c, Group::Channel, 0, Field::Gain}, FieldType::F32, at + offsetof(InputChannel, GAIN), p + "gain", "GAIN");
            add({c, Group::Channel, 0, Field::Mute}, FieldType::Mute8, at + offsetof(InputChannel, MUTE), p + "mute", "MUTE");
            addBands(c, at + offsetof(InputChannel, PEQ), p);
        }
        for (int o = 0; o < kOutputCount; ++o) {
            const std::size_t at = offsetof(PresetRecord, outputs) + static_cast<std::size_t>(o) * sizeof(OutputChannel);
            const std::string p = "outputs[" + std::to_string(o) + "].";
            const int c = kFirstOutput + o;
            add({c, Group::Channel, 0, Field::Name}, FieldType::Text, at + offsetof(OutputChannel, NAME), p + "name", "NAME",
                kChannelNameWidth);
            add({c, Group::Channel, 0, Field::Route}, FieldType::U32, at + offsetof(OutputChannel, ROUTE), p + "route", "ROUTE");
            add({c, Group::Channel, 0, Field::Delay}, FieldType::F32, at + offsetof(OutputChannel, DELAY), p + "delay", "DELAY");
            add({c, Group::Channel, 0, Field::Gain}, FieldType::F32, at + offsetof(OutputChannel, GAIN), p + "gain", "GAIN");
            add({c, Group::Channel, 0, Field::Mute}, FieldType::Mute8, at + offsetof(OutputChannel, MUTE), p + "mute", "MUTE");
            add({c, Group::Channel, 0, Field::Phase}, FieldType::F32, at + offsetof(OutputChannel, PHASE), p + "phase", "PHASE");
            addBands(c, at + offsetof(OutputChannel, PEQ), p);
            addCrossover(c, Group::HighCut, at + offsetof(OutputChannel, highCut), p + "high_cut.");
            addCrossover(c, Group::LowCut, at + offsetof(OutputChannel, lowCut), p + "low_cut.");

            const std::size_t d = at + offsetof(OutputChannel, DYNAMIC);
            const std::string dp = p + "dynamics.";
            add({c, Group::Dynamics, 0, Field::Type}, FieldType::U32, d + offsetof(Dynamics, TYPE), dp + "type", "TYPE");
            add({c, Group::Dynamics, 0, Field::Gain}, FieldType::F32, d + offsetof(Dynamics, GAIN), dp + "gain", "GAIN");
            add({c, Group::Dynamics, 0, Field::Threshold}, FieldType::F32, d + offsetof(Dynamics, THRESHOLD), dp + "threshold", "THRESHOLD");
            add({c, Group::Dynamics, 0, Field::Knee}, FieldType::F32, d + offsetof(Dynamics, KNEE), dp + "knee", "KNEE");
            add({c, Group::Dynamics, 0, Field::Ratio}, FieldType::F32, d + offsetof(Dynamics, RATIO), dp + "ratio", "RATIO");
            add({c, Group::Dynamics, 0, Field::Attack}, FieldType::F32, d + offsetof(Dynamics, AT), dp + "attack", "AT");
            add({c, Group::Dynamics, 0, Field::Release}, FieldType::F32, d + offsetof(Dynamics, RT), dp + "release", "RT");

            const std::size_t g = at + offsetof(OutputChannel, NOISEGATE);
            const std::string gp = p + "noise_gate.";
            add({c, Group::NoiseGate, 0, Field::Threshold}, FieldType::F32, g + offsetof(NoiseGate, THRESHOLD), gp + "threshold", "THRESHOLD");
            add({c, Group::NoiseGate, 0, Field::CloseTime}, FieldType::F32, g + offsetof(NoiseGate, CT), gp + "close_time", "CT");
            add({c, Group::NoiseGate, 0, Field::HoldTime}, FieldType::F32, g + offsetof(NoiseGate, HT), gp + "hold_time", "HT");
        }
    }
};

std::uint32_t packKey(const FieldKey &k)
{
    return (static_cast<std::uint32_t>(k.channel + 1) << 24) | (static_cast<std::uint32_t>(k.group) << 16) |
           (static_cast<std::uint32_t>(k.index & 0xFF) << 8) | static_cast<std::uint32_t>(k.field);
}

struct Index {
    std::vector<FieldDescriptor> table;
    std::map<std::uint32_t, std::size_t> byKey;
    std::map<std::string, std::size_t, std::less<>> byPath;
    // Rows of one (channel, group, index) are contiguous: [first, last).
    std::map<std::uint32_t, std::pair<std::size_t, std::size_t>> groups;

    Index() : table(TableBuilder().rows)
    {
        for (std::size_t i = 0; i < table.size(); ++i) {
            const FieldKey &k = table[i].key;
            byKey.emplace(packKey(k), i);
            byPath.emplace(table[i].path, i);
            const std::uint32_t gk = packKey({k.channel, k.group, k.index, Field::Number});
            auto [it, fresh] = groups.emplace(gk, std::pair{i, i + 1});
            if (!fresh) it->second.second = i + 1;
        }
    }
};

const Index &index()
{
    static const Index idx;
    return idx;
}

} // namespace

std::span<const FieldDescriptor> fieldTable() { return index().table; }

const FieldDescriptor *findField(const FieldKey &key)
{
    if (key.index < 0 || key.index > 0xFF) return nullptr;
    const auto &idx = index();
    auto it = idx.byKey.find(packKey(key));
    return it == idx.byKey.end() ? nullptr : &idx.table[it->second];
}

const FieldDescriptor *findField(std::string_view path)
{
    const auto &idx = index();
    auto it = idx.byPath.find(path);
    return it == idx.byPath.end() ? nullptr : &idx.table[it->second];
}

std::span<const FieldDescriptor> fieldsOf(int channel, Group group, int band)
{
    if (band < 0 || band > 0xFF) return {};
    const auto &idx = index();
    auto it = idx.groups.find(packKey({channel, group, band, Field::Number}));
    if (it == idx.groups.end()) return {};
    return std::span<const FieldDescriptor>(idx.table).subspan(it->second.first, it->second.second - it->second.first);
}

std::uint32_t fieldWord(const PresetRecord &record, const FieldDescriptor &field)
{
    const auto *at = reinterpret_cast<const unsigned char *>(&record) + field.offset;
    switch (field.type) {
    case FieldType::U32:
    case FieldType::F32: {
        std::uint32_t w;
        std::memcpy(&w, at, sizeof w);
        return w;
    }
    case FieldType::Mute8: return *at;
    case FieldType::Text: break;
    }
    return 0;
}

void setFieldWord(PresetRecord &record, const FieldDescriptor &field, std::uint32_t word)
{
    auto *at = reinterpret_cast<unsigned char *>(&record) + field.offset;
    switch (field.type) {
    case FieldType::U32:
    case FieldType::F32: std::memcpy(at, &word, sizeof word); break;
    case FieldType::Mute8: *at = static_cast<unsigned char>(word & 0xFF); break;
    case FieldType::Text: break;
    }
}

std::span<char> fieldTextBytes(PresetRecord &record, const FieldDescriptor &field)
{
    if (!field.isText()) return {};
    return {reinterpret_cast<char *>(&record) + field.offset, static_cast<std::size_t>(field.width) + 1};
}

std::span<const char> fieldTextBytes(const PresetRecord &record, const FieldDescriptor &field)
{
    if (!field.isText()) return {};
    return {reinterpret_cast<const char *>(&record) + field.offset, static_cast<std::size_t>(field.width) + 1};
}

std::string fieldText(const PresetRecord &record, const FieldDescriptor &field)
{
    auto bytes = fieldTextBytes(record, field);
    if (bytes.empty()) return {};
    const std::size_t width = field.width;
    const void *zero = std::memchr(bytes.data(), 0, width);
    return std::string(bytes.data(), zero ? static_cast<std::size_t>(static_cast<const char *>(zero) - bytes.data()) : width);
}

void setFieldText(PresetRecord &record, const FieldDescriptor &field, std::string_view cp1252)
{
    auto bytes = fieldTextBytes(record, field);
    if (bytes.empty()) return;
    std::fill(bytes.begin(), bytes.end(), '\0');
    // A zero inside the text ends it, as it would in the record.
    const std::size_t n = std::min({cp1252.size(), static_cast<std::size_t>(field.width), cp1252.find('\0')});
    std::memcpy(bytes.data(), cp1252.data(), n);
}

namespace {

bool sameField(const PresetRecord &a, const PresetRecord &b, const FieldDescriptor &d)
{
    return d.isText() ? fieldText(a, d) == fieldText(b, d) : fieldWord(a, d) == fieldWord(b, d);
}

} // namespace

bool sameFields(const PresetRecord &a, const PresetRecord &b)
{
    for (const auto &d : fieldTable())
        if (!sameField(a, b, d)) return false;
    return true;
}

std::vector<const FieldDescriptor *> differingFields(const PresetRecord &a, const PresetRecord &b)
{
    std::vector<const FieldDescriptor *> out;
    for (const auto &d : fieldTable())
        if (!sameField(a, b, d)) out.push_back(&d);
    return out;
}

std::optional<Field> eqField(int digit)
{
    switch (digit) {
    case 1: return Field::Type;
    case 2: return Field::Frequency;
    case 3: return Field::Q;
    case 4: return Field::Gain;
    default: return std::nullopt;
    }
}

std::string_view groupName(Group group)
{
    switch (group) {
    case Group::Preset: return "preset";
    case Group::Channel: return "channel";
    case Group::Peq: return "peq";
    case Group::HighCut: return "high_cut";
    case Group::LowCut: return "low_cut";
    case Group::Dynamics: return "dynamics";
    case Group::NoiseGate: return "noise_gate";
    }
    return {};
}

std::string_view fieldName(Field field)
{
    switch (field) {
    case Field::Number: return "number";
    case Field::Name: return "name";
    case Field::Author: return "author";
    case Field::Flags: return "flags";
    case Field::Route: return "route";
    case Field::Delay: return "delay";
    case Field::Gain: return "gain";
    case Field::Mute: return "mute";
    case Field::Phase: return "phase";
    case Field::Type: return "type";
    case Field::Frequency: return "frequency";
    case Field::Q: return "q";
    case Field::Order: return "order";
    case Field::Threshold: return "threshold";
    case Field::Knee: return "knee";
    case Field::Ratio: return "ratio";
    case Field::Attack: return "attack";
    case Field::Release: return "release";
    case Field::CloseTime: return "close_time";
    case Field::HoldTime: return "hold_time";
    }
    return {};
}

} // namespace zar40::preset
