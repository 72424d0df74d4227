// What each kind of edit sends a connected unit.
#include "zar40/model/parameter_writes.h"

#include <gtest/gtest.h>

#include <bit>
#include <ostream>

using namespace zar40;
using namespace zar40::model;

namespace zar40::model {
void PrintTo(const ParameterWrite &w, std::ostream *os) { *os << w.code << ':' << w.address << '=' << w.value; }
} // namespace zar40::model

namespace {

constexpr std::uint16_t kSingle = 136;
constexpr std::uint16_t kBatch = 152;

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

preset::OutputChannel &out(preset::PresetRecord &r, int n) { return r.outputs[static_cast<std::size_t>(n - 1)]; }

} // namespace

TEST(ParameterWrites, StereoLinkedFadersWriteThePairFirstMemberFirst)
{
    preset::PresetRecord r = preset::startupPreset(0);
    applyFader(r, 4, FaderChange::Gain, -6.5f, true); // output 2 moves output 1 with it
    EXPECT_EQ(out(r, 1).GAIN, -6.5f);
    EXPECT_EQ(faderWrites(r, 4, FaderChange::Gain, true),
              (WriteBatch{{kBatch, 4300, bits(-6.5f)}, {kSingle, 5300, bits(-6.5f)}}));
    EXPECT_EQ(faderWrites(r, 4, FaderChange::Gain, false), (WriteBatch{{kSingle, 5300, bits(-6.5f)}}));

    // The Summe has no partner; input B's gain lives at 3200.
    applyFader(r, preset::kSumme, FaderChange::Gain, 3.0f, true);
    EXPECT_EQ(r.inputs[0].GAIN, 0.0f);
    EXPECT_EQ(faderWrites(r, preset::kSumme, FaderChange::Gain, true), (WriteBatch{{kSingle, 2200, bits(3.0f)}}));

    // The input pair's mute carries input A's flag to both addresses.
    r.inputs[0].MUTE = 1;
    r.inputs[2].MUTE = 0;
    EXPECT_EQ(faderWrites(r, preset::kInputB, FaderChange::Mute, true),
              (WriteBatch{{kBatch, 1400, 1}, {kSingle, 3400, 1}}));

    applyFader(r, 8, FaderChange::Phase, 1.0f, true);
    EXPECT_EQ(out(r, 5).PHASE, 1.0f);
    EXPECT_EQ(faderWrites(r, 8, FaderChange::Phase, true),
              (WriteBatch{{kBatch, 8400, bits(1.0f)}, {kSingle, 9400, bits(1.0f)}}));
    EXPECT_TRUE(faderWrites(r, preset::kInputA, FaderChange::Phase, false).empty()) << "inputs have no phase";
    EXPECT_TRUE(faderWrites(r, 9, FaderChange::Gain, false).empty());
}

TEST(ParameterWrites, MuteAllWritesOnlyTheOutputsThatChange)
{
    preset::PresetRecord r = preset::startupPreset(0);
    out(r, 2).MUTE = 1;
    out(r, 5).MUTE = 1;
    EXPECT_EQ(applyMuteAll(r, true),
              (WriteBatch{{kBatch, 4900, 1}, {kBatch, 6900, 1}, {kBatch, 7900, 1}, {kSingle, 9900, 1}}));
    EXPECT_TRUE(allOutputsMuted(r));
    EXPECT_TRUE(applyMuteAll(r, true).empty());
    out(r, 3).MUTE = 0;
    const WriteBatch unmute = applyMuteAll(r, false);
    ASSERT_EQ(unmute.size(), 5u);
    EXPECT_EQ(unmute.back(), (ParameterWrite{kSingle, 9900, 0}));
    EXPECT_EQ(r.inputs[0].MUTE, 0) << "inputs are not touched";
}

TEST(ParameterWrites, StereoLinkEngageMutesTheOtherMemberThroughItsGain)
{
    preset::PresetRecord r = preset::startupPreset(0);
    out(r, 1).MUTE = 1;
    out(r, 2).GAIN = -3.0f;
    out(r, 3).MUTE = 1; // 3 and 4 both muted: nothing to do
    out(r, 4).MUTE = 1;
    EXPECT_EQ(applyStereoLinkEngage(r), (WriteBatch{{kSingle, 5300, bits(-200.0f)}}));
    EXPECT_EQ(out(r, 2).MUTE, 1);
    EXPECT_EQ(out(r, 2).GAIN, -3.0f) << "the stored gain stays";

    r.inputs[2].MUTE = 1;
    out(r, 6).MUTE = 1;
    EXPECT_EQ(applyStereoLinkEngage(r), (WriteBatch{{kBatch, 1200, bits(-200.0f)}, {kSingle, 8300, bits(-200.0f)}}));
    EXPECT_TRUE(applyStereoLinkEngage(r).empty());
}

TEST(ParameterWrites, ChangedFieldsTravelWithTheirConversions)
{
    const preset::PresetRecord before = preset::startupPreset(0);
    EXPECT_TRUE(changedFieldWrites(before, before).empty());

    preset::PresetRecord after = before;
    out(after, 1).PEQ[2].FREQUENCY = 250;
    out(after, 1).PEQ[2].GAIN = -4.0f;
    EXPECT_EQ(changedFieldWrites(before, after), (WriteBatch{{kBatch, 4532, 250}, {kSingle, 4534, bits(-4.0f)}}));

    after = before;
    out(after, 6).DELAY = 97.0f;  // 1 ms
    out(after, 6).lowCut.TYPE = 5; // travels as 1
    out(after, 6).ROUTE = 0; // from input B to input A
    after.number = 7; // not on the wire
    EXPECT_EQ(changedFieldWrites(before, after),
              (WriteBatch{{kBatch, 9100, 0}, {kBatch, 9200, bits(1.0f)}, {kSingle, 9640, 1}}));

    after = before;
    preset::setText(after.NAME, "Preset 1 Stage"); // characters 9-12 and 13-16 change
    after.PRESET_FLAGS = preset::withLock(after.PRESET_FLAGS, true);
    const WriteBatch texts = changedFieldWrites(before, after);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].address, 12);
    EXPECT_EQ(texts[1].address, 13);
    EXPECT_EQ(texts[2], (ParameterWrite{kSingle, 60, 1}));

    // Undo sends the old values back.
    EXPECT_EQ(changedFieldWrites(after, before).back(), (ParameterWrite{kSingle, 60, 0}));
}

TEST(deviceSettingsWrites, TheDialogEndsWithThePasswordARestoreAsABatch)
{
    const WriteBatch dialog = deviceSettingsWrites("StageLeft1", true, 1234u);
    ASSERT_EQ(dialog.size(), 6u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dialog[static_cast<std::size_t>(i)].address, 100 + i);
    EXPECT_EQ(dialog[0], (ParameterWrite{kBatch, 100, 0x53746167u})); // "Stag", network byte order
    EXPECT_EQ(dialog[4], (ParameterWrite{kBatch, 110, 1}));
    EXPECT_EQ(dialog[5], (ParameterWrite{72, 0, 1234}));

    const WriteBatch restore = deviceSettingsWrites("StageLeft1", false, std::nullopt);
    ASSERT_EQ(restore.size(), 5u);
    EXPECT_EQ(restore[3].code, kBatch);
    EXPECT_EQ(restore[4], (ParameterWrite{kSingle, 110, 0}));
}
