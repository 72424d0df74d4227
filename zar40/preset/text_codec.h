#pragma once
// Texts in the preset record are Windows-1252 bytes; files and the terminal
// use UTF-8.
#include <string>
#include <string_view>

namespace zar40::preset {

// Every byte has a character: the five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same
// number, as Windows converts them, so that any record text survives a trip
// through UTF-8.
std::string cp1252ToUtf8(std::string_view cp1252);

// ISO-8859-1: every byte is the character of the same number.
std::string latin1ToUtf8(std::string_view latin1);

// A character Windows-1252 lacks becomes "?", and so does each byte of a
// malformed UTF-8 sequence.
std::string utf8ToCp1252(std::string_view utf8);

} // namespace zar40::preset
