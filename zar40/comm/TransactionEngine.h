#pragma once
// One queue of device transactions for the whole process, run by the event
// loop: one exchange on the wire at a time, however many connections exist.
//
// A transaction is one request and its accepted reply. It gets its turn by
// priority class (connection sequence and batch writes first, then
// ReqWritePara, polls last; first come first served inside a class), then
// sends its request up to 20 times while replies are rejected, all within
// one time limit counted from its turn. Nothing is ever cut off in the middle
// of a write: a transaction given up (time-out, dropped) has written its
// frame whole, and its reply, should it still come, is discarded.
//
// The next read of a run of reads may already be on the wire when its turn
// comes: a transport that supports it sends it the moment the positive
// answer to the read before is in (see TransactionClient::transactionFollowUp).
#include "zar40/comm/codec/message.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <deque>
#include <optional>

namespace zar40::comm {

class Transport;

// Whoever owns transactions: the connection object.
class TransactionClient
{
public:
    virtual ~TransactionClient();
    // The link the client's transactions go through. Asked when a
    // transaction gets its turn.
    virtual Transport *transactionTransport() = 0;
    // An accepted reply. The next transaction gets its turn only after this
    // returns, so requests queued from here (the next address of a batch)
    // keep their place ahead of lower classes.
    virtual void transactionReplied(const codec::Message &request, const codec::Message &reply) = 0;
    // No accepted reply within the time limit, or the link could not send.
    virtual void transactionTimedOut(const codec::Message &request) = 0;
    // Every attempt was answered with a rejected reply.
    virtual void transactionRefused(const codec::Message &request) = 0;
    // The request the client will submit from transactionReplied once
    // REQUEST has its answer, where that is already certain: the next
    // step of a run of reads. The engine may then let it go out before the
    // answer is handed over. None by default.
    virtual std::optional<codec::Message> transactionFollowUp(const codec::Message &request) const;
};

class CTransactionEngine : public QObject
{
    Q_OBJECT
public:
    enum class Priority { Sequence = 0, BatchEnd = 1, Poll = 2 };
    static constexpr int kDefaultTimeoutMs = 6000;
    static constexpr int kMaxAttempts = 20;

    explicit CTransactionEngine(QObject *parent = nullptr);
    ~CTransactionEngine() override;

    // The queue every connection of the process shares.
    static CTransactionEngine &instance();

    static Priority priorityOf(std::uint16_t requestCode);

    // The time limit of one transaction from its turn. Tests shorten it.
    void setTimeout(int ms) { m_timeoutMs = ms < 1 ? 1 : ms; }
    int timeout() const { return m_timeoutMs; }

    // Queues one transaction. Its turn comes from the event loop.
    void submit(TransactionClient *client, const codec::Message &request);
    // Drops every transaction of CLIENT: the queued ones at once, the one on
    // the wire between its frame and its reply.
    void dropAll(TransactionClient *client);

    // Transactions waiting for their turn (of CLIENT, or all).
    int pendingCount(const TransactionClient *client = nullptr) const;
    bool isExchanging() const { return m_current.has_value(); }
    std::optional<codec::Message> currentRequest() const;

    struct Counters {
        quint64 completed = 0;     // accepted replies
        quint64 attempts = 0;      // frames sent
        quint64 rejected = 0;      // replies rejected by the acceptance rule
        quint64 timedOut = 0;
        quint64 refused = 0;
        quint64 dropped = 0;       // queued or on the wire when dropped
        quint64 lateDiscarded = 0; // replies of given-up requests
    };
    const Counters &counters() const { return m_counters; }

private:
    struct Entry {
        TransactionClient *client;
        codec::Message request;
    };

    void schedulePump();
    void pump();
    void start(Entry entry);
    void sendAttempt();
    void armFollowUp();
    void onMessage(const codec::Message &reply);
    void onTimeout();
    Entry finish();

    std::array<std::deque<Entry>, 3> m_queues;
    std::optional<Entry> m_current;
    QPointer<Transport> m_transport;
    // The transport whose replies reach onMessage, kept between exchanges:
    // connecting and disconnecting cost microseconds on the way from each
    // reply to the next request, which every exchange waits for.
    QPointer<Transport> m_listenedTransport;
    QMetaObject::Connection m_messageConnection;
    int m_attempts = 0;
    quint64 m_exchange = 0; // tells one turn from the next
    int m_timeoutMs = kDefaultTimeoutMs;
    QTimer m_timer;
    QTimer m_pumpTimer;
    bool m_pumping = false;
    Counters m_counters;
};

} // namespace zar40::comm
