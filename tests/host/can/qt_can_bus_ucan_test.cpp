#include "can_test_support.h"
#include "QtCanBusUcan.h"

#include "ScriptedUserPrompts.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

// A virtual CAN bus of our own, speaking the line protocol of QtSerialBus'
// virtualcan plug-in ("connect:can0", "can0:<frame>" relayed as "<frame>"
// to the other members of can0). Being our own, a test can pull every plug
// at once, as when the adapter is unplugged.
class TestBus : public QObject
{
public:
    TestBus()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server_.nextPendingConnection()) {
                members_.append(s);
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { relay(s); });
                QObject::connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    members_.removeAll(s);
                    s->deleteLater();
                });
            }
        });
    }

    ~TestBus() override
    {
        for (QTcpSocket *s : members_)
            QObject::disconnect(s, nullptr, this, nullptr);
    }

    // The interface name that reaches this bus.
    QString interfaceName(int channel = 0) const
    {
        return QStringLiteral("tcp://127.0.0.1:%1/can%2").arg(server_.serverPort()).arg(channel);
    }

    int joined() const
    {
        int n = 0;
        for (QTcpSocket *s : members_)
            n += s->property("channels").toStringList().size();
        return n;
    }

    void pullEveryPlug()
    {
        for (QTcpSocket *s : QList<QTcpSocket *>(members_))
            s->abort();
        members_.clear();
    }

private:
    void relay(QTcpSocket *from)
    {
        while (from->canReadLine()) {
            const QByteArray line = from->readLine().trimmed();
            QStringList channels = from->property("channels").toStringList();
            if (line.startsWith("connect:")) {
                channels.append(QString::fromLatin1(line.mid(8)));
                from->setProperty("channels", channels);
                continue;
            }
            if (line.startsWith("disconnect:")) {
                channels.removeAll(QString::fromLatin1(line.mid(11)));
                from->setProperty("channels", channels);
                from->disconnectFromHost();
                continue;
            }
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                continue;
            const QString channel = QString::fromLatin1(line.left(colon));
            for (QTcpSocket *to : members_) {
                if (to != from && to->property("channels").toStringList().contains(channel))
                    to->write(line.mid(colon + 1) + '\n');
            }
        }
    }

    QTcpServer server_;
    QList<QTcpSocket *> members_;
};

class VirtualCanTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QCanBus::instance()->plugins().contains("virtualcan"));
        settings.backend = QStringLiteral("virtualcan");
        settings.interfaceName = bus.interfaceName();
        settings.presencePollMs = 20;
        QString error;
        peer.reset(QCanBus::instance()->createDevice("virtualcan", bus.interfaceName(), &error));
        ASSERT_TRUE(peer) << error.toStdString();
        ASSERT_TRUE(peer->connectDevice());
        ASSERT_TRUE(waitUntil([&] { return peer->state() == QCanBusDevice::ConnectedState && bus.joined() == 1; }));
    }

    // Frames the peer device received, collected by the event loop.
    QList<QCanBusFrame> peerFrames(int count)
    {
        QList<QCanBusFrame> frames;
        waitUntil([&] {
            frames += peer->readAllFrames();
            return frames.size() >= count;
        });
        return frames;
    }

    TestBus bus;
    CanSettings settings;
    std::unique_ptr<QCanBusDevice> peer;
};

TEST_F(VirtualCanTest, DriverExchangesFramesWithAnotherDeviceOnTheBus)
{
    QtCanBusUcan driver(settings);
    std::atomic<bool> calledOnUiThread{false};
    QThread *const ui = QThread::currentThread();
    // Read as the host does: inside the callback, on the driver's thread.
    QMutex readLock;
    QList<ucan::CanMsg> read;

    ucan::Handle handle = 99;
    ASSERT_EQ(driver.UcanInitHwConnectControl([](quint8, quint32) {}), ucan::Successful);
    ASSERT_EQ(driver.UcanInitHardware(&handle, ucan::kAnyModule,
                                      [&](ucan::Handle h, quint8 event) {
                                          if (QThread::currentThread() == ui)
                                              calledOnUiThread = true;
                                          if (event != ucan::kEventReceive)
                                              return;
                                          ucan::CanMsg msg;
                                          while (driver.UcanReadCanMsg(h, &msg) == ucan::Successful) {
                                              QMutexLocker locker(&readLock);
                                              read.append(msg);
                                          }
                                      }),
              ucan::Successful);
    ucan::HardwareInfo info;
    ASSERT_EQ(driver.UcanGetHardwareInfo(handle, &info), ucan::Successful);
    EXPECT_EQ(info.deviceNumber, 0);
    EXPECT_EQ(info.handle, handle);
    ASSERT_EQ(driver.UcanInitCan(handle, 0x03, 0x1C, ucan::kAcceptAllMask, ucan::kAcceptAllCode), ucan::Successful);
    ASSERT_TRUE(waitUntil([&] { return bus.joined() == 2; }));

    // Out: one standard frame of 8 bytes.
    ucan::CanMsg out;
    out.id = 0x060;
    out.length = 8;
    const auto payload = bytes(0x00, 0x88);
    std::copy(payload.begin(), payload.end(), out.data);
    ASSERT_EQ(driver.UcanSetAcceptance(handle, ucan::kAcceptAllMask, ucan::kAcceptAllCode), ucan::Successful);
    ASSERT_EQ(driver.UcanWriteCanMsg(handle, &out), ucan::Successful);
    const QList<QCanBusFrame> atPeer = peerFrames(1);
    ASSERT_EQ(atPeer.size(), 1);
    EXPECT_EQ(atPeer[0].frameId(), 0x060u);
    EXPECT_FALSE(atPeer[0].hasExtendedFrameFormat());
    EXPECT_EQ(atPeer[0].payload(), asByteArray(payload));

    // In: two frames, read through the event callback's handle.
    ASSERT_TRUE(peer->writeFrame(QCanBusFrame(0x061, asByteArray(bytes(1)))));
    ASSERT_TRUE(peer->writeFrame(QCanBusFrame(0x7FF, asByteArray(bytes(2)))));
    ASSERT_TRUE(waitUntil([&] {
        QMutexLocker locker(&readLock);
        return read.size() >= 2;
    }));
    QMutexLocker locker(&readLock);
    EXPECT_EQ(read[0].id, 0x061u);
    EXPECT_EQ(read[0].length, 8);
    EXPECT_EQ(std::memcmp(read[0].data, bytes(1).data(), 8), 0);
    EXPECT_EQ(read[1].id, 0x7FFu);
    EXPECT_FALSE(calledOnUiThread.load());
    locker.unlock();

    ucan::CanMsg none;
    EXPECT_EQ(driver.UcanReadCanMsg(handle, &none), ucan::WarnNoData);

    // A refused write is that call's failure; it leaves no status bits.
    driver.failNextWrites(1);
    EXPECT_EQ(driver.UcanWriteCanMsg(handle, &out), ucan::ErrIoFailed);
    EXPECT_FALSE(driver.lastErrorDetail().isEmpty());
    ASSERT_EQ(driver.UcanWriteCanMsg(handle, &out), ucan::Successful);
    ASSERT_EQ(peerFrames(1).size(), 1);
    ucan::Status status;
    ASSERT_EQ(driver.UcanGetStatus(handle, &status), ucan::Successful);
    EXPECT_EQ(status.canStatus, 0);

    // Too large for a standard frame: refused by the driver.
    out.id = 0x800;
    EXPECT_EQ(driver.UcanWriteCanMsg(handle, &out), ucan::ErrIllParam);
    EXPECT_TRUE(driver.lastErrorDetail().contains("0x800"));

    EXPECT_EQ(driver.UcanResetCan(handle), ucan::Successful);
    EXPECT_EQ(driver.UcanDeinitCan(handle), ucan::Successful);
    EXPECT_EQ(driver.UcanWriteCanMsg(handle, &out), ucan::ErrCanNotInit);
    EXPECT_EQ(driver.UcanDeinitHardware(handle), ucan::Successful);
    EXPECT_EQ(driver.UcanDeinitHardware(handle), ucan::ErrIllHandle);
    EXPECT_EQ(driver.UcanDeinitHwConnectControl(), ucan::Successful);
    EXPECT_TRUE(waitUntil([&] { return bus.joined() == 1; }));
}

TEST_F(VirtualCanTest, SecondOpenFindsTheModuleInUse)
{
    QtCanBusUcan driver(settings);
    ucan::Handle handle = 0;
    ASSERT_EQ(driver.UcanInitHardware(&handle, ucan::kAnyModule, {}), ucan::Successful);
    EXPECT_EQ(driver.UcanInitHardware(&handle, ucan::kAnyModule, {}), ucan::ErrHwInUse);
    EXPECT_EQ(driver.UcanInitHardware(&handle, 4, {}), ucan::ErrHwInUse);
    ASSERT_EQ(driver.UcanDeinitHardware(handle), ucan::Successful);
    EXPECT_EQ(driver.UcanInitHardware(&handle, 4, {}), ucan::ErrIllHw);
}

TEST_F(VirtualCanTest, EditorsOnTwoNetIdsShareTheLinkThroughTheWindow)
{
    ScriptedUserPrompts prompts;
    prompts.setAcknowledgeNotices(true);
    ScopedUserPrompts installed(prompts);
    CCanWnd window(std::make_unique<QtCanBusUcan>(settings));
    NoticeRecorder net1(&window), net2(&window);

    ASSERT_EQ(net1.registerFor(1), 1) << prompts.texts().join(" | ").toStdString();
    ASSERT_EQ(net2.registerFor(2), 1);
    ASSERT_TRUE(waitUntil([&] { return bus.joined() == 2; }));

    ASSERT_EQ(net1.send(0x20, bytes(0x10)), 1);
    ASSERT_EQ(net2.send(0x40, bytes(0x20)), 1);
    const QList<QCanBusFrame> atPeer = peerFrames(2);
    ASSERT_EQ(atPeer.size(), 2);
    EXPECT_EQ(atPeer[0].frameId(), 0x20u);
    EXPECT_EQ(atPeer[1].frameId(), 0x40u);

    // Replies may come with any identifier of the Net-ID, and back to back.
    ASSERT_TRUE(peer->writeFrame(QCanBusFrame(0x41, asByteArray(bytes(2)))));
    ASSERT_TRUE(peer->writeFrame(QCanBusFrame(0x3F, asByteArray(bytes(1)))));
    ASSERT_TRUE(waitUntil([&] { return net1.notices.size() == 1 && net2.notices.size() == 1; }));
    EXPECT_EQ(net1.notices[0].rxData, bytes(1));
    EXPECT_EQ(net2.notices[0].rxData, bytes(2));
    EXPECT_TRUE(prompts.shown().isEmpty());

    net1.unregisterFrom(1);
    net2.unregisterFrom(2);
    EXPECT_FALSE(window.linkStarted());
    EXPECT_TRUE(waitUntil([&] { return bus.joined() == 1; }));
}

// The same as with the fake driver: a write the bus device refuses costs
// that frame, not the editors' registrations, and leaves no status behind.
TEST_F(VirtualCanTest, FailedWriteIsReportedAndTheLinkStays)
{
    ScriptedUserPrompts prompts;
    prompts.setAcknowledgeNotices(true);
    ScopedUserPrompts installed(prompts);
    auto owned = std::make_unique<QtCanBusUcan>(settings);
    QtCanBusUcan *driver = owned.get();
    CCanWnd window(std::move(owned));
    QList<QCanBusFrame> atPeer;
    expectFailedWriteIsReportedAndTheLinkStays(
        window, prompts, CCanWnd::driverErrorText(window.strings(), ucan::ErrIoFailed, "%i"),
        [&] { driver->failNextWrites(1); },
        [&] {
            atPeer += peer->readAllFrames();
            return int(atPeer.size());
        });
}

TEST_F(VirtualCanTest, LosingTheBusIsAnUnplugAndItsReturnAPlug)
{
    ScriptedUserPrompts prompts;
    prompts.setAcknowledgeNotices(true);
    ScopedUserPrompts installed(prompts);
    CCanWnd window(std::make_unique<QtCanBusUcan>(settings));
    NoticeRecorder editor(&window);
    ASSERT_EQ(editor.registerFor(5), 1);
    ASSERT_TRUE(waitUntil([&] { return bus.joined() == 2; }));

    bus.pullEveryPlug();

    ASSERT_TRUE(waitUntil([&] { return editor.codes() == QList<int>{CAN_LINK_LOST}; }));
    EXPECT_EQ(window.clientCount(), 0);
    ASSERT_TRUE(waitUntil([&] { return prompts.texts().contains("Module was connected!"); }));
    EXPECT_EQ(prompts.texts().first(), "Module was disconnected!");
    EXPECT_TRUE(window.canReady());

    // The editor connects again and talks over the reopened module.
    ASSERT_EQ(editor.registerFor(5), 1);
    peer.reset(QCanBus::instance()->createDevice("virtualcan", bus.interfaceName()));
    ASSERT_TRUE(peer->connectDevice());
    ASSERT_TRUE(waitUntil([&] { return bus.joined() == 2; }));
    ASSERT_TRUE(peer->writeFrame(QCanBusFrame(0xA0, asByteArray(bytes(7)))));
    ASSERT_TRUE(waitUntil([&] { return editor.notices.size() == 2; }));
    EXPECT_EQ(editor.notices[1].rxData, bytes(7));
}

TEST(SocketCanDriver, MissingInterfaceIsModuleNotConnectedWithTheReason)
{
    QTemporaryDir sys;
    CanSettings s;
    s.backend = QStringLiteral("socketcan");
    s.interfaceName = QStringLiteral("can0");
    s.sysClassNet = sys.path();
    QtCanBusUcan driver(s);
    ucan::Handle handle = 0;
    EXPECT_EQ(driver.UcanInitHardware(&handle, ucan::kAnyModule, {}), ucan::ErrIllHw);
    EXPECT_TRUE(driver.lastErrorDetail().contains("no CAN interface can0"));
}

TEST(SocketCanDriver, UnknownBackendIsModuleNotConnected)
{
    CanSettings s;
    s.backend = QStringLiteral("nosuchbackend");
    QtCanBusUcan driver(s);
    ucan::Handle handle = 0;
    EXPECT_EQ(driver.UcanInitHardware(&handle, ucan::kAnyModule, {}), ucan::ErrIllHw);
    EXPECT_TRUE(driver.lastErrorDetail().contains("nosuchbackend"));
}

} // namespace
