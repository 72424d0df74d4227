// What "Copy Channel Setup" copies inside one preset.
#include "zar40/model/channel_copy.h"
#include "zar40/preset/record.h"

#include <gtest/gtest.h>

namespace {

namespace zp = zar40::preset;

TEST(ChannelCopy, CopiesTheCheckedPartsNeverNamesOrMutes)
{
    zp::PresetRecord r = zp::startupPreset(0);
    r.outputs[0].highCut = {2, 120, 4};
    r.outputs[0].lowCut = {6, 80, 2};
    r.outputs[0].GAIN = -4.0f;
    r.outputs[0].MUTE = 1;
    zp::setText(r.outputs[1].NAME, "KEEP");
    EXPECT_EQ(zar40::model::copyOutputSetup(r, 0, 1, zar40::model::CopyOutputXover), 1);
    EXPECT_EQ(r.outputs[1].highCut.FREQUENCY, 120u);
    EXPECT_EQ(r.outputs[1].lowCut.TYPE, 6u);
    EXPECT_EQ(r.outputs[1].lowCut.FREQUENCY, 80u);
    EXPECT_NE(r.outputs[1].GAIN, -4.0f);
    EXPECT_EQ(zp::textOf(r.outputs[1].NAME), "KEEP");
    EXPECT_EQ(zar40::model::copyOutputSetup(r, 0, 1, 0xFF), 8);
    EXPECT_EQ(r.outputs[1].GAIN, -4.0f);
    EXPECT_EQ(r.outputs[1].MUTE, 0);
    EXPECT_EQ(zp::textOf(r.outputs[1].NAME), "KEEP");
    // Out of range and onto itself copy nothing.
    EXPECT_EQ(zar40::model::copyOutputSetup(r, 0, 6, 0xFF), 0);
    EXPECT_EQ(zar40::model::copyInputSetup(r, 2, 2, 0x7), 0);
    r.inputs[0].PEQ[3].GAIN = 5.0f;
    EXPECT_EQ(zar40::model::copyInputSetup(r, 0, 2, zar40::model::CopyInputPeq), 1);
    EXPECT_EQ(r.inputs[2].PEQ[3].GAIN, 5.0f);
}

} // namespace
