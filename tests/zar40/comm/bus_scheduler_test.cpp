#include "zar40/comm/BusScheduler.h"

#include "canbus/netid.h"
#include "zar40/comm/codec/request_codes.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <deque>
#include <random>
#include <vector>

using namespace zar40;
using namespace zar40::comm;

namespace {

struct Sent {
    qint64 atUs;
    int netId;
    std::uint16_t code;
};

// A scheduler on a clock the test moves; every frame it sends is recorded.
struct Rig {
    qint64 clockUs = 0;
    std::vector<Sent> sent;
    BusScheduler scheduler{[this](std::uint32_t id, const codec::MessageBytes &data) {
        sent.push_back({clockUs, canbus::netIdForIdentifier(id), static_cast<std::uint16_t>((data[0] << 8) | data[1])});
        return true;
    }};
    Rig() { scheduler.setClock([this] { return clockUs; }); }

    void submit(int netId, std::uint16_t code, std::uint16_t address = 0)
    {
        scheduler.submit(netId, canbus::identifierForNetId(netId), codec::buildMessage(code, address, 0));
    }
    // Runs the clock forward in 100 us steps, pumping as a timer would.
    void run(qint64 us)
    {
        for (qint64 end = clockUs + us; clockUs < end; clockUs += 100) scheduler.pump();
    }
};

} // namespace

TEST(CanFrameBits, StuffingIsCountedAndStaysWithinTheWorstCase)
{
    // 98 bits before stuffing and 13 after: nothing shorter, and the bound
    // no frame may pass.
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        codec::MessageBytes data;
        for (auto &b : data) b = static_cast<std::uint8_t>(random());
        const int bits = canFrameBits(random() & 0x7FF, data);
        EXPECT_GE(bits, 111);
        EXPECT_LE(bits, kWorstCaseFrameBits);
    }
    // Long runs of equal bits are stuffed; alternating bits are not.
    const codec::MessageBytes zeros{}, ones{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        alternating{0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
    EXPECT_GE(canFrameBits(0, zeros), 111 + 15);
    EXPECT_GE(canFrameBits(0x7FF, ones), 111 + 15);
    EXPECT_LT(canFrameBits(0x2AA, alternating), canFrameBits(0, zeros));
}

TEST(BusScheduler, KeepsTheBusBelowItsShareYetUsesIt)
{
    Rig rig;
    for (int round = 0; round < 200; ++round)
        for (int id = 1; id <= 63; ++id) rig.submit(id, codec::ReqReadPegelVal, 0);
    rig.run(2'000'000);
    ASSERT_FALSE(rig.sent.empty());

    // Every frame is charged with its own bits and a worst-case reply, so
    // counting each exchange as 2 x 135 bits bounds what the bus carried.
    const double perSecond = canbus::kBitrate * BusScheduler::kDefaultMaxLoad;
    const qint64 windowUs = 100'000;
    for (std::size_t first = 0; first < rig.sent.size(); ++first) {
        std::size_t n = 0;
        for (std::size_t j = first; j < rig.sent.size() && rig.sent[j].atUs < rig.sent[first].atUs + windowUs; ++j) ++n;
        const double bits = double(n) * BusScheduler::kExchangeBits;
        // The bucket lets a few exchanges go ahead of the average.
        ASSERT_LE(bits, perSecond * windowUs / 1e6 + BusScheduler::kBucketExchanges * BusScheduler::kExchangeBits)
            << "window from frame " << first;
    }
    // Idle budget is not wasted: two seconds carry nearly two seconds' share.
    const double carried = double(rig.sent.size()) * BusScheduler::kExchangeBits;
    EXPECT_GT(carried, 0.9 * 2 * perSecond);
    EXPECT_LT(rig.scheduler.pendingCount(), 200 * 63);
}

TEST(BusScheduler, EditsGoBeforeMeteringAndAlwaysFindRoom)
{
    Rig rig;
    for (int id = 1; id <= 63; ++id) rig.submit(id, codec::ReqReadPegelVal, 0);
    rig.submit(5, codec::ReqWritePreset, 4300);
    rig.submit(6, codec::ReqLoadPreset, 3);
    rig.scheduler.pump();
    ASSERT_GE(rig.sent.size(), 2u);
    EXPECT_EQ(rig.sent[0].code, codec::ReqWritePreset);
    EXPECT_EQ(rig.sent[1].code, codec::ReqLoadPreset);

    // Metering drains the bucket only down to one exchange: an edit that
    // comes while meters wait goes out at once, at the same instant.
    rig.run(20'000);
    ASSERT_GT(rig.scheduler.pendingCount(), 0); // meters still waiting
    const std::size_t before = rig.sent.size();
    rig.submit(7, codec::ReqWritePara, 4300);
    rig.scheduler.pump();
    ASSERT_EQ(rig.sent.size(), before + 1);
    EXPECT_EQ(rig.sent.back().code, codec::ReqWritePara);
    EXPECT_EQ(rig.sent.back().atUs, rig.clockUs);
}

TEST(BusScheduler, MeteringTakesTheUnitsInTurnAndEachUnitInOrder)
{
    Rig rig;
    // Unit 3 queues many polls at once; units 1 and 2 one or two each.
    for (std::uint16_t half = 0; half < 6; ++half) rig.submit(3, codec::ReqReadPotiVal, half);
    rig.submit(1, codec::ReqReadPegelVal, 0);
    rig.submit(2, codec::ReqReadPegelVal, 0);
    rig.submit(2, codec::ReqReadPegelVal, 1);
    rig.run(200'000);
    std::vector<int> units;
    for (const Sent &s : rig.sent) units.push_back(s.netId);
    EXPECT_EQ(units, (std::vector<int>{1, 2, 3, 2, 3, 3, 3, 3, 3}));
    EXPECT_EQ(rig.scheduler.counters().meterSent, 9u);
}

TEST(BusScheduler, DroppedUnitsSendNothingMoreAndFramesReachTheirUnitsPort)
{
    Rig rig;
    for (int i = 0; i < 20; ++i) rig.submit(9, codec::ReqReadPegelVal, 0);
    rig.scheduler.dropUnit(9);
    rig.run(100'000);
    for (const Sent &s : rig.sent) EXPECT_NE(s.netId, 9);

    QSignalSpy nine(rig.scheduler.port(9), &UnitPort::frameArrived);
    QSignalSpy all(&rig.scheduler, &BusScheduler::frameArrived);
    const auto reply = codec::buildMessage(codec::RepReadPara, 120, 9);
    rig.scheduler.frameReceived(canbus::identifierForNetId(9) + 31, reply);
    rig.scheduler.frameReceived(canbus::identifierForNetId(10), reply);
    EXPECT_EQ(nine.count(), 1);
    EXPECT_EQ(all.count(), 2);
    EXPECT_GT(rig.scheduler.counters().bitsReceived, 2u * 110);
}

TEST(BusScheduler, MetersKeepASmallShareWhileEditsFillTheBus)
{
    Rig rig;
    for (int i = 0; i < 300; ++i) rig.submit(1, codec::ReqWritePreset, 4300);
    for (int id = 2; id <= 40; ++id) rig.submit(id, codec::ReqReadPegelVal, 0);
    rig.run(500'000);
    int edits = 0, meters = 0;
    for (const Sent &s : rig.sent) (s.code == codec::ReqWritePreset ? edits : meters)++;
    // One meter frame after every ten edits: the edits lose at most a tenth.
    EXPECT_GT(meters, 0);
    EXPECT_LE(meters * BusScheduler::kEditsPerMeter, edits + BusScheduler::kEditsPerMeter);
    EXPECT_GE(meters * BusScheduler::kEditsPerMeter, edits - BusScheduler::kEditsPerMeter);
}
