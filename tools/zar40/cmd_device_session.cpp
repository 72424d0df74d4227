// Qt keywords off, as in the link library: plain names stay plain.
#define QT_NO_KEYWORDS
#include "cmd_device_session.h"

#include "canbus/address.h"
#include "zar40/comm/cantransport.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/commprompts.h"
#include "zar40/comm/communicationmodul.h"
#include "zar40/comm/transactionengine.h"
#include "zar40/comm/transferui.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QTimer>

#include <iostream>
#include <unistd.h>

namespace zar40tool {

using namespace zar40;
using namespace zar40::comm;
using codec::Message;

volatile std::sig_atomic_t DeviceSession::stopRequested = 0;

namespace {

// The connection's prompts on a terminal: notices go to stderr, the password
// comes from the command line (once; a refused one is not tried again).
class ToolPrompts : public CommPrompts
{
public:
    explicit ToolPrompts(std::optional<std::uint32_t> password) : m_password(password) {}

    void information(const QString &text) override { m_notices.push_back(text.toStdString()); }
    void error(const QString &text) override { m_notices.push_back(text.toStdString()); }
    std::optional<QString> enterPassword() override
    {
        ++m_asked;
        if (!m_password || m_asked > 1) return std::nullopt;
        return QString::number(*m_password);
    }

    std::vector<std::string> m_notices;
    std::optional<std::uint32_t> m_password;
    int m_asked = 0;
};

// Progress of a preset transfer on stderr: one updating line on a terminal,
// the finished count otherwise.
class ToolTransferUi : public TransferUi
{
public:
    explicit ToolTransferUi(bool quiet) : m_quiet(quiet), m_tty(isatty(STDERR_FILENO) != 0) {}

    class Window : public WaitWindow
    {
    public:
        Window(ToolTransferUi &ui, QString title) : m_ui(ui), m_title(std::move(title)) {}
        void setProgress(int done, int total) override
        {
            m_done = done;
            m_total = total;
            if (!m_ui.m_quiet && m_ui.m_tty)
                std::cerr << "\r" << m_title.toStdString() << " " << done << "/" << total << std::flush;
        }
        void close(int) override
        {
            if (m_ui.m_quiet) return;
            if (m_ui.m_tty) std::cerr << "\n";
            else std::cerr << m_title.toStdString() << " " << m_done << "/" << m_total << "\n";
        }

    private:
        ToolTransferUi &m_ui;
        QString m_title;
        int m_done = 0;
        int m_total = 0;
    };

    std::unique_ptr<WaitWindow> openWaitWindow(const QString &title, int) override
    {
        return std::make_unique<Window>(*this, title);
    }
    void setEditorEnabled(bool) override {}

private:
    bool m_quiet;
    bool m_tty;
};

} // namespace

struct DeviceSession::Impl {
    explicit Impl(const DeviceOptions &o) : options(o), prompts(o.password), ui(o.quiet) {}

    DeviceOptions options;
    ToolPrompts prompts;
    ToolTransferUi ui;
    std::unique_ptr<CCommunicationmodul> link;
    std::vector<int> notes;
    bool connected = false;
    bool closing = false;
    std::function<void(const Message &, const Message &)> onReply;

    // Runs the event loop until DONE holds. false when the connection failed
    // meanwhile (time-out, refusal, closed) or a stop was requested.
    bool waitFor(const std::function<bool()> &done, std::string &error)
    {
        const std::size_t seen = notes.size();
        QTimer wake; // lets a stop request be seen while nothing arrives
        wake.start(100);
        for (;;) {
            for (std::size_t i = seen; i < notes.size(); ++i) {
                switch (notes[i]) {
                case CCommunicationmodul::NotifyTimedOut:
                    error = "no answer from the device within " + std::to_string(options.timeoutMs) +
                            (options.can.empty() ? " ms (is the port right and the device connected?)"
                                                 : " ms (is the Net-ID right and the unit on the bus?)");
                    connected = false;
                    return false;
                case CCommunicationmodul::NotifyRefused:
                    error = "the device refused the request (20 wrong answers)";
                    connected = false;
                    return false;
                case CCommunicationmodul::NotifyClosed:
                    if (!closing) {
                        error = "the connection was closed";
                        connected = false;
                        return false;
                    }
                    break;
                default:
                    break;
                }
            }
            if (done()) return true;
            if (DeviceSession::stopRequested) {
                error = "stopped";
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }

    // One request and its accepted reply.
    bool exchange(std::uint16_t code, std::uint16_t address, std::uint32_t value, Message &reply, std::string &error)
    {
        bool got = false;
        onReply = [&](const Message &request, const Message &r) {
            if (request == Message{code, address, value}) {
                reply = r;
                got = true;
            }
        };
        link->postTransaction(code, address, value);
        const bool ok = waitFor([&] { return got; }, error);
        onReply = nullptr;
        if (ok && reply.code == codec::RepError) {
            error = "the device answered " + std::string(codec::requestCodeName(code)) + " " +
                    std::to_string(address) + " with an error (status " + std::to_string(reply.value) + ")";
            return false;
        }
        return ok;
    }
};

DeviceSession::DeviceSession(const DeviceOptions &options) : d(std::make_unique<Impl>(options)) {}

DeviceSession::~DeviceSession()
{
    if (d->connected) close();
}

bool DeviceSession::open()
{
    CTransactionEngine::instance().setTimeout(d->options.timeoutMs);
    d->link = std::make_unique<CCommunicationmodul>();
    d->link->setPrompts(&d->prompts);
    d->link->setTransferUi(&d->ui);
    std::string target = d->options.port;
    if (!d->options.can.empty()) {
        // No host and no CAN window here: the tool is the only user of its
        // own CAN device.
        const auto address = canbus::parseAddress(QString::fromStdString(d->options.can));
        if (!address) {
            m_error = "--can takes BACKEND:INTERFACE, such as virtualcan:can0";
            return false;
        }
        // The virtual bus reports who hosts it at info level: noise here.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.*.info=false"));
        auto can = std::make_unique<CanBusTransport>(*address, d->options.netId);
        if (!can->open()) {
            m_error = can->errorString().toStdString();
            return false;
        }
        target = can->description().toStdString();
        d->link->setConnectionType(CCommunicationmodul::CanBus);
        d->link->setNetId(d->options.netId);
        d->link->setTransport(std::move(can));
    } else {
        d->link->setConnectionType(CCommunicationmodul::SerialLine);
        d->link->setPort(QString::fromStdString(d->options.port));
    }
    QObject::connect(d->link.get(), &CCommunicationmodul::notification, [this](int code) { d->notes.push_back(code); });
    QObject::connect(d->link.get(), &CCommunicationmodul::replied, [this](const Message &request, const Message &reply) {
        if (d->onReply) d->onReply(request, reply);
    });

    if (!d->link->connectToDevice()) {
        m_error = d->prompts.m_notices.empty() ? "cannot open " + target : d->prompts.m_notices.back();
        return false;
    }
    // The sequence either ends connected or falls back to idle on its own
    // (device busy, not a ZAR40, wrong revision, password refused).
    const bool ok = d->waitFor(
        [&] {
            return (!d->notes.empty() && d->notes.back() == CCommunicationmodul::NotifyConnected) ||
                   d->link->state() == codec::Idle_State_PC;
        },
        m_error);
    if (!ok) return false;
    if (d->link->state() == codec::Idle_State_PC) {
        if (!d->prompts.m_notices.empty()) {
            m_error = d->prompts.m_notices.back();
            for (char &c : m_error)
                if (c == '\n') c = ' ';
        } else if (d->prompts.m_asked > 0) {
            m_error = d->options.password ? "the device refused the password"
                                          : "the device asks for a password: give it with --password N";
        } else {
            m_error = "the device did not get ready, or it is not a ZAR40";
        }
        d->link->shutDown();
        return false;
    }
    d->connected = true;
    return true;
}

bool DeviceSession::switchToSlot(int slot)
{
    Message reply;
    if (!d->exchange(codec::ReqLoadPreset, static_cast<std::uint16_t>(slot), 0, reply, m_error)) return false;
    // The device answers before it has finished loading; the editor waits too.
    pause(d->options.switchWaitMs);
    return notStopped();
}

bool DeviceSession::storeToSlot(int slot)
{
    Message reply;
    if (!d->exchange(codec::ReqStorePreset, static_cast<std::uint16_t>(slot), 0, reply, m_error)) return false;
    pause(d->options.storeWaitMs);
    return notStopped();
}

bool DeviceSession::notStopped()
{
    // Ctrl-C during a pause: say so, rather than failing with no reason.
    if (stopRequested) m_error = "stopped";
    return !stopRequested;
}

bool DeviceSession::readPreset(preset::PresetRecord &record, codec::DeviceSettings &settings)
{
    const std::size_t seen = d->notes.size();
    d->link->readPreset(&record, &settings);
    return d->waitFor(
        [&] {
            for (std::size_t i = seen; i < d->notes.size(); ++i)
                if (d->notes[i] == CCommunicationmodul::NotifyPresetRead) return true;
            return false;
        },
        m_error);
}

bool DeviceSession::writePreset(const preset::PresetRecord &record)
{
    bool written = false;
    const auto connection =
        QObject::connect(d->link.get(), &CCommunicationmodul::presetWritten, [&] { written = true; });
    d->link->writePreset(record);
    const bool ok = d->waitFor([&] { return written; }, m_error);
    QObject::disconnect(connection);
    return ok;
}

bool DeviceSession::readParameter(std::uint16_t address, std::uint32_t &value)
{
    Message reply;
    if (!d->exchange(codec::ReqReadPara, address, 0, reply, m_error)) return false;
    value = reply.value;
    return true;
}

bool DeviceSession::writeBatch(const std::vector<std::pair<std::uint16_t, std::uint32_t>> &values)
{
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint16_t code = i + 1 == values.size() ? codec::ReqWritePara : codec::ReqWritePreset;
        Message reply;
        if (!d->exchange(code, values[i].first, values[i].second, reply, m_error)) return false;
    }
    return true;
}

bool DeviceSession::poll(std::uint16_t code, std::uint16_t address, std::uint32_t &value)
{
    Message reply;
    if (!d->exchange(code, address, 0, reply, m_error)) return false;
    value = reply.value;
    return true;
}

bool DeviceSession::close()
{
    if (!d->link || !d->connected) return true;
    d->closing = true;
    d->connected = false;
    const std::size_t seen = d->notes.size();
    d->link->postState(codec::ReqDisconnect);
    // A stop request must not cut the goodbye short.
    const auto stop = stopRequested;
    stopRequested = 0;
    const bool ok = d->waitFor(
        [&] {
            for (std::size_t i = seen; i < d->notes.size(); ++i)
                if (d->notes[i] == CCommunicationmodul::NotifyClosed) return true;
            return false;
        },
        m_error);
    stopRequested = stop;
    return ok;
}

void DeviceSession::pause(int ms)
{
    if (ms <= 0) return;
    QDeadlineTimer deadline(ms);
    QTimer wake;
    wake.start(std::min(ms, 100));
    while (!deadline.hasExpired() && !stopRequested) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace zar40tool
