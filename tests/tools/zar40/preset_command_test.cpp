// The zar40 tool's preset commands, run as a user runs them.
#include "ChildProcess.h"
#include "test_support.h"
#include "zar40/preset/preset_files.h"

#include <gtest/gtest.h>

using namespace zar40::preset;
using namespace preset_test;

namespace {

class Cli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(std::filesystem::exists(m_tool)) << m_tool << " is not built"; }

    vrntest::ProgramRun run(std::vector<std::string> args) { return vrntest::runProgram(m_tool, std::move(args)); }

    TempDir dir_;
    std::filesystem::path m_tool = vrntest::binProgram("zar40");
};

} // namespace

TEST_F(Cli, ShowPrintsJsonAndNotices)
{
    const vrntest::ProgramRun r = run({"show", dataFile("muted_output3.vpf")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"number\": 17"), std::string::npos);
    EXPECT_NE(r.out.find("\"name\": \"Open Air B\xC3\xBChne\""), std::string::npos);
    EXPECT_NE(r.err.find("Gain for muted Channels"), std::string::npos);

    const vrntest::ProgramRun raw = run({"show", "--raw", dataFile("muted_output3.vpf")});
    EXPECT_EQ(raw.status, 0);
    EXPECT_NE(raw.out.find("\"number\": \"0x00000011\""), std::string::npos);
}

TEST_F(Cli, BadInputAndUsageHaveTheirExitStatus)
{
    writeFile(dir_.file("UPPER.VPX"), xmlPresetDocument(defaultPreset()));
    vrntest::ProgramRun r = run({"show", dir_.file("UPPER.VPX")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Not a valid VRN-Preset file!"), std::string::npos);
    EXPECT_TRUE(r.out.empty());

    r = run({"show", dataFile("truncated.vpx")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Could not load XML-Preset-file!"), std::string::npos);

    EXPECT_EQ(run({"show"}).status, 2);
    EXPECT_EQ(run({"show", "a.vpx", "b.vpx"}).status, 2);
    EXPECT_EQ(run({"show", "--bogus", "x.vpx"}).status, 2);
    EXPECT_EQ(run({"convert", dataFile("empty_root.vpx"), "out.txt"}).status, 2);
    EXPECT_EQ(run({"layout", "Stereo Bypass", "--slot", "33", "-o", "x.vpx"}).status, 2);
    EXPECT_EQ(run({"layout", "Stereo Bypass", "--slot", "0", "-o", "x.vpx"}).status, 2);
    EXPECT_EQ(run({"layout", "Stereo Bypass"}).status, 2);
    EXPECT_EQ(run({"show", "--help"}).status, 0);
}

TEST_F(Cli, ConvertAndLayoutWriteReadableFiles)
{
    const std::string out = dir_.file("converted.vpx");
    vrntest::ProgramRun r = run({"convert", dataFile("muted_output3.vpf"), out});
    ASSERT_EQ(r.status, 0) << r.err;
    PresetRecord fromVpf, fromVpx;
    ASSERT_TRUE(readPresetFile(dataFile("muted_output3.vpf"), fromVpf).ok);
    ASSERT_TRUE(readPresetFile(out, fromVpx).ok);
    // The same as saving the .vpf record in the library.
    PresetRecord saved;
    ASSERT_TRUE(readXmlPreset(xmlPresetDocument(fromVpf), saved).ok);
    EXPECT_TRUE(sameRecord(saved, fromVpx));

    const std::string layout = dir_.file("layout.vpx");
    r = run({"layout", "2 Way Stereo w. mono Bass", "--slot", "6", "-o", layout});
    ASSERT_EQ(r.status, 0) << r.err;
    PresetRecord l;
    ASSERT_TRUE(readPresetFile(layout, l).ok);
    EXPECT_EQ(textOf(l.NAME), "Preset 6");
    EXPECT_EQ(textOf(l.outputs[1].NAME), "BASS MON");
}
