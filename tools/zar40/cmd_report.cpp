// zar40 report: the preset's printable report, written without the editor.
#include "command.h"
#include "preset_input.h"

#include "zar40/preset/preset_files.h"
#include "zar40/preset/report.h"

#include <iostream>

namespace zar40tool {
namespace {

using namespace zar40::preset;

constexpr const char *kName = "report";

bool endsWith(const std::string &s, std::string_view tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int run(const std::vector<std::string> &args)
{
    std::string file, out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "-o") {
            if (i + 1 == args.size()) return usageError(kName, "-o needs a value");
            out = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError(kName, "unknown option '" + a + "'");
        } else if (file.empty()) {
            file = a;
        } else {
            return usageError(kName, "unexpected argument '" + a + "'");
        }
    }
    if (file.empty()) return usageError(kName, "expects a preset file");
    if (out.empty()) return usageError(kName, "expects -o OUT.html");
    if (endsWith(out, ".pdf")) return inputError("zar40 report: " + out + ": PDF output is not supported yet; use .html");
    if (!endsWith(out, ".html") && !endsWith(out, ".htm"))
        return usageError(kName, "the output file must end in .html");

    PresetRecord record;
    if (!readPresetForCommand(file, record, "zar40 report")) return ExitBadInput;
    const Result res = writeFileAtomically(out, reportDocument(record));
    if (!res.ok) {
        std::cerr << "zar40 report: " << out << ": could not write the report\n";
        if (!res.detail.empty()) std::cerr << "(" << res.detail << ")\n";
        return ExitBadInput;
    }
    return ExitOk;
}

const Registration registration{{
    kName,
    "write a preset's settings as an HTML report",
    "Usage: zar40 report FILE -o OUT.html\n\n"
    "Writes every setting of the preset in FILE (.vpx or .vpf) as the editor's\n"
    "HTML report: Windows-1252 text, one table per channel. OUT is replaced\n"
    "whole or left as it was. PDF output is not supported yet.\n\n"
    "Exit status: 0 written, 1 unreadable preset or unwritable output, 2 usage error.\n",
    run,
}};

} // namespace
} // namespace zar40tool
