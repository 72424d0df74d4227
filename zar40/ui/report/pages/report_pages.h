#pragma once
// The report on paper: the HTML page laid out on the pages of a printer or
// a PDF file, with the header "VRN-Control" and the footer naming the time
// of the printout on every page, and for PDF files one page of response
// diagrams per output after it. The window prints through this and the
// command-line tool writes PDF files through it, so both give the same pages.
#include "zar40/measurement/measurement_file.h"
#include "zar40/preset/record.h"
#include "zar40/report/report.h"

#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <string_view>

class QPagedPaintDevice;

namespace zar40::report {

// The report's Windows-1252 bytes as text.
QString fromWindows1252(std::string_view bytes);

// The local time now, for the footer.
report::ReportTime localReportTime();

struct PageTexts {
    QString header = QString::fromUtf8(report::kReportHeader.data(),
                                       static_cast<qsizetype>(report::kReportHeader.size()));
    QString footer;
    // The measurements the window keeps beside the preset, one line each;
    // a PDF file lists them on a page of their own when there are any.
    QStringList measurements;
};

// The measurements the window keeps beside the preset, by channel (inputs
// first), with the names of their files: the diagram pages draw them and
// their predictions as the window's diagrams do.
struct ReportMeasurements {
    std::array<std::shared_ptr<const measurement::Measurement>, preset::kChannelCount> channels{};
    std::array<QString, preset::kChannelCount> names;
    bool normalise = true;
};

// Lays out HTML on DEVICE's pages below the header and above the footer.
// Draws nothing when DEVICE cannot be painted on. Returns the pages drawn.
int printHtml(QPagedPaintDevice &device, const QString &html, const PageTexts &texts);

// The whole report of RECORD into the PDF file PATH, A4: the tables, the
// measurements when there are any, then per output its crossover magnitude
// and phase and its equalizer magnitude, with MEASURED over them. The
// file is replaced whole or left as it was. Widgets draw the diagrams, so a
// QApplication must exist. On failure returns false and says why in ERROR.
struct PdfResult {
    bool ok = false;
    int pages = 0;
    QString error;
};
PdfResult writeReportPdf(const preset::PresetRecord &record, const QString &path, const PageTexts &texts,
                         const ReportMeasurements &measured = {});

} // namespace zar40::report
