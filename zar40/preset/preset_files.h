#pragma once
// Preset files: the XML preset file (.vpx, read and written) and the older
// version-1 binary file (.vpf, read only).
//
// No reader trusts its file: a failed read leaves the target record exactly
// as it was, and a successful one replaces it completely. Nothing here shows
// a message; the caller decides how to show the Result's texts.
#include "zar40/preset/record.h"
#include "zar40/preset/Result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zar40::preset {

inline constexpr std::string_view kXmlLoadError = "Could not load XML-Preset-file!\nFile corrupt?";
inline constexpr std::string_view kNotAPresetFile = "Not a valid VRN-Preset file!";
inline constexpr std::string_view kXmlSaveError = "Could not save XML-Preset-file!";
inline constexpr std::string_view kV1LoadError = "Could not load vpf-Preset-file!";
inline constexpr std::string_view kV1MutedGainNotice =
    "Gain for muted Channels is not stored in vpf-Files.\nIt was set to 0dB. Please verify if this is OK!";

inline constexpr std::size_t kV1RecordSize = 1340;
// No preset file comes near this; a larger one is refused before it is read.
inline constexpr std::size_t kMaxPresetFileSize = 16u << 20;

// ---- XML preset file (.vpx) --------------------------------------------------

// The document a save writes: declaration, stylesheet instruction and the
// ZAR40_PRESET tree. Off equalizer bands, crossover sides, dynamics stages and
// noise gates are left out, and so is the preset number, so a file restores
// them as in the "Default Preset".
std::string xmlPresetDocument(const PresetRecord &record);

// Reads a document: the "Default Preset" overlaid with what the file sets.
// On failure message is kXmlLoadError.
Result readXmlPreset(std::string_view document, PresetRecord &target);
Result readXmlPresetFile(const std::string &path, PresetRecord &target);

using RenameFunction = int (*)(const char *from, const char *to);

// Writes the document beside PATH under a temporary name and renames it over
// PATH, so that an existing file is either replaced whole or left untouched.
// RENAME is replaceable so that tests can make the last step fail.
Result writeXmlPresetFile(const PresetRecord &record, const std::string &path, RenameFunction rename = nullptr);

// The same atomic replacement for any bytes.
Result writeFileAtomically(const std::string &path, std::string_view data, RenameFunction rename = nullptr);

// ---- Version-1 preset file (.vpf) --------------------------------------------

// Reads the 1340-byte record (bytes after it are ignored). A shorter file is
// refused with kV1LoadError. A gain of exactly -200 dB becomes gain 0 dB and
// mute on; if that happened, notices holds kV1MutedGainNotice once.
Result readV1Preset(std::span<const std::uint8_t> bytes, PresetRecord &target);
Result readV1PresetFile(const std::string &path, PresetRecord &target);

// ---- By extension -----------------------------------------------------------

enum class PresetFileKind { Xml, V1, Unknown };

// ".vpx" or ".vpf", lower case as the editor writes them; anything else
// (".VPX" included) is Unknown.
PresetFileKind presetFileKind(const std::string &path);

// Reads a .vpx or .vpf file; any other name is refused with kNotAPresetFile.
Result readPresetFile(const std::string &path, PresetRecord &target);

} // namespace zar40::preset
