#include "zar40/preset/factory_layouts.h"

#include "test_support.h"
#include "zar40/preset/fields.h"

#include <gtest/gtest.h>

using namespace zar40::preset;
using namespace preset_test;

namespace {

// A slot full of edits that every layout must overwrite.
PresetRecord edited(int slot)
{
    PresetRecord r = startupPreset(slot);
    for (const auto &d : fieldTable()) {
        if (d.isText()) setFieldText(r, d, "edited");
        else if (d.type != FieldType::Mute8) setFieldWord(r, d, 0x7F80ABCD);
    }
    return r;
}

} // namespace

TEST(FactoryLayouts, NamesAndLookup)
{
    ASSERT_EQ(factoryLayouts().size(), 4u);
    for (FactoryLayout l : factoryLayouts()) EXPECT_EQ(findFactoryLayout(factoryLayoutName(l)), l);
    EXPECT_EQ(factoryLayoutName(FactoryLayout::TwoWayStereoMonoBass), "2 Way Stereo w. mono Bass");
    EXPECT_FALSE(findFactoryLayout("3 Way Stereo"));
}

TEST(FactoryLayouts, StereoBypassIsTheBaseWithLeftRightOutputs)
{
    const PresetRecord r = applyFactoryLayout(edited(5), 5, FactoryLayout::StereoBypass);
    PresetRecord expected = startupPreset(5);
    expected.number = 0;
    setText(expected.NAME, "Preset 6");
    for (std::size_t o = 0; o < 6; ++o) {
        expected.outputs[o].ROUTE = o % 2 == 0 ? 0 : 2;
        setText(expected.outputs[o].NAME, o % 2 == 0 ? "OUT L" : "OUT R");
    }
    EXPECT_TRUE(sameRecord(expected, r));
}

TEST(FactoryLayouts, MonoBypassKeepsTheNumber)
{
    PresetRecord before = edited(9);
    before.number = 9;
    const PresetRecord r = applyFactoryLayout(before, 9, FactoryLayout::MonoBypass);
    EXPECT_EQ(r.number, 9u);
    EXPECT_EQ(textOf(r.NAME), "Preset 10");
    for (const auto &o : r.outputs) {
        EXPECT_EQ(o.ROUTE, 1u);
        EXPECT_EQ(textOf(o.NAME), "OUT MONO");
    }
}

TEST(FactoryLayouts, TwoWayCrossoversAndDynamics)
{
    for (FactoryLayout l : {FactoryLayout::TwoWayStereo, FactoryLayout::TwoWayStereoMonoBass}) {
        const PresetRecord r = applyFactoryLayout(edited(5), 5, l);
        const bool mono = l == FactoryLayout::TwoWayStereoMonoBass;
        EXPECT_EQ(textOf(r.NAME), "Preset 6");
        EXPECT_EQ(r.number, 0u);
        const char *names[] = {mono ? "BASS MON" : "BASS L", mono ? "BASS MON" : "BASS R", "TOP L", "TOP R", "OUT L", "OUT R"};
        const std::uint32_t routes[] = {mono ? 1u : 0u, mono ? 1u : 2u, 0, 2, 0, 2};
        for (std::size_t o = 0; o < 6; ++o) {
            EXPECT_EQ(textOf(r.outputs[o].NAME), names[o]);
            EXPECT_EQ(r.outputs[o].ROUTE, routes[o]);
        }
        for (std::size_t o : {0u, 1u}) {
            const auto &out = r.outputs[o];
            EXPECT_EQ(out.highCut.TYPE, 2u);
            EXPECT_EQ(out.highCut.FREQUENCY, 120u);
            EXPECT_EQ(out.highCut.ORDER, 4u);
            EXPECT_FALSE(isLowCutOn(out.lowCut));
            EXPECT_EQ(out.DYNAMIC.TYPE, 2u);
            EXPECT_EQ(out.DYNAMIC.THRESHOLD, -3.0f);
            EXPECT_EQ(out.DYNAMIC.KNEE, 3.0f);
            EXPECT_EQ(out.DYNAMIC.RATIO, 8.0f);
        }
        for (std::size_t o : {2u, 3u}) {
            const auto &out = r.outputs[o];
            EXPECT_FALSE(isHighCutOn(out.highCut));
            EXPECT_EQ(out.lowCut.TYPE, 6u);
            EXPECT_EQ(out.lowCut.FREQUENCY, 120u);
            EXPECT_EQ(out.DYNAMIC.TYPE, 1u);
            EXPECT_EQ(out.DYNAMIC.RATIO, 1000.0f);
            EXPECT_EQ(out.DYNAMIC.THRESHOLD, 0.0f);
        }
        for (std::size_t o : {4u, 5u}) {
            EXPECT_FALSE(isHighCutOn(r.outputs[o].highCut));
            EXPECT_FALSE(isDynamicsOn(r.outputs[o].DYNAMIC));
        }
        for (const auto &o : r.outputs) EXPECT_FALSE(isNoiseGateOn(o.NOISEGATE));
    }
}

TEST(FactoryLayouts, MuteFlagsOfInputAAndOutput1Spread)
{
    for (FactoryLayout l : factoryLayouts()) {
        PresetRecord before = startupPreset(0);
        before.outputs[0].MUTE = 1;
        before.inputs[1].MUTE = 1; // not input A: lost
        before.outputs[3].MUTE = 0;
        const PresetRecord r = applyFactoryLayout(before, 0, l);
        for (const auto &o : r.outputs) EXPECT_EQ(o.MUTE, 1) << factoryLayoutName(l);
        for (const auto &i : r.inputs) EXPECT_EQ(i.MUTE, 0) << factoryLayoutName(l);
    }
}

TEST(FactoryLayouts, PresetMemoryChangesOnlyTheCurrentSlot)
{
    PresetMemory memory;
    resetPresetMemory(memory);
    ASSERT_TRUE(memory.setCurrent(31));
    const PresetMemory before = memory;
    applyFactoryLayout(memory, FactoryLayout::TwoWayStereo);
    EXPECT_EQ(textOf(memory.records()[31].NAME), "Preset 32");
    EXPECT_EQ(textOf(memory.records()[31].outputs[0].NAME), "BASS L");
    for (std::size_t k = 0; k < 31; ++k) EXPECT_TRUE(sameRecord(before.records()[k], memory.records()[k])) << k;
}
