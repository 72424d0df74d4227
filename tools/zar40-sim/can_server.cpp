#include "can_server.h"

#include "message_text.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"

#include "canbus/netid.h"

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

CanServer::CanServer(DeviceModel &model, CanOptions options, QObject *parent)
    : QObject(parent), m_model(model), m_options(std::move(options))
{
    canbus::DeviceOptions bus;
    bus.connectTimeoutMs = m_options.connectTimeoutMs;
    // A unit at another bit rate hears nothing: say so before trying.
    bus.bitrate = canbus::kBitrate;
    m_bus = new canbus::BusDevice(m_options.address, bus, this);
    connect(m_bus, &canbus::BusDevice::connected, this, &CanServer::onOnBus);
    connect(m_bus, &canbus::BusDevice::failed, this, &CanServer::onFailed);
    // On virtualcan this is what everybody sees when the program that hosted
    // the bus ends; the first to reconnect hosts it anew.
    connect(m_bus, &canbus::BusDevice::lost, this, [this] {
        scheduleReconnect(m_options.address.backend == u"virtualcan"
                              ? QStringLiteral("lost the CAN bus (did the program hosting the virtual bus end?)")
                              : QStringLiteral("lost the CAN bus"));
    });
    connect(m_bus, &canbus::BusDevice::errorOccurred, this, [this](QCanBusDevice::CanBusError, const QString &text) {
        if (!m_stopping) say(QStringLiteral("CAN error on %1: %2").arg(m_options.address.toString(), text));
    });
    connect(m_bus, &canbus::BusDevice::framesReceived, this, &CanServer::onFramesReceived);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &CanServer::reconnect);
}

CanServer::~CanServer()
{
    stop();
}

QString CanServer::description() const
{
    return QStringLiteral("%1 net-id %2").arg(m_options.address.toString()).arg(m_options.netId);
}

bool CanServer::start(QString &error)
{
    m_stopping = false;
    return m_bus->open(&error);
}

void CanServer::stop()
{
    m_stopping = true;
    m_reconnectTimer.stop();
    m_bus->close();
}

void CanServer::onOnBus()
{
    if (!m_everConnected) {
        m_everConnected = true;
        Q_EMIT ready();
    } else {
        say(QStringLiteral("back on the CAN bus as %1").arg(description()));
    }
}

void CanServer::onFailed(const QString &why)
{
    if (!m_everConnected) {
        Q_EMIT failed(why);
        return;
    }
    scheduleReconnect(why);
}

void CanServer::scheduleReconnect(const QString &why)
{
    m_bus->close();
    if (m_options.reconnectMs <= 0) {
        Q_EMIT failed(why);
        return;
    }
    say(QStringLiteral("%1; connecting again in %2 ms").arg(why).arg(m_options.reconnectMs));
    m_reconnectTimer.start(m_options.reconnectMs);
}

void CanServer::reconnect()
{
    if (m_stopping) return;
    QString error;
    if (!m_bus->open(&error)) {
        // Stay quiet about every further failed attempt unless asked: the
        // loss itself was reported.
        if (m_options.verbose) say(error);
        m_reconnectTimer.start(m_options.reconnectMs);
    }
}

void CanServer::onFramesReceived()
{
    // The bus may be lost while we serve; stop reading then.
    for (const QCanBusFrame &frame : m_bus->readAllFrames()) {
        if (!m_bus->isConnected()) return;
        serve(frame);
    }
}

void CanServer::serve(const QCanBusFrame &frame)
{
    const int netId = m_options.netId;
    const auto id = frame.frameId();
    const bool ours = canbus::netIdForIdentifier(id) == netId;

    if (frame.frameType() == QCanBusFrame::ErrorFrame) {
        if (m_options.verbose) say(QStringLiteral("error frame: %1").arg(m_bus->interpretErrorFrame(frame)));
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
    const QCanBusFrame answer(canbus::identifierForNetId(netId),
                              QByteArray(reinterpret_cast<const char *>(out.data()), static_cast<qsizetype>(out.size())));
    QString why;
    if (!m_bus->writeFrame(answer, &why)) say(QStringLiteral("reply not sent: %1").arg(why));
}

} // namespace zar40sim
