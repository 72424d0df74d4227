#pragma once
// The "Html-Report" window: the current preset's report in a browser view,
// saved as an .html file, printed, or exported as PDF with the response
// diagrams. Modal; the report is made once, when the window opens.
#include "zar40/preset/record.h"
#include "zar40/report/report.h"
#include "zar40/ui/report/pages/report_pages.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <string>

class QPrinter;
class QPushButton;
class QWebEngineView;

namespace zar40::report {

class HtmlReportWindow : public QDialog
{
    Q_OBJECT
public:
    explicit HtmlReportWindow(const preset::PresetRecord &record, QWidget *parent = nullptr);

    QWebEngineView *view() const { return m_view; }
    // The page as it is saved: Windows-1252 bytes.
    const std::string &page() const { return m_page; }

    // The commands behind the buttons. Each asks where to write (or prints),
    // reports a failure and returns true only when something was written.
    bool save();
    bool printReport();
    bool exportPdf();
    // Writes the page to PATH, replacing it whole, and reports a failure.
    bool saveTo(const QString &path);
    bool exportPdfTo(const QString &path);

    // Lines naming the measurements kept with the editor window, listed in
    // PDF files.
    void setMeasurementLines(const QStringList &lines) { m_measurementLines = lines; }
    // The measurements themselves, drawn in the PDF file's diagrams.
    void setMeasurements(const ReportMeasurements &measured) { m_measured = measured; }

    // The footer of a printout made now.
    QString footerNow() const;

    // Where "now" comes from and how the print dialog is shown; tests
    // replace both. The dialog runner returns true when the user chose to
    // print.
    using Clock = std::function<report::ReportTime()>;
    using PrintDialog = std::function<bool(QPrinter &printer, QWidget *parent)>;
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setPrintDialog(PrintDialog dialog) { m_printDialog = std::move(dialog); }

private:
    preset::PresetRecord m_record;
    std::string m_page;
    QWebEngineView *m_view = nullptr;
    Clock m_clock;
    PrintDialog m_printDialog;
    QStringList m_measurementLines;
    ReportMeasurements m_measured;
};

} // namespace zar40::report
