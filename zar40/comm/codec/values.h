#pragma once
// How values travel in the 32-bit field of a device message. (Which CAN
// identifiers belong to a unit: canbus/netid.h.)
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zar40::codec {

// Real settings travel as their IEEE-754 single-precision bit pattern.
constexpr std::uint32_t floatToWord(float f) { return std::bit_cast<std::uint32_t>(f); }
constexpr float wordToFloat(std::uint32_t w) { return std::bit_cast<float>(w); }

// A mute flag travels in the value's least significant byte, the rest zero.
constexpr std::uint32_t muteToWord(std::uint8_t flag) { return flag; }

// Four characters per message in text order, the first in message byte 4
// (the value's most significant byte). Characters past the end of TEXT are
// sent as zero bytes.
std::uint32_t textGroupToWord(std::string_view text, std::size_t group);
// The four characters of a received text group, in text order.
std::array<char, 4> wordToTextGroup(std::uint32_t word);

// Firmware revision: major in the upper, minor in the lower 16 bits.
constexpr std::uint32_t revisionWord(std::uint16_t major, std::uint16_t minor)
{
    return (std::uint32_t{major} << 16) | minor;
}
constexpr std::uint16_t revisionMajor(std::uint32_t word) { return static_cast<std::uint16_t>(word >> 16); }
constexpr std::uint16_t revisionMinor(std::uint32_t word) { return static_cast<std::uint16_t>(word & 0xFFFFu); }

// The only firmware revision the editor accepts.
inline constexpr std::uint16_t kExpectedRevisionMajor = 1;
inline constexpr std::uint16_t kExpectedRevisionMinor = 5;

// A level reply holds four meter bytes, the first meter in message byte 4.
constexpr std::array<std::uint8_t, 4> levelBytes(std::uint32_t word)
{
    return {static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
            static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
}

// The eight meters (inputs A and B, outputs 1 to 6) come in two level
// replies: the one to address 0 holds meters 1 to 4, the one to address 1
// meters 5 to 8.
inline constexpr std::size_t kLevelMeters = 8;
inline constexpr std::uint32_t kLevelAddresses = 2;
// Puts a level reply to ADDRESS into LEVELS; false, and LEVELS unchanged,
// for an address no level reply has.
constexpr bool applyLevelReply(std::array<std::uint8_t, kLevelMeters> &levels, std::uint32_t address,
                               std::uint32_t word)
{
    if (address >= kLevelAddresses) return false;
    const auto meters = levelBytes(word);
    for (std::size_t i = 0; i < meters.size(); ++i) levels[address * meters.size() + i] = meters[i];
    return true;
}
constexpr std::uint32_t levelWord(std::array<std::uint8_t, 4> meters)
{
    return (std::uint32_t{meters[0]} << 24) | (std::uint32_t{meters[1]} << 16) | (std::uint32_t{meters[2]} << 8) |
           meters[3];
}

} // namespace zar40::codec
