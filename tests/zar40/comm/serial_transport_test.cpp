// The RS232 link below the transaction engine: what reaches the engine from
// a line that delivers bytes one at a time.
#include "PtyPeer.h"
#include "test_support.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/SerialTransport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace zar40;
using namespace zar40::comm;
using namespace zar40::comm::test;

namespace {

QByteArray frameBytes(const codec::Message &m)
{
    const codec::FrameBytes f = codec::buildFrame(m);
    return QByteArray(reinterpret_cast<const char *>(f.data()), static_cast<qsizetype>(f.size()));
}

class SerialTransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_peer.ok());
        ASSERT_TRUE(m_link.open()) << m_link.errorString().toStdString();
    }

    PtyPeer m_peer;
    SerialTransport m_link{m_peer.slavePath()};
    const codec::Message m_request{codec::ReqReadPara, 0x0230, 0};
    const codec::Message m_reply{codec::RepReadPara, 0x0230, 77};
};

// A reply arrives a byte at a time, as from a real line; the engine hears of
// it once, whole.
TEST_F(SerialTransportTest, AReplyArrivingByteByByteIsHandedOnOnceWhole)
{
    QSignalSpy received(&m_link, &Transport::messageReceived);
    const QByteArray frame = frameBytes(m_reply);
    for (char byte : frame) {
        ASSERT_TRUE(m_peer.write(QByteArray(1, byte)));
        spin(1);
    }
    ASSERT_TRUE(waitUntil([&] { return received.count() > 0; }));
    spin(10);
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received.at(0).at(0).value<codec::Message>(), m_reply);
    EXPECT_EQ(m_link.discardedReads(), 0u);
}

// Bytes nobody asked for (the tail of a garbled frame) may wait below the
// notification threshold; they are dropped before the next request and
// never become the front of its reply.
TEST_F(SerialTransportTest, StrayBytesBeforeARequestNeverJoinItsReply)
{
    QSignalSpy received(&m_link, &Transport::messageReceived);
    ASSERT_TRUE(m_peer.write(frameBytes(m_reply).left(5)));
    ASSERT_TRUE(waitUntil([&] { return m_link.channel().inBufferCount() == 5; }));

    m_link.discardInput();
    EXPECT_EQ(m_link.channel().inBufferCount(), 0);
    EXPECT_EQ(m_link.discardedReads(), 1u);
    ASSERT_TRUE(m_link.send(m_request));
    ASSERT_TRUE(waitUntil([&] { return m_peer.readAvailable() == frameBytes(m_request); }));

    ASSERT_TRUE(m_peer.write(frameBytes(m_reply)));
    ASSERT_TRUE(waitUntil([&] { return received.count() > 0; }));
    EXPECT_EQ(received.at(0).at(0).value<codec::Message>(), m_reply);
    EXPECT_EQ(m_link.discardedReads(), 1u);
}

} // namespace
