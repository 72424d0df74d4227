#include "preset_input.h"

#include "zar40/preset/preset_files.h"

#include <iostream>

namespace zar40tool {

bool readPresetForCommand(const std::string &path, zar40::preset::PresetRecord &record, const std::string &context)
{
    const zar40::preset::Result res = zar40::preset::readPresetFile(path, record);
    if (!res.ok) {
        if (!context.empty()) std::cerr << context << ": " << path << ": ";
        std::cerr << res.message << "\n";
        if (!res.detail.empty()) std::cerr << "(" << res.detail << ")\n";
        return false;
    }
    for (const auto &n : res.notices) std::cerr << n << "\n";
    return true;
}

} // namespace zar40tool
