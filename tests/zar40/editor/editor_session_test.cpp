// The editor without its window: edits, the preset list and the connection
// cycle over a fake link, with questions answered by a script that may hold
// an answer back while the link changes under it.
#include "FakeTransport.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/comm/event_wait.h"
#include "zar40/editor/EditorPrompts.h"
#include "zar40/editor/EditorSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <deque>

using namespace zar40;
using editor::EditorPrompts;
using editor::EditorSession;
using State = EditorSession::CycleState;
using comm::test::FakeTransport;
using codec::Message;

namespace {

bool waitUntil(const std::function<bool()> &pred, int limitMs = 20000)
{
    return comm::runEventsUntil(pred, QDeadlineTimer(limitMs));
}

// Answers from a script, in order. A question asked while no answer is
// scripted is held until the test gives one with answerHeld().
class ScriptedPrompts : public EditorPrompts
{
public:
    void askYesNo(const QString &text, std::function<void(bool)> answered) override
    {
        ask(text, [answered](int a) { answered(a == Yes); });
    }
    void askYesNoCancel(const QString &text, std::function<void(Answer)> answered) override
    {
        ask(text, [answered](int a) { answered(a == Yes ? Answer::Yes : a == No ? Answer::No : Answer::Cancel); });
    }
    void chooseSlot(int number, std::function<void(std::optional<int>)> answered) override
    {
        ask(QStringLiteral("slot %1").arg(number), [answered](int a) {
            answered(a == Cancel ? std::nullopt : std::optional<int>(a));
        });
    }
    void showWaitBox(const QString &text, int, std::function<void()> closed) override
    {
        waitBoxes << text;
        // Closes from the event loop, as the real box does.
        QTimer::singleShot(0, [closed] { closed(); });
    }
    void askSaveFileName(std::function<void(const QString &)> answered) override
    {
        ask(QStringLiteral("save as"), [this, answered](int) { answered(savePath); });
    }
    std::optional<QString> enterPassword() override { return std::nullopt; }
    void information(const QString &text) override { shown << text; }
    void error(const QString &text) override { errors << text; }
    std::unique_ptr<comm::WaitWindow> openTransferWindow(const QString &, int) override { return nullptr; }

    static constexpr int Yes = 1000, No = 1001, Cancel = 1002;
    void script(std::initializer_list<int> answers) { m_answers.insert(m_answers.end(), answers); }
    void answerHeld(int answer)
    {
        auto held = std::move(m_held);
        m_held = nullptr;
        held(answer);
    }
    bool holding() const { return static_cast<bool>(m_held); }

    QStringList asked, shown, errors, waitBoxes;
    QString savePath;

private:
    void ask(const QString &text, std::function<void(int)> answer)
    {
        asked << text;
        if (m_answers.empty()) {
            m_held = std::move(answer);
            return;
        }
        const int a = m_answers.front();
        m_answers.pop_front();
        answer(a);
    }
    std::deque<int> m_answers;
    std::function<void(int)> m_held;
};

class EditorSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine.setTimeout(200);
        auto fake = std::make_unique<FakeTransport>();
        link = fake.get();
        link->responder = FakeTransport::wellBehavedUnit;
        session.link().setTransport(std::move(fake));
        session.link().setConnectRepeatDelay(0);
        session.setPrompts(&prompts);
        session.setWaitTimeScale(0);
    }
    // Connects and agrees on slot NUMBER; then ANSWERS: "Copy Preset to
    // ZAR?" and what follows it.
    void connectTo(int number, std::initializer_list<int> answers)
    {
        prompts.script({number});
        prompts.script(answers);
        ASSERT_TRUE(session.connectToUnit(comm::CCommunicationmodul::ConnectionType::SerialLine, "fake", 1));
        ASSERT_TRUE(waitUntil([&] { return session.cycleState() == State::Connected; }));
    }
    int sentWith(std::uint16_t code) const
    {
        return static_cast<int>(std::count_if(link->sent.begin(), link->sent.end(),
                                              [code](const Message &m) { return m.code == code; }));
    }
    bool outputsMuted(int count) const
    {
        int muted = 0;
        for (const auto &o : session.currentRecord().outputs) muted += o.MUTE != 0;
        return muted == count;
    }

    comm::CTransactionEngine engine;
    EditorSession session{nullptr, &engine};
    ScriptedPrompts prompts;
    FakeTransport *link = nullptr;
};

TEST_F(EditorSessionTest, MuteAllFollowsTheOutputsThroughUndoAndSingleMutes)
{
    ASSERT_TRUE(outputsMuted(0));
    EXPECT_EQ(session.muteAllCaption(), "Mute All");
    session.muteAll();
    EXPECT_TRUE(outputsMuted(6));
    EXPECT_EQ(session.muteAllCaption(), "UnMute All");
    session.undoStack()->undo();
    EXPECT_TRUE(outputsMuted(0));
    EXPECT_EQ(session.muteAllCaption(), "Mute All");
    // The next press mutes again instead of only flipping a caption.
    session.muteAll();
    EXPECT_TRUE(outputsMuted(6));
    session.muteAll();
    EXPECT_TRUE(outputsMuted(0));

    for (int ch = preset::kFirstOutput; ch < preset::kChannelCount; ++ch)
        session.setFader(ch, model::FaderChange::Mute, 1.0f);
    EXPECT_EQ(session.muteAllCaption(), "UnMute All");
    // The undone Mute All gave way to the presses after it.
    EXPECT_EQ(session.undoStack()->count(), 8);
}

TEST_F(EditorSessionTest, TheListRenewsWithNamesAndLocksAndDragsMakeOneUndoStep)
{
    QSignalSpy listChanges(&session, &EditorSession::presetListChanged);
    session.setPresetName("Stage left");
    EXPECT_EQ(session.presetList()[0].text, " 1 Stage left");
    session.setLocked(true);
    EXPECT_TRUE(session.presetList()[0].locked);
    EXPECT_EQ(listChanges.count(), 2);
    session.setLocked(false);

    // A fader drag: many positions, one step, and undo restores the start.
    for (float g : {-1.0f, -2.0f, -3.0f}) session.setFader(0, model::FaderChange::Gain, g, EditorSession::EditStep::Changing);
    session.setFader(0, model::FaderChange::Gain, -4.0f);
    EXPECT_EQ(session.currentRecord().inputs[0].GAIN, -4.0f);
    const int steps = session.undoStack()->count();
    session.undoStack()->undo();
    EXPECT_EQ(session.currentRecord().inputs[0].GAIN, 0.0f);
    EXPECT_EQ(session.undoStack()->count(), steps);
    EXPECT_EQ(listChanges.count(), 3);
}

TEST_F(EditorSessionTest, ConnectingToASlotShowsThatSlotsNumberEitherWay)
{
    session.setPresetName("Mine");
    connectTo(3, {ScriptedPrompts::Yes});
    EXPECT_EQ(prompts.asked, (QStringList{"slot 1", "Copy Preset to ZAR?"}));
    EXPECT_EQ(session.currentSlot(), 2);
    EXPECT_EQ(session.presetList()[2].text, " 3 Mine");
    EXPECT_EQ(sentWith(codec::ReqLoadPreset), 1);
    EXPECT_TRUE(session.isDeviceModified());
    EXPECT_TRUE(prompts.errors.isEmpty());

    // Reading instead: the unit's preset lands in the slot, with its number.
    prompts.script({ScriptedPrompts::No});
    session.disconnectFromUnit();
    ASSERT_TRUE(waitUntil([&] { return session.cycleState() == State::Idle; }));
    // No, and No to saving the name that is in no file.
    connectTo(7, {ScriptedPrompts::No, ScriptedPrompts::No});
    EXPECT_EQ(session.currentSlot(), 6);
    EXPECT_EQ(session.presetList()[6].text.left(3), " 7 ");
    EXPECT_TRUE(session.isLocalModified());
    EXPECT_TRUE(session.isConnected());
}

TEST_F(EditorSessionTest, EditsReachTheUnitOnlyWhileConnectedAndCopiesAreUndoable)
{
    QSignalSpy writes(&session, &EditorSession::parameterWritten);
    session.setFader(preset::kFirstOutput, model::FaderChange::Gain, -6.0f);
    EXPECT_EQ(writes.count(), 0);
    connectTo(1, {ScriptedPrompts::Yes});

    model::ChannelCopy copy;
    copy.outputFrom = 0;
    copy.outputTo = 1;
    copy.outputItems = model::CopyOutputGain;
    EXPECT_EQ(session.copyChannels(copy), 1);
    EXPECT_EQ(session.currentRecord().outputs[1].GAIN, -6.0f);
    ASSERT_EQ(writes.count(), 1);
    EXPECT_EQ(writes.at(0).at(0).toInt(), codec::ReqWritePara);
    EXPECT_EQ(writes.at(0).at(1).toInt(), 5300);
    session.undoStack()->undo();
    EXPECT_EQ(session.currentRecord().outputs[1].GAIN, 0.0f);
    EXPECT_EQ(writes.count(), 2); // the old value goes back to the unit
}

TEST_F(EditorSessionTest, ALinkLostWhileAQuestionIsOpenEndsTheCycleOnce)
{
    connectTo(1, {ScriptedPrompts::Yes});
    session.disconnectFromUnit(); // "Store Preset?" stays open
    ASSERT_TRUE(prompts.holding());
    const auto sentBefore = link->sent.size();
    link->breakLink();
    EXPECT_EQ(session.cycleState(), State::Idle);
    prompts.answerHeld(ScriptedPrompts::Yes);
    QCoreApplication::processEvents();
    EXPECT_EQ(link->sent.size(), sentBefore) << "a request went to the closed link";
    EXPECT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors.constFirst().startsWith("Communication ERROR."));

    // The same during the slot dialog and during "Copy Preset to ZAR?".
    for (int step = 0; step < 2; ++step) {
        if (step == 1) prompts.script({1});
        ASSERT_TRUE(session.connectToUnit(comm::CCommunicationmodul::ConnectionType::SerialLine, "fake", 1));
        ASSERT_TRUE(waitUntil([&] { return prompts.holding(); }));
        link->breakLink();
        prompts.answerHeld(step == 0 ? 1 : ScriptedPrompts::Yes);
        QCoreApplication::processEvents();
        EXPECT_EQ(session.cycleState(), State::Idle);
        EXPECT_EQ(prompts.errors.size(), 2 + step);
    }
}

TEST_F(EditorSessionTest, ASilentUnitTimesOutWithOneMessageAndNothingStaysBusy)
{
    connectTo(1, {ScriptedPrompts::Yes});
    link->responder = nullptr;
    session.storePreset();
    EXPECT_TRUE(session.isBusy());
    ASSERT_TRUE(waitUntil([&] { return session.cycleState() == State::Idle; }));
    EXPECT_FALSE(session.isBusy());
    EXPECT_FALSE(session.isConnected());
    EXPECT_EQ(prompts.errors.size(), 1);
    EXPECT_EQ(session.connectionPhase(), "Idle");
}

TEST_F(EditorSessionTest, ClosingWhileConnectedStoresSavesAndWaitsForTheUnit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    connectTo(2, {ScriptedPrompts::No}); // the unit's preset: in no file yet
    QSignalSpy ready(&session, &EditorSession::closeReady);
    prompts.savePath = dir.filePath("p.vpx");
    prompts.script({ScriptedPrompts::Yes, ScriptedPrompts::Yes, 0});
    ASSERT_TRUE(session.closeWhileLinked());
    EXPECT_EQ(prompts.asked.mid(2), (QStringList{"Store Preset?", "Do you want to save the current preset?", "save as"}));
    ASSERT_TRUE(waitUntil([&] { return ready.count() == 1; }));
    EXPECT_EQ(session.cycleState(), State::ReadyToClose);
    EXPECT_FALSE(session.isLocalModified());
    EXPECT_TRUE(QFileInfo::exists(prompts.savePath));
    // The store went out before the disconnect, for the slot in use.
    const auto store = std::find_if(link->sent.begin(), link->sent.end(),
                                    [](const Message &m) { return m.code == codec::ReqStorePreset; });
    ASSERT_NE(store, link->sent.end());
    EXPECT_EQ(store->address, 2);
    EXPECT_EQ(link->sent.back().code, codec::ReqDisconnect);
    EXPECT_FALSE(session.closeWhileLinked());
}

TEST_F(EditorSessionTest, CancelToSavingStillReadsAndTheCurrentSlotSendsNothing)
{
    session.setLocalModified(true);
    prompts.script({1, ScriptedPrompts::No, ScriptedPrompts::Cancel});
    ASSERT_TRUE(session.connectToUnit(comm::CCommunicationmodul::ConnectionType::SerialLine, "fake", 1));
    ASSERT_TRUE(waitUntil([&] { return session.cycleState() == State::Connected; }));
    EXPECT_EQ(prompts.asked.last(), "Do you want to save the current preset?");
    EXPECT_GT(sentWith(codec::ReqReadPara), 300);

    const auto sent = link->sent.size();
    session.chooseSlot(0);
    EXPECT_EQ(link->sent.size(), sent);
    session.chooseSlot(4);
    EXPECT_EQ(session.cycleState(), State::ChangingSlot);
    // One slot change at a time.
    session.chooseSlot(5);
    ASSERT_TRUE(waitUntil([&] { return session.cycleState() == State::Connected; }));
    EXPECT_EQ(session.currentSlot(), 4);
    EXPECT_FALSE(session.isDeviceModified());
    EXPECT_EQ(prompts.waitBoxes.last(), "Please wait\nwhile changing Preset");
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

TEST_F(EditorSessionTest, MeasurementsStayWithTheWindowAndAFitIsOneBatchedStep)
{
    QTemporaryDir dir;
    const QString good = dir.filePath("speaker.frd"), bad = dir.filePath("broken.txt");
    {
        QFile f(good);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("* measured\n20 80 0\n1000 86 10\n20000 75 -20\n");
        QFile b(bad);
        ASSERT_TRUE(b.open(QIODevice::WriteOnly));
        b.write("20 80\n30 nan\n");
    }
    QSignalSpy changed(&session, &EditorSession::measurementsChanged);
    QString why;
    EXPECT_FALSE(session.loadMeasurement(4, bad, &why));
    EXPECT_TRUE(why.startsWith("line 2")) << why.toStdString();
    EXPECT_EQ(changed.count(), 0);
    ASSERT_TRUE(session.loadMeasurement(4, good, &why)) << why.toStdString();
    EXPECT_EQ(session.measurementOf(4)->name, "speaker.frd");
    EXPECT_EQ(session.measurementOf(4)->data.size(), 3u);
    EXPECT_EQ(session.measurementLines(),
              QStringList{"Output 2: speaker.frd, 3 points from 20 Hz to 20000 Hz, magnitude and phase"});
    EXPECT_FALSE(session.measurementOf(3).has_value());
    EXPECT_FALSE(session.isLocalModified()); // the preset did not change
    EXPECT_EQ(session.undoStack()->count(), 0);

    connectTo(1, {ScriptedPrompts::Yes});
    QSignalSpy writes(&session, &EditorSession::parameterWritten);
    measurement::Bands bands{};
    bands[0] = {dsp::EqPeq2, 1000, 2.0f, -3.0f};
    bands[2] = {dsp::EqHighShelf12, 8000, 0.7f, 2.5f};
    session.applyFittedBands(4, bands);
    EXPECT_EQ(session.undoStack()->count(), 1);
    EXPECT_EQ(session.currentRecord().outputs[1].PEQ[2].TYPE, std::uint32_t(dsp::EqHighShelf12));
    ASSERT_GE(writes.count(), 2);
    // One batch: every write but the last says more follow.
    for (qsizetype i = 0; i < writes.count(); ++i)
        EXPECT_EQ(writes.at(i).at(0).toInt(), i + 1 < writes.count() ? codec::ReqWritePreset : codec::ReqWritePara);
    session.undoStack()->undo();
    EXPECT_EQ(session.currentRecord().outputs[1].PEQ[0].TYPE, preset::kBandOff);

    session.clearMeasurement(4);
    EXPECT_FALSE(session.hasMeasurements());
    EXPECT_EQ(changed.count(), 2);
}
