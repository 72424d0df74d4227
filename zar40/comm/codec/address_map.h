#pragma once
// Parameter addresses: where every field of a preset record, and the few
// device settings, live on the device link, how their values are converted on
// the way, and the orders in which a whole preset is read and written.
//
// An address is a decimal number CGIF (channel, group, index, field digit).
// The map walks the preset library's field table and gives each field its
// address by the digit rules; there is no separate list of fields here, and
// every other module (the simulator, the tool) asks this map for addresses.
#include "zar40/preset/fields.h"
#include "zar40/preset/record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zar40::codec {

// The device settings: ten 32-bit words kept beside the preset. Word numbers
// in comments count from 1 as the device does; indices count from 0.
inline constexpr std::size_t kDeviceSettingsWords = 10;
using DeviceSettings = std::array<std::uint32_t, kDeviceSettingsWords>;
inline constexpr std::size_t kDeviceNumberWord = 0;    // word 1, read only
inline constexpr std::size_t kKeyboardLockWord = 4;    // word 5
inline constexpr std::size_t kDeviceNameFirstWord = 6; // words 7 to 10, four characters each
inline constexpr std::size_t kDeviceNameWidth = 16;

enum class Conversion : std::uint8_t {
    None,       // the record's 32-bit word unchanged
    Delay,      // wire = (stored - 1) / 96, as floats
    LowCutType, // wire = stored - 4
    Mute,       // the flag byte zero-extended; a read replaces the flag
    Text,       // four characters, the first in the value's top byte
};

struct ParameterTarget {
    // Exactly one of the two is set: a field of the preset record, or a
    // word of the device settings.
    const preset::FieldDescriptor *field = nullptr;
    int deviceWord = -1;
    // For texts: which group of four characters (0 = characters 1-4).
    int textGroup = 0;
    Conversion conversion = Conversion::None;
};

// The field an address selects, or nothing. In the single-field groups
// (input C100, C200, C400; output C100 to C400 and C900) the index and field
// digits are ignored, so 1234 selects IN A's gain like 1200 does.
std::optional<ParameterTarget> lookupAddress(std::uint16_t address);

// The address of a field (and, for a text, of its character group TEXTGROUP).
// Nothing for the Summe name, which is not on the wire, or a group outside
// the text.
std::optional<std::uint16_t> addressOf(const preset::FieldDescriptor &field, int textGroup = 0);
// The address of the field KEY selects (findField), if it has one.
std::optional<std::uint16_t> addressOf(const preset::FieldKey &key, int textGroup = 0);
// The same for one of the device-settings words that travel.
std::optional<std::uint16_t> deviceSettingsAddress(std::size_t word);
// The six device-settings addresses (name, keyboard lock, device number),
// ascending, as a preset read ends with them.
std::span<const std::uint16_t> deviceSettingsAddresses();
// The canonical address of whatever ADDRESS selects (1234 gives 1200), or
// nothing.
std::optional<std::uint16_t> canonicalAddress(std::uint16_t address);

// Every address that selects something, once, with the single-field groups
// at their canonical address (C100 etc.). Ascending.
std::span<const std::uint16_t> allAddresses();

// Conversions, public for the callers that handle one value at a time.
float delayToWire(float stored);
float delayFromWire(float wire);
std::uint32_t lowCutTypeToWire(std::uint32_t stored);
std::uint32_t lowCutTypeFromWire(std::uint32_t wire);

// The value an address carries on the wire, taken from RECORD or SETTINGS.
std::optional<std::uint32_t> wireValue(const preset::PresetRecord &record, const DeviceSettings &settings,
                                       std::uint16_t address);
// Preset fields only (device-settings addresses give nothing).
std::optional<std::uint32_t> wireValue(const preset::PresetRecord &record, std::uint16_t address);
// Stores a received value through the address's conversion. False, and
// nothing changed, when the address selects no field.
bool storeWireValue(preset::PresetRecord &record, DeviceSettings &settings, std::uint16_t address,
                    std::uint32_t value);

// ---- Preset transfer ------------------------------------------------------

struct TransferStep {
    std::uint16_t code; // request code
    std::uint16_t address;
};

// The 344 addresses of a preset read, each one ReqReadPara exchange; the
// last one (0120) ends the read.
std::span<const std::uint16_t> readOrder();
inline constexpr std::uint16_t kLastReadAddress = 120;
// The address after 0033, where the Summe name is set.
inline constexpr std::uint16_t kSummeNameRuleAddress = 33;

// The 339 exchanges of a preset write: 338 ReqWritePreset in read order
// without the device settings, then ReqWritePara of 1100 (IN A delay again),
// whose reply completes the write.
std::span<const TransferStep> writeOrder();

// What a preset read does with each reply: store it, and after 0033 give the
// Summe input its fixed name whatever the device holds.
bool storeReadValue(preset::PresetRecord &record, DeviceSettings &settings, std::uint16_t address,
                    std::uint32_t value);
// "Summe" followed by zero bytes.
void setSummeName(preset::PresetRecord &record);
inline constexpr std::string_view kSummeName = "Summe";

// ---- Device settings ------------------------------------------------------

std::string deviceName(const DeviceSettings &settings);
// Cuts to 16 characters; unused characters are zero.
void setDeviceName(DeviceSettings &settings, std::string_view name);
inline bool keyboardLocked(const DeviceSettings &s) { return s[kKeyboardLockWord] != 0; }
inline std::uint32_t deviceNumber(const DeviceSettings &s) { return s[kDeviceNumberWord]; }
// How the status bar shows the device number: "  K%06d".
std::string deviceNumberText(std::uint32_t number);

} // namespace zar40::codec
