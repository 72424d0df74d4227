#include "can_server.h"

#include "message_text.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"

#include <QAbstractSocket>
#include <QCanBus>

#include <cinttypes>
#include <cstdio>
#include <span>

namespace zar40sim {

namespace codec = zar40::codec;

namespace {

// Only the device answers with these codes. On CAN a unit hears every frame
// of its Net-ID, and a second unit with the same Net-ID would otherwise
// answer our replies (with RepError) and we its replies: an endless storm.
bool isDeviceReply(std::uint16_t code)
{
    if (code == codec::Idle_State_PC) return false;
    for (const auto &info : codec::requestCodeTable())
        if (info.code == code) return !info.isRequest;
    return false;
}

void say(const QString &text)
{
    std::fprintf(stderr, "zar40-sim: %s\n", qPrintable(text));
}

} // namespace

bool splitCanTarget(std::string_view text, std::string &backend, std::string &interface)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) return false;
    backend = text.substr(0, colon);
    interface = text.substr(colon + 1);
    return true;
}

std::optional<std::string> netIdProblem(long long netId)
{
    if (netId >= codec::kMinNetId && netId <= codec::kMaxNetIdOnBus) return std::nullopt;
    if (netId > codec::kMaxNetIdOnBus && netId <= codec::kMaxNetId) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "Net-ID %lld gives CAN identifier 0x%" PRIX32
                      ", above the 11-bit limit 0x7FF; use a Net-ID from 1 to 63",
                      netId, codec::canIdForNetId(static_cast<int>(netId)));
        return std::string(buf);
    }
    return "Net-ID " + std::to_string(netId) + " is out of range; use a Net-ID from 1 to 63";
}

CanServer::CanServer(DeviceModel &model, CanOptions options, QObject *parent)
    : QObject(parent), m_model(model), m_options(std::move(options))
{
    m_connectTimer.setSingleShot(true);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &CanServer::onConnectTimeout);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &CanServer::reconnect);
}

CanServer::~CanServer()
{
    stop();
}

QString CanServer::description() const
{
    return QStringLiteral("%1:%2 net-id %3").arg(m_options.backend, m_options.interface).arg(m_options.netId);
}

bool CanServer::start(QString &error)
{
    m_stopping = false;
    return createAndConnect(error);
}

void CanServer::stop()
{
    m_stopping = true;
    m_connectTimer.stop();
    m_reconnectTimer.stop();
    dropDevice();
}

bool CanServer::createAndConnect(QString &error)
{
    const QString target = m_options.backend + u':' + m_options.interface;
    QString why;
    m_device = QCanBus::instance()->createDevice(m_options.backend, m_options.interface, &why);
    if (!m_device) {
        const QStringList plugins = QCanBus::instance()->plugins();
        error = QStringLiteral("cannot use %1: %2 (CAN plug-ins here: %3)")
                    .arg(target, why.isEmpty() ? QStringLiteral("no such plug-in") : why, plugins.join(u", "));
        return false;
    }
    // virtualcan refuses a bad interface name in its constructor, yet would
    // still connect (to can0) if asked.
    if (m_device->error() != QCanBusDevice::NoError) {
        error = QStringLiteral("cannot use %1: %2").arg(target, m_device->errorString());
        dropDevice();
        return false;
    }
    connect(m_device, &QCanBusDevice::stateChanged, this, &CanServer::onStateChanged);
    connect(m_device, &QCanBusDevice::errorOccurred, this, &CanServer::onErrorOccurred);
    connect(m_device, &QCanBusDevice::framesReceived, this, &CanServer::onFramesReceived);
    // virtualcan connects to its TCP hub in the background and never reports
    // a refused connection: it stays in ConnectingState. Hence the timer.
    m_connectTimer.start(m_options.connectTimeoutMs);
    // A backend that fails at once (socketcan) also signals the unconnected
    // state from inside connectDevice(); the failure is handled here then.
    m_inConnect = true;
    const bool connecting = m_device->connectDevice();
    m_inConnect = false;
    if (!connecting) {
        error = QStringLiteral("cannot open %1: %2").arg(target, m_device->errorString());
        if (m_options.backend == u"socketcan")
            error += QStringLiteral(" (is the interface there and up? e.g. 'ip link set %1 up type can bitrate 125000')")
                         .arg(m_options.interface);
        m_connectTimer.stop();
        dropDevice();
        return false;
    }
    return true;
}

void CanServer::dropDevice()
{
    if (!m_device) return;
    QCanBusDevice *device = m_device;
    m_device = nullptr;
    disconnect(device, nullptr, this, nullptr);
    if (device->state() != QCanBusDevice::UnconnectedState) device->disconnectDevice();
    // We may be inside one of the device's own signals.
    device->deleteLater();
}

void CanServer::onStateChanged(QCanBusDevice::CanBusDeviceState state)
{
    if (m_stopping || (m_inConnect && state == QCanBusDevice::UnconnectedState)) return;
    if (state == QCanBusDevice::ConnectedState) {
        // virtualcan reports connected before its socket has sent the line
        // that joins the bus; frames sent to us before that line reaches the
        // hub are lost. Call ourselves ready once it is out.
        QCanBusDevice *device = m_device;
        auto *socket = device->findChild<QAbstractSocket *>();
        if (socket && socket->bytesToWrite() > 0) {
            connect(socket, &QAbstractSocket::bytesWritten, this, [this, device, socket] {
                if (socket->bytesToWrite() > 0) return;
                disconnect(socket, &QAbstractSocket::bytesWritten, this, nullptr);
                // Not for a device dropped meanwhile (its farewell line).
                if (device == m_device && !m_stopping) onOnBus();
            });
            return;
        }
        onOnBus();
    } else if (state == QCanBusDevice::UnconnectedState) {
        m_connectTimer.stop();
        if (!m_everConnected) {
            const QString why = m_device ? m_device->errorString() : QString();
            dropDevice();
            emit failed(QStringLiteral("could not connect to %1:%2%3")
                            .arg(m_options.backend, m_options.interface, why.isEmpty() ? QString() : ": " + why));
        } else {
            // On virtualcan this is what everybody sees when the program
            // that hosted the bus ends; the first to reconnect hosts it anew.
            scheduleReconnect(m_options.backend == u"virtualcan"
                                  ? QStringLiteral("lost the CAN bus (did the program hosting the virtual bus end?)")
                                  : QStringLiteral("lost the CAN bus"));
        }
    }
}

void CanServer::onOnBus()
{
    m_connectTimer.stop();
    if (!m_everConnected) {
        m_everConnected = true;
        emit ready();
    } else {
        say(QStringLiteral("back on the CAN bus as %1").arg(description()));
    }
}

void CanServer::onErrorOccurred(QCanBusDevice::CanBusError error)
{
    if (m_stopping || m_inConnect || !m_device || error == QCanBusDevice::NoError) return;
    say(QStringLiteral("CAN error on %1:%2: %3").arg(m_options.backend, m_options.interface, m_device->errorString()));
}

void CanServer::onConnectTimeout()
{
    const QString why = QStringLiteral("no connection to %1:%2 within %3 ms")
                            .arg(m_options.backend, m_options.interface)
                            .arg(m_options.connectTimeoutMs);
    if (!m_everConnected) {
        dropDevice();
        emit failed(why);
        return;
    }
    scheduleReconnect(why);
}

void CanServer::scheduleReconnect(const QString &why)
{
    dropDevice();
    if (m_options.reconnectMs <= 0) {
        emit failed(why);
        return;
    }
    say(QStringLiteral("%1; connecting again in %2 ms").arg(why).arg(m_options.reconnectMs));
    m_reconnectTimer.start(m_options.reconnectMs);
}

void CanServer::reconnect()
{
    if (m_stopping) return;
    QString error;
    if (!createAndConnect(error)) {
        // Stay quiet about every further failed attempt unless asked: the
        // loss itself was reported.
        if (m_options.verbose) say(error);
        m_reconnectTimer.start(m_options.reconnectMs);
    }
}

void CanServer::onFramesReceived()
{
    // The device may be replaced while we serve (a failed write can drop
    // the connection); stop reading the old one then.
    QCanBusDevice *device = m_device;
    while (device && device == m_device && device->framesAvailable() > 0) serve(device->readFrame());
}

void CanServer::serve(const QCanBusFrame &frame)
{
    const int netId = m_options.netId;
    const auto id = frame.frameId();
    const bool ours = codec::netIdForCanId(id) == netId;

    if (frame.frameType() == QCanBusFrame::ErrorFrame) {
        if (m_options.verbose) say(QStringLiteral("error frame: %1").arg(m_device->interpretErrorFrame(frame)));
        return;
    }
    if (!ours || frame.hasLocalEcho()) return;
    const QByteArray payload = frame.payload();
    if (frame.frameType() != QCanBusFrame::DataFrame || frame.hasExtendedFrameFormat() ||
        frame.hasFlexibleDataRateFormat() || payload.size() != static_cast<int>(codec::kMessageSize)) {
        if (m_options.verbose)
            say(QStringLiteral("frame ignored, not a request: %1").arg(frame.toString()));
        return;
    }
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(payload.constData());
    const codec::Message request = codec::parseMessage(std::span<const std::uint8_t, codec::kMessageSize>(bytes, codec::kMessageSize));
    if (isDeviceReply(request.code)) {
        // We never hear our own frames, so this is another unit.
        if (!m_warnedTwin) {
            m_warnedTwin = true;
            say(QStringLiteral("another unit answers on Net-ID %1 (identifier 0x%2); the editor would get two replies")
                    .arg(netId)
                    .arg(id, 3, 16, QChar(u'0')));
        }
        return;
    }

    const auto reply = m_model.handle(request);
    if (m_options.verbose)
        std::fprintf(stderr, "%6" PRIu64 "  0x%03" PRIX32 "  %s  ->  %s\n", m_model.requestCount(), id,
                     describeMessage(request).c_str(), reply ? describeMessage(*reply).c_str() : "(no reply)");
    if (!reply) return;
    const auto out = codec::buildMessage(*reply);
    const QCanBusFrame answer(codec::canIdForNetId(netId),
                              QByteArray(reinterpret_cast<const char *>(out.data()), static_cast<qsizetype>(out.size())));
    if (!m_device->writeFrame(answer))
        say(QStringLiteral("reply not sent: %1").arg(m_device->errorString()));
}

} // namespace zar40sim
