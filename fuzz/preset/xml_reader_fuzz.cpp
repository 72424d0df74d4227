// XML preset reader on hostile documents. Besides not crashing: a failed
// read leaves the target untouched, and whatever a read accepts must survive
// writing and reading again bit for bit.
#include "zar40/preset/fields.h"
#include "zar40/preset/preset_files.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace zar40::preset;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view doc(reinterpret_cast<const char *>(data), size);
    const PresetRecord before = startupPreset(3);
    PresetRecord r = before;
    const Result res = readXmlPreset(doc, r);
    if (!res.ok) {
        if (!sameFields(before, r) || res.message != kXmlLoadError) std::abort();
        return 0;
    }
    PresetRecord again = before;
    if (!readXmlPreset(xmlPresetDocument(r), again).ok) std::abort();
    // What the file leaves out (number, settings of off stages) comes back
    // as in the default preset, so compare a second generation.
    PresetRecord third = before;
    if (!readXmlPreset(xmlPresetDocument(again), third).ok || !sameFields(again, third)) std::abort();
    return 0;
}
