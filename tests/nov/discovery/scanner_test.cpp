// Whole scans on loopback: simulated modules listen on loopback's broadcast
// address and the test's own port, so nothing leaves the machine and
// parallel runs do not meet.
#include "NovScanner.h"
#include "NovSimModule.h"
#include "nov_test_support.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <memory>

namespace {

QCoreApplication &app()
{
    static int argc = 1;
    static char name[] = "nov-discovery-tests";
    static char *argv[] = {name, nullptr};
    static auto *a = new QCoreApplication(argc, argv);
    return *a;
}

NovScanTarget loopback(int portOffset = 0)
{
    NovScanTarget t;
    t.broadcast = QHostAddress(QString::fromLatin1(novtest::loopbackBroadcast()));
    t.port = novtest::testPort(portOffset);
    return t;
}

std::unique_ptr<NovSimModule> startModule(const char *httpAddress, const QString &reply, const QString &serial)
{
    NovSimModule::Config c;
    c.udpBind = QHostAddress(QString::fromLatin1(novtest::loopbackBroadcast()));
    c.udpPort = novtest::testPort();
    c.httpAddress = QHostAddress(QString::fromLatin1(httpAddress));
    c.httpPort = 0;
    c.reply = reply;
    c.serialNumber = serial;
    auto m = std::make_unique<NovSimModule>(c);
    EXPECT_TRUE(m->start()) << m->errorString().toStdString();
    return m;
}

// Until the socket has closed and every serial-number page is read.
bool waitForScanEnd(NovScanner &s)
{
    return QTest::qWaitFor([&] { return !s.isListening() && s.pendingSerialReads() == 0; }, 15000);
}

TEST(NovScanner, ListsEveryModuleOnceWithTheSerialNumberFromItsPage)
{
    app();
    auto stage = startModule("127.0.0.2", "AB123 7 {http} x y Stage left", "SN-A");
    auto plain = startModule("127.0.0.3", "CD456 1 {http} x y ", "SN-B");
    NovScanner s;
    s.setTarget(loopback());
    QSignalSpy added(&s, &NovScanner::moduleAdded);
    QSignalSpy offline(&s, &NovScanner::offline);
    QSignalSpy failures(&s, &NovScanner::failure);
    ASSERT_TRUE(s.scan());
    ASSERT_TRUE(waitForScanEnd(s));

    ASSERT_EQ(s.moduleCount(), 2);
    EXPECT_EQ(added.count(), 2);
    for (const NovModule &m : s.modules()) {
        if (m.address == stage->httpAuthority()) {
            EXPECT_EQ(m.displayName(), "Stage left");
            EXPECT_EQ(m.serialNumber, "SN-A"); // the page's line, without its line end
        } else {
            EXPECT_EQ(m.address, plain->httpAuthority());
            EXPECT_EQ(m.displayName(), plain->httpAuthority());
            EXPECT_EQ(m.serialNumber, "SN-B");
        }
    }
    // The request went out three times; each module is still listed once,
    // and the scanner's own request came back to it and was passed over.
    EXPECT_EQ(stage->requestsAnswered(), NovScanner::kRequestRepeats);
    EXPECT_EQ(s.repeatedReplies(), 2 * (NovScanner::kRequestRepeats - 1));
    EXPECT_GE(s.ownRequestsHeard(), 1);
    EXPECT_EQ(offline.count(), 0);
    EXPECT_EQ(failures.count(), 0);
}

TEST(NovScanner, RepeatedKeysMalformedRepliesAndTheModuleLimit)
{
    app();
    NovScanner s;
    s.setTarget(loopback(1));
    s.setCloseTimeout(10000); // the test's pauses must not close the socket
    ASSERT_TRUE(s.scan());
    QUdpSocket module;
    auto send = [&](const QByteArray &reply) {
        module.writeDatagram(reply, QHostAddress::LocalHost, novtest::testPort(1));
    };
    // Port 9 refuses: the serial-number page cannot be read.
    send("AB123 7 127.0.0.1:9 x y First");
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.moduleCount() == 1 && s.pendingSerialReads() == 0; }, 10000));
    EXPECT_EQ(s.modules().at(0).serialNumber, "");
    // Known by its reply, even though the serial number is no longer "AB123".
    send("AB123 8 127.0.0.1:9 x y Second");
    send("XY 1");  // no address: nothing to show
    for (int i = 0; i < 300; ++i) {
        send(QByteArray("M") + QByteArray::number(i).rightJustified(4, '0') + " 1 127.0.0.1:9 x y");
        if (i % 20 == 19)
            QTest::qWait(5); // the socket's buffer holds only so many datagrams
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.ignoredReplies() + s.moduleCount() == 301; }, 10000))
        << s.moduleCount() << " listed, " << s.ignoredReplies() << " ignored, " << s.repeatedReplies() << " repeated, "
        << s.malformedReplies() << " malformed";
    s.stop();
    ASSERT_TRUE(waitForScanEnd(s));

    EXPECT_EQ(s.moduleCount(), NovScanner::kMaxModules);
    EXPECT_EQ(s.ignoredReplies(), 301 - NovScanner::kMaxModules);
    EXPECT_EQ(s.repeatedReplies(), 1);
    EXPECT_EQ(s.malformedReplies(), 1);
    EXPECT_EQ(s.modules().at(0).name, "First");
    EXPECT_EQ(s.modules().at(1).serialNumber, ""); // the last page read has ended too
}

TEST(NovScanner, NobodyAnsweringIsOfflineAndSaysWhereTheRequestWent)
{
    app();
    NovScanner s;
    s.setTarget(loopback(2));
    QSignalSpy offline(&s, &NovScanner::offline);
    QSignalSpy closed(&s, &NovScanner::socketClosed);
    ASSERT_TRUE(s.scan());
    ASSERT_TRUE(offline.wait(5000));
    EXPECT_EQ(s.moduleCount(), 0);
    const QString why = s.nothingFoundText();
    EXPECT_TRUE(why.contains("127.255.255.255")) << why.toStdString();
    EXPECT_TRUE(why.contains(QString::number(novtest::testPort(2)))) << why.toStdString();
    EXPECT_TRUE(why.contains("lo (127.0.0.1")) << why.toStdString();
    // Its own request was the last datagram; the socket closes after that.
    ASSERT_TRUE(closed.wait(5000));
    EXPECT_FALSE(s.isListening());
}

TEST(NovScanner, APortThatCannotBeOpenedIsReported)
{
    app();
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, novtest::testPort(3), QAbstractSocket::DontShareAddress));
    NovScanner s;
    s.setTarget(loopback(3));
    QSignalSpy failures(&s, &NovScanner::failure);
    EXPECT_FALSE(s.scan());
    ASSERT_EQ(failures.count(), 1);
    EXPECT_TRUE(failures.at(0).at(0).toString().contains(QString::number(novtest::testPort(3))));
    EXPECT_FALSE(s.isListening());
}

} // namespace
