#pragma once
// Table-driven CRC-8, polynomial 0x07, most significant bit first, no
// reflection, no final XOR. The frames we send keep 0x00 in the checksum
// byte (the device accepts that); the table is here for a device that would
// one day verify it.
#include <array>
#include <cstdint>
#include <span>

namespace zar40::codec {

inline constexpr std::uint8_t kCrc8Polynomial = 0x07;

const std::array<std::uint8_t, 256> &crc8Table();

// CRC over BYTES, continuing from CRC (0 to start).
std::uint8_t crc8(std::span<const std::uint8_t> bytes, std::uint8_t crc = 0);

} // namespace zar40::codec
