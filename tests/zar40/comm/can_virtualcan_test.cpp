// Whole transfers with the real zar40-sim on a virtual CAN bus: through the
// host's CAN window on the QtSerialBus driver, and through a CAN device of
// the connection's own (the command-line tool's way).
#include "can_test_support.h"

#include "zar40/comm/can/CanWndTransport.h"
#include "zar40/comm/can_transport.h"
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/Communicationmodul.h"

#include "can_window_factory.h"
#include "ScriptedUserPrompts.h"
#include "SimProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

using namespace zar40;
using namespace zar40::comm;
using namespace zar40::comm::test;

namespace {

class VirtualCanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prompts.setAcknowledgeNotices(true);
        prompts.setFailureHandler([](const QString &why) { ADD_FAILURE() << "prompt: " << why.toStdString(); });
        engine.setTimeout(3000);
        bus = freeVirtualBus();
    }

    // The host's CAN window on the virtual bus, as the main frame makes it.
    void openHostWindow()
    {
        CanSettings settings;
        settings.backend = QStringLiteral("virtualcan");
        settings.interfaceName = bus;
        window = createCanWindow(&mainFrame, settings);
    }

    bool startSim(vrntest::SimProcess &sim, int netId, const QString &name)
    {
        if (sim.startOnCan(bus.toStdString(), netId, {"--device-name", name.toStdString()})) return true;
        ADD_FAILURE() << "zar40-sim did not come up on virtualcan:" << bus.toStdString() << " net-id " << netId;
        return false;
    }

    std::unique_ptr<CCommunicationmodul> editor(int netId, std::vector<int> &notes)
    {
        auto conn = std::make_unique<CCommunicationmodul>(nullptr, &engine);
        conn->setConnectionType(CCommunicationmodul::ConnectionType::CanBus);
        conn->setNetId(netId);
        conn->setCanTransportFactory(canWindowTransportFactory(&mainFrame));
        conn->setTransferUi(&ui);
        conn->setConnectRepeatDelay(5);
        QObject::connect(conn.get(), &CCommunicationmodul::notification, [&notes](Notification code) { notes.push_back(int(code)); });
        return conn;
    }

    static bool has(const std::vector<int> &notes, int code, int times = 1)
    {
        return std::count(notes.begin(), notes.end(), code) == times;
    }

    // Reads the unit's preset and device settings; the time it took goes to
    // the log.
    static bool readAll(CCommunicationmodul &conn, std::vector<int> &notes, preset::PresetRecord &record,
                        codec::DeviceSettings &settings, const char *what)
    {
        const int before = int(std::count(notes.begin(), notes.end(), int(Notification::PresetRead)));
        // A plain event loop, not the polling wait, so that the logged time
        // is the transfer's own.
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&conn, &CCommunicationmodul::notification, &loop, [&](Notification code) {
            if (code != Notification::Connected) loop.quit();
        });
        QElapsedTimer clock;
        clock.start();
        conn.readPreset(&record, &settings);
        limit.start(60000);
        loop.exec();
        if (!has(notes, int(Notification::PresetRead), before + 1)) return false;
        std::cout << "[ timing ] preset read over virtualcan (" << what << "): " << clock.elapsed() << " ms\n";
        return true;
    }

    ScriptedUserPrompts prompts;
    ScopedUserPrompts installed{prompts};
    CTransactionEngine engine;
    RecordingUi ui;
    QWidget mainFrame;
    CCanWnd *window = nullptr;
    QString bus;
};

TEST_F(VirtualCanTest, WritesAndReadsAWholePresetThroughTheHostCanWindow)
{
    vrntest::SimProcess sim;
    ASSERT_TRUE(startSim(sim, 5, QStringLiteral("Stage left")));
    openHostWindow();
    std::vector<int> notes;
    auto conn = editor(5, notes);
    ASSERT_TRUE(conn->connectToDevice());
    ASSERT_TRUE(waitUntil([&] { return has(notes, int(Notification::Connected)); }));

    const preset::PresetRecord written = distinctRecord(0);
    bool done = false;
    QObject::connect(conn.get(), &CCommunicationmodul::presetWritten, [&] { done = true; });
    conn->writePreset(written);
    ASSERT_TRUE(waitUntil([&] { return done; }, 60000));

    preset::PresetRecord target = preset::startupPreset(2);
    codec::DeviceSettings settings{};
    ASSERT_TRUE(readAll(*conn, notes, target, settings, "host CAN window"));
    preset::PresetRecord expected = written;
    codec::setSummeName(expected);
    expected.number = target.number; // the slot number does not travel
    const auto differing = preset::differingFields(target, expected);
    EXPECT_TRUE(differing.empty()) << differing.size() << " fields differ, first " << differing.front()->path;
    EXPECT_EQ(codec::deviceName(settings), "Stage left");

    conn->postState(codec::ReqDisconnect);
    ASSERT_TRUE(waitUntil([&] { return has(notes, int(Notification::Closed)); }));
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_EQ(notes, (std::vector<int>{51002, 51001, 51003}));
    EXPECT_TRUE(prompts.texts().isEmpty());
}

TEST_F(VirtualCanTest, TwoEditorsTalkToNetIds1And2AtOnce)
{
    vrntest::SimProcess one, two;
    ASSERT_TRUE(startSim(one, 1, QStringLiteral("Unit one")));
    ASSERT_TRUE(startSim(two, 2, QStringLiteral("Unit two")));
    openHostWindow();
    std::vector<int> notes1, notes2;
    auto editor1 = editor(1, notes1);
    auto editor2 = editor(2, notes2);
    ASSERT_TRUE(editor1->connectToDevice());
    ASSERT_TRUE(editor2->connectToDevice());
    EXPECT_EQ(window->clientCount(), 2);
    ASSERT_TRUE(waitUntil([&] {
        return has(notes1, int(Notification::Connected)) && has(notes2, int(Notification::Connected));
    }));

    // Both transfers at once: the process-wide queue interleaves them, and
    // each reply must reach its own editor.
    const preset::PresetRecord toTwo = distinctRecord(7);
    bool written = false;
    QObject::connect(editor2.get(), &CCommunicationmodul::presetWritten, [&] { written = true; });
    preset::PresetRecord fromOne = preset::defaultPreset();
    codec::DeviceSettings settings1{};
    editor1->readPreset(&fromOne, &settings1);
    editor2->writePreset(toTwo);
    ASSERT_TRUE(waitUntil([&] { return written && has(notes1, int(Notification::PresetRead)); }, 60000));
    EXPECT_EQ(codec::deviceName(settings1), "Unit one");
    EXPECT_FALSE(preset::sameFields(fromOne, toTwo));

    preset::PresetRecord fromTwo = preset::defaultPreset();
    codec::DeviceSettings settings2{};
    ASSERT_TRUE(readAll(*editor2, notes2, fromTwo, settings2, "second of two editors"));
    EXPECT_EQ(codec::deviceName(settings2), "Unit two");
    preset::PresetRecord expected = toTwo;
    codec::setSummeName(expected);
    expected.number = fromTwo.number;
    EXPECT_TRUE(preset::differingFields(fromTwo, expected).empty());

    editor1->postState(codec::ReqDisconnect);
    editor2->postState(codec::ReqDisconnect);
    ASSERT_TRUE(waitUntil([&] {
        return has(notes1, int(Notification::Closed)) && has(notes2, int(Notification::Closed));
    }));
    EXPECT_EQ(window->clientCount(), 0);
    EXPECT_TRUE(prompts.texts().isEmpty());
}

// Without the host: each connection opens a CAN device of its own on the
// shared bus and so sees every unit's replies; it must take only its own.
TEST_F(VirtualCanTest, ConnectionsWithTheirOwnCanDeviceTakeOnlyTheirUnitsReplies)
{
    vrntest::SimProcess one, two;
    ASSERT_TRUE(startSim(one, 1, QStringLiteral("Unit one")));
    ASSERT_TRUE(startSim(two, 2, QStringLiteral("Unit two")));

    std::vector<int> notes1, notes2;
    CCommunicationmodul conn1(nullptr, &engine), conn2(nullptr, &engine);
    auto own1 = std::make_unique<CanBusTransport>(canbus::BusAddress{QStringLiteral("virtualcan"), bus}, 1);
    auto own2 = std::make_unique<CanBusTransport>(canbus::BusAddress{QStringLiteral("virtualcan"), bus}, 2);
    CanBusTransport *link1 = own1.get();
    conn1.setTransport(std::move(own1));
    conn2.setTransport(std::move(own2));
    QObject::connect(&conn1, &CCommunicationmodul::notification, [&](Notification code) { notes1.push_back(int(code)); });
    QObject::connect(&conn2, &CCommunicationmodul::notification, [&](Notification code) { notes2.push_back(int(code)); });
    ASSERT_TRUE(conn1.connectToDevice()) << link1->errorString().toStdString();
    ASSERT_TRUE(conn2.connectToDevice());
    ASSERT_TRUE(waitUntil([&] {
        return has(notes1, int(Notification::Connected)) && has(notes2, int(Notification::Connected));
    }));

    // One after the other: both devices stay on the bus throughout, so each
    // hears the other unit's whole transfer.
    preset::PresetRecord record1 = preset::defaultPreset(), record2 = preset::defaultPreset();
    codec::DeviceSettings settings1{}, settings2{};
    ASSERT_TRUE(readAll(conn1, notes1, record1, settings1, "own CAN device"));
    ASSERT_TRUE(readAll(conn2, notes2, record2, settings2, "own CAN device"));
    EXPECT_EQ(codec::deviceName(settings1), "Unit one");
    EXPECT_EQ(codec::deviceName(settings2), "Unit two");
    EXPECT_GT(link1->ignoredFrames(), 0u); // unit two's replies went past it

    // The bus gone (the unit hosting it ends) closes the connection as the
    // host's link loss does.
    one.stop();
    ASSERT_TRUE(waitUntil([&] { return has(notes1, int(Notification::Closed)); }, 10000));
    EXPECT_EQ(conn1.state(), State::Idle);
}

// The command-line tool's --can option: the same device commands over a
// CAN device of its own.
TEST_F(VirtualCanTest, TheToolReadsASlotOverCan)
{
    vrntest::SimProcess sim;
    ASSERT_TRUE(startSim(sim, 4, QStringLiteral("Tool target")));
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("slot.vpx"));
    auto runTool = [&](const QStringList &args, QString *output = nullptr) {
        QProcess tool;
        const char *bin = std::getenv("VRN_BIN_DIR");
        tool.setProgram(QDir(QString::fromLocal8Bit(bin ? bin : ".")).filePath(QStringLiteral("zar40")));
        tool.setArguments(QStringList{QStringLiteral("device")} + args);
        tool.start();
        if (!tool.waitForFinished(30000)) {
            tool.kill();
            tool.waitForFinished();
            return -1;
        }
        if (output) *output = QString::fromLocal8Bit(tool.readAllStandardOutput() + tool.readAllStandardError());
        return tool.exitCode();
    };
    const QString target = QStringLiteral("virtualcan:") + bus;
    QString output;
    EXPECT_EQ(runTool({QStringLiteral("--can"), target, QStringLiteral("--net-id"), QStringLiteral("4"),
                       QStringLiteral("info")},
                      &output),
              0)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("Tool target"))) << output.toStdString();
    EXPECT_EQ(runTool({QStringLiteral("--can"), target, QStringLiteral("--net-id"), QStringLiteral("4"),
                       QStringLiteral("--quiet"), QStringLiteral("--switch-wait"), QStringLiteral("0"),
                       QStringLiteral("read"), QStringLiteral("--slot"), QStringLiteral("2"), QStringLiteral("-o"), out},
                      &output),
              0)
        << output.toStdString();
    EXPECT_TRUE(QFileInfo(out).size() > 0);

    // Nobody answers on Net-ID 5: a time-out, named as a CAN problem.
    EXPECT_EQ(runTool({QStringLiteral("--can"), target, QStringLiteral("--net-id"), QStringLiteral("5"),
                       QStringLiteral("--timeout"), QStringLiteral("300"), QStringLiteral("info")},
                      &output),
              1);
    EXPECT_TRUE(output.contains(QStringLiteral("Net-ID 5"))) << output.toStdString();
    // Usage errors: identifier 0x800 is out of reach, and one link at a time.
    EXPECT_EQ(runTool({QStringLiteral("--can"), target, QStringLiteral("--net-id"), QStringLiteral("64"),
                       QStringLiteral("info")}),
              2);
    EXPECT_EQ(runTool({QStringLiteral("--can"), target, QStringLiteral("--port"), QStringLiteral("/dev/null"),
                       QStringLiteral("info")}),
              2);
    EXPECT_EQ(runTool({QStringLiteral("--can"), QStringLiteral("can0"), QStringLiteral("info")}), 2);
    // A missing adapter is explained as the host explains it.
    EXPECT_EQ(runTool({QStringLiteral("--can"), QStringLiteral("socketcan:vrnnosuch0"), QStringLiteral("info")},
                      &output),
              1);
    EXPECT_TRUE(output.contains(QStringLiteral("no CAN interface vrnnosuch0"))) << output.toStdString();
}

TEST_F(VirtualCanTest, AnOwnCanDeviceSaysWhyItCannotOpen)
{
    CanBusTransport noBackend({QStringLiteral("nosuchbackend"), QStringLiteral("can0")}, 1);
    EXPECT_FALSE(noBackend.open());
    EXPECT_FALSE(noBackend.errorString().isEmpty());

    CanBusTransport tooFar({QStringLiteral("virtualcan"), bus}, 64);
    EXPECT_FALSE(tooFar.open());
    EXPECT_TRUE(tooFar.errorString().contains(QStringLiteral("Net-ID 64")));

}

} // namespace
