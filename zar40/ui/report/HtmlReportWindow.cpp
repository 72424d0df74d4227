#include "HtmlReportWindow.h"

#include "user_prompts.h"
#include "zar40/ui/report/pages/report_pages.h"
#include "zar40/preset/preset_files.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace zar40::report {
namespace {

bool runPrintDialog(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

// The plug-in's own folder is not writable on Linux; the user's documents
// are, when that folder exists: a file dialog handed a missing folder opens
// its parent with the folder's name typed in as the file name.
QString startFolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !docs.isEmpty() && QDir(docs).exists() ? docs : QDir::homePath();
}

} // namespace

HtmlReportWindow::HtmlReportWindow(const preset::PresetRecord &record, QWidget *parent)
    : QDialog(parent), m_record(record), m_page(report::reportDocument(record)), m_clock(localReportTime),
      m_printDialog(runPrintDialog)
{
    setWindowTitle(QStringLiteral("Html-Report"));
    setModal(true);
    resize(860, 720);

    m_view = new QWebEngineView(this);
    // The bytes as they are saved, with the character set the page names.
    m_view->setContent(QByteArray::fromStdString(m_page), QStringLiteral("text/html;charset=windows-1252"));

    auto *saveButton = new QPushButton(QStringLiteral("Save"), this);
    auto *printButton = new QPushButton(QStringLiteral("Print Report"), this);
    auto *pdfButton = new QPushButton(QStringLiteral("Export PDF"), this);
    auto *closeButton = new QPushButton(QStringLiteral("Close"), this);
    saveButton->setObjectName(QStringLiteral("save"));
    printButton->setObjectName(QStringLiteral("print"));
    pdfButton->setObjectName(QStringLiteral("exportPdf"));
    closeButton->setObjectName(QStringLiteral("close"));
    connect(saveButton, &QPushButton::clicked, this, &HtmlReportWindow::save);
    connect(printButton, &QPushButton::clicked, this, &HtmlReportWindow::printReport);
    connect(pdfButton, &QPushButton::clicked, this, &HtmlReportWindow::exportPdf);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(saveButton);
    buttons->addWidget(printButton);
    buttons->addWidget(pdfButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
}

QString HtmlReportWindow::footerNow() const
{
    return QString::fromStdString(report::reportFooter(m_clock()));
}

bool HtmlReportWindow::save()
{
    UserPrompts::FileRequest request;
    request.directory = startFolder();
    request.filter = QStringLiteral("HTML File(*.html)");
    request.defaultSuffix = QStringLiteral("html");
    const QString path = UserPrompts::current().saveFileName(request, this);
    return !path.isEmpty() && saveTo(path);
}

bool HtmlReportWindow::saveTo(const QString &path)
{
    const preset::Result written = preset::writeFileAtomically(QFile::encodeName(path).toStdString(), m_page);
    if (!written.ok) {
        UserPrompts::current().error(QStringLiteral("The report could not be saved as %1.\n%2")
                                         .arg(QDir::toNativeSeparators(path),
                                              QString::fromStdString(written.detail.empty() ? written.message
                                                                                            : written.detail)),
                                     this);
        return false;
    }
    return true;
}

bool HtmlReportWindow::printReport()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("HTML Report"));
    if (!m_printDialog(printer, this)) return false;
    PageTexts texts;
    texts.footer = footerNow();
    if (printHtml(printer, fromWindows1252(m_page), texts) == 0) {
        UserPrompts::current().error(QStringLiteral("The report could not be printed."), this);
        return false;
    }
    return true;
}

bool HtmlReportWindow::exportPdf()
{
    UserPrompts::FileRequest request;
    request.directory = startFolder();
    request.filter = QStringLiteral("PDF File(*.pdf)");
    request.defaultSuffix = QStringLiteral("pdf");
    const QString path = UserPrompts::current().saveFileName(request, this);
    return !path.isEmpty() && exportPdfTo(path);
}

bool HtmlReportWindow::exportPdfTo(const QString &path)
{
    PageTexts texts;
    texts.footer = footerNow();
    texts.measurements = m_measurementLines;
    const PdfResult written = writeReportPdf(m_record, path, texts, m_measured);
    if (!written.ok) {
        UserPrompts::current().error(QStringLiteral("The PDF file could not be written as %1.\n%2")
                                         .arg(QDir::toNativeSeparators(path), written.error),
                                     this);
        return false;
    }
    return true;
}

} // namespace zar40::report
