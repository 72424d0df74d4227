#include "crc8.h"

namespace zar40::codec {

namespace {

constexpr std::array<std::uint8_t, 256> makeTable()
{
    std::array<std::uint8_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 0x80u) ? ((c << 1) ^ kCrc8Polynomial) : (c << 1);
        t[i] = static_cast<std::uint8_t>(c);
    }
    return t;
}

constexpr auto kTable = makeTable();

} // namespace

const std::array<std::uint8_t, 256> &crc8Table() { return kTable; }

std::uint8_t crc8(std::span<const std::uint8_t> bytes, std::uint8_t crc)
{
    for (std::uint8_t b : bytes) crc = kTable[crc ^ b];
    return crc;
}

} // namespace zar40::codec
