#pragma once
// One description of every field of the preset record.
//
// The XML file, the version-1 reader, the JSON dump, the device address map
// and diff all walk this table instead of keeping their own lists of the
// record's 328 fields, so a field described here appears everywhere.
//
// Each field has
//   - a structured key: channel index (0 = input A, 1 = Summe, 2 = input B,
//     3..8 = outputs 1..6, or kPresetWide), group, index (the equalizer band
//     0..4 in Group::Peq, 0 elsewhere) and field;
//   - a path, the same name the JSON dump uses:
//       "number", "name", "author", "flags",
//       "inputs[1].gain", "inputs[0].peq[3].q",
//       "outputs[2].peq[4].gain", "outputs[0].high_cut.order",
//       "outputs[5].dynamics.attack", "outputs[5].noise_gate.hold_time";
//     indices in paths count from 0 (outputs[2] is output 3);
//   - a type and, for texts, a width;
//   - its byte offset in PresetRecord, used through fieldWord/setFieldWord
//     (numbers, as the raw 32-bit word the files and the device carry) and
//     fieldText/setFieldText/fieldTextBytes (texts);
//   - its element name in .vpx files (nullptr for the preset number, which
//     files do not store).
//
// Table order: the preset-wide fields (number, name, author, flags), then
// channels 0..8; inside a channel its name first, then the rest in the order
// of the channel record (route, delay, gain, mute, phase, bands 1..5 with
// type, frequency, q, gain, high cut, low cut, dynamics, noise gate). The
// fields of one (channel, group, band) are therefore contiguous.
//
// Example, the address map: for parameter C5IF of output C-3 the field is
//     findField(C - 1, Group::Peq, I - 1, *eqField(F))
// and its wire value fieldWord(record, *d).
#include "zar40/preset/record.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zar40::preset {

inline constexpr int kPresetWide = -1;

enum class Group : std::uint8_t {
    Preset,    // number, name, author, flags (channel = kPresetWide)
    Channel,   // name, delay, gain, mute; outputs also route and phase
    Peq,       // one equalizer band; index = band 0..4
    HighCut,   // outputs only
    LowCut,    // outputs only
    Dynamics,  // outputs only
    NoiseGate, // outputs only
};

enum class Field : std::uint8_t {
    // Group::Preset
    Number, Name, Author, Flags,
    // Group::Channel (Name as well)
    Route, Delay, Gain, Mute, Phase,
    // Group::Peq (Gain as well)
    Type, Frequency, Q,
    // Group::HighCut, Group::LowCut (Type, Frequency as well)
    Order,
    // Group::Dynamics (Type, Gain as well)
    Threshold, Knee, Ratio, Attack, Release,
    // Group::NoiseGate (Threshold as well)
    CloseTime, HoldTime,
};

enum class FieldType : std::uint8_t {
    U32,   // unsigned 32-bit integer
    F32,   // IEEE-754 single float, carried as its bit pattern
    Mute8, // 8-bit flag; its word is the byte zero-extended, a set word keeps the low 8 bits
    Text,  // Windows-1252 bytes with a terminating zero; width = characters
};

struct FieldKey {
    int channel = kPresetWide;
    Group group = Group::Preset;
    int index = 0;
    Field field = Field::Number;

    friend bool operator==(const FieldKey &, const FieldKey &) = default;
};

struct FieldDescriptor {
    FieldKey key;
    FieldType type;
    std::uint8_t width;  // characters of a text field, 0 for numbers
    std::size_t offset;  // byte offset of the field inside PresetRecord
    std::string path;    // stable name, see above
    const char *xmlName; // element name in .vpx files, nullptr if not stored

    bool isText() const { return type == FieldType::Text; }
    bool isOutput() const { return key.channel >= kFirstOutput; }
};

// Every field, in table order.
std::span<const FieldDescriptor> fieldTable();

// nullptr when the record has no such field (for example an input's route,
// band 5, or channel 9).
const FieldDescriptor *findField(const FieldKey &key);
inline const FieldDescriptor *findField(int channel, Group group, int index, Field field)
{
    return findField(FieldKey{channel, group, index, field});
}
const FieldDescriptor *findField(std::string_view path);

// The fields of one group of one channel (one band for Group::Peq), a
// slice of fieldTable(). Empty when the channel has no such group.
std::span<const FieldDescriptor> fieldsOf(int channel, Group group, int index = 0);

// Numbers as their raw 32-bit word: floats as bit patterns, mute flags
// zero-extended. For a text field fieldWord returns 0 and setFieldWord
// does nothing.
std::uint32_t fieldWord(const PresetRecord &record, const FieldDescriptor &field);
void setFieldWord(PresetRecord &record, const FieldDescriptor &field, std::uint32_t word);

// Texts as Windows-1252 bytes, up to the zero and at most width characters.
// setFieldText cuts to the width and clears the rest of the field. For a
// number field fieldText returns "" and setFieldText does nothing.
std::string fieldText(const PresetRecord &record, const FieldDescriptor &field);
void setFieldText(PresetRecord &record, const FieldDescriptor &field, std::string_view cp1252);
// The whole fixed-width field (width + 1 bytes) of a text; empty for numbers.
std::span<char> fieldTextBytes(PresetRecord &record, const FieldDescriptor &field);
std::span<const char> fieldTextBytes(const PresetRecord &record, const FieldDescriptor &field);

// Same number words and same texts in every field (padding and bytes after a
// text's zero are not compared). This is bit-for-bit equality: NaN patterns
// must match exactly and -0.0 differs from 0.0.
bool sameFields(const PresetRecord &a, const PresetRecord &b);
// The fields in which A and B differ, in table order.
std::vector<const FieldDescriptor *> differingFields(const PresetRecord &a, const PresetRecord &b);

// Field for band field digit F of the address map: 1 Type, 2 Frequency, 3 Q,
// 4 Gain. Empty for other digits.
std::optional<Field> eqField(int digit);

std::string_view groupName(Group group); // "preset", "channel", "peq", "high_cut", ...
std::string_view fieldName(Field field); // "number", "name", ..., "close_time", "hold_time"

} // namespace zar40::preset
