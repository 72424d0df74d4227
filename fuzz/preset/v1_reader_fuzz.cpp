// Version-1 preset reader on arbitrary bytes: short inputs are refused with
// the target untouched; anything else reads completely, and the record it
// gives survives the XML file in every text, except for control characters
// XML 1.0 cannot hold, which the file holds as blanks.
#include "zar40/preset/fields.h"
#include "zar40/preset/preset_files.h"

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>

using namespace zar40::preset;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const PresetRecord before = defaultPreset();
    PresetRecord r = before;
    const Result res = readV1Preset(std::span<const std::uint8_t>(data, size), r);
    if (res.ok != (size >= kV1RecordSize)) std::abort();
    if (!res.ok) {
        if (!sameFields(before, r)) std::abort();
        return 0;
    }
    if (res.notices.size() > 1) std::abort();
    for (const auto &in : r.inputs)
        if (in.MUTE > 1) std::abort();
    // Only the texts are checked through the XML file (the numbers have the
    // XML reader's own target and the round-trip tests), so they travel on a
    // default record: its file is a fraction of a full preset's, which keeps
    // this target fast enough to reach depth.
    PresetRecord textsOnly = defaultPreset();
    for (const auto &d : fieldTable())
        if (d.isText()) {
            const auto from = fieldTextBytes(r, d);
            const auto to = fieldTextBytes(textsOnly, d);
            std::copy(from.begin(), from.end(), to.begin());
        }
    PresetRecord back;
    if (!readXmlPreset(xmlPresetDocument(textsOnly), back).ok) std::abort();
    for (const auto &d : fieldTable()) {
        if (!d.isText()) continue;
        std::string expected = fieldText(r, d);
        for (char &c : expected)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') c = ' ';
        if (expected != fieldText(back, d)) std::abort();
    }
    return 0;
}
