// Preset file commands: show, convert, layout.
#include "command.h"
#include "preset_input.h"

#include "zar40/preset/factory_layouts.h"
#include "zar40/preset/json_dump.h"
#include "zar40/preset/preset_files.h"

#include <charconv>
#include <iostream>

namespace zar40tool {
namespace {

using namespace zar40::preset;

bool reportWrite(const Result &res)
{
    if (!res.ok) std::cerr << res.message << "\n(" << res.detail << ")\n";
    return res.ok;
}

bool isOption(const std::string &a) { return a.size() > 1 && a[0] == '-'; }

int show(const std::vector<std::string> &args)
{
    bool raw = false;
    std::vector<std::string> files;
    for (const auto &a : args) {
        if (a == "--raw") raw = true;
        else if (isOption(a)) return usageError("show", "unknown option '" + a + "'");
        else files.push_back(a);
    }
    if (files.size() != 1) return usageError("show", "expects exactly one preset file");

    PresetRecord record;
    if (!readPresetForCommand(files[0], record)) return ExitBadInput;
    std::cout << presetToJson(record, raw ? JsonNumbers::RawWords : JsonNumbers::Values);
    return ExitOk;
}

int convert(const std::vector<std::string> &args)
{
    for (const auto &a : args)
        if (isOption(a)) return usageError("convert", "unknown option '" + a + "'");
    if (args.size() != 2) return usageError("convert", "expects an input file and an output file");
    if (presetFileKind(args[1]) != PresetFileKind::Xml) return usageError("convert", "the output file must end in .vpx");

    PresetRecord record;
    if (!readPresetForCommand(args[0], record)) return ExitBadInput;
    return reportWrite(writeXmlPresetFile(record, args[1])) ? ExitOk : ExitBadInput;
}

int layout(const std::vector<std::string> &args)
{
    std::string name, out;
    int slot = 1; // numbered 1 to 32, as the editor and "zar40 device" show them
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--slot" || a == "-o") {
            if (i + 1 == args.size()) return usageError("layout", a + " needs a value");
            const std::string &v = args[++i];
            if (a == "-o") {
                out = v;
                continue;
            }
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), slot);
            if (ec != std::errc() || end != v.data() + v.size() || slot < 1 || slot > kPresetCount)
                return usageError("layout", "--slot takes a slot number from 1 to 32, not '" + v + "'");
        } else if (isOption(a)) {
            return usageError("layout", "unknown option '" + a + "'");
        } else if (name.empty()) {
            name = a;
        } else {
            return usageError("layout", "unexpected argument '" + a + "' (quote a layout name that has blanks)");
        }
    }
    if (name.empty()) return usageError("layout", "expects a layout name");
    if (out.empty()) return usageError("layout", "expects -o OUT.vpx");
    if (presetFileKind(out) != PresetFileKind::Xml) return usageError("layout", "the output file must end in .vpx");
    const auto which = findFactoryLayout(name);
    if (!which) return usageError("layout", "no layout named '" + name + "'");

    const PresetRecord record = applyFactoryLayout(startupPreset(slot - 1), slot - 1, *which);
    return reportWrite(writeXmlPresetFile(record, out)) ? ExitOk : ExitBadInput;
}

std::string layoutList()
{
    std::string s;
    for (FactoryLayout l : factoryLayouts()) s += "  \"" + std::string(factoryLayoutName(l)) + "\"\n";
    return s;
}

const Registration showCommand{{
    "show",
    "print a preset file (.vpx or .vpf) as JSON",
    "Usage: zar40 show FILE [--raw]\n\n"
    "Reads a preset file and prints the whole record as JSON on stdout.\n"
    "FILE must end in .vpx (XML preset) or .vpf (version-1 preset), in lower case.\n\n"
    "  --raw   print every number as its 32-bit word (\"0x%08X\") instead of its value\n\n"
    "Notices of the reader (such as the muted-gain notice of .vpf files) go to stderr.\n"
    "Exit status: 0 success, 1 unreadable file, 2 usage error.\n",
    show,
}};

const Registration convertCommand{{
    "convert",
    "convert a .vpx or .vpf preset file to .vpx",
    "Usage: zar40 convert IN OUT.vpx\n\n"
    "Reads IN (.vpx or .vpf) and writes it as an XML preset file. An existing OUT.vpx\n"
    "is replaced only when the new file has been written completely.\n"
    "Exit status: 0 success, 1 unreadable input or failed save, 2 usage error.\n",
    convert,
}};

const Registration layoutCommand{{
    "layout",
    "write a factory layout as a .vpx preset file",
    "Usage: zar40 layout NAME [--slot N] -o OUT.vpx\n\n"
    "Applies the factory layout NAME to the start-up preset of slot N (1 to 32,\n"
    "default 1; the preset is named \"Preset N\") and writes it to OUT.vpx.\n"
    "Layouts:\n" +
        layoutList() +
        "\nExample: zar40 layout \"2 Way Stereo\" --slot 6 -o twoway.vpx\n"
        "Exit status: 0 success, 1 failed save, 2 usage error.\n",
    layout,
}};

} // namespace
} // namespace zar40tool
