// The connection against the real zar40-sim program over a pseudo-terminal.
#include "test_support.h"

#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/comm/CommCtrl.h"
#include "zar40/comm/Communicationmodul.h"
#include "zar40/comm/transfer_ui.h"
#include "zar40/ui/UserPromptsForComm.h"
#include "zar40/preset/fields.h"

#include "RecordingUi.h"
#include "ScriptedUserPrompts.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace zar40;
using namespace zar40::comm;
using namespace zar40::comm::test;
using vrntest::SimProcess;

namespace {

// Collects level, poti and mute-state replies as the level panel would.
struct PollTarget : QObject {
    bool event(QEvent *e) override
    {
        if (e->type() != CPollReplyEvent::eventType()) return QObject::event(e);
        const auto *r = static_cast<CPollReplyEvent *>(e);
        replies.push_back(codec::Message{r->code(), r->address(), r->value()});
        if (onReply) onReply();
        return true;
    }
    std::vector<codec::Message> replies;
    std::function<void()> onReply;
};

class DeviceLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prompts.setFailureHandler([](const QString &why) { ADD_FAILURE() << "prompt: " << why.toStdString(); });
        prompts.setAcknowledgeNotices(true);
        link.setPrompts(&adapter);
        link.setTransferUi(&ui);
        link.setConnectRepeatDelay(5);
        QObject::connect(&link, &CCommunicationmodul::notification, [this](Notification code) { notes.push_back(int(code)); });
    }

    bool startSim(const std::vector<std::string> &args = {})
    {
        if (!sim.startOnPty(args)) {
            ADD_FAILURE() << "zar40-sim did not start";
            return false;
        }
        link.setPort(QString::fromStdString(sim.link()));
        return true;
    }
    int count(int code) const { return static_cast<int>(std::count(notes.begin(), notes.end(), code)); }
    bool quiet() const { return !engine.isExchanging() && engine.pendingCount() == 0; }

    void connectOk()
    {
        ASSERT_TRUE(link.connectToDevice());
        ASSERT_TRUE(waitUntil([&] { return count(int(Notification::Connected)) == 1; }));
    }

    CTransactionEngine engine;
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope{prompts};
    zar40::ui::UserPromptsForComm adapter;
    RecordingUi ui;
    SimProcess sim;
    CCommunicationmodul link{nullptr, &engine};
    std::vector<int> notes;
};

TEST_F(DeviceLinkTest, ConnectsWithoutPasswordAndDisconnects)
{
    ASSERT_TRUE(startSim());
    connectOk();
    EXPECT_TRUE(prompts.shown().isEmpty());
    EXPECT_EQ(link.state(), State::ReqCompPwd); // replies never overwrite the state
    EXPECT_EQ(link.job(), CCommunicationmodul::Job::None);
    EXPECT_EQ(engine.counters().completed, 4u);

    link.postState(codec::ReqDisconnect);
    EXPECT_EQ(link.state(), State::ReqDisconnect);
    ASSERT_TRUE(waitUntil([&] { return count(int(Notification::Closed)) == 1; }));
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_FALSE(link.transport()->isOpen());
    EXPECT_EQ(notes, (std::vector<int>{51002, 51003}));
}

TEST_F(DeviceLinkTest, AsksForThePasswordAndSendsItAsANumber)
{
    ASSERT_TRUE(startSim({"--password", "1234"}));
    prompts.answerText(QStringLiteral("1233")).answerText(QStringLiteral("  01234xyz"));
    connectOk();
    ASSERT_EQ(prompts.shown().size(), 2);
    for (const auto &shown : prompts.shown()) {
        EXPECT_EQ(shown.kind, ScriptedUserPrompts::Kind::TextInput);
        EXPECT_EQ(shown.title, QStringLiteral("Enter Password"));
        EXPECT_TRUE(shown.password);
    }
    EXPECT_EQ(link.password(), 1234u);
}

TEST_F(DeviceLinkTest, SixRefusalsEndWithWrongPassword)
{
    ASSERT_TRUE(startSim({"--password", "42"}));
    for (const char *guess : {"1", "2", "no digits", "-42", "4200"}) prompts.answerText(QString::fromLatin1(guess));
    ASSERT_TRUE(link.connectToDevice());
    ASSERT_TRUE(waitUntil([&] { return prompts.texts().contains(QStringLiteral("Wrong Password!")); }));
    ASSERT_TRUE(waitUntil([&] { return quiet(); }));
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(prompts.shown().size(), 6);
    EXPECT_EQ(prompts.pendingAnswers(), 0);
    EXPECT_EQ(prompts.shown().last().icon, UserPrompts::Icon::Information);
    // Connect, device id, revision and six password comparisons.
    EXPECT_EQ(engine.counters().completed, 9u);
}

TEST_F(DeviceLinkTest, CancellingThePasswordDialogEndsQuietly)
{
    ASSERT_TRUE(startSim({"--password", "42"}));
    prompts.cancelText();
    ASSERT_TRUE(link.connectToDevice());
    ASSERT_TRUE(waitUntil([&] { return prompts.shown().size() == 1 && quiet(); }));
    spin(20);
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(engine.counters().completed, 4u);
}

TEST_F(DeviceLinkTest, ABusyDeviceIsAskedFiveTimesMore)
{
    {
        SCOPED_TRACE("six busy replies: give up without a word");
        ASSERT_TRUE(startSim({"--connect-busy", "6"}));
        ASSERT_TRUE(link.connectToDevice());
        ASSERT_TRUE(waitUntil([&] { return engine.counters().completed == 6 && link.state() == State::Idle; }));
        spin(50);
        EXPECT_EQ(engine.counters().completed, 6u);
        EXPECT_TRUE(notes.empty());
        EXPECT_TRUE(prompts.shown().isEmpty());
    }
    sim.stop();
    link.shutDown(); // idle: closes the port
    {
        SCOPED_TRACE("five busy replies: the sixth request gets through");
        SimProcess second;
        ASSERT_TRUE(second.startOnPty({"--connect-busy", "5"}));
        link.setPort(QString::fromStdString(second.link()));
        const auto before = engine.counters().completed;
        connectOk();
        EXPECT_EQ(engine.counters().completed - before, 9u);
    }
}

TEST_F(DeviceLinkTest, AWrongRevisionIsShownWithBothRevisions)
{
    ASSERT_TRUE(startSim({"--revision", "1.4"}));
    ASSERT_TRUE(link.connectToDevice());
    ASSERT_TRUE(waitUntil([&] { return prompts.shown().size() == 1; }));
    EXPECT_EQ(prompts.texts().first(), QStringLiteral("Wrong Firmware or Plugin Version!\n"
                                                      "Your Plugin Version      : Rev. 1.5\n"
                                                      "Your Firmware Version : Rev. 1.4"));
    EXPECT_EQ(prompts.shown().first().icon, UserPrompts::Icon::Information);
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_TRUE(notes.empty());
}

TEST_F(DeviceLinkTest, AMissingOrBusyPortIsReportedAndStaysIdle)
{
    ASSERT_TRUE(startSim());
    const QString port = QString::fromStdString(sim.link());
    link.setPort(port + QStringLiteral(".missing"));
    EXPECT_FALSE(link.connectToDevice());
    ASSERT_EQ(prompts.shown().size(), 1);
    EXPECT_EQ(prompts.shown().first().icon, UserPrompts::Icon::Error);
    EXPECT_TRUE(prompts.texts().first().contains(QStringLiteral("No such file or directory")));

    CCommCtrl holder;
    ASSERT_TRUE(holder.open(port, QStringLiteral("115200,n,8,1")));
    link.setPort(port);
    EXPECT_FALSE(link.connectToDevice());
    ASSERT_EQ(prompts.shown().size(), 2);
    EXPECT_TRUE(prompts.texts().last().startsWith(port));
    spin(20);
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_EQ(engine.counters().attempts, 0u);
    EXPECT_TRUE(notes.empty());
}

TEST_F(DeviceLinkTest, WritesAndReadsAWholePresetAndTouchesTheTargetOnlyAtTheEnd)
{
    ASSERT_TRUE(startSim({"--device-number", "4711", "--device-name", "Stage left"}));
    connectOk();

    const preset::PresetRecord written = distinctRecord();
    int writtenSignals = 0;
    QObject::connect(&link, &CCommunicationmodul::presetWritten, [&] { ++writtenSignals; });
    link.writePreset(written);
    EXPECT_EQ(link.state(), State::ReqWritePreset);
    EXPECT_TRUE(link.acceptsWrites());
    ASSERT_TRUE(waitUntil([&] { return writtenSignals == 1; }));
    EXPECT_EQ(link.job(), CCommunicationmodul::Job::None);
    EXPECT_EQ(ui.titles, std::vector<QString>{QStringLiteral("Transfer Preset")});
    EXPECT_EQ(ui.progress.back(), std::make_pair(339, 339));
    EXPECT_EQ(ui.closeResults, std::vector<int>{2});
    EXPECT_EQ(ui.enabledLog, (std::vector<bool>{false, true}));
    EXPECT_TRUE(notes == std::vector<int>{51002}); // a write ends without a notification

    // Read it back into a record that holds something else entirely.
    preset::PresetRecord target = preset::startupPreset(7);
    const preset::PresetRecord before = target;
    codec::DeviceSettings settings{};
    settings[1] = 0xABCD; // does not travel
    bool changedEarly = false;
    int progressCalls = 0;
    QObject::connect(&link, &CCommunicationmodul::transferProgress, [&](int done, int total) {
        ++progressCalls;
        if (done < total && !preset::sameFields(target, before)) changedEarly = true;
    });
    link.readPreset(&target, &settings);
    ASSERT_TRUE(waitUntil([&] { return count(int(Notification::PresetRead)) == 1; }));
    spin(20);
    EXPECT_EQ(count(int(Notification::PresetRead)), 1);
    EXPECT_FALSE(changedEarly);
    EXPECT_EQ(progressCalls, 344);
    EXPECT_EQ(ui.titles.back(), QStringLiteral("Load Preset"));
    EXPECT_EQ(ui.totals.back(), 344);
    EXPECT_EQ(ui.progress.back(), std::make_pair(344, 344));
    EXPECT_TRUE(ui.editorEnabled());

    preset::PresetRecord expected = written;
    codec::setSummeName(expected);
    expected.number = before.number; // the slot number does not travel
    const auto differing = preset::differingFields(target, expected);
    EXPECT_TRUE(differing.empty()) << differing.size() << " fields differ, first " << differing.front()->path;
    EXPECT_EQ(codec::deviceNumber(settings), 4711u);
    EXPECT_EQ(codec::deviceName(settings), "Stage left");
    EXPECT_EQ(settings[1], 0xABCDu);
    EXPECT_EQ(link.state(), State::ReqReadPara);
    EXPECT_EQ(link.job(), CCommunicationmodul::Job::None);
}

TEST_F(DeviceLinkTest, GarbledRepliesAreAskedAgain)
{
    ASSERT_TRUE(startSim({"--garble-every", "7"}));
    connectOk();
    preset::PresetRecord target = preset::defaultPreset();
    link.readPreset(&target, nullptr);
    ASSERT_TRUE(waitUntil([&] { return count(int(Notification::PresetRead)) == 1; }));
    EXPECT_GT(engine.counters().rejected, 40u);
    EXPECT_EQ(engine.counters().refused, 0u);
    EXPECT_EQ(preset::textOf(target.inputs[preset::kSumme].NAME), "Summe");
}

TEST_F(DeviceLinkTest, ASilentDeviceEndsInATimeOutAndLeavesTheRecordAlone)
{
    ASSERT_TRUE(startSim({"--hang-after", "30"}));
    connectOk();
    engine.setTimeout(1000);
    preset::PresetRecord target = preset::startupPreset(3);
    const preset::PresetRecord before = target;
    link.readPreset(&target, nullptr);
    ASSERT_TRUE(waitUntil([&] { return count(int(Notification::TimedOut)) == 1; }));
    EXPECT_TRUE(preset::sameFields(target, before));
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_FALSE(link.transport()->isOpen());
    EXPECT_EQ(ui.closeResults, std::vector<int>{2});
    EXPECT_TRUE(ui.editorEnabled());
    spin(50);
    EXPECT_EQ(notes, (std::vector<int>{51002, 51004}));
}

TEST_F(DeviceLinkTest, TwentyWrongAnswersRefuseTheConnection)
{
    ASSERT_TRUE(startSim({"--garble-every", "1"}));
    std::optional<CTransactionEngine::Counters> atRefusal;
    QObject::connect(&link, &CCommunicationmodul::notification, [&](Notification code) {
        if (code == Notification::Refused) atRefusal = engine.counters();
    });
    ASSERT_TRUE(link.connectToDevice());
    ASSERT_TRUE(waitUntil([&] { return count(int(Notification::Refused)) == 1; }));
    ASSERT_TRUE(atRefusal);
    EXPECT_EQ(atRefusal->attempts, 20u);
    EXPECT_EQ(atRefusal->rejected, 20u);
    // The shut-down asks the device to disconnect; it cannot answer that
    // either, and the connection closes instead of asking for ever.
    ASSERT_TRUE(waitUntil([&] { return count(int(Notification::Closed)) == 1; }));
    spin(50);
    EXPECT_EQ(notes, (std::vector<int>{51005, 51003}));
    EXPECT_EQ(engine.counters().attempts, 40u);
    EXPECT_EQ(engine.counters().refused, 2u);
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_FALSE(link.transport()->isOpen());
}

TEST_F(DeviceLinkTest, PollsWaitBehindAPresetWrite)
{
    ASSERT_TRUE(startSim());
    connectOk();
    PollTarget panel;
    link.setReplyTarget(&panel);
    bool written = false;
    std::vector<bool> writtenWhenPollAnswered;
    panel.onReply = [&] { writtenWhenPollAnswered.push_back(written); };
    QObject::connect(&link, &CCommunicationmodul::presetWritten, [&] { written = true; });

    link.writePreset(distinctRecord());
    link.postTransaction(codec::ReqReadPegelVal, 0, 0);
    link.postTransaction(codec::ReqReadPegelVal, 1, 0);
    ASSERT_TRUE(waitUntil([&] { return panel.replies.size() == 2; }));
    EXPECT_EQ(writtenWhenPollAnswered, (std::vector<bool>{true, true}));
    EXPECT_EQ(panel.replies[0].code, codec::RepReadPegelVal);
    EXPECT_EQ(panel.replies[0].address, 0);
    EXPECT_EQ(panel.replies[1].address, 1);

    // Without a reply target the answers go nowhere.
    link.setReplyTarget(nullptr);
    link.postTransaction(codec::ReqReadMuteState, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return quiet(); }));
    spin(10);
    EXPECT_EQ(panel.replies.size(), 2u);
}

TEST_F(DeviceLinkTest, APulledPortEndsTheReadAsATimeOutAtOnce)
{
    // A limit far beyond the wait below: only the link failure can end it.
    engine.setTimeout(600000);
    ASSERT_TRUE(startSim());
    connectOk();
    preset::PresetRecord target = preset::startupPreset(5);
    const preset::PresetRecord before = target;
    QObject::connect(&link, &CCommunicationmodul::transferProgress, [&](int done, int) {
        if (done == 100) sim.kill();
    });
    link.readPreset(&target, nullptr);
    ASSERT_TRUE(waitUntil([&] { return count(int(Notification::TimedOut)) == 1; }, 15000));
    EXPECT_TRUE(preset::sameFields(target, before));
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_FALSE(link.transport()->isOpen());
    EXPECT_TRUE(ui.editorEnabled());
    EXPECT_FALSE(engine.isExchanging());
    spin(50);
    EXPECT_EQ(notes, (std::vector<int>{51002, 51004}));
}

} // namespace
