// The editor's connection over the host's CAN window, on the fake driver.
#include "can_test_support.h"

#include "zar40/comm/can/CanWndTransport.h"
#include "zar40/comm/Communicationmodul.h"

#include "ScriptedUserPrompts.h"
#include "can/CanWnd.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>

using namespace zar40;
using namespace zar40::comm;
using namespace zar40::comm::test;
using codec::Message;

namespace {

class CanWindowLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prompts.setAcknowledgeNotices(true);
        prompts.setFailureHandler([](const QString &why) { ADD_FAILURE() << "prompt: " << why.toStdString(); });
        auto driver = std::make_unique<FakeUcan>();
        fake = driver.get();
        window = new CCanWnd(std::move(driver), &mainFrame);
        units = std::make_unique<FakeBusUnits>(*fake);
        engine.setTimeout(3000);
    }
    void TearDown() override { units.reset(); }

    // A connection of the editor for NETID through the main frame's CAN window.
    std::unique_ptr<CCommunicationmodul> editor(int netId, std::vector<int> &notes)
    {
        auto conn = std::make_unique<CCommunicationmodul>(nullptr, &engine);
        conn->setConnectionType(CCommunicationmodul::ConnectionType::CanBus);
        conn->setNetId(netId);
        conn->setCanTransportFactory(canWindowTransportFactory(&mainFrame));
        conn->setTransferUi(&ui);
        QObject::connect(conn.get(), &CCommunicationmodul::notification, [&notes](Notification code) { notes.push_back(int(code)); });
        return conn;
    }
    static int count(const std::vector<int> &notes, int code)
    {
        return int(std::count(notes.begin(), notes.end(), code));
    }

    ScriptedUserPrompts prompts;
    ScopedUserPrompts installed{prompts};
    CTransactionEngine engine;
    RecordingUi ui;
    QWidget mainFrame;
    CCanWnd *window = nullptr;
    FakeUcan *fake = nullptr;
    std::unique_ptr<FakeBusUnits> units;
};

TEST_F(CanWindowLinkTest, RegistersItsNetIdSendsUnderNetIdTimes32AndUnregistersOnClose)
{
    units->addUnit(3);
    std::vector<int> notes;
    auto conn = editor(3, notes);
    ASSERT_TRUE(conn->connectToDevice());

    // The window's entry for Net-ID 3 holds this connection's link.
    EXPECT_EQ(window->clientCount(), 1);
    EXPECT_EQ(window->clients()[2].canId, 96);
    EXPECT_EQ(window->clients()[2].client, conn->transport());
    ASSERT_TRUE(waitUntil([&] { return count(notes, int(Notification::Connected)) == 1; }));

    const QList<ucan::CanMsg> sent = fake->written();
    ASSERT_EQ(sent.size(), 4); // connect, device id, revision, password
    const std::uint16_t codes[] = {codec::ReqConnect, codec::ReqDeviceID, codec::ReqRevision, codec::ReqCompPwd};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(sent[i].id, 96u);
        EXPECT_EQ(sent[i].frameFormat, ucan::kFormatStandard);
        EXPECT_EQ(sent[i].length, 8);
        const codec::MessageBytes expected = codec::buildMessage(codes[i], 0, 0);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), sent[i].data)) << "frame " << i;
    }

    // A read reply travels back as the 8 bytes of the routed frame.
    std::vector<Message> replies;
    QObject::connect(conn.get(), &CCommunicationmodul::replied,
                     [&](const Message &, const Message &reply) { replies.push_back(reply); });
    conn->postTransaction(codec::ReqReadPara, 4300, 0);
    ASSERT_TRUE(waitUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(replies.front(), (Message{codec::RepReadPara, 4300, FakeBusUnits::valueOf(3, 4300)}));

    conn->postState(codec::ReqDisconnect);
    ASSERT_TRUE(waitUntil([&] { return count(notes, int(Notification::Closed)) == 1; }));
    EXPECT_EQ(conn->state(), State::Idle);
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_EQ(window->clients()[2].client, nullptr);
    // The last registration gone, the window lets go of the module.
    EXPECT_FALSE(fake->moduleOpen());

    // A new connect registers again and starts the link again.
    ASSERT_TRUE(conn->connectToDevice());
    EXPECT_EQ(window->clients()[2].client, conn->transport());
    ASSERT_TRUE(waitUntil([&] { return count(notes, int(Notification::Connected)) == 2; }));
    EXPECT_TRUE(prompts.texts().isEmpty());
}

TEST_F(CanWindowLinkTest, StartsNothingWithoutAWindowOrForAnUnusableNetId)
{
    std::vector<int> notes;
    QWidget otherFrame; // a main window without a CAN window
    CCommunicationmodul conn(nullptr, &engine);
    conn.setConnectionType(CCommunicationmodul::ConnectionType::CanBus);
    conn.setNetId(3);
    conn.setCanTransportFactory(canWindowTransportFactory(&otherFrame));
    EXPECT_FALSE(conn.connectToDevice());
    EXPECT_EQ(conn.state(), State::Idle);

    // Net-ID 64 would need identifier 0x800: refused with the window's
    // message, no registration, no frame.
    auto far = editor(64, notes);
    EXPECT_FALSE(far->connectToDevice());
    EXPECT_EQ(far->state(), State::Idle);
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_TRUE(fake->written().isEmpty());
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts().first().contains(QStringLiteral("Net-ID 64")));

    // A link made for it by hand never puts such an identifier on the bus.
    CanWndTransport direct(window, 64);
    EXPECT_FALSE(direct.open());
    EXPECT_FALSE(direct.send(Message{codec::ReqConnect, 0, 0}));
    EXPECT_TRUE(fake->written().isEmpty());
    spin(20);
    EXPECT_TRUE(notes.empty());
}

TEST_F(CanWindowLinkTest, ASecondConnectionForTheSameNetIdStartsNothingAndLeavesTheFirstAlone)
{
    units->addUnit(3);
    std::vector<int> firstNotes, secondNotes;
    auto first = editor(3, firstNotes);
    ASSERT_TRUE(first->connectToDevice());
    ASSERT_TRUE(waitUntil([&] { return count(firstNotes, int(Notification::Connected)) == 1; }));
    const int requestsBefore = units->requestsTo(3);

    auto second = editor(3, secondNotes);
    EXPECT_FALSE(second->connectToDevice());
    EXPECT_EQ(second->state(), State::Idle);
    EXPECT_EQ(prompts.texts(),
              QStringList{QStringLiteral("Error!\nThere is always a connection to this established!")});
    EXPECT_EQ(window->clients()[2].client, first->transport());
    // Gone again, the refused one must not take the first one's entry along.
    second.reset();
    EXPECT_EQ(window->clients()[2].client, first->transport());
    EXPECT_EQ(window->clientCount(), 1);
    spin(20);
    EXPECT_EQ(units->requestsTo(3), requestsBefore);
    EXPECT_TRUE(secondNotes.empty());

    // The first still talks to its unit.
    bool replied = false;
    QObject::connect(first.get(), &CCommunicationmodul::replied, [&] { replied = true; });
    first->postTransaction(codec::ReqReadPara, 1100, 0);
    EXPECT_TRUE(waitUntil([&] { return replied; }));
    EXPECT_TRUE(std::find(firstNotes.begin(), firstNotes.end(), int(Notification::Closed)) == firstNotes.end());
}

// The module unplugged (CAN_LINK_LOST) or the controller gone bus-off
// (CAN_LINK_CLOSED) in the middle of a preset read.
class CanLinkEndTest : public CanWindowLinkTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(CanLinkEndTest, DuringAPresetReadEndsWith51003AndLeavesTheRecordAlone)
{
    const bool unplug = GetParam();
    units->addUnit(5);
    std::vector<int> notes;
    auto conn = editor(5, notes);
    ASSERT_TRUE(conn->connectToDevice());
    ASSERT_TRUE(waitUntil([&] { return count(notes, int(Notification::Connected)) == 1; }));

    int reads = 0;
    bool ended = false;
    units->onRequest = [&](int, const Message &request) {
        if (request.code != codec::ReqReadPara || ++reads < 40) return true;
        if (!ended) {
            ended = true;
            if (unplug) fake->unplug();
            else fake->injectStatus(0x0010);
        }
        return false;
    };
    preset::PresetRecord target = preset::startupPreset(4);
    const preset::PresetRecord before = target;
    codec::DeviceSettings settings{};
    conn->readPreset(&target, &settings);
    EXPECT_FALSE(ui.editorEnabled());
    ASSERT_TRUE(waitUntil([&] { return count(notes, int(Notification::Closed)) == 1; }, 5000));

    EXPECT_EQ(conn->state(), State::Idle);
    EXPECT_EQ(conn->job(), CCommunicationmodul::Job::None);
    EXPECT_EQ(ui.titles, std::vector<QString>{QStringLiteral("Load Preset")});
    EXPECT_EQ(ui.closeResults, std::vector<int>{2});
    EXPECT_TRUE(ui.editorEnabled());
    EXPECT_TRUE(preset::sameFields(target, before));
    EXPECT_EQ(settings, codec::DeviceSettings{});
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_FALSE(conn->transport()->isOpen());
    if (unplug) {
        EXPECT_EQ(prompts.texts(), QStringList{QStringLiteral("Module was disconnected!")});
    } else {
        EXPECT_EQ(prompts.texts(),
                  QStringList{QStringLiteral("Bus error: CAN controller has gone into Bus-Off state.")});
    }

    // Nothing more follows: no read result, no time-out, no disconnect sent.
    const qsizetype frames = fake->written().size();
    spin(100);
    EXPECT_EQ(notes, (std::vector<int>{51002, 51003}));
    EXPECT_EQ(fake->written().size(), frames);
}

INSTANTIATE_TEST_SUITE_P(LostOrClosed, CanLinkEndTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "ModuleUnplugged" : "BusOff");
                         });

} // namespace
