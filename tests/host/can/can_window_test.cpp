#include "can_test_support.h"
#include "FakeUcan.h"

#include "ScriptedUserPrompts.h"
#include "window_tree.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString AlreadyConnected = QStringLiteral("Error!\nThere is always a connection to this established!");
const QString NotInitialized = QStringLiteral("Error! Hardware not initialized!");
const QString NoModule = QStringLiteral("Error! No USB-CANModul found!");
const QString BusOff = QStringLiteral("Bus error: CAN controller has gone into Bus-Off state.");
const QString Disconnected = QStringLiteral("Module was disconnected!");
const QString Connected = QStringLiteral("Module was connected!");

class CanWindowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        prompts.setAcknowledgeNotices(true);
        auto driver = std::make_unique<FakeUcan>();
        fake = driver.get();
        window = std::make_unique<CCanWnd>(std::move(driver));
    }

    void TearDown() override
    {
        window.reset();
        EXPECT_EQ(prompts.failures(), 0);
    }

    // Every prompt shown so far had the information icon.
    bool allInformation() const
    {
        for (const auto &shown : prompts.shown()) {
            if (shown.icon != UserPrompts::Icon::Information || shown.buttons != UserPrompts::Buttons::Ok)
                return false;
        }
        return true;
    }

    ScriptedUserPrompts prompts;
    ScopedUserPrompts installed{prompts};
    FakeUcan *fake = nullptr;
    std::unique_ptr<CCanWnd> window;
};

TEST_F(CanWindowTest, FirstRegistrationStartsTheModuleAndFillsTheEntry)
{
    NoticeRecorder editor(window.get());
    EXPECT_EQ(window->notifyMessage(), 0u);

    ASSERT_EQ(editor.registerFor(3), 1);

    EXPECT_EQ(window->clientCount(), 1);
    EXPECT_EQ(window->clients()[2].canId, 96);
    EXPECT_EQ(window->clients()[2].client, &editor);
    EXPECT_EQ(window->clients()[2].clientHwnd, &editor);
    EXPECT_EQ(window->clients()[2].reserved, 0);
    for (int i = 0; i < CCanWnd::kClientTableSize; ++i) {
        if (i != 2) {
            EXPECT_EQ(window->clients()[i].canId, 0) << "entry " << i;
        }
    }
    EXPECT_NE(window->notifyMessage(), 0u);
    EXPECT_TRUE(window->canReady());
    EXPECT_TRUE(fake->connectControlOn());
    EXPECT_TRUE(fake->canInitialised());
    // 125 kbit/s, every identifier accepted.
    EXPECT_EQ(fake->lastBtr0(), 0x03);
    EXPECT_EQ(fake->lastBtr1(), 0x1C);
    EXPECT_EQ(fake->acceptanceMask(), 0xFFFFFFFFu);
    EXPECT_EQ(fake->acceptanceCode(), 0u);
    EXPECT_EQ(fake->calls(), (QStringList{"UcanInitHwConnectControl()", "UcanInitHardware(255)",
                                          "UcanGetHardwareInfo(7)", "UcanInitCan(7,0x03,0x1c,0xffffffff,0x0)"}));
    EXPECT_TRUE(prompts.shown().isEmpty());

    // A second client does not start the module again.
    NoticeRecorder other(window.get());
    fake->clearCalls();
    ASSERT_EQ(other.registerFor(5), 1);
    EXPECT_EQ(window->clientCount(), 2);
    EXPECT_TRUE(fake->calls().isEmpty());
}

TEST_F(CanWindowTest, PluginFindsTheWindowThroughTheMainFrame)
{
    QWidget mainFrame;
    WindowTree::setMainWindow(&mainFrame);
    auto *owned = new CCanWnd(std::make_unique<FakeUcan>(), &mainFrame);
    EXPECT_EQ(CCanWnd::find(), owned);
    EXPECT_EQ(CCanWnd::find(&mainFrame), owned);
    EXPECT_EQ(WindowTree::controlId(owned), 13000);
    WindowTree::setMainWindow(nullptr);
    EXPECT_EQ(CCanWnd::find(), nullptr);
}

TEST_F(CanWindowTest, FramesAreRoutedByIdentifierDividedBy32)
{
    NoticeRecorder net2(window.get()), net3(window.get());
    ASSERT_EQ(net3.registerFor(3), 1);
    ASSERT_EQ(net2.registerFor(2), 1);

    fake->injectFrame(100, asByteArray(bytes(0xA1)));
    // Handed over by a posted event, not inside the driver's callback.
    EXPECT_TRUE(net3.notices.isEmpty());
    deliverPosted();
    ASSERT_EQ(net3.notices.size(), 1);
    EXPECT_EQ(net3.notices[0].code, CAN_FRAME_RECEIVED);
    EXPECT_EQ(net3.notices[0].netId, 3);
    EXPECT_EQ(net3.notices[0].rxData, bytes(0xA1));
    EXPECT_EQ(net3.notices[0].eventData, bytes(0xA1));
    EXPECT_TRUE(net2.notices.isEmpty());

    fake->injectFrame(64, asByteArray(bytes(0xB2)));
    deliverPosted();
    ASSERT_EQ(net2.notices.size(), 1);
    EXPECT_EQ(net2.notices[0].rxData, bytes(0xB2));

    // The last identifier of Net-ID 3.
    fake->injectFrame(0x07F, asByteArray(bytes(0xC3)));
    deliverPosted();
    ASSERT_EQ(net3.notices.size(), 2);
    EXPECT_EQ(net3.notices[1].rxData, bytes(0xC3));
    EXPECT_EQ(net2.notices.size(), 1);
}

TEST_F(CanWindowTest, EveryFrameOfABurstReachesItsClientInOrder)
{
    NoticeRecorder net2(window.get()), net3(window.get());
    ASSERT_EQ(net3.registerFor(3), 1);
    ASSERT_EQ(net2.registerFor(2), 1);

    fake->injectFrames({FakeUcan::frame(0x61, asByteArray(bytes(1))), FakeUcan::frame(0x41, asByteArray(bytes(2))),
                        FakeUcan::frame(0x62, asByteArray(bytes(3)))});
    deliverPosted();

    ASSERT_EQ(net3.notices.size(), 2);
    EXPECT_EQ(net3.notices[0].rxData, bytes(1));
    EXPECT_EQ(net3.notices[1].rxData, bytes(3));
    ASSERT_EQ(net2.notices.size(), 1);
    EXPECT_EQ(net2.notices[0].rxData, bytes(2));
}

TEST_F(CanWindowTest, FramesWithoutARegisteredClientAreDropped)
{
    NoticeRecorder net3(window.get());
    ASSERT_EQ(net3.registerFor(3), 1);

    fake->injectFrames({
        FakeUcan::frame(0x01F, asByteArray(bytes(1))),  // Net-ID 0
        FakeUcan::frame(0x0A0, asByteArray(bytes(2))),  // Net-ID 5, nobody registered
        FakeUcan::frame(0x060, asByteArray(bytes(3)), ucan::kFormatExtended),
        FakeUcan::frame(0x060, asByteArray(bytes(4)), ucan::kFormatRemote),
    });
    deliverPosted();

    EXPECT_TRUE(net3.notices.isEmpty());
    // Someone else's traffic neither unregisters anybody nor stops the link.
    EXPECT_EQ(window->clientCount(), 1);
    EXPECT_EQ(window->clients()[2].canId, 96);
    EXPECT_TRUE(window->linkStarted());
}

TEST_F(CanWindowTest, SecondRegistrationOfANetIdIsRefusedAndTheFirstStays)
{
    NoticeRecorder first(window.get()), second(window.get());
    ASSERT_EQ(first.registerFor(4), 1);

    EXPECT_EQ(second.registerFor(4), 0);
    EXPECT_EQ(prompts.texts(), QStringList{AlreadyConnected});
    EXPECT_TRUE(allInformation());
    EXPECT_EQ(window->clients()[3].client, &first);
    EXPECT_EQ(window->clientCount(), 1);

    // The refused editor cleaning up must not end the other's registration.
    EXPECT_EQ(second.unregisterFrom(4), 1);
    EXPECT_EQ(window->clients()[3].client, &first);
    EXPECT_EQ(window->clientCount(), 1);
    EXPECT_TRUE(window->linkStarted());
}

TEST_F(CanWindowTest, LastUnregisterShutsTheLinkDownAndARegisterRestartsIt)
{
    NoticeRecorder a(window.get()), b(window.get());
    ASSERT_EQ(a.registerFor(1), 1);
    ASSERT_EQ(b.registerFor(2), 1);
    fake->clearCalls();

    ASSERT_EQ(a.unregisterFrom(1), 1);
    EXPECT_TRUE(fake->calls().isEmpty());
    EXPECT_EQ(window->clientCount(), 1);

    ASSERT_EQ(b.unregisterFrom(2), 1);
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_EQ(window->clients()[1].canId, 0);
    EXPECT_EQ(window->clients()[1].client, nullptr);
    EXPECT_EQ(fake->calls(), (QStringList{"UcanResetCan(7)", "UcanDeinitCan(7)", "UcanDeinitHardware(7)",
                                          "UcanDeinitHwConnectControl()"}));
    EXPECT_EQ(window->notifyMessage(), 0u);
    EXPECT_FALSE(fake->moduleOpen());
    EXPECT_FALSE(fake->connectControlOn());
    EXPECT_FALSE(window->canReady());

    // Unregistering again, or a Net-ID nobody holds, changes nothing.
    fake->clearCalls();
    EXPECT_EQ(b.unregisterFrom(2), 1);
    EXPECT_EQ(b.unregisterFrom(40), 1);
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_TRUE(fake->calls().isEmpty());

    ASSERT_EQ(b.registerFor(2), 1);
    EXPECT_TRUE(fake->moduleOpen());
    EXPECT_TRUE(fake->canInitialised());
    EXPECT_NE(window->notifyMessage(), 0u);

    // And it carries frames again.
    fake->injectFrame(0x45, asByteArray(bytes(9)));
    deliverPosted();
    ASSERT_EQ(b.notices.size(), 1);
    EXPECT_EQ(b.notices[0].rxData, bytes(9));
    EXPECT_TRUE(prompts.shown().isEmpty());
}

TEST_F(CanWindowTest, SendWithoutClientSaysHardwareNotInitialized)
{
    NoticeRecorder editor(window.get());
    EXPECT_EQ(editor.send(0x60, bytes(1)), 1);
    EXPECT_EQ(prompts.texts(), QStringList{NotInitialized});
    EXPECT_TRUE(allInformation());
    EXPECT_TRUE(fake->written().isEmpty());
    EXPECT_FALSE(fake->moduleOpen());
}

TEST_F(CanWindowTest, SendPutsOneStandardFrameWithEightBytesOnTheBus)
{
    NoticeRecorder editor(window.get());
    ASSERT_EQ(editor.registerFor(3), 1);
    fake->clearCalls();

    ASSERT_EQ(editor.send(0x060, bytes(0x00, 0x88)), 1);

    EXPECT_EQ(fake->calls(), (QStringList{"UcanSetAcceptance(7)", "UcanWriteCanMsg(0x060)"}));
    ASSERT_EQ(fake->written().size(), 1);
    const ucan::CanMsg sent = fake->written().first();
    EXPECT_EQ(sent.id, 0x060u);
    EXPECT_EQ(sent.frameFormat, ucan::kFormatStandard);
    EXPECT_EQ(sent.length, 8);
    EXPECT_EQ(std::memcmp(sent.data, bytes(0x00, 0x88).data(), 8), 0);
    EXPECT_EQ(fake->acceptanceMask(), 0xFFFFFFFFu);
}

TEST_F(CanWindowTest, IdentifiersBeyondElevenBitsAndNetIdsBeyond63AreRefused)
{
    NoticeRecorder editor(window.get());
    // Net-ID 64 would need identifier 0x800.
    EXPECT_EQ(editor.registerFor(64), 0);
    EXPECT_EQ(editor.registerFor(0), 0);
    EXPECT_EQ(editor.registerFor(-3), 0);
    EXPECT_EQ(editor.registerFor(65), 0);
    ASSERT_EQ(prompts.texts().size(), 4);
    EXPECT_TRUE(prompts.texts()[0].contains("Net-ID 64"));
    EXPECT_TRUE(prompts.texts()[0].contains("1 to 63"));
    EXPECT_TRUE(allInformation());
    // Nothing was started for them.
    EXPECT_TRUE(fake->calls().isEmpty());
    EXPECT_EQ(window->clientCount(), 0);

    ASSERT_EQ(editor.registerFor(63), 1);
    EXPECT_EQ(window->clients()[62].canId, 0x7E0);
    prompts.clear();
    EXPECT_EQ(editor.send(0x800, bytes(1)), 0);
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts()[0].contains("0x800"));
    EXPECT_TRUE(fake->written().isEmpty());

    EXPECT_EQ(editor.send(0x7FF, bytes(1)), 1);
    EXPECT_EQ(fake->written().size(), 1);
}

TEST_F(CanWindowTest, UnplugPostsLinkLostToEveryClientAndPlugReopensTheModule)
{
    NoticeRecorder a(window.get()), b(window.get());
    ASSERT_EQ(a.registerFor(1), 1);
    ASSERT_EQ(b.registerFor(9), 1);

    fake->unplug();
    EXPECT_FALSE(window->canReady());
    deliverPosted();

    EXPECT_EQ(a.codes(), QList<int>{CAN_LINK_LOST});
    EXPECT_EQ(b.codes(), QList<int>{CAN_LINK_LOST});
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_EQ(window->clients()[0].client, nullptr);
    EXPECT_EQ(window->clients()[8].client, nullptr);
    EXPECT_EQ(prompts.texts(), QStringList{Disconnected});
    // Connect notification stays on to see the module come back.
    EXPECT_TRUE(fake->connectControlOn());

    // Sends are refused while nobody is registered; nothing reaches the driver.
    EXPECT_EQ(a.send(0x20, bytes(1)), 1);
    EXPECT_TRUE(fake->written().isEmpty());

    prompts.clear();
    fake->plug();
    deliverPosted();
    EXPECT_EQ(prompts.texts(), QStringList{Connected});
    EXPECT_TRUE(fake->moduleOpen());
    EXPECT_TRUE(window->canReady());

    // A new registration after the module came back works (the stale start
    // is closed first, so the module is not found in use).
    prompts.clear();
    ASSERT_EQ(a.registerFor(1), 1);
    EXPECT_TRUE(prompts.shown().isEmpty());
    fake->injectFrame(0x21, asByteArray(bytes(5)));
    deliverPosted();
    ASSERT_EQ(a.notices.size(), 2);
    EXPECT_EQ(a.notices[1].rxData, bytes(5));
    EXPECT_TRUE(allInformation());
}

TEST_F(CanWindowTest, RegisteringWhileTheModuleIsUnpluggedFails)
{
    NoticeRecorder a(window.get());
    ASSERT_EQ(a.registerFor(1), 1);
    fake->unplug();
    deliverPosted();
    prompts.clear();

    EXPECT_EQ(a.registerFor(1), 0);
    EXPECT_EQ(prompts.texts(), (QStringList{"The module with the corresponding device number is not connected!",
                                            NoModule}));
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_FALSE(window->linkStarted());
    EXPECT_FALSE(fake->connectControlOn());
}

TEST_F(CanWindowTest, BusOffClosesEveryRegistrationAndShutsTheLinkDown)
{
    NoticeRecorder a(window.get()), b(window.get());
    ASSERT_EQ(a.registerFor(1), 1);
    ASSERT_EQ(b.registerFor(2), 1);

    fake->injectStatus(ucan::StatusBusOff);
    deliverPosted();

    EXPECT_EQ(a.codes(), QList<int>{CAN_LINK_CLOSED});
    EXPECT_EQ(b.codes(), QList<int>{CAN_LINK_CLOSED});
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_EQ(prompts.texts(), QStringList{BusOff});
    EXPECT_TRUE(allInformation());
    EXPECT_FALSE(fake->moduleOpen());
    EXPECT_FALSE(fake->connectControlOn());
    EXPECT_EQ(window->notifyMessage(), 0u);

    // Once shut down, the driver's late reports are ignored.
    fake->injectStatus(ucan::StatusBusHeavy);
    deliverPosted();
    EXPECT_EQ(prompts.texts().size(), 1);
}

TEST_F(CanWindowTest, AClientWhoseObjectIsGoneIsDroppedAtItsNextFrame)
{
    NoticeRecorder stays(window.get());
    auto gone = std::make_unique<NoticeRecorder>(window.get());
    ASSERT_EQ(gone->registerFor(6), 1);
    ASSERT_EQ(stays.registerFor(7), 1);
    gone.reset();

    fake->injectFrame(6 * 32, asByteArray(bytes(1)));
    deliverPosted();
    EXPECT_EQ(window->clientCount(), 1);
    EXPECT_EQ(window->clients()[5].canId, 0);
    EXPECT_TRUE(window->linkStarted());

    stays.unregisterFrom(7);
    auto last = std::make_unique<NoticeRecorder>(window.get());
    ASSERT_EQ(last->registerFor(6), 1);
    last.reset();
    fake->injectFrame(6 * 32 + 1, asByteArray(bytes(2)));
    deliverPosted();
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_FALSE(window->linkStarted());
    EXPECT_FALSE(fake->moduleOpen());
}

TEST_F(CanWindowTest, ModuleWithAnotherDeviceNumberRegistersButNeverSends)
{
    fake->setDeviceNumber(3);
    NoticeRecorder editor(window.get());
    ASSERT_EQ(editor.registerFor(2), 1);
    EXPECT_FALSE(window->canReady());
    EXPECT_FALSE(fake->canInitialised());

    EXPECT_EQ(editor.send(0x40, bytes(1)), 1);
    EXPECT_TRUE(fake->written().isEmpty());
    EXPECT_TRUE(prompts.shown().isEmpty());

    // The module it opened is released at the end, so the next start finds
    // it free.
    editor.unregisterFrom(2);
    EXPECT_FALSE(fake->moduleOpen());
    ASSERT_EQ(editor.registerFor(2), 1);
    EXPECT_TRUE(prompts.shown().isEmpty());
}

TEST_F(CanWindowTest, DriverDetailIsShownBelowTheErrorText)
{
    fake->failNext(FakeUcan::Call::InitHardware, ucan::ErrIllHw, "There is no CAN interface can0.");
    NoticeRecorder editor(window.get());
    EXPECT_EQ(editor.registerFor(1), 0);
    EXPECT_EQ(prompts.texts(),
              (QStringList{"The module with the corresponding device number is not connected!\n\n"
                           "There is no CAN interface can0.",
                           NoModule}));
}

TEST_F(CanWindowTest, DestroyingTheWindowLeavesNoNoticeOrPromptBehind)
{
    auto driver = std::make_unique<FakeUcan>();
    FakeUcan *own = driver.get();
    auto other = std::make_unique<CCanWnd>(std::move(driver));
    NoticeRecorder editor(other.get());
    ASSERT_EQ(editor.registerFor(1), 1);
    // A frame still in flight when the window goes.
    own->injectFrame(0x20, asByteArray(bytes(1)));
    ASSERT_TRUE(own->moduleOpen());
    other.reset();
    deliverPosted();
    EXPECT_TRUE(editor.notices.isEmpty());
    EXPECT_TRUE(prompts.shown().isEmpty());
}

// ---------------------------------------------------------------- texts

struct CodeText
{
    int code;
    const char *text;
};

class DriverErrorTextTest : public CanWindowTest, public testing::WithParamInterface<CodeText>
{
};

TEST_P(DriverErrorTextTest, FailedModuleOpenShowsTheCodesTextThenNoModule)
{
    const CodeText row = GetParam();
    fake->failNext(FakeUcan::Call::InitHardware, ucan::Result(row.code));
    NoticeRecorder editor(window.get());

    EXPECT_EQ(editor.registerFor(1), 0);

    EXPECT_EQ(prompts.texts(), (QStringList{QString::fromUtf8(row.text), NoModule}));
    EXPECT_TRUE(allInformation());
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_FALSE(window->linkStarted());
    EXPECT_FALSE(fake->connectControlOn());
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, DriverErrorTextTest,
    testing::Values(CodeText{1, "Could not created a resource (memory, Handle, ...)!"},
                    CodeText{2, "The maximum number of open modules is exceeded!"},
                    CodeText{3, "A module is already in use."},
                    CodeText{4, "The software versions of the module and DLL are incompatible!"},
                    CodeText{5, "The module with the corresponding device number is not connected!"},
                    CodeText{6, "Wrong USB-CAN-Handle handed over to the function!"},
                    CodeText{7, "Wrong parameter handed over to the function!"},
                    CodeText{8, "Instruction can not be processed at this time!"},
                    CodeText{9, "No answer from the module!"},
                    CodeText{10, "A request for the driver failed!"},
                    CodeText{11, "The message did not fit into the transmission queue!"},
                    CodeText{12, "Maximum number of applications is reached!"},
                    CodeText{13, "CAN-interface is not yet initialized!"},
                    CodeText{14, "A Error as ocured!"}, CodeText{0x40, "A Error as ocured!"},
                    CodeText{255, "A Error as ocured!"}));

struct CallFallback
{
    FakeUcan::Call call;
    const char *fallback; // with the code 6 filled in
};

class FallbackFormatTest : public CanWindowTest, public testing::WithParamInterface<CallFallback>
{
};

// Each failing call, with its text missing from the table, shows its own
// fallback with the code.
TEST_P(FallbackFormatTest, MissingStringGivesTheCallsFormat)
{
    const CallFallback row = GetParam();
    window->strings().remove(4035); // code 6
    NoticeRecorder editor(window.get());
    fake->failNext(row.call, ucan::ErrIllHandle);

    // Each call is reached by one of: registering, sending, unregistering.
    editor.registerFor(1);
    editor.send(0x20, bytes(1));
    editor.unregisterFrom(1);

    EXPECT_TRUE(prompts.texts().contains(QString::fromUtf8(row.fallback))) << prompts.texts().join(" | ").toStdString();
    EXPECT_TRUE(allInformation());
}

INSTANTIATE_TEST_SUITE_P(
    EveryCall, FallbackFormatTest,
    testing::Values(CallFallback{FakeUcan::Call::InitHwConnectControl, "Init HW Error ID 6"},
                    CallFallback{FakeUcan::Call::InitHardware, "UcanInitHardware Error ID 6"},
                    CallFallback{FakeUcan::Call::GetHardwareInfo, "UcanGetHardwareInfo Error ID 6"},
                    CallFallback{FakeUcan::Call::InitCan, "UcanInitCan Error ID 6"},
                    CallFallback{FakeUcan::Call::SetAcceptance, "UcanSetAcceptance Error ID 6"},
                    CallFallback{FakeUcan::Call::WriteCanMsg, "UcanWriteCanMsg Error ID 6"},
                    CallFallback{FakeUcan::Call::ResetCan, "UcanResetCan Error ID 6"},
                    CallFallback{FakeUcan::Call::DeinitCan, "UcanDeinitCan Error ID 6"},
                    CallFallback{FakeUcan::Call::DeinitHardware, "UcanDeinitHardware Error ID 6"},
                    CallFallback{FakeUcan::Call::DeinitHwConnectControl, "UcanDeinitHwConnectControl Error ID 6"}));

TEST_F(CanWindowTest, FailedConnectControlShowsErrorInitHwAfterTheCodesText)
{
    fake->failNext(FakeUcan::Call::InitHwConnectControl, ucan::ErrMaxInstances);
    NoticeRecorder editor(window.get());
    EXPECT_EQ(editor.registerFor(1), 0);
    EXPECT_EQ(prompts.texts(), (QStringList{"Maximum number of applications is reached!", "Error InitHw!"}));
    EXPECT_FALSE(fake->moduleOpen());
}

TEST_F(CanWindowTest, FailedWriteIsReportedAndTheLinkStays)
{
    expectFailedWriteIsReportedAndTheLinkStays(
        *window, prompts, "The message did not fit into the transmission queue!",
        [&] { fake->failNext(FakeUcan::Call::WriteCanMsg, ucan::ErrDllTxFull); },
        [&] { return int(fake->written().size()); });
}

struct StatusRow
{
    quint16 status;
    const char *text;
};

class StatusTextTest : public testing::TestWithParam<StatusRow>
{
};

TEST_P(StatusTextTest, EachStatusBitHasItsText)
{
    const StatusRow row = GetParam();
    CCanWnd window(std::make_unique<FakeUcan>());
    EXPECT_EQ(CCanWnd::statusText(window.strings(), row.status), QString::fromUtf8(row.text));
}

INSTANTIATE_TEST_SUITE_P(
    EveryBit, StatusTextTest,
    testing::Values(StatusRow{0x0001, "Tx-buffer of the CAN controller is full."},
                    StatusRow{0x0002, "Rx-buffer of the CAN controller is full."},
                    StatusRow{0x0004, "Bus error: Error Limit 1 exceeded (refer to SJA1000 manual)"},
                    StatusRow{0x0008, "Bus error: Error Limit 2 exceeded (refer to SJA1000 manual)"},
                    StatusRow{0x0010, "Bus error: CAN controller has gone into Bus-Off state."},
                    StatusRow{0x0020, "RcvQueue is empty."}, StatusRow{0x0040, "RcvQueue overrun."},
                    StatusRow{0x0080, "Transmit queue is full."},
                    StatusRow{0x0100, "Register test of the SJA1000 failed."},
                    StatusRow{0x0200, "Memory test failed."},
                    // More than one bit, or none of the table's.
                    StatusRow{0x0018, "A Error as ocured!"}, StatusRow{0x0400, "A Error as ocured!"},
                    StatusRow{0x8000, "A Error as ocured!"}));

TEST_F(CanWindowTest, StatusErrorWithMissingTextShowsTheFallback)
{
    window->strings().remove(4046);
    NoticeRecorder editor(window.get());
    ASSERT_EQ(editor.registerFor(1), 1);
    fake->injectStatus(ucan::StatusBusLight);
    deliverPosted();
    EXPECT_EQ(prompts.texts(), QStringList{"CanErrorMessage 4046"});
    EXPECT_EQ(editor.codes(), QList<int>{CAN_LINK_CLOSED});

    // Several bits at once have the general text, or its fallback.
    window->strings().remove(4043);
    EXPECT_EQ(CCanWnd::statusText(window->strings(), 0x0011), "CanErrorMessage 4043");
}

} // namespace
