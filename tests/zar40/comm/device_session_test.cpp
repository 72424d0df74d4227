// The blocking session: each step returns with the device's answer or a
// reason, over a fake link the test steers and against zar40-sim.
#include "FakeTransport.h"
#include "test_support.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/comm/DeviceSession.h"
#include "zar40/comm/TransactionEngine.h"
#include "zar40/preset/fields.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

using namespace zar40;
using namespace zar40::comm;
using namespace zar40::comm::test;
using codec::Message;
using Failure = DeviceSession::Failure;

namespace {

// A unit on the fake link: password PASSWORD (0: none), firmware REVISION.
struct FakeUnit {
    std::uint32_t password = 0;
    std::uint32_t revision = codec::revisionWord(1, 5);
    std::optional<Message> operator()(const Message &m) const
    {
        switch (m.code) {
        case codec::ReqConnect:
        case codec::ReqDeviceID: return FakeTransport::answer(m, 1);
        case codec::ReqRevision: return FakeTransport::answer(m, revision);
        case codec::ReqCompPwd: return FakeTransport::answer(m, m.value == password ? 1 : 0);
        case codec::ReqReadPara:
            if (m.address == 9999) return Message{codec::RepError, m.address, 1};
            return FakeTransport::answer(m, 0x1000u + m.address);
        default: return FakeTransport::answer(m, 1);
        }
    }
};

class DeviceSessionTest : public ::testing::Test
{
protected:
    bool open(FakeUnit unit = {})
    {
        auto fake = std::make_unique<FakeTransport>();
        link = fake.get();
        link->responder = unit;
        return session.open(std::move(fake));
    }

    CTransactionEngine engine;
    DeviceSession session{&engine};
    FakeTransport *link = nullptr;
};

TEST_F(DeviceSessionTest, StepsWaitForTheirAnswers)
{
    session.setSwitchWait(0);
    session.setStoreWait(0);
    ASSERT_TRUE(open()) << session.error().toStdString();
    EXPECT_TRUE(session.isConnected());
    EXPECT_EQ(session.reportedRevision(), codec::revisionWord(1, 5));

    std::uint32_t value = 0;
    ASSERT_TRUE(session.readParameter(4300, value));
    EXPECT_EQ(value, 0x1000u + 4300);
    ASSERT_TRUE(session.switchToSlot(7));
    ASSERT_TRUE(session.sendAll({{codec::ReqWritePreset, 100, 1}, {codec::ReqWritePreset, 101, 2}, {codec::ReqWritePara, 110, 3}}));
    ASSERT_TRUE(session.storeToSlot(7));
    const auto sent = link->sent.mid(link->sent.size() - 5);
    EXPECT_EQ(sent[0], (Message{codec::ReqLoadPreset, 7, 0}));
    EXPECT_EQ(sent[1].code, codec::ReqWritePreset);
    EXPECT_EQ(sent[2].code, codec::ReqWritePreset);
    EXPECT_EQ(sent[3], (Message{codec::ReqWritePara, 110, 3}));
    EXPECT_EQ(sent[4], (Message{codec::ReqStorePreset, 7, 0}));

    // An error answer fails the step and leaves the connection up.
    EXPECT_FALSE(session.readParameter(9999, value));
    EXPECT_EQ(session.failure(), Failure::DeviceError);
    EXPECT_TRUE(session.error().contains(QStringLiteral("ReqReadPara 9999")));
    EXPECT_TRUE(session.isConnected());

    ASSERT_TRUE(session.close());
    EXPECT_FALSE(session.isConnected());
    EXPECT_EQ(link->sent.back().code, codec::ReqDisconnect);
    EXPECT_FALSE(link->isOpen());
}

TEST_F(DeviceSessionTest, ASilentUnitEndsTheStepWithATimeOut)
{
    session.setTimeout(50);
    ASSERT_TRUE(open());
    link->responder = nullptr;
    std::uint32_t value = 0;
    EXPECT_FALSE(session.readParameter(1100, value));
    EXPECT_EQ(session.failure(), Failure::TimedOut);
    EXPECT_TRUE(session.error().startsWith(QStringLiteral("no answer from the device within 50 ms")));
    EXPECT_FALSE(session.isConnected());
    EXPECT_TRUE(session.close()); // nothing left to close
}

TEST_F(DeviceSessionTest, ConnectionFailuresSayWhy)
{
    {
        SCOPED_TRACE("password needed");
        EXPECT_FALSE(open(FakeUnit{1234}));
        EXPECT_EQ(session.failure(), Failure::PasswordNeeded);
    }
    {
        SCOPED_TRACE("password refused, then accepted");
        session.setPassword(99);
        EXPECT_FALSE(open(FakeUnit{1234}));
        EXPECT_EQ(session.failure(), Failure::PasswordRefused);
        session.setPassword(1234);
        EXPECT_TRUE(open(FakeUnit{1234}));
        EXPECT_TRUE(session.close());
    }
    {
        SCOPED_TRACE("another firmware: refused unless asked for");
        const FakeUnit older{0, codec::revisionWord(1, 4)};
        EXPECT_FALSE(open(older));
        EXPECT_EQ(session.failure(), Failure::WrongRevision);
        EXPECT_TRUE(session.error().contains(QStringLiteral("Your Firmware Version : Rev. 1.4")));
        session.setAcceptAnyRevision(true);
        EXPECT_TRUE(open(older));
        EXPECT_EQ(session.reportedRevision(), codec::revisionWord(1, 4));
    }
}

TEST(DeviceSessionWithSim, StoredPresetComesBackFromItsSlot)
{
    vrntest::SimProcess sim;
    ASSERT_TRUE(sim.startOnPty());
    CTransactionEngine engine;
    DeviceSession session(&engine);
    session.setSwitchWait(0);
    session.setStoreWait(0);
    ASSERT_TRUE(session.openSerial(QString::fromStdString(sim.link()))) << session.error().toStdString();

    const preset::PresetRecord written = distinctRecord(3);
    ASSERT_TRUE(session.switchToSlot(5));
    ASSERT_TRUE(session.writePreset(written));
    ASSERT_TRUE(session.storeToSlot(5));
    ASSERT_TRUE(session.switchToSlot(1));
    ASSERT_TRUE(session.switchToSlot(5));
    preset::PresetRecord back = preset::defaultPreset();
    codec::DeviceSettings settings{};
    ASSERT_TRUE(session.readPreset(back, settings)) << session.error().toStdString();
    preset::PresetRecord expected = written;
    codec::setSummeName(expected);
    expected.number = back.number;
    EXPECT_TRUE(preset::sameFields(back, expected));
    EXPECT_EQ(codec::deviceName(settings), "ZAR40 Simulator");
    EXPECT_TRUE(session.close());
}

} // namespace
