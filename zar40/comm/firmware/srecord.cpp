#include "srecord.h"

namespace zar40::firmware {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The byte at character POS of TEXT, or -1.
int hexByte(std::string_view text, std::size_t pos)
{
    if (pos + 1 >= text.size()) return -1;
    const int hi = hexDigit(text[pos]);
    const int lo = hexDigit(text[pos + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

} // namespace

std::optional<S2Record> parseS2Record(std::string_view line)
{
    if (line.size() < 4 || line[0] != 'S' || line[1] != '2') return std::nullopt;
    const int count = hexByte(line, 2);
    // Three address bytes and the checksum at least.
    if (count < 4) return std::nullopt;
    if (line.size() != 4 + 2 * static_cast<std::size_t>(count)) return std::nullopt;

    S2Record r;
    r.count = static_cast<std::uint8_t>(count);
    unsigned sum = static_cast<unsigned>(count);
    for (int i = 0; i < count; ++i) {
        const int b = hexByte(line, 4 + 2 * static_cast<std::size_t>(i));
        if (b < 0) return std::nullopt;
        sum += static_cast<unsigned>(b);
        if (i < 3) r.address = (r.address << 8) | static_cast<std::uint32_t>(b);
    }
    r.checksumOk = (sum & 0xFF) == 0xFF;
    return r;
}

FirmwareLine classifyLine(std::string_view line)
{
    FirmwareLine out;
    if (auto r = parseS2Record(line)) {
        out.kind = FirmwareLine::Kind::Data;
        out.record = *r;
        out.text.assign(line);
    } else if (line.size() >= 2 && line[0] == 'S' && line[1] == '2') {
        out.kind = FirmwareLine::Kind::MalformedS2;
    }
    return out;
}

bool sendsUnchanged(const FirmwareLine &line, bool resetPresets)
{
    if (line.kind != FirmwareLine::Kind::Data) return false;
    if (line.record.touches(kProtectedFirst, kProtectedLast)) return false;
    if (!resetPresets && line.record.touches(kPresetDataFirst, kPresetDataLast)) return false;
    return true;
}

std::string_view recordToSend(const FirmwareLine &line, bool resetPresets)
{
    return sendsUnchanged(line, resetPresets) ? std::string_view(line.text) : kPlaceholderRecord;
}

FirmwareFile readFirmwareFile(std::istream &in)
{
    FirmwareFile file;
    std::string line;
    bool longLine = false;
    bool any = false; // characters since the last line end
    auto finish = [&] {
        if (!line.empty() && line.back() == '\r' && !longLine) line.pop_back();
        FirmwareLine parsed = longLine ? FirmwareLine{} : classifyLine(line);
        if (longLine && line.size() >= 2 && line[0] == 'S' && line[1] == '2')
            parsed.kind = FirmwareLine::Kind::MalformedS2;
        if (parsed.kind == FirmwareLine::Kind::Data) {
            ++file.dataRecords;
            if (!parsed.record.checksumOk) ++file.badChecksums;
        } else if (parsed.kind == FirmwareLine::Kind::MalformedS2) {
            ++file.malformedS2;
        }
        file.lines.push_back(std::move(parsed));
        line.clear();
        longLine = false;
        any = false;
    };
    char buf[4096];
    std::size_t total = 0;
    while (in) {
        in.read(buf, sizeof buf);
        const std::streamsize n = in.gcount();
        total += static_cast<std::size_t>(n);
        if (total > kMaxFirmwareFileBytes) {
            file.tooLarge = true;
            return file;
        }
        for (std::streamsize i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\n') {
                if (file.lines.size() >= kMaxFirmwareLines) {
                    file.tooLarge = true;
                    return file;
                }
                finish();
                continue;
            }
            any = true;
            // One character beyond the longest record (room for a "\r")
            // tells a record from a longer line.
            if (line.size() < kMaxRecordChars + 1) line.push_back(c);
            else longLine = true;
        }
    }
    if (any) {
        if (file.lines.size() >= kMaxFirmwareLines) file.tooLarge = true;
        else finish();
    }
    return file;
}

} // namespace zar40::firmware
