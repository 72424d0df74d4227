#include "zar40/preset/preset_files.h"

#include <filesystem>

namespace zar40::preset {

PresetFileKind presetFileKind(const std::string &path)
{
    const std::string ext = std::filesystem::path(path).extension().string();
    if (ext == ".vpx") return PresetFileKind::Xml;
    if (ext == ".vpf") return PresetFileKind::V1;
    return PresetFileKind::Unknown;
}

Result readPresetFile(const std::string &path, PresetRecord &target)
{
    switch (presetFileKind(path)) {
    case PresetFileKind::Xml: return readXmlPresetFile(path, target);
    case PresetFileKind::V1: return readV1PresetFile(path, target);
    case PresetFileKind::Unknown: break;
    }
    return Result::failure(std::string(kNotAPresetFile), path);
}

} // namespace zar40::preset
