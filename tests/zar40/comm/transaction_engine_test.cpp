#include "FakeTransport.h"
#include "test_support.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/TransactionEngine.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace zar40;
using namespace zar40::comm;
using namespace zar40::comm::test;
using codec::Message;

namespace {

struct Event {
    enum Kind { Replied, TimedOut, Refused } kind;
    Message request;
    Message reply;
};

class RecordingClient : public TransactionClient
{
public:
    explicit RecordingClient(Transport *t) : transport(t) {}
    Transport *transactionTransport() override { return transport; }
    void transactionReplied(const Message &request, const Message &reply) override
    {
        events.push_back({Event::Replied, request, reply});
        if (onReply) onReply(request, reply);
    }
    void transactionTimedOut(const Message &request) override { events.push_back({Event::TimedOut, request, {}}); }
    void transactionRefused(const Message &request) override { events.push_back({Event::Refused, request, {}}); }

    int count(Event::Kind kind) const
    {
        int n = 0;
        for (const auto &e : events) n += e.kind == kind;
        return n;
    }

    std::optional<Message> transactionFollowUp(const Message &request) const override
    {
        return followUp ? followUp(request) : std::nullopt;
    }

    Transport *transport;
    std::vector<Event> events;
    std::function<void(const Message &, const Message &)> onReply;
    std::function<std::optional<Message>(const Message &)> followUp;
};

Message req(std::uint16_t code, std::uint16_t address = 0, std::uint32_t value = 0) { return {code, address, value}; }

class TransactionEngineTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(link.open()); }

    CTransactionEngine engine;
    FakeTransport link;
    RecordingClient client{&link};
};

TEST_F(TransactionEngineTest, ClassesOrderTheQueueAndEachClassIsFirstComeFirstServed)
{
    engine.submit(&client, req(codec::ReqConnect));
    ASSERT_TRUE(waitUntil([&] { return link.sent.size() == 1; }));

    // Queued while the connect request is on the wire.
    engine.submit(&client, req(codec::ReqReadPegelVal, 0));
    engine.submit(&client, req(codec::ReqWritePara, 4300, 1));
    engine.submit(&client, req(codec::ReqReadPara, 1100));
    engine.submit(&client, req(codec::ReqReadPotiVal, 1));
    engine.submit(&client, req(codec::ReqWritePreset, 1200, 2));
    engine.submit(&client, req(codec::ReqWritePara, 4400, 3));
    engine.submit(&client, req(codec::ReqReadMuteState, 0));
    EXPECT_EQ(engine.pendingCount(&client), 7);

    while (link.sent.size() < 8) {
        const auto n = link.sent.size();
        link.deliver(FakeTransport::answer(link.sent.back()));
        ASSERT_TRUE(waitUntil([&] { return link.sent.size() > n; }));
    }
    link.deliver(FakeTransport::answer(link.sent.back()));

    const std::vector<std::uint16_t> expected{codec::ReqConnect,   codec::ReqReadPara,     codec::ReqWritePreset,
                                              codec::ReqWritePara, codec::ReqWritePara,     codec::ReqReadPegelVal,
                                              codec::ReqReadPotiVal, codec::ReqReadMuteState};
    std::vector<std::uint16_t> order;
    for (const auto &m : link.sent) order.push_back(m.code);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(link.sent[3].address, 4300); // FIFO inside the ReqWritePara class
    EXPECT_EQ(link.sent[4].address, 4400);
    EXPECT_EQ(client.count(Event::Replied), 8);
    EXPECT_EQ(engine.pendingCount(), 0);
}

TEST_F(TransactionEngineTest, BatchQueuedFromTheReplyStaysAheadOfWaitingPolls)
{
    link.responder = [](const Message &m) { return FakeTransport::answer(m, 1); };
    int next = 1;
    client.onReply = [&](const Message &request, const Message &) {
        if (request.code != codec::ReqWritePreset) return;
        if (next < 5) engine.submit(&client, req(codec::ReqWritePreset, static_cast<std::uint16_t>(1100 + 100 * next++)));
        else engine.submit(&client, req(codec::ReqWritePara, 1100));
    };
    engine.submit(&client, req(codec::ReqWritePreset, 1100));
    ASSERT_TRUE(waitUntil([&] { return !link.sent.isEmpty(); }));
    engine.submit(&client, req(codec::ReqReadPegelVal, 0));
    engine.submit(&client, req(codec::ReqReadPegelVal, 1));

    ASSERT_TRUE(waitUntil([&] { return client.count(Event::Replied) == 8; }));
    ASSERT_EQ(link.sent.size(), 8);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(link.sent[i].code, codec::ReqWritePreset) << i;
    EXPECT_EQ(link.sent[5].code, codec::ReqWritePara);
    EXPECT_EQ(link.sent[6], req(codec::ReqReadPegelVal, 0));
    EXPECT_EQ(link.sent[7], req(codec::ReqReadPegelVal, 1));
}

TEST_F(TransactionEngineTest, RejectedRepliesAreRetriedTwentyTimesThenRefused)
{
    // Level replies without a value are rejected, and so is any wrong address.
    int levelAnswers = 0;
    link.responder = [&](const Message &m) -> std::optional<Message> {
        if (m.code == codec::ReqReadPegelVal)
            return FakeTransport::answer(m, ++levelAnswers < 4 ? codec::kNoValue : 0x01020304u);
        return Message{static_cast<std::uint16_t>(m.code + 8), static_cast<std::uint16_t>(m.address + 1), 1};
    };
    engine.submit(&client, req(codec::ReqReadPegelVal, 1));
    ASSERT_TRUE(waitUntil([&] { return client.events.size() == 1; }));
    EXPECT_EQ(link.sent.size(), 4);
    EXPECT_EQ(client.events[0].kind, Event::Replied);
    EXPECT_EQ(client.events[0].reply.value, 0x01020304u);

    engine.submit(&client, req(codec::ReqReadPara, 4533));
    engine.submit(&client, req(codec::ReqReadPara, 4534));
    ASSERT_TRUE(waitUntil([&] { return client.events.size() == 3; }));
    EXPECT_EQ(client.events[1].kind, Event::Refused);
    EXPECT_EQ(client.events[1].request.address, 4533);
    EXPECT_EQ(link.sent.size(), 4 + 2 * CTransactionEngine::kMaxAttempts);
    EXPECT_EQ(client.count(Event::TimedOut), 0);
    // Every attempt is the same request, and stale input is dropped before each.
    for (qsizetype i = 4; i < 24; ++i) EXPECT_EQ(link.sent[i], req(codec::ReqReadPara, 4533));
    EXPECT_EQ(link.discards, static_cast<int>(link.sent.size()));
}

TEST_F(TransactionEngineTest, ALateReplyIsNeverTakenAsTheNextAnswer)
{
    // Long enough that the revision request cannot time out while the test
    // delivers its answers.
    engine.setTimeout(500);
    engine.submit(&client, req(codec::ReqDeviceID));
    engine.submit(&client, req(codec::ReqRevision));
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::TimedOut) == 1 && link.sent.size() == 2; }));
    EXPECT_EQ(client.events[0].request.code, codec::ReqDeviceID);

    // The device id reply (address 0, value 1) comes after its request was
    // given up; by address alone it would pass for the revision.
    link.deliver(Message{codec::RepDeviceID, 0, 1});
    spin(5);
    EXPECT_TRUE(engine.isExchanging());
    EXPECT_EQ(client.count(Event::Replied), 0);
    EXPECT_EQ(engine.counters().lateDiscarded, 1u);
    EXPECT_EQ(link.sent.size(), 2); // discarded, not rejected: no new attempt

    link.deliver(Message{codec::RepRevision, 0, 0x00010005});
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::Replied) == 1; }));
    EXPECT_EQ(client.events.back().reply.value, 0x00010005u);
}

TEST_F(TransactionEngineTest, EachTransactionGetsItsOwnLimitFromItsTurn)
{
    engine.setTimeout(40);
    engine.submit(&client, req(codec::ReqReadPara, 1100));
    engine.submit(&client, req(codec::ReqReadPara, 2100));
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::TimedOut) == 2; }));
    // The second was sent only after the first had given up, and then ran
    // its full limit rather than what was left of the first one's.
    ASSERT_EQ(link.sent.size(), 2);
    EXPECT_EQ(link.sent[1].address, 2100);
    EXPECT_EQ(engine.counters().timedOut, 2u);
}

TEST_F(TransactionEngineTest, DroppingAClientEndsItsWaitButNotItsFrame)
{
    FakeTransport otherLink;
    ASSERT_TRUE(otherLink.open());
    RecordingClient other(&otherLink);

    engine.submit(&client, req(codec::ReqReadPara, 4533));
    ASSERT_TRUE(waitUntil([&] { return link.sent.size() == 1; }));
    engine.submit(&client, req(codec::ReqReadPara, 4534));
    engine.submit(&other, req(codec::ReqReadPara, 1100));
    engine.dropAll(&client);
    EXPECT_FALSE(engine.isExchanging());
    EXPECT_EQ(engine.pendingCount(&client), 0);

    ASSERT_TRUE(waitUntil([&] { return otherLink.sent.size() == 1; }));
    otherLink.deliver(FakeTransport::answer(otherLink.sent.back(), 7));
    ASSERT_TRUE(waitUntil([&] { return other.count(Event::Replied) == 1; }));
    EXPECT_TRUE(client.events.empty()); // a dropped transaction reports nothing

    // What a shut-down sends next; the dropped read's reply arrives late.
    engine.submit(&client, req(codec::ReqDisconnect));
    ASSERT_TRUE(waitUntil([&] { return link.sent.size() == 2; }));
    link.deliver(Message{codec::RepReadPara, 4533, 0});
    spin(5);
    EXPECT_TRUE(client.events.empty());
    link.deliver(FakeTransport::answer(link.sent.back()));
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::Replied) == 1; }));
    EXPECT_EQ(client.events[0].request.code, codec::ReqDisconnect);
}

TEST_F(TransactionEngineTest, RepliesWithoutAWaitingRequestAreIgnored)
{
    link.deliver(Message{codec::RepRevision, 0, 0x00010005});
    spin(5);
    engine.submit(&client, req(codec::ReqRevision));
    ASSERT_TRUE(waitUntil([&] { return link.sent.size() == 1; }));
    spin(5);
    EXPECT_TRUE(client.events.empty());
    EXPECT_TRUE(engine.isExchanging());
    link.deliver(Message{codec::RepError, 0, 3}); // passes: address matches
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::Replied) == 1; }));
    EXPECT_EQ(client.events[0].reply.code, codec::RepError);
}

// A run of reads 100, 101, ... 104 whose client names each next step.
struct ReadRun {
    static constexpr std::uint16_t kLast = 104;
    static std::optional<Message> next(const Message &m)
    {
        if (m.code != codec::ReqReadPara || m.address >= kLast) return std::nullopt;
        return req(codec::ReqReadPara, static_cast<std::uint16_t>(m.address + 1));
    }
};

TEST_F(TransactionEngineTest, AFollowUpReadGoesOutBeforeItsClientHearsTheAnswerAndOnlyOnce)
{
    link.sendsFollowUps = true;
    link.responder = [](const Message &m) { return FakeTransport::answer(m, m.address); };
    client.followUp = ReadRun::next;
    std::vector<qsizetype> sentWhenReplied;
    client.onReply = [&](const Message &request, const Message &) {
        sentWhenReplied.push_back(link.sent.size());
        if (auto next = ReadRun::next(request)) engine.submit(&client, *next);
    };
    // A poll waiting meanwhile keeps its place behind the run.
    engine.submit(&client, req(codec::ReqReadPara, 100));
    engine.submit(&client, req(codec::ReqReadPegelVal, 0));
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::Replied) == 6; }));

    ASSERT_EQ(link.sent.size(), 6);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(link.sent[i], req(codec::ReqReadPara, static_cast<std::uint16_t>(100 + i)));
    EXPECT_EQ(link.sent[5], req(codec::ReqReadPegelVal, 0));
    // Each next read was already out when the client heard of the one
    // before; the last has none, and the poll waits for its turn.
    EXPECT_EQ(sentWhenReplied, (std::vector<qsizetype>{2, 3, 4, 5, 5, 6}));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(client.events[i].reply.value, 100u + i);
    EXPECT_EQ(engine.counters().attempts, 6u);
    EXPECT_EQ(engine.counters().lateDiscarded, 0u);
}

TEST_F(TransactionEngineTest, AFollowUpNotAskedForIsGivenUpAndItsAnswerDiscarded)
{
    link.sendsFollowUps = true;
    link.responder = [](const Message &m) { return FakeTransport::answer(m, 7); };
    client.followUp = ReadRun::next;
    // The client goes another way: instead of read 101 it reads 200.
    client.onReply = [&](const Message &request, const Message &) {
        if (request.address == 100) engine.submit(&client, req(codec::ReqReadPara, 200));
    };
    engine.submit(&client, req(codec::ReqReadPara, 100));
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::Replied) == 2; }));
    spin(5);

    ASSERT_EQ(link.sent.size(), 3);
    EXPECT_EQ(link.sent[1], req(codec::ReqReadPara, 101));
    EXPECT_EQ(link.sent[2], req(codec::ReqReadPara, 200));
    EXPECT_EQ(client.events[1].request, req(codec::ReqReadPara, 200));
    EXPECT_EQ(client.events[1].reply.address, 200);
    EXPECT_EQ(engine.counters().lateDiscarded, 1u);
    EXPECT_FALSE(engine.isExchanging());
}

TEST_F(TransactionEngineTest, OnlyAPositiveAnswerInTimeSendsTheFollowUp)
{
    link.sendsFollowUps = true;
    client.followUp = ReadRun::next;
    engine.setTimeout(50);
    // An error answer: the engine takes it, but no follow-up goes out.
    engine.submit(&client, req(codec::ReqReadPara, 100));
    ASSERT_TRUE(waitUntil([&] { return link.sent.size() == 1; }));
    link.deliver(Message{codec::RepError, 100, 3});
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::Replied) == 1; }));
    EXPECT_EQ(link.sent.size(), 1);

    // A positive answer after its request was given up sends nothing either.
    engine.submit(&client, req(codec::ReqReadPara, 102));
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::TimedOut) == 1; }));
    link.deliver(FakeTransport::answer(req(codec::ReqReadPara, 102)));
    spin(5);
    EXPECT_EQ(link.sent.size(), 2);
    EXPECT_EQ(link.sentFollowUp(), std::nullopt);
}

TEST_F(TransactionEngineTest, ALinkThatCannotSendEndsTheTransactionAtOnce)
{
    // The default six-second limit stays: the failure must not wait for it.
    link.close();
    engine.submit(&client, req(codec::ReqReadPara, 1100));
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::TimedOut) == 1; }, 3000));

    ASSERT_TRUE(link.open());
    link.failSend = true;
    engine.submit(&client, req(codec::ReqReadPara, 2100));
    ASSERT_TRUE(waitUntil([&] { return client.count(Event::TimedOut) == 2; }, 3000));
    EXPECT_FALSE(engine.isExchanging());
}

} // namespace
