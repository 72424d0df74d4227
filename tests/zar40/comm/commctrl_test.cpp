#include "PtyPeer.h"
#include "test_support.h"

#include "zar40/comm/CommCtrl.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <termios.h>

using namespace zar40::comm;
using namespace zar40::comm::test;

namespace {

TEST(SerialSettingsText, AcceptsTheLineSettingsTheDeviceAndTheLoaderUse)
{
    const auto protocol = parseSerialSettings(QStringLiteral("115200,n,8,1"));
    ASSERT_TRUE(protocol);
    EXPECT_EQ(protocol->baudRate, 115200);
    EXPECT_EQ(protocol->parity, QSerialPort::NoParity);
    EXPECT_EQ(protocol->dataBits, QSerialPort::Data8);
    EXPECT_EQ(protocol->stopBits, QSerialPort::OneStop);

    const auto loader = parseSerialSettings(QStringLiteral("9600,N,8,1"));
    ASSERT_TRUE(loader);
    EXPECT_EQ(loader->baudRate, 9600);

    const auto odd = parseSerialSettings(QStringLiteral(" 19200 , e , 7 , 2 "));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->parity, QSerialPort::EvenParity);
    EXPECT_EQ(odd->dataBits, QSerialPort::Data7);
    EXPECT_EQ(odd->stopBits, QSerialPort::TwoStop);
}

TEST(SerialSettingsText, RefusesAnythingElseWithAReason)
{
    for (const char *text : {"", "115200", "115200,n,8", "115200,n,8,1,1", "fast,n,8,1", "0,n,8,1", "-9600,n,8,1",
                             "115200,x,8,1", "115200,n,9,1", "115200,n,4,1", "115200,n,8,3", "115200,n,8,",
                             "99999999999,n,8,1"}) {
        QString error;
        EXPECT_FALSE(parseSerialSettings(QString::fromLatin1(text), &error)) << text;
        EXPECT_TRUE(error.contains(QStringLiteral("Invalid serial settings"))) << text;
    }
}

TEST(SerialChannel, AMissingPortIsRefusedWithTheSystemsReason)
{
    QTemporaryDir dir;
    CCommCtrl channel;
    EXPECT_FALSE(channel.open(dir.filePath(QStringLiteral("no-such-port")), QStringLiteral("115200,n,8,1")));
    EXPECT_FALSE(channel.isOpen());
    EXPECT_TRUE(channel.errorString().contains(QStringLiteral("No such file"), Qt::CaseInsensitive))
        << channel.errorString().toStdString();

    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    EXPECT_FALSE(channel.open(peer.slavePath(), QStringLiteral("115200,n,9,1")));
    EXPECT_FALSE(channel.isOpen());
    EXPECT_TRUE(channel.errorString().contains(QStringLiteral("data bits")));
}

TEST(SerialChannel, APortHeldByAnotherChannelIsBusy)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CCommCtrl first;
    ASSERT_TRUE(first.open(peer.slavePath(), QStringLiteral("115200,n,8,1")));
    CCommCtrl second;
    EXPECT_FALSE(second.open(peer.slavePath(), QStringLiteral("115200,n,8,1")));
    EXPECT_FALSE(second.errorString().isEmpty());
    EXPECT_TRUE(first.isOpen());
}

TEST(SerialChannel, NotifiesOnlyOnceTheThresholdIsReachedAndHandsOverEverything)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CCommCtrl channel;
    ASSERT_TRUE(channel.open(peer.slavePath(), QStringLiteral("115200,n,8,1"), CCommCtrl::kProtocolThreshold));
    QSignalSpy received(&channel, &CCommCtrl::received);

    ASSERT_TRUE(peer.write(QByteArray(13, 'a')));
    ASSERT_TRUE(waitUntil([&] { return channel.inBufferCount() == 13; }));
    spin(20);
    EXPECT_EQ(received.count(), 0);

    ASSERT_TRUE(peer.write(QByteArray(3, 'b')));
    ASSERT_TRUE(waitUntil([&] { return received.count() > 0; }));
    EXPECT_EQ(channel.input(), QByteArray(13, 'a') + QByteArray(3, 'b'));
    EXPECT_EQ(channel.inBufferCount(), 0);

    // The loader's threshold: every byte counts.
    channel.setThreshold(CCommCtrl::kFirmwareThreshold);
    received.clear();
    ASSERT_TRUE(peer.write(QByteArray(1, 'c')));
    ASSERT_TRUE(waitUntil([&] { return received.count() > 0; }));
    EXPECT_EQ(channel.input(), QByteArray(1, 'c'));
}

// Taking the input from a queued call, while the port object has already
// seen bytes arrive but not yet read them, leaves those bytes to it: had the
// channel read them first, the port object would find nothing behind its
// notification and report a failing line (the firmware update reads so).
TEST(SerialChannel, InputTakenAheadOfAPendingNotificationLeavesTheLineWorking)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CCommCtrl channel;
    ASSERT_TRUE(channel.open(peer.slavePath(), QStringLiteral("9600,n,8,1"), CCommCtrl::kFirmwareThreshold));
    QSignalSpy failed(&channel, &CCommCtrl::failed);
    QByteArray taken;
    for (char c : {'x', 'y', 'z'}) {
        ASSERT_TRUE(peer.write(QByteArray(1, c)));
        ::usleep(20000); // the byte crosses the terminal; the event loop has not seen it
        QMetaObject::invokeMethod(&channel, [&] { taken += channel.input(); }, Qt::QueuedConnection);
        spin(5);
        taken += channel.input();
    }
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(taken, QByteArray("xyz"));
}

TEST(SerialChannel, ReopeningTheSamePortReconfiguresIt)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CCommCtrl channel;
    ASSERT_TRUE(channel.open(peer.slavePath(), QStringLiteral("9600,n,8,1"), CCommCtrl::kFirmwareThreshold));
    termios t{};
    ASSERT_EQ(tcgetattr(peer.fd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);

    ASSERT_TRUE(channel.open(peer.slavePath(), QStringLiteral("115200,n,8,1"), CCommCtrl::kProtocolThreshold));
    EXPECT_TRUE(channel.isOpen());
    EXPECT_EQ(channel.threshold(), CCommCtrl::kProtocolThreshold);
    ASSERT_EQ(tcgetattr(peer.fd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B115200);
    // Still the same open line: data flows without a new open.
    ASSERT_TRUE(channel.write(QByteArray("ping")));
    ASSERT_TRUE(waitUntil([&] { return peer.readAvailable() == "ping"; }));
}

TEST(SerialChannel, WritesWholeBlocksOnlyAndRefusesAClosedPort)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CCommCtrl channel;
    EXPECT_FALSE(channel.write(QByteArray(14, 0)));
    ASSERT_TRUE(channel.open(peer.slavePath(), QStringLiteral("115200,n,8,1")));
    EXPECT_FALSE(channel.write(QByteArray(CCommCtrl::kBufferSize + 1, 0)));
    EXPECT_TRUE(channel.errorString().contains(QStringLiteral("buffer")));
    EXPECT_EQ(channel.outBufferCount(), 0);
    EXPECT_TRUE(channel.write(QByteArray(CCommCtrl::kBufferSize, 'x')));
}

// Writes blocks of SIZE bytes, nobody reading the far end, until the
// system's buffer is full and the rest of a block waits in the channel.
// Returns what was written.
QByteArray fillTheLine(CCommCtrl &channel, qsizetype size)
{
    QByteArray written;
    for (int i = 0; i < 4000 && channel.outBufferCount() == 0; ++i) {
        const QByteArray block(size, static_cast<char>('a' + i % 26));
        if (channel.write(block)) written += block;
        spin(1);
    }
    return written;
}

TEST(SerialChannel, CloseWaitsForQueuedOutputWhileTheEventLoopRuns)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CCommCtrl channel;
    ASSERT_TRUE(channel.open(peer.slavePath(), QStringLiteral("115200,n,8,1")));

    const qint64 total = fillTheLine(channel, CCommCtrl::kBufferSize).size();
    ASSERT_GT(channel.outBufferCount(), 0) << "the line never filled up";

    // The far end starts reading only from the event loop, during close().
    QByteArray arrived;
    int ticks = 0;
    QSocketNotifier reader(peer.fd(), QSocketNotifier::Read);
    reader.setEnabled(false);
    QObject::connect(&reader, &QSocketNotifier::activated, [&] { arrived += peer.readAvailable(); });
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [&] {
        ++ticks;
        reader.setEnabled(true);
    });
    later.start(30);
    channel.setDrainLimit(20000);
    channel.close();
    EXPECT_FALSE(channel.isOpen());
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(channel.outBufferCount(), 0);
    arrived += peer.readAvailable();
    EXPECT_EQ(arrived.size(), total);
}

// Blocks go to the line in the order they were given, also when the line's
// buffer is full and the rest of a block waits in the channel: a later block
// never overtakes it, and none arrives in part.
TEST(SerialChannel, BlocksKeepTheirOrderWhenTheLineIsFull)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    CCommCtrl channel;
    ASSERT_TRUE(channel.open(peer.slavePath(), QStringLiteral("115200,n,8,1")));
    QByteArray expected = fillTheLine(channel, 200);
    ASSERT_GT(channel.outBufferCount(), 0) << "the line never filled up";
    // The far end makes room before the channel has had a turn to send
    // what it holds; the next block must still wait behind that.
    QByteArray arrived = peer.readAvailable();
    const QByteArray tail("TAIL");
    ASSERT_TRUE(channel.write(tail));
    expected += tail;

    ASSERT_TRUE(waitUntil([&] {
        arrived += peer.readAvailable();
        return arrived.size() >= expected.size();
    }));
    EXPECT_EQ(arrived.size(), expected.size());
    EXPECT_TRUE(arrived == expected);
}

TEST(SerialChannel, APulledPortIsReportedAndCloseDoesNotHang)
{
    auto peer = std::make_unique<PtyPeer>();
    ASSERT_TRUE(peer->ok());
    CCommCtrl channel;
    ASSERT_TRUE(channel.open(peer->slavePath(), QStringLiteral("115200,n,8,1")));
    QSignalSpy failed(&channel, &CCommCtrl::failed);
    peer->hangUp();
    ASSERT_TRUE(waitUntil([&] { return failed.count() == 1; }, 5000));
    EXPECT_FALSE(channel.write(QByteArray(14, 0)));
    channel.close();
    EXPECT_FALSE(channel.isOpen());
    spin(20);
    EXPECT_EQ(failed.count(), 1);
}

} // namespace
