#pragma once
// Who a frame on the ZAR40 bus belongs to. A unit with Net-ID N hears the
// requests sent with identifier N x 32 and owns the 32 identifiers from there
// on: a frame belongs to the unit whose Net-ID is its identifier / 32.
// Standard C++ only, so that code without Qt can use it as well.
#include <cstdint>

namespace canbus {

inline constexpr int kMinNetId = 1;
// 64 x 32 = 0x800 no longer fits a standard (11-bit) identifier.
inline constexpr int kMaxNetId = 63;
inline constexpr std::uint32_t kMaxStandardId = 0x7FF;

// The bit rate of the ZAR40 bus.
inline constexpr std::uint32_t kBitrate = 125000;

constexpr bool netIdUsable(long long netId) { return netId >= kMinNetId && netId <= kMaxNetId; }
constexpr std::uint32_t identifierForNetId(int netId) { return static_cast<std::uint32_t>(netId) * 32u; }
constexpr int netIdForIdentifier(std::uint32_t identifier) { return static_cast<int>(identifier / 32u); }

static_assert(identifierForNetId(kMaxNetId) + 31 <= kMaxStandardId);
static_assert(identifierForNetId(kMaxNetId + 1) > kMaxStandardId);

} // namespace canbus
