#pragma once
// What the editor sends a connected unit for each kind of edit: the list of
// parameter writes (request code, address, wire value). The editor changes
// the current record first and then asks here what to send; the link only
// moves the writes. Writes that belong together form a batch: every write
// but the last goes with ReqWritePreset (152), the last with ReqWritePara
// (136), so the unit applies the batch as one step.
//
// Channels use the record's channel index (0 input A, 1 Summe, 2 input B,
// 3..8 outputs 1..6). Addresses come from the address map.
#include "zar40/preset/record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zar40::model {

struct ParameterWrite {
    std::uint16_t code = 0;
    std::uint16_t address = 0;
    std::uint32_t value = 0;
    friend bool operator==(const ParameterWrite &, const ParameterWrite &) = default;
};
using WriteBatch = std::vector<ParameterWrite>;

// Gives every write of BATCH its request code: 152 for all but the last,
// 136 for the last one (a single write is 136).
void markBatch(WriteBatch &batch);

// ---- Stereo-Link -------------------------------------------------------------

// The partner of a channel under Stereo-Link: input A and B, outputs 1/2,
// 3/4 and 5/6. Nothing for the Summe, which is always alone, or a channel
// outside 0..8.
std::optional<int> stereoPartner(int channel);
// The pair of CHANNEL in writing order (first member, second member), or
// the channel alone.
std::vector<int> linkedChannels(int channel, bool stereoLink);

// ---- Faders --------------------------------------------------------------------

enum class FaderChange { Gain, Mute, Phase };

// The channel's gain, mute and phase addresses; nothing for a phase on an
// input or a channel outside 0..8.
std::optional<std::uint16_t> gainAddress(int channel);
std::optional<std::uint16_t> muteAddress(int channel);
std::optional<std::uint16_t> phaseAddress(int channel);

// Sets the fader's value in RECORD, for the partner too under Stereo-Link:
// the gain in dB, mute 0/1, phase 0.0 or 1.0 (the "180°" button).
void applyFader(preset::PresetRecord &record, int channel, FaderChange change, float value, bool stereoLink);
// The writes of a fader edit already applied to RECORD: the channel, or
// under Stereo-Link both members of its pair, each with its own value;
// the input pair's mute sends input A's flag to both addresses.
WriteBatch faderWrites(const preset::PresetRecord &record, int channel, FaderChange change, bool stereoLink);

// ---- Mute All, Stereo-Link engage ------------------------------------------------

// Mutes (MUTE true) every output that is not muted, or unmutes every muted
// one; returns the writes for the outputs that changed, one batch.
WriteBatch applyMuteAll(preset::PresetRecord &record, bool mute);
bool allOutputsMuted(const preset::PresetRecord &record);

// Stereo-Link being switched on: in each pair with exactly one member muted
// the other is muted too. The unit learns it by -200.0 written to the gain
// address of each member muted this way (one batch); the stored gain stays.
WriteBatch applyStereoLinkEngage(preset::PresetRecord &record);
inline constexpr float kEngageMuteGain = -200.0f;

// ---- Device settings ----------------------------------------------------------------

// The device name (four words at 100 to 103) and the keyboard lock (110).
// With a password they go as ReqWritePreset and the password follows with
// ReqWritePwd, as the device settings dialog sends them; without one they
// are an ordinary batch (the restore of a backup).
WriteBatch deviceSettingsWrites(const std::string &name, bool keyboardLock, std::optional<std::uint32_t> password);

// ---- Every other edit ------------------------------------------------------------

// The writes that make the unit's copy of BEFORE equal to AFTER: one per
// address whose wire value differs (texts four characters per address),
// ascending, one batch. Equalizer bands, crossovers, dynamics, gates,
// delays, routes, names, author and flags all go this way, and so does
// undo, which sends back the restored values. The preset number and the
// device settings are not part of it.
WriteBatch changedFieldWrites(const preset::PresetRecord &before, const preset::PresetRecord &after);

} // namespace zar40::model
