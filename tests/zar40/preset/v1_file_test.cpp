#include "zar40/preset/preset_files.h"

#include "test_support.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace zar40::preset;
using namespace preset_test;

namespace {

std::vector<std::uint8_t> bytesOf(const std::string &s) { return {s.begin(), s.end()}; }

void putFloat(std::vector<std::uint8_t> &b, std::size_t at, float f)
{
    const std::uint32_t w = bits(f);
    for (int k = 0; k < 4; ++k) b[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(w >> (8 * k));
}

} // namespace

// The fixture was written from the documented layout by a separate script.
TEST(V1Reader, FixtureWithOneMutedOutput)
{
    PresetRecord r = defaultPreset();
    const Result res = readV1PresetFile(dataFile("muted_output3.vpf"), r);
    ASSERT_TRUE(res.ok) << res.detail;
    ASSERT_EQ(res.notices.size(), 1u) << "one notice per file";
    EXPECT_EQ(res.notices[0], kV1MutedGainNotice);

    EXPECT_EQ(r.outputs[2].MUTE, 1);
    EXPECT_EQ(bits(r.outputs[2].GAIN), bits(0.0f));
    EXPECT_EQ(r.outputs[4].MUTE, 0);
    EXPECT_EQ(r.outputs[4].GAIN, -199.9f) << "only exactly -200 dB means muted";
    for (int o : {0, 1, 3, 5}) {
        EXPECT_EQ(r.outputs[static_cast<std::size_t>(o)].MUTE, 0) << o;
        EXPECT_EQ(r.outputs[static_cast<std::size_t>(o)].GAIN, -3.0f) << o;
    }
    for (const auto &in : r.inputs) EXPECT_EQ(in.MUTE, 0);

    EXPECT_EQ(r.inputs[2].DELAY, 193.0f);
    EXPECT_EQ(r.inputs[1].GAIN, -6.0f);
    EXPECT_EQ(r.inputs[0].PEQ[3].TYPE, 3u);
    EXPECT_EQ(r.inputs[0].PEQ[3].FREQUENCY, 400u);
    EXPECT_EQ(r.inputs[0].PEQ[3].GAIN, 3.0f);
    EXPECT_EQ(r.outputs[1].PHASE, 1.0f);
    EXPECT_EQ(r.outputs[5].ROUTE, 2u);
    EXPECT_EQ(r.outputs[3].highCut.TYPE, 2u);
    EXPECT_EQ(r.outputs[3].highCut.FREQUENCY, 120u);
    EXPECT_EQ(r.outputs[3].lowCut.FREQUENCY, 80u);
    EXPECT_EQ(r.outputs[3].lowCut.ORDER, 8u);
    EXPECT_EQ(r.outputs[0].DYNAMIC.TYPE, 2u);
    EXPECT_EQ(r.outputs[0].DYNAMIC.THRESHOLD, -3.0f);
    EXPECT_EQ(r.outputs[0].DYNAMIC.RT, 500.0f);
    EXPECT_EQ(r.outputs[5].NOISEGATE.THRESHOLD, -60.0f);
    EXPECT_EQ(r.outputs[5].NOISEGATE.HT, 10.0f);

    EXPECT_EQ(r.number, 17u);
    EXPECT_EQ(r.PRESET_FLAGS, 0x00010003u);
    EXPECT_EQ(textOf(r.NAME), "Open Air B\xFChne");
    EXPECT_EQ(textOf(r.AUTHOR), "12345678");
    EXPECT_EQ(textOf(r.inputs[1].NAME), "Sum A+B") << "the sum's name comes from the file";
    EXPECT_EQ(textOf(r.outputs[0].NAME), "Out 1");
    EXPECT_EQ(textOf(r.outputs[5].NAME), "ABCDEFGH") << "never past the field";
}

TEST(V1Reader, NoMutedChannelNoNotice)
{
    auto b = bytesOf(readFile(dataFile("muted_output3.vpf")));
    putFloat(b, 264 + 2 * 160 + 8, -12.0f);
    PresetRecord r;
    const Result res = readV1Preset(b, r);
    ASSERT_TRUE(res.ok);
    EXPECT_TRUE(res.notices.empty());
    EXPECT_EQ(r.outputs[2].GAIN, -12.0f);

    // Several muted channels still give one notice.
    putFloat(b, 4, -200.0f);
    putFloat(b, 264 + 8, -200.0f);
    const Result twice = readV1Preset(b, r);
    EXPECT_EQ(twice.notices.size(), 1u);
    EXPECT_EQ(r.inputs[0].MUTE, 1);
    EXPECT_EQ(r.outputs[0].MUTE, 1);
}

TEST(V1Reader, ShortOrMissingFileIsRefusedAndTargetKept)
{
    PresetRecord r = startupPreset(6);
    r.outputs[0].MUTE = 1;
    const PresetRecord before = r;
    for (const char *name : {"short.vpf", "missing.vpf"}) {
        const Result res = readV1PresetFile(dataFile(name), r);
        EXPECT_FALSE(res.ok) << name;
        EXPECT_EQ(res.message, kV1LoadError) << name;
        EXPECT_NE(res.detail.find(name), std::string::npos) << res.detail;
        EXPECT_TRUE(sameRecord(before, r)) << name;
    }
    EXPECT_FALSE(readV1Preset({}, r).ok);
    EXPECT_TRUE(sameRecord(before, r));
}

TEST(PresetFile, ChosenByLowerCaseExtension)
{
    TempDir dir;
    PresetRecord r = defaultPreset();
    const std::string upper = dir.file("SHOW.VPX");
    writeFile(upper, xmlPresetDocument(startupPreset(3)));
    for (const std::string &path : {upper, dir.file("show.xml"), dir.file("noextension")}) {
        const Result res = readPresetFile(path, r);
        EXPECT_FALSE(res.ok) << path;
        EXPECT_EQ(res.message, "Not a valid VRN-Preset file!") << path;
    }
    EXPECT_TRUE(sameRecord(defaultPreset(), r));

    const std::string xml = dir.file("show.vpx");
    writeFile(xml, xmlPresetDocument(startupPreset(3)));
    ASSERT_TRUE(readPresetFile(xml, r).ok);
    EXPECT_EQ(textOf(r.NAME), "Preset 4");
    ASSERT_TRUE(readPresetFile(dataFile("muted_output3.vpf"), r).ok);
    EXPECT_EQ(r.number, 17u);
}
