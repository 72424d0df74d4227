// Property: a record written to a .vpx file and read back is the same record
// bit for bit, NaN patterns included, except for what the file format leaves
// out on purpose (the preset number and the settings of switched-off stages,
// which come back as in the "Default Preset").
#include "zar40/preset/preset_files.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <random>

using namespace zar40::preset;
using namespace preset_test;

namespace {

std::uint32_t interestingWord(std::mt19937 &rng)
{
    static const std::uint32_t special[] = {
        0x00000000, 0x80000000, 0x7F800000, 0xFF800000, 0x7FC00000, 0xFFC00000, 0x7F800001,
        0x7FBFFFFF, 0xFFFFFFFF, 0x00000001, 0x807FFFFF, 0xC3480000, 0x3F800000, 0x00000004,
    };
    return rng() % 3 == 0 ? special[rng() % std::size(special)] : static_cast<std::uint32_t>(rng());
}

PresetRecord randomRecord(std::mt19937 &rng)
{
    PresetRecord r = defaultPreset();
    for (const auto &d : fieldTable()) {
        if (d.isText()) {
            std::string t(rng() % (d.width + 3), ' ');
            for (char &c : t) c = static_cast<char>(1 + rng() % 255);
            setFieldText(r, d, t);
        } else {
            setFieldWord(r, d, interestingWord(rng));
        }
    }
    return r;
}

// What a file keeps of R. Control characters other than tab, line feed and
// carriage return have no place in XML 1.0 and are written as blanks.
PresetRecord asStored(PresetRecord r)
{
    const PresetRecord d = defaultPreset();
    r.number = 0;
    for (const auto &f : fieldTable()) {
        if (!f.isText()) continue;
        std::string t = fieldText(r, f);
        for (char &c : t)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') c = ' ';
        setFieldText(r, f, t);
    }
    for (std::size_t i = 0; i < r.inputs.size(); ++i)
        for (std::size_t b = 0; b < kBandCount; ++b)
            if (!isBandOn(r.inputs[i].PEQ[b])) r.inputs[i].PEQ[b] = d.inputs[i].PEQ[b];
    for (std::size_t o = 0; o < r.outputs.size(); ++o) {
        auto &out = r.outputs[o];
        for (std::size_t b = 0; b < kBandCount; ++b)
            if (!isBandOn(out.PEQ[b])) out.PEQ[b] = d.outputs[o].PEQ[b];
        if (!isHighCutOn(out.highCut)) out.highCut = d.outputs[o].highCut;
        if (!isLowCutOn(out.lowCut)) out.lowCut = d.outputs[o].lowCut;
        if (!isDynamicsOn(out.DYNAMIC)) out.DYNAMIC = d.outputs[o].DYNAMIC;
        if (!isNoiseGateOn(out.NOISEGATE)) out.NOISEGATE = d.outputs[o].NOISEGATE;
    }
    return r;
}

} // namespace

TEST(RoundTrip, RandomRecordsSurviveBitForBit)
{
    std::mt19937 rng(20240611);
    TempDir dir;
    for (int n = 0; n < 300; ++n) {
        const PresetRecord r = randomRecord(rng);
        PresetRecord back = startupPreset(n % 32);
        const std::string doc = xmlPresetDocument(r);
        const Result res = readXmlPreset(doc, back);
        ASSERT_TRUE(res.ok) << res.detail;
        ASSERT_TRUE(sameRecord(asStored(r), back)) << "record " << n;
        if (n < 10) {
            writeFile(dir.file("random.vpx"), doc);
            ASSERT_TRUE(strictXmlParserAccepts(dir.file("random.vpx"))) << "record " << n;
        }
    }
}

TEST(RoundTrip, EveryStageOnMeansNothingIsLost)
{
    std::mt19937 rng(7);
    PresetRecord r = randomRecord(rng);
    r.number = 0;
    for (auto &in : r.inputs)
        for (auto &b : in.PEQ) b.TYPE |= 1;
    for (auto &o : r.outputs) {
        for (auto &b : o.PEQ) b.TYPE |= 1;
        o.highCut.TYPE = 1;
        o.lowCut.TYPE = 0;
        o.DYNAMIC.TYPE = 2;
        o.NOISEGATE.THRESHOLD = -10.0f;
        o.GAIN = std::bit_cast<float>(0x7FA5A5A5u); // signalling NaN payload
    }
    TempDir dir;
    ASSERT_TRUE(writeXmlPresetFile(r, dir.file("all.vpx")).ok);
    PresetRecord back;
    ASSERT_TRUE(readXmlPresetFile(dir.file("all.vpx"), back).ok);
    EXPECT_TRUE(sameRecord(asStored(r), back)); // only control characters in texts change
}

TEST(RoundTrip, ReadingIsStableUnderRewriting)
{
    std::mt19937 rng(99);
    for (int n = 0; n < 50; ++n) {
        const std::string first = xmlPresetDocument(randomRecord(rng));
        PresetRecord a;
        ASSERT_TRUE(readXmlPreset(first, a).ok);
        const std::string second = xmlPresetDocument(a);
        EXPECT_EQ(xmlPresetDocument(asStored(a)), second);
        PresetRecord b;
        ASSERT_TRUE(readXmlPreset(second, b).ok);
        EXPECT_TRUE(sameRecord(a, b));
    }
}
