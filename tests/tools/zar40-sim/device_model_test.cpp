#include "DeviceModel.h"

#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/preset/fields.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

using namespace zar40::codec;
using zar40sim::DeviceConfig;
using zar40sim::DeviceModel;
using zar40sim::FaultConfig;
namespace p = zar40::preset;

namespace {

Message ask(DeviceModel &m, std::uint16_t code, std::uint16_t address = 0, std::uint32_t value = 0)
{
    auto r = m.handle({code, address, value});
    if (!r) throw std::runtime_error("no reply");
    return *r;
}

FaultConfig faults(unsigned FaultConfig::*option, unsigned n)
{
    FaultConfig f;
    f.*option = n;
    return f;
}

} // namespace

TEST(DeviceModel, EveryRequestIsAnsweredWithItsReplyAndAddress)
{
    DeviceModel m;
    const std::pair<std::uint16_t, std::uint16_t> requests[] = {
        {ReqConnect, 0},     {ReqDeviceID, 0},     {ReqRevision, 0},      {ReqCompPwd, 0},
        {ReqWritePwd, 0},    {ReqLoadPreset, 3},   {ReqStorePreset, 3},   {ReqReadPara, 4533},
        {ReqWritePara, 4533}, {ReqWritePreset, 10}, {ReqReadMuteState, 0}, {ReqReadPotiVal, 6},
        {ReqReadPegelVal, 1}, {ReqReady, 0},        {ReqDisconnect, 0}};
    for (auto [code, addr] : requests) {
        const Message r = ask(m, code, addr);
        EXPECT_EQ(r.code, replyCodeFor(code)) << requestCodeName(code);
        EXPECT_EQ(r.address, addr) << requestCodeName(code);
    }
    // Reply codes, unnamed codes and addresses out of range get RepError with the address.
    for (auto [code, addr] : std::initializer_list<std::pair<std::uint16_t, std::uint16_t>>{
             {RepReadPara, 1100}, {216, 7}, {ReqReadPara, 4611}, {ReqWritePara, 9500}, {ReqLoadPreset, 0},
             {ReqStorePreset, 33}, {ReqReadPotiVal, 7}, {ReqReadPegelVal, 2}, {ReqWritePara, 120}}) {
        const Message r = ask(m, code, addr);
        EXPECT_EQ(r.code, RepError) << code << " " << addr;
        EXPECT_EQ(r.address, addr);
    }
}

TEST(DeviceModel, ConnectionAnswers)
{
    DeviceConfig c;
    c.deviceId = 7;
    c.revisionMajor = 1;
    c.revisionMinor = 4;
    c.password = 1234;
    DeviceModel m(c, faults(&FaultConfig::connectBusy, 6));
    for (int k = 0; k < 6; ++k) EXPECT_EQ(ask(m, ReqConnect).value, 0u);
    EXPECT_EQ(ask(m, ReqConnect).value, 1u);
    EXPECT_EQ(ask(m, ReqDeviceID).value, 7u);
    EXPECT_EQ(ask(m, ReqRevision).value, 0x00010004u);
    EXPECT_NE(ask(m, ReqCompPwd, 0, 0).value, 1u);
    EXPECT_NE(ask(m, ReqCompPwd, 0, 123).value, 1u);
    EXPECT_EQ(ask(m, ReqCompPwd, 0, 1234).value, 1u);
    ask(m, ReqWritePwd, 0, 42);
    EXPECT_EQ(m.password(), 42u);
    EXPECT_NE(ask(m, ReqCompPwd, 0, 1234).value, 1u);
    EXPECT_EQ(ask(m, ReqCompPwd, 0, 42).value, 1u);

    DeviceModel open; // no password: the first attempt with 0 passes
    EXPECT_EQ(ask(open, ReqCompPwd, 0, 0).value, 1u);
    EXPECT_EQ(ask(open, ReqRevision).value, revisionWord(kExpectedRevisionMajor, kExpectedRevisionMinor));
}

TEST(DeviceModel, StartsWithTheStartupPresetMemory)
{
    DeviceModel m;
    for (int k : {0, 1, 31}) {
        p::PresetRecord expected = p::startupPreset(k);
        EXPECT_TRUE(p::sameFields(m.slotRecord(k), expected)) << k;
    }
    EXPECT_TRUE(p::sameFields(m.workingRecord(), p::startupPreset(0)));
    EXPECT_EQ(ask(m, ReqReadPara, 10).value, textGroupToWord("Preset 1", 0));
    EXPECT_EQ(ask(m, ReqReadPara, 9640).value, 0u); // low cut off (4) travels as 0
    EXPECT_EQ(ask(m, ReqReadPara, 6100).value, 2u); // output 3 takes IN B
}

TEST(DeviceModel, WritesReadsAndDeviceSettings)
{
    DeviceConfig c;
    c.deviceNumber = 4711;
    c.deviceName = "Rack 2";
    DeviceModel m(c);
    EXPECT_EQ(ask(m, ReqWritePreset, 4300, floatToWord(-6.0f)).code, RepWritePreset);
    EXPECT_EQ(ask(m, ReqReadPara, 4300).value, floatToWord(-6.0f));
    // The single-field groups ignore the last two digits.
    EXPECT_EQ(ask(m, ReqReadPara, 4377).value, floatToWord(-6.0f));
    EXPECT_EQ(m.workingRecord().outputs[0].GAIN, -6.0f);

    EXPECT_EQ(ask(m, ReqReadPara, 120).value, 4711u);
    EXPECT_EQ(ask(m, ReqWritePara, 120, 1).code, RepError);
    EXPECT_EQ(ask(m, ReqReadPara, 120).value, 4711u);
    EXPECT_EQ(ask(m, ReqReadPara, 100).value, textGroupToWord("Rack", 0));
    ask(m, ReqWritePreset, 100, textGroupToWord("Stag", 0));
    ask(m, ReqWritePreset, 101, textGroupToWord("e", 0));
    ask(m, ReqWritePara, 110, 1);
    EXPECT_EQ(deviceName(m.deviceSettings()), "Stage");
    EXPECT_TRUE(keyboardLocked(m.deviceSettings()));
}

TEST(DeviceModel, LoadAndStorePresets)
{
    DeviceModel m;
    ask(m, ReqWritePreset, 9830, floatToWord(55.0f));
    ask(m, ReqWritePreset, 10, textGroupToWord("Live", 0));
    ask(m, ReqWritePara, 11, 0); // otherwise "Liveet 1": each group is its own word
    ask(m, ReqStorePreset, 5);
    EXPECT_EQ(m.slotWord(4, 9830), floatToWord(55.0f));
    EXPECT_EQ(m.slotRecord(4).number, 4u);
    EXPECT_EQ(p::textOf(m.slotRecord(4).NAME), "Live");

    ask(m, ReqLoadPreset, 2);
    EXPECT_TRUE(p::sameFields(m.workingRecord(), p::startupPreset(1)));
    EXPECT_EQ(ask(m, ReqReadPara, 9830).value, floatToWord(10.0f));
    // Device settings belong to the device, not to a preset.
    ask(m, ReqWritePara, 110, 1);
    ask(m, ReqLoadPreset, 5);
    EXPECT_EQ(ask(m, ReqReadPara, 9830).value, floatToWord(55.0f));
    EXPECT_EQ(ask(m, ReqReadPara, 110).value, 1u);
    // Slot 1 was never touched.
    EXPECT_TRUE(p::sameFields(m.slotRecord(0), p::startupPreset(0)));
}

TEST(DeviceModel, WholePresetThroughTheTransferOrders)
{
    DeviceModel m;
    p::PresetRecord mine = p::startupPreset(9);
    p::setText(mine.NAME, "Main Hall");
    mine.outputs[5].DELAY = 97.0f;
    mine.outputs[5].lowCut.TYPE = 6;
    mine.inputs[2].MUTE = 1;
    for (const auto &step : writeOrder())
        EXPECT_NE(ask(m, step.code, step.address, *wireValue(mine, step.address)).code, RepError);
    ask(m, ReqStorePreset, 12);

    ask(m, ReqLoadPreset, 1);
    ask(m, ReqLoadPreset, 12);
    p::PresetRecord back = p::defaultPreset();
    DeviceSettings settings{};
    for (std::uint16_t a : readOrder()) {
        const Message r = ask(m, ReqReadPara, a);
        ASSERT_EQ(r.code, RepReadPara) << a;
        storeReadValue(back, settings, a, r.value);
    }
    mine.number = 0; // not transferred
    back.number = 0;
    EXPECT_TRUE(p::sameFields(mine, back));
    for (const auto *d : p::differingFields(mine, back)) ADD_FAILURE() << d->path;
    EXPECT_EQ(m.muteState(), 1u << 2);
}

TEST(DeviceModel, FaultOptions)
{
    DeviceModel dropping({}, faults(&FaultConfig::dropEvery, 3));
    std::vector<bool> answered;
    for (int k = 0; k < 6; ++k) answered.push_back(dropping.handle({ReqReadPara, 1100, 0}).has_value());
    EXPECT_EQ(answered, (std::vector<bool>{true, true, false, true, true, false}));

    DeviceModel garbling({}, faults(&FaultConfig::garbleEvery, 2));
    for (int k = 1; k <= 4; ++k) {
        const Message r = ask(garbling, ReqReadPara, 1100);
        EXPECT_EQ(acceptReply(1100, r), k % 2 == 1) << k;
    }

    FaultConfig hang;
    hang.hangAfter = 2;
    DeviceModel hanging({}, hang);
    EXPECT_TRUE(hanging.handle({ReqConnect, 0, 0}));
    EXPECT_TRUE(hanging.handle({ReqDeviceID, 0, 0}));
    for (int k = 0; k < 5; ++k) EXPECT_FALSE(hanging.handle({ReqRevision, 0, 0}));
    EXPECT_EQ(hanging.requestCount(), 7u);

    // A dropped write is not carried out.
    DeviceModel lossy({}, faults(&FaultConfig::dropEvery, 1));
    EXPECT_FALSE(lossy.handle({ReqWritePara, 4300, floatToWord(3.0f)}));
    EXPECT_EQ(lossy.workingWord(4300), floatToWord(0.0f));
}

TEST(DeviceModel, LiveValuesMoveAndFollowMutes)
{
    DeviceModel m;
    double t = 0.0;
    m.setClock([&t] { return t; });
    std::set<std::uint32_t> seen;
    for (int k = 0; k < 20; ++k, t += 0.37) {
        for (std::uint16_t half : {0, 1}) {
            const Message r = ask(m, ReqReadPegelVal, half);
            EXPECT_TRUE(acceptReply(half, r));
            seen.insert(r.value);
        }
        const Message pot = ask(m, ReqReadPotiVal, 4);
        seen.insert(pot.value);
    }
    EXPECT_GT(seen.size(), 40u); // they move

    ask(m, ReqWritePara, 1400, 1); // IN A, the first meter
    ask(m, ReqWritePara, 9900, 1); // output 6, the last meter
    EXPECT_EQ(levelBytes(ask(m, ReqReadPegelVal, 0).value)[0], 0);
    EXPECT_EQ(levelBytes(ask(m, ReqReadPegelVal, 1).value)[3], 0);
    EXPECT_EQ(ask(m, ReqReadMuteState).value, (1u << 0) | (1u << 8));
}

// Pots turn through the documented positions, 0 to 10 (0 to 60 dB in the
// editor), each end reached, and never send the "no value" word.
TEST(DeviceModel, PotsStayInTheirRangeAndReachBothEnds)
{
    DeviceModel m;
    double t = 0.0;
    m.setClock([&t] { return t; });
    for (std::uint16_t pot = 1; pot <= 6; ++pot) {
        std::set<std::int32_t> positions;
        for (t = 0.0; t < 30.0; t += 0.25) {
            const Message r = ask(m, ReqReadPotiVal, pot);
            ASSERT_TRUE(acceptReply(pot, r)) << "pot " << pot << " at " << t << " s";
            const auto position = static_cast<std::int32_t>(r.value);
            ASSERT_GE(position, DeviceModel::kPotMin) << "pot " << pot << " at " << t << " s";
            ASSERT_LE(position, DeviceModel::kPotMax) << "pot " << pot << " at " << t << " s";
            positions.insert(position);
        }
        EXPECT_EQ(*positions.begin(), DeviceModel::kPotMin) << "pot " << pot;
        EXPECT_EQ(*positions.rbegin(), DeviceModel::kPotMax) << "pot " << pot;
    }
}
