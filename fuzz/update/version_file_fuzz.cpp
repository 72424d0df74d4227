// The version file the update server sends: its quoted values, the version
// comparison, the file-name check that guards what is started and the
// digest the updater must have.

#include "update/update_core.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A copy of exactly the input's size, so reading past its end is caught.
    const std::vector<char> bytes(data, data + size);
    const std::string_view text(bytes.data(), bytes.size());
    const update::VersionFile file = update::parseVersionFile(text);
    if (file.version.size() > update::kMaxValueLength || file.filename.size() > update::kMaxValueLength)
        std::abort();
    if (file.version.find('"') != std::string::npos || file.filename.find('"') != std::string::npos)
        std::abort();
    // The keyword alone decides whether a digest was given; a given one is
    // a bounded quoted value, and a valid one exactly 64 hex digits.
    if (file.sha256.has_value() != (text.find("Sha256:") != std::string_view::npos))
        std::abort();
    if (file.sha256) {
        if (file.sha256->size() > update::kMaxValueLength || file.sha256->find('"') != std::string::npos)
            std::abort();
        if (update::isSha256Hex(*file.sha256)) {
            if (file.sha256->size() != 64)
                std::abort();
            for (char c : *file.sha256) {
                if (!std::isxdigit(static_cast<unsigned char>(c)))
                    std::abort();
            }
        }
    }
    // A version is never newer than itself.
    if (update::isNewerVersion(file.version, file.version))
        std::abort();
    if (update::unsafeFileNameReason(file.filename).empty()) {
        for (char c : file.filename) {
            if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
                std::abort();
        }
        if (file.filename.front() == '.')
            std::abort();
    }
    return 0;
}
