#pragma once
// The CAN window's texts: their string ids and the table with the texts the
// window shows when the host's string table has none of its own.
#include "../StringTable.h"

namespace can_strings {

inline constexpr unsigned kStrModuleConnected = 4015;
inline constexpr unsigned kStrErrorInitHw = 4016;
inline constexpr unsigned kStrNoModule = 4017;
inline constexpr unsigned kStrAlreadyConnected = 4018;
inline constexpr unsigned kStrNotInitialized = 4019;
inline constexpr unsigned kStrFirstDriverError = 4030; // code 1; code n is 4029 + n
inline constexpr unsigned kStrOtherError = 4043;
inline constexpr unsigned kStrFirstStatus = 4044;      // bit 0; bit n is 4044 + n
inline constexpr unsigned kStrModuleDisconnected = 4054;
inline constexpr unsigned kStrNetIdRange = 4060;
inline constexpr unsigned kStrIdentifierRange = 4061;

StringTable defaults();

} // namespace can_strings
