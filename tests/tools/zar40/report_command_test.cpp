// "zar40 report" run as a user runs it.
#include "ChildProcess.h"
#include "pdf_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ReportCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(m_tool)) << m_tool << " is not built";
        std::string templ = (fs::temp_directory_path() / "zar40-report-XXXXXX").string();
        m_dir = ::mkdtemp(templ.data());
    }
    void TearDown() override
    {
        if (!m_dir.empty()) fs::remove_all(m_dir);
    }

    // Exit status; stderr lands in m_err.
    int run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "report");
        const vrntest::ProgramRun r = vrntest::runProgram(m_tool, std::move(args));
        m_err = r.err;
        return r.status;
    }

    static std::string preset() { return std::string(PRESET_TEST_DATA) + "/muted_output3.vpf"; }

    fs::path m_tool = vrntest::binProgram("zar40"), m_dir;
    std::string m_err;
};

} // namespace

TEST_F(ReportCommand, WritesTheHtmlPage)
{
    const fs::path out = m_dir / "report.html";
    ASSERT_EQ(run({preset(), "-o", out.string()}), 0) << m_err;
    const std::string page = readFile(out);
    EXPECT_TRUE(page.starts_with("<html>\n\n<head>\n"));
    EXPECT_TRUE(page.ends_with("</body>\n</html>\n"));
    // The name as the record holds it: one Windows-1252 byte for the umlaut.
    EXPECT_NE(page.find("Open Air B\xFChne"), std::string::npos);
    // Written through a temporary beside it, which is gone.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(m_dir)) ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(ReportCommand, FailuresSayWhyAndLeaveNoFile)
{
    EXPECT_EQ(run({(m_dir / "missing.vpx").string(), "-o", (m_dir / "a.html").string()}), 1);
    EXPECT_FALSE(m_err.empty());
    EXPECT_EQ(run({preset(), "-o", (m_dir / "no-such-dir" / "a.html").string()}), 1);
    EXPECT_NE(m_err.find("could not write"), std::string::npos) << m_err;
    EXPECT_EQ(run({(m_dir / "missing.vpx").string(), "-o", (m_dir / "a.pdf").string()}), 1);
    EXPECT_FALSE(m_err.empty());
    EXPECT_EQ(run({preset(), "-o", (m_dir / "no-such-dir" / "a.pdf").string()}), 1);
    EXPECT_NE(m_err.find("could not write"), std::string::npos) << m_err;
    EXPECT_EQ(run({preset()}), 2);
    EXPECT_EQ(run({preset(), "-o", (m_dir / "a.txt").string()}), 2);
    EXPECT_FALSE(fs::exists(m_dir / "a.html"));
    EXPECT_FALSE(fs::exists(m_dir / "a.pdf"));
}

// The report's pages, then one page of diagrams per output; header and
// footer on each.
TEST_F(ReportCommand, WritesThePdfReport)
{
    if (!vrntest::pdfToolsPresent()) GTEST_SKIP() << "pdftotext, pdfinfo and pdftoppm (poppler-utils) are not installed";
    const fs::path out = m_dir / "report.pdf";
    ASSERT_EQ(run({preset(), "-o", out.string()}), 0) << m_err;
    const int pages = vrntest::pdfPageCount(out);
    ASSERT_GE(pages, 7);
    const int reportPages = pages - 6;
    EXPECT_NE(vrntest::pdfPageText(out, 1).find("Open Air Bühne"), std::string::npos);
    EXPECT_EQ(vrntest::pdfPageText(out, reportPages).find("Magnitude"), std::string::npos);
    for (int page = 1; page <= pages; ++page) {
        const std::string text = vrntest::pdfPageText(out, page);
        EXPECT_EQ(text.find("VRN-Control"), text.find_first_not_of(" \n\f")) << "page " << page;
        EXPECT_NE(text.find("ZAR40 Plug-in, "), std::string::npos) << "page " << page;
        const int output = page - reportPages;
        if (output < 1) continue;
        EXPECT_NE(text.find("Output " + std::to_string(output) + " - "), std::string::npos) << "page " << page;
        EXPECT_EQ(text.find("Noisegate"), std::string::npos) << "page " << page;
        for (const char *label : {"Magnitude", "Phase", "Filter 1", "44 kHz"})
            EXPECT_NE(text.find(label), std::string::npos) << label << " on page " << page;
    }
}
