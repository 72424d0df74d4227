#pragma once
// What the update check decides from the server's texts, and the figures the
// download dialog shows. Standard C++ only: the fuzz target and the tests use
// it without Qt.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace update {

// Values longer than this are cut.
inline constexpr std::size_t kMaxValueLength = 259;
// The longest updater file name accepted (a file system's name limit).
inline constexpr std::size_t kMaxFileNameBytes = 255;

struct VersionFile {
    std::string version;  // empty when the file names none
    std::string filename; // likewise
    // The "Sha256:" value the updater must have; none without the keyword.
    std::optional<std::string> sha256;
};

// The text between the first double quote after the first occurrence of
// keyword and the next double quote (or the end), at most kMaxValueLength
// characters; empty when the keyword or the opening quote is missing.
std::string quotedValue(std::string_view text, std::string_view keyword);

// "Version:", "Filename:" and "Sha256:" values of a version file.
VersionFile parseVersionFile(std::string_view text);

// Whether text is a SHA-256 digest written as 64 hexadecimal digits.
bool isSha256Hex(std::string_view text);

// Versions compare as texts, character by character without regard to case:
// remote is newer when current sorts before it (so 1.10.00001 is older than
// 1.5.00112).
bool isNewerVersion(std::string_view current, std::string_view remote);

// Why name cannot be the updater's file name, or empty when it can: only a
// plain file name is taken, never a path, a hidden file or a control character.
std::string unsafeFileNameReason(std::string_view name);

// "%i Byte", "%0.1f KByte" or "%0.1f MByte".
std::string formatSize(std::int64_t bytes);
// "%0.1f KB/s".
std::string formatSpeed(std::int64_t bytesPerSecond);
// hh:mm:ss; the hours grow past two digits when they must.
std::string formatDuration(std::int64_t seconds);

// The figures of one download, from its start, total size and bytes so far.
struct TransferFigures {
    std::int64_t total = 0;    // 0 or less: unknown
    std::int64_t received = 0;
    std::int64_t elapsedMs = 0;

    std::int64_t elapsedSeconds() const { return elapsedMs / 1000; }
    // 0 before the first whole second.
    std::int64_t bytesPerSecond() const;
    // 0 while the speed is 0 or the size unknown.
    std::int64_t remainingSeconds() const;
};

} // namespace update
