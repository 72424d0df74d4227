#pragma once
// The CAN window's texts: their string ids and the table with the texts the
// window shows when the host's string table has none of its own.
#include "../StringTable.h"

namespace can_strings {

inline constexpr unsigned StrModuleConnected = 4015;
inline constexpr unsigned StrErrorInitHw = 4016;
inline constexpr unsigned StrNoModule = 4017;
inline constexpr unsigned StrAlreadyConnected = 4018;
inline constexpr unsigned StrNotInitialized = 4019;
inline constexpr unsigned StrFirstDriverError = 4030; // code 1; code n is 4029 + n
inline constexpr unsigned StrOtherError = 4043;
inline constexpr unsigned StrFirstStatus = 4044;      // bit 0; bit n is 4044 + n
inline constexpr unsigned StrModuleDisconnected = 4054;
inline constexpr unsigned StrNetIdRange = 4060;
inline constexpr unsigned StrIdentifierRange = 4061;

StringTable defaults();

} // namespace can_strings
