// The "Html-Report" window: what the browser shows, what is saved, what a
// printout carries on every page.
#include "zar40/ui/report/HtmlReportWindow.h"

#include "pdf_text.h"
#include "plugin_contract.h"
#include "ScriptedUserPrompts.h"

#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

using zar40::report::HtmlReportWindow;
namespace preset = zar40::preset;

namespace {

// What the host does before its application object exists.
const bool hostLikeStart = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return true;
}();

QVariant evaluate(QWebEngineView *view, const QString &script)
{
    // Shared: the answer may come after the wait has given up.
    auto result = std::make_shared<std::optional<QVariant>>();
    view->page()->runJavaScript(script, [result](const QVariant &v) { *result = v; });
    if (!QTest::qWaitFor([&] { return result->has_value(); }, 20000)) return {};
    return **result;
}

std::string readFile(const QString &path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class HtmlReportWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(hostLikeStart);
        app();
        ASSERT_TRUE(m_dir.isValid());
        m_record = preset::defaultPreset();
        preset::setText(m_record.NAME, "Open Air B\xFChne");
        preset::setText(m_record.AUTHOR, "<b>A</b>");
    }

    QTemporaryDir m_dir;
    preset::PresetRecord m_record{};
    ScriptedUserPrompts m_prompts;
    ScopedUserPrompts m_scoped{m_prompts};
};

} // namespace

TEST_F(HtmlReportWindowTest, BrowserShowsThePageInItsCharacterSet)
{
    HtmlReportWindow window(m_record);
    EXPECT_TRUE(window.isModal());
    EXPECT_EQ(window.windowTitle(), "Html-Report");
    window.show();
    QSignalSpy loaded(window.view(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(loaded.wait(30000) || !loaded.isEmpty());
    EXPECT_TRUE(loaded.first().first().toBool());

    EXPECT_EQ(evaluate(window.view(), "document.title").toString(), "HTML Report");
    EXPECT_EQ(evaluate(window.view(), "document.characterSet").toString().toLower(), "windows-1252");
    const QString text = evaluate(window.view(), "document.body.innerText").toString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("Open Air Bühne"))) << text.left(200).toStdString();
    // The author's markup is text, not a bold element.
    EXPECT_TRUE(text.contains("<b>A</b>"));
    // Presetinformation, Channel-Names, three inputs, six outputs.
    EXPECT_EQ(evaluate(window.view(), "document.querySelectorAll('body > table').length").toInt(), 11);
}

TEST_F(HtmlReportWindowTest, SaveWritesThePageAndReportsAFailure)
{
    HtmlReportWindow window(m_record);
    const QString good = m_dir.filePath("report.html");
    m_prompts.answerFile(good);
    EXPECT_TRUE(window.save());
    ASSERT_EQ(m_prompts.shown().size(), 1);
    EXPECT_EQ(m_prompts.shown().first().filter, "HTML File(*.html)");
    EXPECT_EQ(readFile(good), window.page());

    // A folder that does not exist: the user is told, and nothing is left
    // behind.
    const QString missing = m_dir.filePath("no-such-folder/report.html");
    m_prompts.clear();
    m_prompts.setAcknowledgeNotices(true);
    m_prompts.answerFile(missing);
    EXPECT_FALSE(window.save());
    ASSERT_EQ(m_prompts.shown().size(), 2);
    EXPECT_EQ(m_prompts.shown().last().icon, UserPrompts::Icon::Error);
    EXPECT_TRUE(m_prompts.shown().last().text.contains(missing)) << m_prompts.shown().last().text.toStdString();
    EXPECT_FALSE(QFile::exists(missing));

    // Cancelled: nothing written, nothing said.
    m_prompts.clear();
    m_prompts.answerFile(QString());
    EXPECT_FALSE(window.save());
    EXPECT_EQ(m_prompts.shown().size(), 1);
    EXPECT_EQ(m_prompts.failures(), 0);
}

// A missing documents folder must not end up as the file name the dialog
// offers: both dialogs start in a folder that exists.
TEST_F(HtmlReportWindowTest, FileDialogsStartInAFolderThatExists)
{
    // A home of the test's own, put back however the test ends.
    struct Env {
        const char *name;
        bool set = qEnvironmentVariableIsSet(name);
        QByteArray value = qgetenv(name);
        ~Env() { set ? void(qputenv(name, value)) : void(qunsetenv(name)); }
    } home{"HOME"}, config{"XDG_CONFIG_HOME"};
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath("config")));
    HtmlReportWindow window(m_record);
    m_prompts.answerFile(QString()).answerFile(QString());
    window.save();
    QDir(m_dir.path()).mkdir("Documents");
    window.exportPdf();
    ASSERT_EQ(m_prompts.shown().size(), 2);
    EXPECT_EQ(m_prompts.shown()[0].directory, QDir(m_dir.path()).absolutePath());
    EXPECT_EQ(m_prompts.shown()[1].directory, QDir(m_dir.filePath("Documents")).absolutePath());
}

TEST_F(HtmlReportWindowTest, PrintoutCarriesHeaderAndFooterOnEveryPage)
{
    if (!vrntest::pdfToolsPresent()) GTEST_SKIP() << "pdftotext, pdfinfo and pdftoppm (poppler-utils) are not installed";
    HtmlReportWindow window(m_record);
    window.setClock([] { return zar40::report::ReportTime{2010, 1, 5, 14, 7, 9}; });
    EXPECT_EQ(window.footerNow(), "ZAR40 Plug-in, 05.01.2010 - 14:07:09");

    // The print dialog's answer: print into a PDF file the test can read.
    const QString out = m_dir.filePath("printout.pdf");
    window.setPrintDialog([&](QPrinter &printer, QWidget *) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(out);
        return true;
    });
    ASSERT_TRUE(window.printReport());
    const int pages = vrntest::pdfPageCount(out.toStdString());
    ASSERT_GE(pages, 2);
    std::string all;
    for (int page = 1; page <= pages; ++page) {
        const std::string text = vrntest::pdfPageText(out.toStdString(), page);
        EXPECT_NE(text.find("VRN-Control"), std::string::npos) << "page " << page;
        EXPECT_NE(text.find("ZAR40 Plug-in, 05.01.2010 - 14:07:09"), std::string::npos) << "page " << page;
        all += text;
    }
    EXPECT_NE(vrntest::pdfPageText(out.toStdString(), 1).find("Open Air Bühne"), std::string::npos);
    // The whole page is printed, and nothing else.
    EXPECT_NE(all.find("Output 6 - Out 6"), std::string::npos);
    EXPECT_EQ(all.find("Magnitude"), std::string::npos);

    // Cancelled in the dialog: nothing printed.
    window.setPrintDialog([](QPrinter &, QWidget *) { return false; });
    EXPECT_FALSE(window.printReport());
}

TEST_F(HtmlReportWindowTest, PdfListsTheWindowsMeasurementsOnlyWhenThereAreAny)
{
    if (!vrntest::pdfToolsPresent()) GTEST_SKIP() << "pdftotext, pdfinfo and pdftoppm (poppler-utils) are not installed";
    HtmlReportWindow window(m_record);
    const QString plain = m_dir.filePath("plain.pdf"), measured = m_dir.filePath("measured.pdf");
    ASSERT_TRUE(window.exportPdfTo(plain));
    window.setMeasurementLines({QStringLiteral("Output 2: woofer.frd, 600 points from 20 Hz to 24000 Hz, magnitude only")});
    ASSERT_TRUE(window.exportPdfTo(measured));
    const int plainPages = vrntest::pdfPageCount(plain.toStdString());
    ASSERT_EQ(vrntest::pdfPageCount(measured.toStdString()), plainPages + 1);
    // The list comes after the tables and before the diagram pages.
    const int listPage = plainPages - 6 + 1;
    const std::string text = vrntest::pdfPageText(measured.toStdString(), listPage);
    EXPECT_NE(text.find("Measurements"), std::string::npos) << text;
    EXPECT_NE(text.find("Output 2: woofer.frd, 600 points"), std::string::npos) << text;
    for (int page = 1; page <= plainPages; ++page)
        EXPECT_EQ(vrntest::pdfPageText(plain.toStdString(), page).find("woofer.frd"), std::string::npos);
}

namespace {

// Pixels of the measurement overlay's orange, as a PDF reader draws them.
int overlayPixels(const QImage &page)
{
    int n = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            n += c.red() > 220 && c.green() > 130 && c.green() < 210 && c.blue() < 110;
        }
    return n;
}

} // namespace

TEST_F(HtmlReportWindowTest, PdfDiagramPagesDrawTheWindowsMeasurementsAndPredictions)
{
    if (!vrntest::pdfToolsPresent()) GTEST_SKIP() << "pdftotext, pdfinfo and pdftoppm (poppler-utils) are not installed";
    // Output 1 measured: a driver rising 6 dB an octave from 20 Hz to 20 kHz.
    auto m = std::make_shared<zar40::measurement::Measurement>();
    for (double f = 20; f <= 20000; f *= 1.05) {
        m->frequencyHz.push_back(f);
        m->magnitudeDb.push_back(80 + 6 * std::log2(f / 1000));
        m->phaseDeg.push_back(0);
    }
    zar40::report::ReportMeasurements measured;
    measured.channels[preset::kFirstOutput] = m;
    measured.names[preset::kFirstOutput] = QStringLiteral("driver.frd");
    HtmlReportWindow window(m_record);
    const QString plain = m_dir.filePath("plain.pdf"), drawn = m_dir.filePath("drawn.pdf");
    ASSERT_TRUE(window.exportPdfTo(plain));
    window.setMeasurementLines({QStringLiteral("Output 1: driver.frd")});
    window.setMeasurements(measured);
    ASSERT_TRUE(window.exportPdfTo(drawn));

    // Output 1's page, the first of the last six, as a reader shows it.
    const auto firstOutputPage = [&](const QString &pdf) {
        const int page = vrntest::pdfPageCount(pdf.toStdString()) - 5;
        const QString png = m_dir.filePath(QStringLiteral("page.png"));
        EXPECT_TRUE(vrntest::pdfPageToPng(pdf.toStdString(), page, 75, png.toStdString()));
        return std::make_pair(QImage(png), vrntest::pdfPageText(pdf.toStdString(), page));
    };
    EXPECT_EQ(overlayPixels(firstOutputPage(plain).first), 0);
    const auto [image, text] = firstOutputPage(drawn);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(overlayPixels(image), 200);
    // The equalizer diagram, the lowest third, draws the measurement and
    // its prediction and names the file.
    EXPECT_GT(overlayPixels(image.copy(0, image.height() * 2 / 3, image.width(), image.height() / 3)), 100);
    EXPECT_NE(text.find("driver.frd: measured"), std::string::npos) << text;
}
