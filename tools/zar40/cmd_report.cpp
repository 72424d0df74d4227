// zar40 report: the preset's printable report, written without the editor.
#include "command.h"
#include "preset_input.h"

#include "zar40/preset/preset_files.h"
#include "zar40/report/report.h"

#ifdef ZAR40_TOOL_PDF
#include "zar40/ui/report/pages/report_pages.h"

#include <QApplication>
#endif

#include <iostream>

namespace zar40tool {
namespace {

using namespace zar40::preset;
using zar40::report::reportDocument;
using zar40::report::reportFooter;

constexpr const char *kName = "report";

bool endsWith(const std::string &s, std::string_view tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

#ifdef ZAR40_TOOL_PDF
int writePdf(const PresetRecord &record, const std::string &out)
{
    // The diagrams are the editor's widgets; they need an application
    // object but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "zar40";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);

    zar40::report::PageTexts texts;
    texts.footer = QString::fromStdString(reportFooter(zar40::report::localReportTime()));
    const auto written = zar40::report::writeReportPdf(record, QString::fromLocal8Bit(out.c_str()), texts);
    if (!written.ok) {
        std::cerr << "zar40 report: " << out << ": could not write the report\n";
        if (!written.error.isEmpty()) std::cerr << "(" << written.error.toStdString() << ")\n";
        return ExitBadInput;
    }
    return ExitOk;
}
#endif

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
    if (out.empty()) return usageError(kName, "expects -o OUT.html or -o OUT.pdf");
    const bool pdf = endsWith(out, ".pdf");
    if (!pdf && !endsWith(out, ".html") && !endsWith(out, ".htm"))
        return usageError(kName, "the output file must end in .html or .pdf");
#ifndef ZAR40_TOOL_PDF
    if (pdf) return inputError("zar40 report: " + out + ": this build writes no PDF (it was built without the GUI)");
#endif

    PresetRecord record;
    if (!readPresetForCommand(file, record, "zar40 report")) return ExitBadInput;
#ifdef ZAR40_TOOL_PDF
    if (pdf) return writePdf(record, out);
#endif
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
    "write a preset's settings as an HTML or PDF report",
    "Usage: zar40 report FILE -o OUT.html|OUT.pdf\n\n"
    "Writes every setting of the preset in FILE (.vpx or .vpf) as the editor's\n"
    "HTML report: Windows-1252 text, one table per channel. With a .pdf name it\n"
    "writes the report as A4 pages with the printout's header and footer,\n"
    "followed by one page per output with its crossover magnitude and phase\n"
    "and its equalizer magnitude; no display is needed. OUT is replaced whole\n"
    "or left as it was.\n\n"
    "Exit status: 0 written, 1 unreadable preset or unwritable output, 2 usage error.\n",
    run,
}};

} // namespace
} // namespace zar40tool
