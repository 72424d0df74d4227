#include "zar40/preset/record.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>

using namespace zar40::preset;
using namespace preset_test;

TEST(Defaults, StartupMemoryNumbersAndNamesEverySlot)
{
    PresetMemory memory;
    ASSERT_TRUE(memory.setCurrent(7));
    resetPresetMemory(memory);
    EXPECT_EQ(memory.current(), 0);
    for (int k = 0; k < kPresetCount; ++k) {
        const PresetRecord &r = memory.records()[static_cast<std::size_t>(k)];
        EXPECT_EQ(r.number, static_cast<std::uint32_t>(k));
        EXPECT_EQ(textOf(r.NAME), "Preset " + std::to_string(k + 1));
        EXPECT_EQ(textOf(r.AUTHOR), "V.R.N.");
        EXPECT_EQ(r.PRESET_FLAGS, 0u);
        const std::uint32_t routes[] = {0, 1, 2, 0, 1, 2};
        for (std::size_t o = 0; o < 6; ++o) {
            const auto &out = r.outputs[o];
            EXPECT_EQ(out.ROUTE, routes[o]);
            EXPECT_EQ(textOf(out.NAME), "OUT " + std::to_string(o + 1));
            EXPECT_FALSE(isHighCutOn(out.highCut));
            EXPECT_FALSE(isLowCutOn(out.lowCut));
            EXPECT_FALSE(isDynamicsOn(out.DYNAMIC));
            EXPECT_FALSE(isNoiseGateOn(out.NOISEGATE));
            for (const auto &b : out.PEQ) EXPECT_FALSE(isBandOn(b));
        }
        EXPECT_EQ(textOf(r.inputs[0].NAME), "IN A");
        EXPECT_EQ(textOf(r.inputs[1].NAME), "Summe");
        EXPECT_EQ(textOf(r.inputs[2].NAME), "IN B");
    }
}

TEST(Defaults, DefaultPresetDiffersFromStartupOnlyInTexts)
{
    const PresetRecord d = defaultPreset();
    EXPECT_EQ(textOf(d.NAME), "Default Preset");
    EXPECT_EQ(textOf(d.inputs[0].NAME), "In A");
    EXPECT_EQ(textOf(d.inputs[2].NAME), "In B");
    EXPECT_EQ(textOf(d.outputs[5].NAME), "Out 6");
    for (const auto *f : differingFields(d, startupPreset(0))) EXPECT_TRUE(f->isText()) << f->path;

    EXPECT_EQ(d.inputs[1].DELAY, 1.0f);
    EXPECT_EQ(d.outputs[0].PEQ[4].Q, 0.7f);
    EXPECT_EQ(d.outputs[0].PEQ[4].FREQUENCY, 1000u);
    EXPECT_EQ(d.outputs[0].lowCut.TYPE, 4u);
    EXPECT_EQ(d.outputs[0].highCut.ORDER, 4u);
    EXPECT_EQ(d.outputs[0].DYNAMIC.RATIO, 1.1f);
    EXPECT_EQ(d.outputs[0].DYNAMIC.RT, 500.0f);
    EXPECT_EQ(d.outputs[0].NOISEGATE.THRESHOLD, -200.0f);
    EXPECT_EQ(d.outputs[0].NOISEGATE.CT, 100.0f);
}

TEST(Rules, OffStates)
{
    EXPECT_TRUE(isLowCutOn({0, 1000, 4})) << "type 0 on the low-cut side is not off";
    EXPECT_FALSE(isLowCutOn({4, 1000, 4}));
    EXPECT_FALSE(isNoiseGateOn({-200.0f, 1, 1}));
    EXPECT_FALSE(isNoiseGateOn({-250.0f, 1, 1}));
    EXPECT_TRUE(isNoiseGateOn({-199.0f, 1, 1}));
    EXPECT_FALSE(isNoiseGateOn({std::bit_cast<float>(0x7FC00000u), 1, 1}));
}

TEST(Rules, LockKeepsOnlyTheLowWord)
{
    EXPECT_EQ(withLock(0x00010002, true), 0x00000003u);
    EXPECT_EQ(withLock(0x00010002, false), 0x00000002u);
    EXPECT_EQ(withLock(0xFFFFFFFF, false), 0x0000FFFEu);
    EXPECT_TRUE(isLocked(0x3));
    EXPECT_FALSE(isLocked(0x2));
}

TEST(Rules, NameFieldFilter)
{
    for (char c : std::string("%'*\"+?><:\\")) EXPECT_FALSE(isNameCharacterAllowed(c)) << c;
    for (char c : std::string("aZ09 -_./()#&!\xFC")) EXPECT_TRUE(isNameCharacterAllowed(c)) << c;
    EXPECT_EQ(filterNameInput("Ma\"in: L+R?", 8), "Main LR");
    EXPECT_EQ(filterNameInput("A 17 characters!!", 16), "A 17 characters!");
}

TEST(Rules, CurrentPresetStaysInsideTheMemory)
{
    PresetMemory memory;
    resetPresetMemory(memory);
    EXPECT_TRUE(memory.setCurrent(31));
    EXPECT_EQ(&memory.currentRecord(), &memory.records()[31]);
    for (int bad : {32, -1, 1000, INT_MIN}) {
        EXPECT_FALSE(memory.setCurrent(bad)) << bad;
        EXPECT_EQ(memory.current(), 31);
    }
    EXPECT_TRUE(memory.setCurrent(0));
    EXPECT_EQ(textOf(memory.currentRecord().NAME), "Preset 1");
}

TEST(Texts, SetTextCutsAndClears)
{
    Text<8> t;
    t.fill('x');
    setText(t, "Subwoofer");
    EXPECT_EQ(textOf(t), "Subwoofe");
    EXPECT_EQ(t[8], 0);
    setText(t, "ab");
    EXPECT_EQ(textOf(t), "ab");
    for (std::size_t i = 2; i < t.size(); ++i) EXPECT_EQ(t[i], 0);
}
