#pragma once
// The preset record: every processing setting of one ZAR40 preset. It is the
// one data model of the editor; the device link, the preset files, the
// diagrams and the report all read and write it.
//
// Every numeric field is one 32-bit word (unsigned integer or IEEE-754
// single float) except the mute flags, which are bytes. Texts are fixed-width
// Windows-1252 byte strings with a terminating zero. The record accepts any
// value in any field; nothing here checks ranges.
//
// Generic code (files, JSON, address map, diff) should not hard-code field
// lists: fields.h describes every field once.
#include "zar40/unit_counts.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zar40::preset {

using zar40::kInputCount;
using zar40::kOutputCount;
inline constexpr int kChannelCount = kInputCount + kOutputCount;
using zar40::kBandCount;
inline constexpr int kPresetCount = 32; // slots of the preset memory

// Characters of the text fields (each field holds one byte more for the zero).
inline constexpr std::size_t kPresetNameWidth = 16;
inline constexpr std::size_t kAuthorWidth = 8;
inline constexpr std::size_t kChannelNameWidth = 8;

// Channel index, as used by the address map, the faders and the diagrams:
// 0 = input A, 1 = Summe, 2 = input B, 3..8 = outputs 1..6.
inline constexpr int kInputA = 0;
inline constexpr int kSumme = 1;
inline constexpr int kInputB = 2;
inline constexpr int kFirstOutput = 3;

template <std::size_t Width>
using Text = std::array<char, Width + 1>;

struct EqBand {
    std::uint32_t TYPE;      // band type code, 0 = off ("Bypass")
    std::uint32_t FREQUENCY; // Hz
    float Q;
    float GAIN; // dB
};

// One side of an output's crossover. High cut uses codes 0..3, low cut 4..7.
struct CrossoverFilter {
    std::uint32_t TYPE;
    std::uint32_t FREQUENCY; // Hz
    std::uint32_t ORDER;
};

struct Dynamics {
    std::uint32_t TYPE; // 0 Bypass, 1 Limiter, 2 Compressor
    float GAIN;         // dB
    float THRESHOLD;    // dBu
    float KNEE;         // dB
    float RATIO;        // x : 1
    float AT;           // attack, ms
    float RT;           // release, ms
};

struct NoiseGate {
    float THRESHOLD; // dBu; -200 and below (or NaN) = gate off
    float CT;        // close time, ms
    float HT;        // hold time, ms
};

struct InputChannel {
    float DELAY; // 1 + delay in samples at 96 kHz
    float GAIN;  // dB
    std::uint8_t MUTE;
    std::array<EqBand, kBandCount> PEQ;
    Text<kChannelNameWidth> NAME;
};

struct OutputChannel {
    std::uint32_t ROUTE; // 0 input A, 1 Summe, 2 input B
    float DELAY;
    float GAIN;
    std::uint8_t MUTE;
    float PHASE; // 0.0 normal, anything else inverted
    std::array<EqBand, kBandCount> PEQ;
    CrossoverFilter highCut; // low-pass side, "LP" in files
    CrossoverFilter lowCut;  // high-pass side, "HP" in files
    Dynamics DYNAMIC;
    NoiseGate NOISEGATE;
    Text<kChannelNameWidth> NAME;
};

struct PresetRecord {
    std::array<InputChannel, kInputCount> inputs;
    std::array<OutputChannel, kOutputCount> outputs;
    std::uint32_t number;
    Text<kPresetNameWidth> NAME;
    Text<kAuthorWidth> AUTHOR;
    std::uint32_t PRESET_FLAGS; // bit 0 = locked, other bits belong to the device
};

// The 32 presets the editor holds and the index of the current one. The
// index comes from the preset list, the device and files; it can only be set
// through setCurrent, so currentRecord() never reaches past the array.
class PresetMemory {
public:
    std::array<PresetRecord, kPresetCount> &records() { return m_records; }
    const std::array<PresetRecord, kPresetCount> &records() const { return m_records; }

    int current() const { return m_current; }
    // Refuses (false, index unchanged) anything outside 0 to 31.
    bool setCurrent(int index);

    PresetRecord &currentRecord() { return m_records[static_cast<std::size_t>(m_current)]; }
    const PresetRecord &currentRecord() const { return m_records[static_cast<std::size_t>(m_current)]; }

private:
    std::array<PresetRecord, kPresetCount> m_records{};
    int m_current = 0;
};

// ---- Texts -----------------------------------------------------------------

// The characters of a text field: up to its zero, never past its width.
template <std::size_t N>
std::string textOf(const std::array<char, N> &field)
{
    const char *end = static_cast<const char *>(std::memchr(field.data(), 0, N - 1));
    return std::string(field.data(), end ? static_cast<std::size_t>(end - field.data()) : N - 1);
}

// Stores TEXT cut to the field's width and clears every byte after it, so
// that two records with the same texts are equal byte for byte.
template <std::size_t N>
void setText(std::array<char, N> &field, std::string_view text)
{
    field.fill(0);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field.data(), text.data(), n);
}

// The editor's name fields refuse these characters: % ' * " + ? > < : backslash.
bool isNameCharacterAllowed(char c);
// TEXT without the refused characters, cut to WIDTH characters.
std::string filterNameInput(std::string_view text, std::size_t width);

// ---- Defaults --------------------------------------------------------------

// The "Default Preset": the starting point of every XML read.
void fillDefaultPreset(PresetRecord &record);
PresetRecord defaultPreset();

// The start-up preset of slot K (0..31): number K, named "Preset K+1".
void fillStartupPreset(PresetRecord &record, int slot);
// The texts a start-up preset and a factory layout share: the name
// "Preset K+1", the author and the three input names.
void setStartupTexts(PresetRecord &record, int slot);
PresetRecord startupPreset(int slot);

// A channel's default processing: no delay, 0 dB, normal polarity, every
// band, crossover side, dynamics stage and gate off. Route, mute and name
// are left as they are.
void setDefaultProcessing(InputChannel &channel);
void setDefaultProcessing(OutputChannel &channel);

// Start-up defaults in all 32 slots; the current index becomes 0.
void resetPresetMemory(PresetMemory &memory);

// Factory values shared by both default sets.
EqBand defaultEqBand();
CrossoverFilter defaultHighCut();
CrossoverFilter defaultLowCut();
Dynamics defaultDynamics();
NoiseGate defaultNoiseGate();

// ---- Rules and names -------------------------------------------------------

inline constexpr std::uint32_t kLockedFlag = 0x1;

inline bool isLocked(std::uint32_t flags) { return (flags & kLockedFlag) != 0; }
// The lock check box's rule: it also clears bits 16 to 31.
inline std::uint32_t withLock(std::uint32_t flags, bool locked)
{
    return (flags & 0xFFFEu) | (locked ? kLockedFlag : 0u);
}

// What switches a part off. Files leave off parts out, so these are
// properties of the stored fields; the designs' own code tables agree
// (checked where both are known, in zar40/model).
inline constexpr std::uint32_t kBandOff = 0;
inline constexpr std::uint32_t kHighCutOff = 0;
inline constexpr std::uint32_t kLowCutOff = 4;
inline constexpr std::uint32_t kDynamicsOff = 0;
inline constexpr float kNoiseGateOffThreshold = -200.0f;

inline bool isBandOn(const EqBand &b) { return b.TYPE != kBandOff; }
inline bool isHighCutOn(const CrossoverFilter &f) { return f.TYPE != kHighCutOff; }
// A low cut is off only with type 4; type 0 is a high-cut code on the
// low-cut side and counts as on.
inline bool isLowCutOn(const CrossoverFilter &f) { return f.TYPE != kLowCutOff; }
inline bool isDynamicsOn(const Dynamics &d) { return d.TYPE != kDynamicsOff; }
// Written as "above" so that a NaN threshold counts as off.
inline bool isNoiseGateOn(const NoiseGate &g) { return g.THRESHOLD > kNoiseGateOffThreshold; }

// The names of the type codes belong to the designs that read them
// (zar40/dsp: EqBandTypeName, CrossoverTypeName, dynamicsTypeName).

} // namespace zar40::preset
