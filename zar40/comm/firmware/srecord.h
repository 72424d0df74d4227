#pragma once
// Firmware files are Motorola S-record text. The flash loader takes one
// record per handshake and programs the S2 records (24-bit addresses); every
// other line is answered with a record it ignores, so that the handshakes
// stay one per line. Nothing here touches a port: the parsing is plain C++
// and fuzzed on its own.
#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zar40::firmware {

// Sent in place of every line that must not or cannot be programmed.
inline constexpr std::string_view kPlaceholderRecord = "S004000000FB";

// The longest S-record line: "S2", two count digits and 255 bytes.
inline constexpr std::size_t kMaxRecordChars = 4 + 2 * 255;

// Flash that the update never writes, and the preset data area, written
// only when the presets are reset to their factory defaults.
inline constexpr std::uint32_t kProtectedFirst = 0xF0000;
inline constexpr std::uint32_t kProtectedLast = 0xF3FFF;
inline constexpr std::uint32_t kPresetDataFirst = 0xA0000;
inline constexpr std::uint32_t kPresetDataLast = 0xDFFFF;

struct S2Record {
    std::uint32_t address = 0;   // of the first data byte
    std::uint8_t count = 0;      // bytes after the count: address, data, checksum
    bool checksumOk = false;     // the last byte completes the sum to 0xFF
    // The last data byte's address; a record without data counts as
    // touching its start address.
    std::uint32_t lastAddress() const { return address + (count > 4 ? count - 5u : 0u); }
    bool touches(std::uint32_t first, std::uint32_t last) const { return address <= last && lastAddress() >= first; }
};

// The S2 record LINE holds (without its line end), or nothing when LINE is
// not an S2 record or not a complete one: a wrong or missing digit, a count
// that does not match the line's length, a count too small for the address
// and checksum. A malformed S2 line is therefore an "other" line.
std::optional<S2Record> parseS2Record(std::string_view line);

// One line of a firmware file as the update sends it.
struct FirmwareLine {
    enum class Kind {
        Data,         // a well-formed S2 record
        Other,        // any other record type, text or an empty line
        MalformedS2,  // starts with "S2" but is not a complete record
    };
    Kind kind = Kind::Other;
    S2Record record;      // for Data
    std::string text;     // for Data: the record's characters
};

FirmwareLine classifyLine(std::string_view line);

// Whether LINE goes to the device as it is (else the placeholder goes):
// only S2 data outside the protected area, and outside the preset data
// unless the presets are reset.
bool sendsUnchanged(const FirmwareLine &line, bool resetPresets);
// The characters that answer the request for LINE.
std::string_view recordToSend(const FirmwareLine &line, bool resetPresets);

// The largest firmware file taken. The unit's flash holds 1 MiB, which as
// S-records of 16 data bytes is about 65,000 lines and 3 MiB; anything far
// beyond is not a firmware and would only fill memory with its lines.
inline constexpr std::size_t kMaxFirmwareFileBytes = 16u << 20;
inline constexpr std::size_t kMaxFirmwareLines = 200000;

// A whole firmware file, split into text lines. A line ends at "\n"; a "\r"
// before it is dropped, a last line without "\n" still counts. A line of any
// length is read, but only the first kMaxRecordChars + 1 characters are
// kept: a longer one cannot be a record. Reading stops, with tooLarge set,
// after kMaxFirmwareFileBytes bytes or kMaxFirmwareLines lines.
struct FirmwareFile {
    std::vector<FirmwareLine> lines;
    std::size_t dataRecords = 0;
    std::size_t malformedS2 = 0;
    std::size_t badChecksums = 0; // among the data records
    bool tooLarge = false;
};

FirmwareFile readFirmwareFile(std::istream &in);

} // namespace zar40::firmware
