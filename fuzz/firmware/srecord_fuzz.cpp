// Any bytes as a firmware file: every line is classified, and what would be
// sent for it is either the line itself (a whole, well-formed S2 record) or
// the placeholder, never a part of a line.
#include "zar40/comm/firmware/srecord.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

using namespace zar40::firmware;

namespace {

void check(bool ok)
{
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::istringstream in(text);
    const FirmwareFile file = readFirmwareFile(in);

    std::size_t newlines = 0, data_ = 0, malformed = 0;
    for (char c : text) newlines += c == '\n';
    const bool lastOpen = !text.empty() && text.back() != '\n';
    const std::size_t lines = newlines + (lastOpen ? 1 : 0);
    check(file.tooLarge == (lines > kMaxFirmwareLines || text.size() > kMaxFirmwareFileBytes));
    check(file.lines.size() <= kMaxFirmwareLines);
    if (!file.tooLarge) check(file.lines.size() == lines);

    for (const FirmwareLine &line : file.lines) {
        for (const bool reset : {false, true}) {
            const std::string_view sent = recordToSend(line, reset);
            if (sent == kPlaceholderRecord) continue;
            // Only a complete record goes out, and it parses again to the same.
            check(line.kind == FirmwareLine::Kind::Data);
            check(sent.size() <= kMaxRecordChars);
            const auto again = parseS2Record(sent);
            check(again && again->address == line.record.address && again->count == line.record.count);
            check(!again->touches(kProtectedFirst, kProtectedLast));
            check(reset || !again->touches(kPresetDataFirst, kPresetDataLast));
            check(text.find(sent) != std::string::npos);
        }
        data_ += line.kind == FirmwareLine::Kind::Data;
        malformed += line.kind == FirmwareLine::Kind::MalformedS2;
    }
    check(data_ == file.dataRecords && malformed == file.malformedS2);

    // A single line straight through the parser.
    if (const auto r = parseS2Record(text)) check(text.size() == 4 + 2 * std::size_t(r->count) && r->count >= 4);
    return 0;
}
