// "zar40 response" and "zar40 dynamics", run as a user runs them on preset
// files written for each test.
#include "ChildProcess.h"
#include "zar40/preset/preset_files.h"
#include "zar40/preset/record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace zar40::preset;

namespace {

// Rows of the CSV body (header left out), split at the commas.
std::vector<std::vector<std::string>> Rows(const std::string &csv)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::istringstream cellsIn(line);
        std::string cell;
        while (std::getline(cellsIn, cell, ','))
            cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

class ResponseCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(m_tool)) << m_tool << " is not built";
        std::string templ = (std::filesystem::temp_directory_path() / "zar40-dsp-XXXXXX").string();
        dir_ = ::mkdtemp(templ.data());

        // Outputs 1 and 2: a Linkwitz-Riley pair at 1 kHz; output 1 also a
        // +6 dB band at 1 kHz. Output 3: an absurd order and an unknown band
        // type, as a damaged file could hold.
        fillDefaultPreset(record_);
        record_.outputs[0].highCut = {2, 1000, 4};
        record_.outputs[0].PEQ[1] = {1, 1000, 0.7f, 6.0f};
        record_.outputs[1].lowCut = {6, 1000, 4};
        record_.outputs[2].highCut = {1, 1000, 0xFFFFFFFFu};
        record_.outputs[2].PEQ[0] = {13, 1000, 0.7f, 6.0f};
        record_.inputs[0].PEQ[4] = {7, 0, 0.7f, 0.0f}; // a low pass at 0 Hz passes nothing
        record_.outputs[0].DYNAMIC = {2, 0.0f, -10.0f, 0.0f, 4.0f, 10.0f, 500.0f};
        record_.outputs[1].DYNAMIC = {2, 2.0f, -10.0f, 0.0f, 0.0f, 10.0f, 500.0f};
        save();
    }
    void TearDown() override
    {
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }

    void save() { ASSERT_TRUE(writeXmlPresetFile(record_, file())); }
    std::string file() const { return dir_ + "/test.vpx"; }

    // ARGS split at spaces, as a shell would split them.
    vrntest::ProgramRun run(const std::string &args)
    {
        std::vector<std::string> words;
        std::istringstream in(args);
        for (std::string word; in >> word;) words.push_back(word);
        return vrntest::runProgram(m_tool, std::move(words));
    }

    std::filesystem::path m_tool = vrntest::binProgram("zar40");
    std::string dir_;
    PresetRecord record_{};
};

} // namespace

TEST_F(ResponseCli, CrossoverSumAndOutputChains)
{
    vrntest::ProgramRun r = run("response " + file() + " --sum-of 1,2 --no-peq --freqs 100,1000,10000");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "frequency_hz,magnitude_db,phase_deg");
    auto rows = Rows(r.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][0], "1000.000000");
    for (const auto &row : rows)
        EXPECT_NEAR(std::stod(row[1]), 0.0, 0.01) << row[0];

    r = run("response " + file() + " --output 1 --no-peq --freqs 1000");
    EXPECT_EQ(Rows(r.out).at(0).at(1), "-6.020600");
    r = run("response " + file() + " --output 1 --freqs 1000");
    EXPECT_EQ(Rows(r.out).at(0).at(1), "-0.020600");

    // Order 4294967295 is drawn as order 8; the unknown band as bypass.
    r = run("response " + file() + " --output 3 --freqs 2000");
    ASSERT_EQ(r.status, 0);
    EXPECT_NEAR(std::stod(Rows(r.out).at(0).at(1)), -48.2, 0.2); // eighth order, one octave up
    EXPECT_NE(r.err.find("band 1"), std::string::npos);

    r = run("response " + file() + " --output 5 --points 3");
    rows = Rows(r.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "20.000000");
    EXPECT_EQ(rows[2][0], "44000.000000");
    EXPECT_EQ(rows[2][1], "0.000000");
    EXPECT_NE(r.err.find("no curve"), std::string::npos);
}

TEST_F(ResponseCli, EqualizerBandsAndSilence)
{
    vrntest::ProgramRun r = run("response " + file() + " --channel 3 --band 2 --freqs 1000,5");
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = Rows(r.out);
    EXPECT_EQ(rows.at(0).at(1), "6.000000");
    EXPECT_EQ(rows.at(0).at(2), "0.000000");
    EXPECT_NEAR(std::stod(rows.at(1).at(1)), 0.0, 0.01);

    r = run("response " + file() + " --channel 0 --eq --freqs 1000");
    EXPECT_EQ(Rows(r.out).at(0).at(1), "-inf");
    EXPECT_EQ(Rows(r.out).at(0).at(2), "0.000000");
}

TEST_F(ResponseCli, ABandWithQZeroIsLeftOutWithAWarning)
{
    record_.outputs[0].PEQ[3] = {1, 500, 0.0f, 6.0f};
    record_.outputs[3].PEQ[0] = {1, 500, 0.0f, 6.0f};
    save();
    for (const std::string curve : {"--channel 3 --band 4", "--channel 3 --eq", "--output 1", "--sum-of 1,4"}) {
        const vrntest::ProgramRun r = run("response " + file() + " " + curve + " --points 50");
        ASSERT_EQ(r.status, 0) << curve;
        EXPECT_EQ(r.out.find("nan"), std::string::npos) << curve;
        EXPECT_NE(r.err.find("warning: "), std::string::npos) << curve;
        EXPECT_NE(r.err.find("band 4"), std::string::npos) << curve;
    }
    // Drawn as if bypassed: output 1 looks as it did without the band.
    EXPECT_EQ(Rows(run("response " + file() + " --output 1 --freqs 1000").out).at(0).at(1), "-0.020600");
}

TEST_F(ResponseCli, dynamicsCurve)
{
    vrntest::ProgramRun r = run("dynamics " + file() + " --output 1 --inputs -20,0,10");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "input_dbu,output_dbu\n-20.000000,-20.000000\n0.000000,-7.500000\n10.000000,-5.000000\n");

    // Ratio 0: no curve, levels pass with the gain.
    r = run("dynamics " + file() + " --output 2 --inputs 0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Rows(r.out).at(0).at(1), "2.000000");
    EXPECT_NE(r.err.find("ratio"), std::string::npos);

    // Bypassed: unchanged; the default inputs run from -40 to 20 dBu.
    r = run("dynamics " + file() + " --output 6");
    const auto rows = Rows(r.out);
    ASSERT_EQ(rows.size(), 61u);
    EXPECT_EQ(rows.front()[0], "-40.000000");
    EXPECT_EQ(rows.back()[1], "20.000000");
}

TEST_F(ResponseCli, UsageAndInputErrors)
{
    for (const std::string args :
         {"--channel 9 --eq", "--channel 1 --band 6", "--channel 1", "--channel 1 --band 1 --eq",
          "--output 1 --sum-of 2", "--output 7", "--sum-of 1,1", "--sum-of 1,x", "--channel 1 --eq --no-peq",
          "--output 1 --freqs 10 --points 5", "--output 1 --points 0", "--output 1 --freqs -5",
          "--output 1 --freqs 1,,2", "--output 1 --bogus", ""}) {
        EXPECT_EQ(run("response " + file() + " " + args).status, 2) << args;
    }
    EXPECT_EQ(run("response").status, 2);
    EXPECT_EQ(run("dynamics " + file()).status, 2);
    EXPECT_EQ(run("dynamics " + file() + " --output 1 --inputs 1,nan").status, 2);
    EXPECT_EQ(run("response " + dir_ + "/missing.vpx --output 1").status, 1);
    EXPECT_EQ(run("dynamics " + dir_ + "/preset.txt --output 1").status, 1);
    EXPECT_EQ(run("response --help").status, 0);
}
