// The editor's connection cycle against the real zar40-sim on a
// pseudo-terminal, driven through the plug-in with scripted answers.
#include "EditorFixture.h"

#include <QLineEdit>
#include <QStatusBar>

using vrntest::SimProcess;
namespace zp = zar40::preset;

namespace {

using ConnectionCycleTest = EditorFixture;

TEST_F(ConnectionCycleTest, StartsNotConnectedWithTheLimitsOfItsFields)
{
    EXPECT_EQ(state(), "Idle");
    EXPECT_EQ(connectButton->text(), "Connect");
    EXPECT_EQ(type->count(), 2);
    EXPECT_EQ(type->itemText(0), "RS232");
    EXPECT_EQ(type->itemText(1), "CAN");
    EXPECT_EQ(netId->maximum(), 63);
    type->setCurrentIndex(1);
    EXPECT_TRUE(port->isHidden());
    EXPECT_FALSE(netId->isHidden());
    type->setCurrentIndex(0);
    EXPECT_FALSE(port->isHidden());
    EXPECT_TRUE(netId->isHidden());
    // Slot and level controls need a unit.
    EXPECT_FALSE(presetList->isEnabled());
    EXPECT_FALSE(storeButton->isEnabled());
    EXPECT_FALSE(remoteWatch->isEnabled());
    EXPECT_EQ(presetList->count(), 32);
    EXPECT_EQ(pane("deviceNumberPane"), " n.C. ");
    EXPECT_EQ(pane("deviceStatePane"), "ZAR n.c.");
    EXPECT_EQ(pane("localStatePane"), "Local clean");
    EXPECT_EQ(frame->size(), QSize(900, 650));
    // With the CAN type and no host CAN window, Connect starts nothing.
    type->setCurrentIndex(1);
    connectButton->click();
    EXPECT_EQ(state(), "Idle");
    EXPECT_TRUE(prompts.texts().isEmpty());
}

TEST_F(ConnectionCycleTest, AnsweringNoShowsTheUnitsPresetInTheChosenSlot)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty({"--device-number", "4711"})) << "zar40-sim did not start";
    zp::setText(current().NAME, "Editor only");
    connectAndRead(sim, 3);
    EXPECT_EQ(prompts.texts(), QStringList{"Copy Preset to ZAR?"});
    EXPECT_EQ(document->session().currentSlot(), 2);
    EXPECT_EQ(presetList->currentIndex(), 2);
    EXPECT_EQ(currentName(), zp::textOf(zp::startupPreset(2).NAME));
    // The list names the slot the user picked.
    EXPECT_TRUE(presetList->itemText(2).startsWith(" 3 ")) << presetList->itemText(2).toStdString();
    // The editor shows what it read.
    QLineEdit *presetName = nullptr;
    for (QLineEdit *field : view->findChildren<QLineEdit *>())
        if (field->accessibleName() == "Preset name") presetName = field;
    ASSERT_NE(presetName, nullptr);
    EXPECT_EQ(presetName->text().toStdString(), currentName());
    EXPECT_FALSE(connectButton->isEnabled() == false);
    EXPECT_EQ(connectButton->text(), "Disconnect");
    EXPECT_FALSE(type->isEnabled());
    EXPECT_TRUE(presetList->isEnabled());
    EXPECT_TRUE(remoteWatch->isEnabled());
    EXPECT_EQ(pane("deviceNumberPane"), "  K004711");
    EXPECT_EQ(pane("deviceStatePane"), "ZAR modified");
    // The unit's preset is in no file.
    EXPECT_EQ(pane("localStatePane"), "Local modified");

    // Storing makes the unit's slot agree with what it plays.
    storeButton->click();
    ASSERT_TRUE(waitUntilSettled());
    EXPECT_EQ(pane("deviceStatePane"), "ZAR clean");

    disconnectWithoutStoring();
    EXPECT_EQ(prompts.texts().last(), "Store Preset?");
    EXPECT_EQ(pane("deviceNumberPane"), " n.C. ");
    EXPECT_EQ(pane("deviceStatePane"), "ZAR n.c.");
    EXPECT_FALSE(presetList->isEnabled());
    EXPECT_TRUE(port->isEnabled());
    EXPECT_EQ(prompts.failures(), 0);
}

TEST_F(ConnectionCycleTest, AnsweringYesPutsTheEditorsPresetIntoTheChosenSlot)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
    zp::setText(current().NAME, "From editor");
    current().outputs[4].GAIN = -7.5f;
    current().outputs[4].MUTE = 1;
    prompts.answerYes();
    ASSERT_NO_FATAL_FAILURE(connectTo(sim, 5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return transferRunning(); }, kTransferLimitMs));
    ASSERT_TRUE(waitUntilSettled());
    EXPECT_EQ(document->session().currentSlot(), 4);
    EXPECT_EQ(presetList->itemText(4), " 5 From editor");
    EXPECT_EQ(currentName(), "From editor");
    EXPECT_EQ(pane("deviceStatePane"), "ZAR modified");
    EXPECT_EQ(pane("localStatePane"), "Local clean");

    // Disconnecting with "Store Preset?" Yes keeps it in slot 5; reading
    // that slot back after reconnecting proves it arrived.
    prompts.answerYes();
    connectButton->click();
    ASSERT_TRUE(waitForState("Idle"));
    zp::setText(current().NAME, "Forgotten");
    current().outputs[4].GAIN = 0.0f;
    current().outputs[4].MUTE = 0;
    connectAndRead(sim, 5);
    EXPECT_EQ(currentName(), "From editor");
    EXPECT_EQ(current().outputs[4].GAIN, -7.5f);
    EXPECT_EQ(current().outputs[4].MUTE, 1);
    EXPECT_EQ(prompts.failures(), 0);
}

TEST_F(ConnectionCycleTest, CancelToSavingStillReadsTheUnit)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
    zp::setText(current().NAME, "Unsaved edit");
    document->session().setProperty("localModified", true);
    prompts.answerNo().answerCancel();
    ASSERT_NO_FATAL_FAILURE(connectTo(sim, 1));
    ASSERT_TRUE(waitUntilSettled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return currentName() != "Unsaved edit"; }, kTransferLimitMs));
    EXPECT_EQ(prompts.texts(), (QStringList{"Copy Preset to ZAR?", "Do you want to save the current preset?"}));
    EXPECT_EQ(currentName(), zp::textOf(zp::startupPreset(0).NAME));
}

TEST_F(ConnectionCycleTest, ChoosingASlotSwitchesTheUnitTheCurrentOneSendsNothing)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty({"--verbose"}, SimProcess::Stderr::Capture)) << "zar40-sim did not start";
    connectAndRead(sim, 2);
    std::string log = sim.stderrText(0);
    ASSERT_EQ(std::count(log.begin(), log.end(), '\n') > 340, true);
    ASSERT_NE(log.find("ReqLoadPreset        2"), std::string::npos) << log.substr(0, 600);

    emit presetList->activated(1);
    EXPECT_FALSE(waitBoxShowing());
    QTest::qWait(200);
    EXPECT_EQ(sim.stderrText(100), log) << "a request went out";

    emit presetList->activated(5);
    EXPECT_TRUE(waitBoxShowing());
    ASSERT_TRUE(waitUntilSettled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return currentName() == "Preset 6"; }, kTransferLimitMs));
    log = sim.stderrText(100);
    EXPECT_NE(log.find("ReqLoadPreset        6"), std::string::npos);
    EXPECT_EQ(document->session().currentSlot(), 5);
    EXPECT_EQ(pane("deviceStatePane"), "ZAR clean");
    EXPECT_EQ(pane("localStatePane"), "Local modified");
}

TEST_F(ConnectionCycleTest, ClosingWhileConnectedWaitsForTheUnitsAnswer)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
    connectAndRead(sim);
    // The unit's preset is in no file yet: the editor offers to save it.
    prompts.answerNo().answerNo();
    frame->close();
    EXPECT_EQ(manager->documents().size(), 1);
    EXPECT_EQ(state(), "Disconnecting");
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->documents().isEmpty(); }, kTransferLimitMs));
    EXPECT_EQ(prompts.texts().mid(1), (QStringList{"Store Preset?", "Do you want to save the current preset?"}));
}

TEST_F(ConnectionCycleTest, ClosingAgainstAHungUnitEndsInTheTimeOutAndTheFrameStays)
{
    SimProcess sim;
    // Connection sequence, slot switch and preset read, then silence.
    ASSERT_TRUE(sim.startOnPty({"--hang-after", "349"})) << "zar40-sim did not start";
    connectAndRead(sim);
    document->session().setProperty("localModified", false);
    prompts.answerNo().answerOk();
    frame->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompts.pendingAnswers() == 0; }, kTransferLimitMs));
    EXPECT_EQ(prompts.shown().last().icon, UserPrompts::Icon::Error);
    EXPECT_TRUE(prompts.texts().last().startsWith("Communication ERROR.\nPlease verify"));
    EXPECT_EQ(state(), "Idle");
    QTest::qWait(100);
    EXPECT_EQ(manager->documents().size(), 1);
    EXPECT_FALSE(frame->isHidden());
    // Nothing is linked any more: it closes at once now.
    frame->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager->documents().isEmpty(); }, 5000));
}

TEST_F(ConnectionCycleTest, RemoteWatchPollsAndADisconnectEndsItQuietly)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
    connectAndRead(sim);
    auto *panel = view->findChild<QWidget *>("levelPanel");
    ASSERT_NE(panel, nullptr);
    remoteWatch->setChecked(true);
    EXPECT_FALSE(panel->isHidden());
    EXPECT_EQ(frame->size(), QSize(900, 770));
    // Two cycles: one with pots and mute state, one without.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->property("remoteWatchCycles").toInt() >= 2; }, 10000));

    disconnectWithoutStoring();
    EXPECT_FALSE(remoteWatch->isChecked());
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(frame->size(), QSize(900, 650));
    QTest::qWait(1500);
    // No error box: the last prompt is the question before the disconnect.
    EXPECT_EQ(prompts.texts().last(), "Store Preset?");
    EXPECT_EQ(prompts.failures(), 0);
}

} // namespace
