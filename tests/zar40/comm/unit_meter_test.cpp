#include "FakeTransport.h"

#include "zar40/comm/UnitMeter.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

using namespace zar40;
using namespace zar40::comm;
using namespace zar40::comm::test;
using codec::Message;

namespace {

// Bounds only; nothing here is timed.
constexpr int kLimitMs = 5000;

// A unit whose levels are 1 to 8 and whose outputs 1 to 6 are muted.
std::optional<Message> meteredUnit(const Message &m)
{
    switch (m.code) {
    case codec::ReqReadPegelVal: return FakeTransport::answer(m, m.address == 0 ? 0x01020304u : 0x05060708u);
    case codec::ReqReadMuteState: return FakeTransport::answer(m, 0x1F8u);
    default: return std::nullopt;
    }
}

} // namespace

TEST(UnitMeter, ReadsBothLevelHalvesThenTheMutesWithoutConnecting)
{
    auto transport = std::make_unique<FakeTransport>();
    FakeTransport *fake = transport.get();
    fake->responder = meteredUnit;
    UnitMeter meter(std::move(transport));
    QSignalSpy levels(&meter, &UnitMeter::levelsChanged);
    QSignalSpy mutes(&meter, &UnitMeter::muteStateChanged);
    ASSERT_TRUE(meter.start());
    ASSERT_TRUE(mutes.wait(kLimitMs));
    EXPECT_EQ(levels.count(), 1);
    EXPECT_EQ(meter.levels(), (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(meter.muteState(), 0x1F8u);
    EXPECT_TRUE(meter.hasMuteState());
    EXPECT_EQ(meter.cycles(), 1);
    // Polls only: a unit an editor may hold is never asked to connect.
    ASSERT_EQ(fake->sent.size(), 3);
    EXPECT_EQ(fake->sent[0], (Message{codec::ReqReadPegelVal, 0, 0}));
    EXPECT_EQ(fake->sent[1], (Message{codec::ReqReadPegelVal, 1, 0}));
    EXPECT_EQ(fake->sent[2], (Message{codec::ReqReadMuteState, 0, 0}));

    // Stopped: nothing more goes out, even after the pause.
    meter.stop();
    QTest::qWait(UnitMeter::kPauseMs + 200);
    EXPECT_EQ(fake->sent.size(), 3);
}

TEST(UnitMeter, ASilentUnitIsReportedAndAskedAgainNextCycle)
{
    auto transport = std::make_unique<FakeTransport>();
    FakeTransport *fake = transport.get();
    UnitMeter meter(std::move(transport));
    meter.setTimeout(50);
    QSignalSpy silent(&meter, &UnitMeter::silent);
    ASSERT_TRUE(meter.start());
    ASSERT_TRUE(silent.wait(kLimitMs));
    EXPECT_EQ(meter.failures(), 1);

    // The unit comes back: the next cycle reads it.
    fake->responder = meteredUnit;
    QSignalSpy levels(&meter, &UnitMeter::levelsChanged);
    ASSERT_TRUE(levels.wait(kLimitMs));
    EXPECT_EQ(meter.levels()[7], 8);
}

TEST(UnitMeter, AnErrorReplyDoesNotStallTheCycle)
{
    auto transport = std::make_unique<FakeTransport>();
    FakeTransport *fake = transport.get();
    // Half 1 is refused with RepError (its address matches, so it passes).
    fake->responder = [](const Message &m) -> std::optional<Message> {
        if (m.code == codec::ReqReadPegelVal && m.address == 1) return Message{codec::RepError, 1, 4};
        return meteredUnit(m);
    };
    UnitMeter meter(std::move(transport));
    QSignalSpy mutes(&meter, &UnitMeter::muteStateChanged);
    ASSERT_TRUE(meter.start());
    ASSERT_TRUE(mutes.wait(kLimitMs));
    EXPECT_EQ(meter.levels(), (std::array<std::uint8_t, 8>{1, 2, 3, 4, 0, 0, 0, 0}));
}
