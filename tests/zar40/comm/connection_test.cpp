// The connection's own rules, over a fake link the test steers.
#include "FakeTransport.h"
#include "test_support.h"

#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/comm/CommPrompts.h"
#include "zar40/comm/Communicationmodul.h"
#include "zar40/comm/RemoteWatch.h"
#include "zar40/comm/transfer_ui.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zar40;
using namespace zar40::comm;
using namespace zar40::comm::test;
using codec::Message;

namespace {

TEST(PasswordText, IsConvertedLikeTheDialogDoes)
{
    EXPECT_EQ(passwordFromText(QStringLiteral("0042")), 42u);
    EXPECT_EQ(passwordFromText(QString()), 0u);
    EXPECT_EQ(passwordFromText(QStringLiteral("abc")), 0u);
    EXPECT_EQ(passwordFromText(QStringLiteral(" +17x3")), 17u);
    EXPECT_EQ(passwordFromText(QStringLiteral("-1")), 0xFFFFFFFFu);
    EXPECT_EQ(passwordFromText(QStringLiteral("99999999999")), 0x7FFFFFFFu);
    EXPECT_EQ(passwordFromText(QStringLiteral("-99999999999")), 0x80000000u);
}

class ConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto fake = std::make_unique<FakeTransport>();
        link = fake.get();
        link->responder = FakeTransport::wellBehavedUnit;
        conn.setTransport(std::move(fake));
        QObject::connect(&conn, &CCommunicationmodul::notification, [this](Notification code) { notes.push_back(int(code)); });
    }
    void connectOk()
    {
        ASSERT_TRUE(conn.connectToDevice());
        ASSERT_TRUE(waitUntil([&] { return notes == std::vector<int>{51002}; }));
    }

    CTransactionEngine engine;
    CCommunicationmodul conn{nullptr, &engine};
    FakeTransport *link = nullptr;
    std::vector<int> notes;
};

TEST_F(ConnectionTest, AnErrorReplyToATransferStepEndsTheTransferInsteadOfStallingIt)
{
    connectOk();
    link->responder = [](const Message &m) -> std::optional<Message> {
        if (m.code == codec::ReqReadPara && m.address == 2200) return Message{codec::RepError, m.address, 1};
        return FakeTransport::wellBehavedUnit(m);
    };
    preset::PresetRecord target = preset::startupPreset(0);
    const preset::PresetRecord before = target;
    conn.readPreset(&target, nullptr);
    // Refused, and the shut-down then asks the device to disconnect.
    ASSERT_TRUE(waitUntil([&] { return notes.size() == 3; }));
    EXPECT_EQ(notes, (std::vector<int>{51002, 51005, 51003}));
    EXPECT_TRUE(preset::sameFields(target, before));
    EXPECT_EQ(link->sent.back().code, codec::ReqDisconnect);
    EXPECT_EQ(conn.state(), State::Idle);
}

TEST_F(ConnectionTest, ASingleWriteDuringAPresetWriteIsNotTakenForItsEnd)
{
    connectOk();
    int written = 0;
    qsizetype sentWhenWritten = 0;
    QObject::connect(&conn, &CCommunicationmodul::presetWritten, [&] {
        ++written;
        sentWhenWritten = link->sent.size();
    });
    const qsizetype before = link->sent.size();
    conn.writePreset(preset::startupPreset(2));
    conn.postTransaction(codec::ReqWritePara, 4300, 0);
    ASSERT_TRUE(waitUntil([&] { return written == 1; }));
    spin(10);
    EXPECT_EQ(written, 1);
    EXPECT_EQ(sentWhenWritten - before, CCommunicationmodul::kWriteExchanges + 1);
    EXPECT_EQ(link->sent.back(), (Message{codec::ReqWritePara, 1100, link->sent.back().value}));
    // The final request carries the IN A delay of the record again.
    EXPECT_EQ(link->sent.back().value, link->sent[before].value);
}

TEST_F(ConnectionTest, ALostCanLinkClosesTheConnection)
{
    connectOk();
    preset::PresetRecord target{};
    link->responder = nullptr; // the read waits for its first reply
    conn.readPreset(&target, nullptr);
    ASSERT_TRUE(waitUntil([&] { return engine.isExchanging(); }));
    emit link->linkClosed();
    EXPECT_EQ(notes, (std::vector<int>{51002, 51003}));
    EXPECT_EQ(conn.state(), State::Idle);
    EXPECT_EQ(link->closes, 1);
    EXPECT_FALSE(engine.isExchanging());
}

TEST_F(ConnectionTest, APollQueuedAsTheDisconnectGoesOutDiesWithTheConnection)
{
    connectOk();
    QObject panel;
    conn.setReplyTarget(&panel);
    conn.postState(codec::ReqDisconnect);
    // The level panel's timer fires while the disconnect is on its way.
    conn.postTransaction(codec::ReqReadPegelVal, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return notes.size() >= 2; }));
    spin(20);
    EXPECT_EQ(notes, (std::vector<int>{51002, 51003})); // no time-out after the close
    EXPECT_EQ(link->sent.back().code, codec::ReqDisconnect);
    EXPECT_EQ(engine.pendingCount(), 0);
    EXPECT_EQ(conn.replyTarget(), nullptr);
}

// An editor tears its connection down before the watch that polls it; the
// watch must neither touch the freed connection nor poll it afterwards.
TEST_F(ConnectionTest, AWatchThatOutlivesItsConnectionLetsItGo)
{
    CTransactionEngine ownEngine;
    auto *doomed = new CCommunicationmodul(nullptr, &ownEngine);
    auto watch = std::make_unique<CRemoteWatch>(doomed);
    watch->setEnabled(true);
    doomed->setReplyTarget(watch.get());
    delete doomed;
    spin(CRemoteWatch::kFirstPollMs + 50);
    watch->setEnabled(false);
    watch.reset();
    EXPECT_EQ(ownEngine.pendingCount(), 0);
}

// An editor whose wait window cannot be made.
struct NoWindowUi : TransferUi {
    std::unique_ptr<WaitWindow> openWaitWindow(const QString &, int) override { return nullptr; }
    void setEditorEnabled(bool enabled) override { this->enabled = enabled; }
    bool enabled = true;
};

TEST_F(ConnectionTest, ADisconnectDuringATransferGivesTheEditorBack)
{
    NoWindowUi ui;
    conn.setTransferUi(&ui);
    connectOk();
    preset::PresetRecord target{};
    conn.readPreset(&target, nullptr);
    EXPECT_FALSE(ui.enabled);
    conn.postState(codec::ReqDisconnect);
    ASSERT_TRUE(waitUntil([&] { return notes.size() == 2; }));
    EXPECT_EQ(notes.back(), int(Notification::Closed));
    EXPECT_TRUE(ui.enabled);
    EXPECT_EQ(conn.job(), CCommunicationmodul::Job::None);
    spin(10);
    EXPECT_EQ(notes.size(), 2u); // no read result after the close
}

TEST(ConnectionOverCan, StartsNothingWithoutALinkForTheNetId)
{
    CTransactionEngine engine;
    CCommunicationmodul conn(nullptr, &engine);
    conn.setConnectionType(CCommunicationmodul::ConnectionType::CanBus);
    conn.setNetId(3);
    EXPECT_FALSE(conn.connectToDevice());

    int askedFor = 0;
    conn.setCanTransportFactory([&](int netId) -> std::unique_ptr<Transport> {
        askedFor = netId;
        auto fake = std::make_unique<FakeTransport>();
        fake->responder = FakeTransport::wellBehavedUnit;
        return fake;
    });
    std::vector<int> notes;
    QObject::connect(&conn, &CCommunicationmodul::notification, [&](Notification code) { notes.push_back(int(code)); });
    ASSERT_TRUE(conn.connectToDevice());
    EXPECT_EQ(askedFor, 3);
    ASSERT_TRUE(waitUntil([&] { return notes == std::vector<int>{51002}; }));
}

} // namespace
