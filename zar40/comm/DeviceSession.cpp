#include "DeviceSession.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/comm/CommPrompts.h"
#include "zar40/comm/event_wait.h"
#include "zar40/comm/SerialTransport.h"
#include "zar40/comm/TransactionEngine.h"

#include <algorithm>

namespace zar40::comm {

using codec::Message;
using Notification = CCommunicationmodul::Notification;

volatile std::sig_atomic_t DeviceSession::s_stop = 0;

// Nobody to ask: the password comes from the session's settings, once (a
// refused one is not tried again), and notices are kept for the error text.
struct DeviceSession::Prompts : CommPrompts {
    void information(const QString &text) override { notices.push_back(text); }
    void error(const QString &text) override { notices.push_back(text); }
    std::optional<QString> enterPassword() override
    {
        ++asked;
        if (!password || asked > 1) return std::nullopt;
        return QString::number(*password);
    }

    std::optional<std::uint32_t> password;
    QStringList notices;
    int asked = 0;
};

DeviceSession::DeviceSession(CTransactionEngine *engine)
    : m_own(std::make_unique<CCommunicationmodul>(nullptr, engine))
    , m_link(m_own.get())
    , m_prompts(std::make_unique<Prompts>())
{
    m_link->setPrompts(m_prompts.get());
    watch();
}

void DeviceSession::watch()
{
    m_connections.push_back(
        QObject::connect(m_link, &CCommunicationmodul::notification, [this](Notification n) { m_notes.push_back(n); }));
    m_connections.push_back(QObject::connect(m_link, &CCommunicationmodul::replied,
                                             [this](const Message &request, const Message &reply) {
                                                 ++m_replies;
                                                 if (m_onReply) m_onReply(request, reply);
                                             }));
}

DeviceSession::DeviceSession(CCommunicationmodul &connection)
    : m_link(&connection)
    , m_prompts(std::make_unique<Prompts>())
    , m_connected(connection.state() != CCommunicationmodul::State::Idle)
{
    watch();
}

DeviceSession::~DeviceSession()
{
    if (m_own && m_connected) close();
    for (const auto &c : m_connections) QObject::disconnect(c);
}

void DeviceSession::setTimeout(int ms) { m_link->engine().setTimeout(ms); }
int DeviceSession::timeout() const { return m_link->engine().timeout(); }
void DeviceSession::setTransferUi(TransferUi *ui) { m_link->setTransferUi(ui); }

std::optional<std::uint32_t> DeviceSession::reportedRevision() const { return m_link->reportedRevision(); }

bool DeviceSession::isConnected() const
{
    return m_connected && m_link->state() != CCommunicationmodul::State::Idle;
}

bool DeviceSession::fail(Failure failure, const QString &text)
{
    m_failure = failure;
    m_error = text;
    return false;
}

QString DeviceSession::timeoutText() const
{
    return QStringLiteral("no answer from the device within %1 ms %2")
        .arg(timeout())
        .arg(m_link->connectionType() == CCommunicationmodul::ConnectionType::CanBus
                 ? QStringLiteral("(is the Net-ID right and the unit on the bus?)")
                 : QStringLiteral("(is the port right and the device connected?)"));
}

bool DeviceSession::waitFor(const std::function<bool()> &done)
{
    std::size_t seen = m_notes.size();
    // The engine ends every exchange within its time limit; this deadline
    // only guards against a reply that is never even asked for. It starts
    // again with every reply, so long transfers are not cut short.
    const int stallMs = 2 * timeout() + 1000;
    quint64 replies = m_replies;
    QDeadlineTimer deadline(stallMs);
    for (;;) {
        const bool finished = runEventsUntil(
            [&] { return done() || m_notes.size() > seen || m_replies != replies; }, deadline, stopRequested);
        for (std::size_t i = seen; i < m_notes.size(); ++i) {
            switch (m_notes[i]) {
            case Notification::TimedOut:
                m_connected = false;
                return fail(Failure::TimedOut, timeoutText());
            case Notification::Refused:
                m_connected = false;
                return fail(Failure::Refused, QStringLiteral("the device refused the request (20 wrong answers)"));
            case Notification::Closed:
                if (m_closing) break;
                m_connected = false;
                return fail(Failure::Closed, QStringLiteral("the connection was closed"));
            default: break;
            }
        }
        if (done()) return true;
        if (!finished) {
            if (stopRequested()) return fail(Failure::Stopped, QStringLiteral("stopped"));
            m_connected = false;
            m_link->shutDown();
            return fail(Failure::Deadline, timeoutText());
        }
        if (m_replies != replies) {
            replies = m_replies;
            deadline = QDeadlineTimer(stallMs);
        }
        // Notifications that end nothing (connected, preset read) are
        // looked at again only when a later one arrives.
        seen = m_notes.size();
    }
}

bool DeviceSession::open(std::unique_ptr<Transport> transport, CCommunicationmodul::ConnectionType type)
{
    m_failure = Failure::None;
    m_error.clear();
    m_closing = false;
    m_notes.clear();
    m_prompts->password = m_password;
    m_prompts->notices.clear();
    m_prompts->asked = 0;

    const QString target = transport ? transport->description() : QString();
    m_link->setConnectionType(type);
    m_link->setAcceptAnyRevision(m_acceptAnyRevision);
    m_link->setTransport(std::move(transport));
    if (!m_link->connectToDevice()) {
        if (!m_link->transport()) return fail(Failure::CannotOpen, QStringLiteral("no link"));
        return fail(Failure::CannotOpen, m_prompts->notices.isEmpty()
                                             ? QStringLiteral("%1: %2").arg(target, m_link->transport()->errorString())
                                             : m_prompts->notices.constLast());
    }
    // The sequence either ends connected or falls back to idle on its own
    // (device busy, not a ZAR40, wrong revision, password refused).
    const auto connected = [&] {
        return std::find(m_notes.begin(), m_notes.end(), Notification::Connected) != m_notes.end();
    };
    if (!waitFor([&] { return connected() || m_link->state() == CCommunicationmodul::State::Idle; })) return false;
    if (connected()) {
        m_connected = true;
        return true;
    }

    m_link->shutDown();
    if (!m_prompts->notices.isEmpty()) {
        QString text = m_prompts->notices.constLast();
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        const bool revision = m_link->reportedRevision() &&
                              *m_link->reportedRevision() != codec::revisionWord(codec::kExpectedRevisionMajor,
                                                                                 codec::kExpectedRevisionMinor);
        return fail(revision ? Failure::WrongRevision : Failure::PasswordRefused, text);
    }
    if (m_prompts->asked > 0) {
        return m_password ? fail(Failure::PasswordRefused, QStringLiteral("the device refused the password"))
                          : fail(Failure::PasswordNeeded,
                                 QStringLiteral("the device asks for a password: give it with --password N"));
    }
    return fail(Failure::NotReady, QStringLiteral("the device did not get ready, or it is not a ZAR40"));
}

bool DeviceSession::openSerial(const QString &port)
{
    return open(std::make_unique<SerialTransport>(port), CCommunicationmodul::ConnectionType::SerialLine);
}

std::optional<Message> DeviceSession::exchange(std::uint16_t code, std::uint16_t address, std::uint32_t value)
{
    const Message request{code, address, value};
    std::optional<Message> reply;
    m_onReply = [&](const Message &sent, const Message &r) {
        if (sent == request) reply = r;
    };
    m_link->postTransaction(code, address, value);
    const bool ok = waitFor([&] { return reply.has_value(); });
    m_onReply = nullptr;
    if (!ok) return std::nullopt;
    if (reply->code == codec::RepError) {
        fail(Failure::DeviceError, QStringLiteral("the device answered %1 %2 with an error (status %3)")
                                       .arg(QString::fromLatin1(codec::requestCodeName(code)))
                                       .arg(address)
                                       .arg(reply->value));
        return std::nullopt;
    }
    return reply;
}

bool DeviceSession::pauseAfter(int ms)
{
    pause(ms);
    // A stop during the pause: say so, rather than failing with no reason.
    if (stopRequested()) return fail(Failure::Stopped, QStringLiteral("stopped"));
    return true;
}

bool DeviceSession::switchToSlot(int slot)
{
    return exchange(codec::ReqLoadPreset, static_cast<std::uint16_t>(slot)) && pauseAfter(m_switchWaitMs);
}

bool DeviceSession::storeToSlot(int slot)
{
    return exchange(codec::ReqStorePreset, static_cast<std::uint16_t>(slot)) && pauseAfter(m_storeWaitMs);
}

bool DeviceSession::readPreset(preset::PresetRecord &record, codec::DeviceSettings &settings)
{
    const std::size_t seen = m_notes.size();
    m_link->readPreset(&record, &settings);
    return waitFor([&] {
        return std::find(m_notes.begin() + static_cast<std::ptrdiff_t>(seen), m_notes.end(), Notification::PresetRead) !=
               m_notes.end();
    });
}

bool DeviceSession::writePreset(const preset::PresetRecord &record)
{
    bool written = false;
    const auto connection = QObject::connect(m_link, &CCommunicationmodul::presetWritten, [&] { written = true; });
    m_link->writePreset(record);
    const bool ok = waitFor([&] { return written; });
    QObject::disconnect(connection);
    return ok;
}

bool DeviceSession::readParameter(std::uint16_t address, std::uint32_t &value)
{
    const auto reply = exchange(codec::ReqReadPara, address);
    if (reply) value = reply->value;
    return reply.has_value();
}

bool DeviceSession::writeParameter(std::uint16_t address, std::uint32_t value)
{
    return exchange(codec::ReqWritePara, address, value).has_value();
}

bool DeviceSession::sendAll(const std::vector<codec::Message> &requests)
{
    for (const codec::Message &r : requests)
        if (!exchange(r.code, r.address, r.value)) return false;
    return true;
}

bool DeviceSession::poll(std::uint16_t code, std::uint16_t address, std::uint32_t &value)
{
    const auto reply = exchange(code, address);
    if (reply) value = reply->value;
    return reply.has_value();
}

bool DeviceSession::close()
{
    if (!isConnected()) return true;
    m_closing = true;
    m_connected = false;
    const std::size_t seen = m_notes.size();
    m_link->postState(codec::ReqDisconnect);
    // A stop request must not cut the goodbye short.
    const auto stop = s_stop;
    s_stop = 0;
    const bool ok = waitFor([&] {
        return std::find(m_notes.begin() + static_cast<std::ptrdiff_t>(seen), m_notes.end(), Notification::Closed) !=
               m_notes.end();
    });
    s_stop = stop;
    m_closing = false;
    return ok;
}

void DeviceSession::pause(int ms) { runEventsFor(ms, stopRequested); }

} // namespace zar40::comm
