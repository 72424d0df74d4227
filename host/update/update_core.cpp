#include "update_core.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace update {

std::string quotedValue(std::string_view text, std::string_view keyword)
{
    const std::size_t at = text.find(keyword);
    if (at == std::string_view::npos)
        return {};
    const std::size_t open = text.find('"', at + keyword.size());
    if (open == std::string_view::npos)
        return {};
    std::string_view rest = text.substr(open + 1);
    rest = rest.substr(0, std::min(rest.find('"'), kMaxValueLength));
    return std::string(rest);
}

VersionFile parseVersionFile(std::string_view text)
{
    VersionFile file{quotedValue(text, "Version:"), quotedValue(text, "Filename:"), std::nullopt};
    if (text.find("Sha256:") != std::string_view::npos)
        file.sha256 = quotedValue(text, "Sha256:");
    return file;
}

bool isSha256Hex(std::string_view text)
{
    return text.size() == 64 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

bool isNewerVersion(std::string_view current, std::string_view remote)
{
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    return std::lexicographical_compare(current.begin(), current.end(), remote.begin(), remote.end(),
                                        [&](char a, char b) { return lower(a) < lower(b); });
}

std::string unsafeFileNameReason(std::string_view name)
{
    if (name.empty())
        return "it is empty";
    if (name.size() > kMaxFileNameBytes)
        return "it is longer than 255 bytes";
    if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos)
        return "it contains a path separator";
    if (name.find("..") != std::string_view::npos)
        return "it contains \"..\"";
    if (name.front() == '.')
        return "it starts with a dot";
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return "it contains a control character";
    }
    return {};
}

namespace {

std::string printed(const char *format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string twoDigits(std::int64_t v)
{
    // snprintf rather than string concatenation: GCC 12 at -O3 warns
    // falsely (-Wrestrict) about the latter.
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%02lld", static_cast<long long>(v));
    return buffer;
}

} // namespace

std::string formatSize(std::int64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + " Byte";
    if (bytes < (std::int64_t(1) << 20))
        return printed("%0.1f KByte", double(bytes) / 1024.0);
    // Sizes of a GiB and more keep the MByte unit.
    return printed("%0.1f MByte", double(bytes) / 1048576.0);
}

std::string formatSpeed(std::int64_t bytesPerSecond)
{
    return printed("%0.1f KB/s", double(bytesPerSecond) / 1024.0);
}

std::string formatDuration(std::int64_t seconds)
{
    if (seconds <= 0)
        return "00:00:00";
    return twoDigits(seconds / 3600) + ":" + twoDigits((seconds / 60) % 60) + ":" + twoDigits(seconds % 60);
}

std::int64_t TransferFigures::bytesPerSecond() const
{
    const std::int64_t seconds = elapsedSeconds();
    return seconds > 0 ? received / seconds : 0;
}

std::int64_t TransferFigures::remainingSeconds() const
{
    const std::int64_t speed = bytesPerSecond();
    if (speed <= 0 || total <= 0)
        return 0;
    return std::max<std::int64_t>(0, total / speed - elapsedSeconds());
}

} // namespace update
