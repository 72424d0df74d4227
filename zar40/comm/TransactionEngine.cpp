#include "TransactionEngine.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/Transport.h"

#include <QCoreApplication>

namespace zar40::comm {

TransactionClient::~TransactionClient() = default;

std::optional<codec::Message> TransactionClient::transactionFollowUp(const codec::Message &) const
{
    return std::nullopt;
}

CTransactionEngine::CTransactionEngine(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CTransactionEngine::onTimeout);
    // A zero timer rather than a posted call: posting from the thread that
    // runs the loop still writes the loop's wake-up descriptor, one system
    // call on the way from every reply to the next request (and two more to
    // drain it), while a due timer is simply found on the next turn.
    m_pumpTimer.setSingleShot(true);
    m_pumpTimer.setInterval(0);
    m_pumpTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pumpTimer, &QTimer::timeout, this, &CTransactionEngine::pump);
}

CTransactionEngine::~CTransactionEngine() = default;

CTransactionEngine &CTransactionEngine::instance()
{
    // Owned by the application object, so that its timer dies with the
    // event loop it belongs to. In a plug-in the code goes before the
    // application object does: unloading the library (which runs this
    // holder's destructor) deletes the engine first, or the application
    // would later delete an object whose code is gone.
    struct Holder {
        QPointer<CTransactionEngine> engine;
        ~Holder() { delete engine.data(); }
    };
    static Holder holder;
    if (!holder.engine) holder.engine = new CTransactionEngine(QCoreApplication::instance());
    return *holder.engine;
}

CTransactionEngine::Priority CTransactionEngine::priorityOf(std::uint16_t requestCode)
{
    if (requestCode == codec::ReqWritePara) return Priority::BatchEnd;
    if (codec::isPollRequestCode(requestCode)) return Priority::Poll;
    return Priority::Sequence;
}

void CTransactionEngine::submit(TransactionClient *client, const codec::Message &request)
{
    if (!client) return;
    m_queues[static_cast<std::size_t>(priorityOf(request.code))].push_back(Entry{client, request});
    schedulePump();
}

void CTransactionEngine::dropAll(TransactionClient *client)
{
    for (auto &queue : m_queues) {
        const auto before = queue.size();
        std::erase_if(queue, [client](const Entry &e) { return e.client == client; });
        m_counters.dropped += before - queue.size();
    }
    if (m_current && m_current->client == client) {
        // Its frame is out whole; only the wait for the reply ends here.
        if (m_transport) m_transport->noteAbandoned(m_current->request);
        finish();
        ++m_counters.dropped;
        schedulePump();
    }
}

int CTransactionEngine::pendingCount(const TransactionClient *client) const
{
    int n = 0;
    for (const auto &queue : m_queues)
        for (const Entry &e : queue)
            if (!client || e.client == client) ++n;
    return n;
}

std::optional<codec::Message> CTransactionEngine::currentRequest() const
{
    if (!m_current) return std::nullopt;
    return m_current->request;
}

void CTransactionEngine::schedulePump()
{
    if (!m_pumpTimer.isActive()) m_pumpTimer.start();
}

void CTransactionEngine::pump()
{
    // A client called from here may run a nested event loop (closing a port
    // drains it); the queued pump it meets there must not start a second
    // exchange beside this one.
    if (m_pumping) return;
    m_pumping = true;
    while (!m_current) {
        std::deque<Entry> *queue = nullptr;
        for (auto &q : m_queues) {
            if (!q.empty()) {
                queue = &q;
                break;
            }
        }
        if (!queue) break;
        Entry next = queue->front();
        queue->pop_front();
        start(next);
    }
    m_pumping = false;
}

void CTransactionEngine::start(Entry entry)
{
    Transport *transport = entry.client->transactionTransport();
    m_current = entry;
    ++m_exchange;
    m_attempts = 0;
    m_transport = transport;
    if (!transport || !transport->isOpen()) {
        Entry done = finish();
        ++m_counters.timedOut;
        done.client->transactionTimedOut(done.request);
        return;
    }
    if (m_listenedTransport != transport) {
        disconnect(m_messageConnection);
        m_messageConnection = connect(transport, &Transport::messageReceived, this, &CTransactionEngine::onMessage);
        m_listenedTransport = transport;
    }
    m_timer.start(m_timeoutMs);
    sendAttempt();
}

void CTransactionEngine::sendAttempt()
{
    ++m_attempts;
    ++m_counters.attempts;
    const quint64 exchange = m_exchange;
    // The transport may have sent this very request already, the moment
    // the previous read's answer came in. One it sent that is not this
    // request is given up like a timed-out one: its answer is discarded.
    if (const auto sent = m_transport->takeSentFollowUp()) {
        if (*sent == m_current->request && m_attempts == 1) {
            armFollowUp();
            return;
        }
        m_transport->noteAbandoned(*sent);
    }
    m_transport->discardInput();
    // A transport may answer from inside send (tests do); nothing here may
    // rely on the current transaction after it returns.
    if (!m_transport->send(m_current->request)) {
        if (!m_current || m_exchange != exchange) return;
        Entry done = finish();
        ++m_counters.timedOut;
        done.client->transactionTimedOut(done.request);
        pump();
        return;
    }
    if (m_current && m_exchange == exchange) armFollowUp();
}

void CTransactionEngine::armFollowUp()
{
    const auto next = m_current->client->transactionFollowUp(m_current->request);
    // Only reads: they change nothing in the unit, so one sent and then
    // not asked for costs no more than its answer, which is discarded.
    // And only while nothing waits that would have its turn first.
    if (!next || next->code != codec::ReqReadPara) return;
    for (std::size_t p = 0; p <= static_cast<std::size_t>(priorityOf(next->code)); ++p)
        if (!m_queues[p].empty()) return;
    m_transport->armFollowUp(m_current->request, *next);
}

void CTransactionEngine::onMessage(const codec::Message &reply)
{
    QObject *from = sender();
    if (!m_current || from != m_transport) {
        // The answer to a follow-up whose client has not asked for it yet
        // (its step ran an event loop of its own): nobody waits for it, so
        // the request goes out again when the client asks.
        auto *link = qobject_cast<Transport *>(from);
        if (link && link->sentFollowUp() && codec::acceptReply(*link->sentFollowUp(), reply)) link->takeSentFollowUp();
        return;
    }
    const codec::Message request = m_current->request;
    if (m_transport->isLateReply(request, reply)) {
        ++m_counters.lateDiscarded;
        return;
    }
    if (codec::acceptReply(request, reply)) {
        const QPointer<Transport> transport = m_transport.data();
        Entry done = finish();
        ++m_counters.completed;
        done.client->transactionReplied(done.request, reply);
        pump();
        // A follow-up that went out but that the client did not ask for
        // after all: its answer is discarded when it comes.
        if (transport)
            if (const auto sent = transport->takeSentFollowUp()) transport->noteAbandoned(*sent);
        return;
    }
    ++m_counters.rejected;
    if (m_attempts >= kMaxAttempts) {
        Entry done = finish();
        ++m_counters.refused;
        done.client->transactionRefused(done.request);
        pump();
        return;
    }
    sendAttempt();
}

void CTransactionEngine::onTimeout()
{
    if (!m_current) return;
    if (m_transport) m_transport->noteAbandoned(m_current->request);
    Entry done = finish();
    ++m_counters.timedOut;
    done.client->transactionTimedOut(done.request);
    pump();
}

CTransactionEngine::Entry CTransactionEngine::finish()
{
    Entry done = *m_current;
    m_current.reset();
    m_timer.stop();
    if (m_transport) m_transport->disarmFollowUp();
    m_transport = nullptr; // what the transport says from now on is no reply
    return done;
}

} // namespace zar40::comm
