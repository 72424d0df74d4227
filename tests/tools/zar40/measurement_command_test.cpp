// "zar40 fit", "zar40 eq" and "zar40 response --measurement" run as a user
// runs them: a measurement made from a preset's own bands, fitted back.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

class MeasurementCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tool = vrntest::binProgram("zar40");
        ASSERT_TRUE(fs::exists(m_tool)) << m_tool << " is not built";
        std::string templ = (fs::temp_directory_path() / "zar40-measurement-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        m_dir = templ;
    }
    void TearDown() override
    {
        if (!m_dir.empty()) fs::remove_all(m_dir);
    }

    ToolRun run(std::vector<std::string> args)
    {
        vrntest::ChildProcess p(m_tool, std::move(args));
        ToolRun r;
        EXPECT_TRUE(p.drain(60000));
        r.status = p.stop(0, 60000).value_or(-1);
        r.out = p.out;
        r.err = p.err;
        return r;
    }

    std::string path(const std::string &name) const { return (m_dir / name).string(); }

    void write(const std::string &name, const std::string &text) const { std::ofstream(m_dir / name) << text; }

    // A flat preset and one whose input A has five bands; the measurement
    // is what input A's bands make of a flat 85 dB response, with phase.
    void makeSpeaker()
    {
        ASSERT_EQ(run({"layout", "Stereo Bypass", "-o", path("flat.vpx")}).status, 0);
        write("bands.txt", "Filter 1: ON PK Fc 120 Hz Gain 6.0 dB Q 2.0\n"
                           "Filter 2: ON PK Fc 900 Hz Gain -4.5 dB Q 1.5\n"
                           "Filter 3: ON PK Fc 3000 Hz Gain 5.0 dB Q 3.0\n"
                           "Filter 4: ON PK Fc 8000 Hz Gain -3.5 dB Q 1.0\n"
                           "Filter 5: ON PK Fc 45 Hz Gain 4.0 dB Q 1.2\n");
        const ToolRun imported = run({"eq", "import", path("flat.vpx"), "--channel", "0", path("bands.txt"), "-o",
                                  path("speaker.vpx")});
        ASSERT_EQ(imported.status, 0) << imported.err;
        const ToolRun curve = run({"response", path("speaker.vpx"), "--channel", "0", "--eq", "--points", "600"});
        ASSERT_EQ(curve.status, 0) << curve.err;
        std::istringstream lines(curve.out);
        std::string line, text = "* made from five bands\nFreq(Hz);SPL(dB);Phase(deg)\n";
        std::getline(lines, line); // header
        while (std::getline(lines, line)) {
            double f = 0, db = 0, deg = 0;
            ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &f, &db, &deg), 3) << line;
            if (f > 24000.0) break;
            char row[96];
            std::snprintf(row, sizeof row, "%.4f;%.4f;%.3f\n", f, db + 85.0, deg);
            std::string decimalComma = row;
            for (char &c : decimalComma)
                if (c == '.') c = ',';
            text += decimalComma;
        }
        write("speaker.csv", text);
    }

    static double residualAfter(const std::string &err)
    {
        const auto at = err.find("residual after:  RMS ");
        return at == std::string::npos ? 1e9 : std::atof(err.c_str() + at + 21);
    }

    fs::path m_tool, m_dir;
};

} // namespace

TEST_F(MeasurementCommands, FitUndoesTheBandsAMeasurementHolds)
{
    makeSpeaker();
    const ToolRun fit = run({"fit", path("flat.vpx"), "--channel", "0", "--measurement", path("speaker.csv"), "-o",
                         path("fitted.vpx")});
    ASSERT_EQ(fit.status, 0) << fit.err;
    EXPECT_NE(fit.err.find("residual before: RMS"), std::string::npos) << fit.err;
    EXPECT_LT(residualAfter(fit.err), 0.5) << fit.err;

    // The fitted preset's prediction is flat where the measurement was not.
    const ToolRun predicted = run({"response", path("fitted.vpx"), "--channel", "0", "--eq", "--measurement",
                               path("speaker.csv"), "--freqs", "45,120,900,3000,8000"});
    ASSERT_EQ(predicted.status, 0) << predicted.err;
    std::istringstream lines(predicted.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "frequency_hz,measured_db,predicted_db,measured_phase_deg,predicted_phase_deg");
    double lowest = 1e9, highest = -1e9, measuredSpread = 0;
    while (std::getline(lines, line)) {
        double f = 0, measured = 0, pred = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &f, &measured, &pred), 3) << line;
        lowest = std::min(lowest, pred);
        highest = std::max(highest, pred);
        measuredSpread = std::max(measuredSpread, std::abs(measured));
    }
    EXPECT_LT(highest - lowest, 0.5) << predicted.out;
    EXPECT_GT(measuredSpread, 4.0) << predicted.out;

    // Fitting what is already flat changes nothing, and says so.
    const ToolRun again = run({"fit", path("fitted.vpx"), "--channel", "0", "--measurement", path("speaker.csv"),
                           "--bands", "1,2,3,4,5", "-o", path("again.vpx")});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_LE(residualAfter(again.err), residualAfter(fit.err) + 1e-9) << again.err;
}

TEST_F(MeasurementCommands, BandsTravelAsTextAndBadTextIsRefused)
{
    makeSpeaker();
    const ToolRun exported = run({"eq", "export", path("speaker.vpx"), "--channel", "0"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.out.find("Filter 2: ON PK Fc 900 Hz Gain -4.5 dB Q 1.50\n"), std::string::npos) << exported.out;
    ASSERT_EQ(run({"eq", "export", path("speaker.vpx"), "--channel", "0", "-o", path("out.txt")}).status, 0);
    std::ifstream in(m_dir / "out.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), exported.out);

    write("bad.txt", "Filter 1: ON PK Fc 100 Hz Gain 2 dB Q 1\nFilter 2: ON LPQ6 Fc 100 Hz\n");
    const ToolRun refused = run({"eq", "import", path("flat.vpx"), "--channel", "4", path("bad.txt"), "-o", path("x.vpx")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("line 2"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(m_dir / "x.vpx"));
}

TEST_F(MeasurementCommands, ExitStatusSaysWhatWentWrong)
{
    makeSpeaker();
    const std::string flat = path("flat.vpx");
    // Usage errors.
    EXPECT_EQ(run({"fit", flat, "--channel", "0", "--measurement", path("speaker.csv")}).status, 2);
    EXPECT_EQ(run({"fit", flat, "--channel", "9", "--measurement", path("speaker.csv"), "-o", path("o.vpx")}).status, 2);
    EXPECT_EQ(run({"fit", flat, "--channel", "0", "--measurement", path("speaker.csv"), "--smoothing", "1/0", "-o",
                   path("o.vpx")}).status, 2);
    EXPECT_EQ(run({"fit", flat, "--channel", "0", "--measurement", path("speaker.csv"), "--max-boost", "13", "-o",
                   path("o.vpx")}).status, 2);
    EXPECT_EQ(run({"eq", "export", flat}).status, 2);
    EXPECT_EQ(run({"response", flat, "--sum-of", "1,2", "--measurement", path("speaker.csv")}).status, 2);
    // Bad input, named with its line.
    write("broken.txt", "20 80\n30 nan\n");
    const ToolRun broken = run({"fit", flat, "--channel", "0", "--measurement", path("broken.txt"), "-o", path("o.vpx")});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("line 2"), std::string::npos) << broken.err;
    write("m.vpx", "20 80\n30 81\n");
    EXPECT_EQ(run({"fit", flat, "--channel", "0", "--measurement", path("m.vpx"), "-o", path("o.vpx")}).status, 1);
    EXPECT_EQ(run({"fit", flat, "--channel", "0", "--measurement", path("speaker.csv"), "--target", path("broken.txt"),
                   "-o", path("o.vpx")}).status, 1);
    EXPECT_EQ(run({"fit", flat, "--channel", "0", "--measurement", path("speaker.csv"), "--range", "30000,40000",
                   "-o", path("o.vpx")}).status, 1);
    EXPECT_FALSE(fs::exists(m_dir / "o.vpx"));
    // A failed write is bad input too, and leaves nothing behind.
    EXPECT_EQ(run({"fit", flat, "--channel", "0", "--measurement", path("speaker.csv"), "-o",
                   path("no-such-dir/o.vpx")}).status, 1);
}

#ifdef ZAR40_TOOL_PLOT
TEST_F(MeasurementCommands, PlotDrawsMeasurementsOverTheDiagrams)
{
    makeSpeaker();
    const std::string flat = path("flat.vpx");
    const ToolRun eq = run({"plot", flat, "--diagram", "eq-magnitude", "--channel", "0", "--measurement",
                            path("speaker.csv"), "-o", path("eq.png")});
    EXPECT_EQ(eq.status, 0) << eq.err;
    EXPECT_GT(fs::file_size(m_dir / "eq.png"), 1000u);
    const ToolRun xover = run({"plot", flat, "--diagram", "xover-phase", "--output", "1", "--measurement",
                               "1=" + path("speaker.csv"), "--measurement", "2=" + path("speaker.csv"), "--normalise",
                               "off", "-o", path("xo.svg")});
    EXPECT_EQ(xover.status, 0) << xover.err;
    EXPECT_TRUE(fs::exists(m_dir / "xo.svg"));
    EXPECT_EQ(run({"plot", flat, "--diagram", "dynamics", "--output", "1", "--measurement", path("speaker.csv"), "-o",
                   path("d.png")}).status, 2);
    EXPECT_EQ(run({"plot", flat, "--diagram", "eq-phase", "--channel", "0", "--measurement", "2=" + path("speaker.csv"),
                   "-o", path("d.png")}).status, 2);
    write("broken.txt", "20 80\n30 nan\n");
    const ToolRun broken = run({"plot", flat, "--diagram", "eq-phase", "--channel", "0", "--measurement",
                                path("broken.txt"), "-o", path("b.png")});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("line 2"), std::string::npos) << broken.err;
    EXPECT_FALSE(fs::exists(m_dir / "b.png"));
}
#endif
