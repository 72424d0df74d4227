#include "can_transport.h"

#include "canbus/BusDevice.h"

#include <QCanBusFrame>

namespace zar40::comm {

using codec::Message;
using codec::MessageBytes;

// ---------------------------------------------------------------------------
// CanTransport

CanTransport::CanTransport(int netId, QObject *parent) : Transport(parent), m_netId(netId) {}

std::uint32_t CanTransport::requestId() const
{
    return canbus::identifierForNetId(m_netId);
}

QString CanTransport::description() const
{
    return QStringLiteral("CAN Net-ID %1").arg(m_netId);
}

bool CanTransport::send(const Message &request)
{
    if (!isOpen()) {
        m_error = QStringLiteral("the CAN link is not open");
        return false;
    }
    // An identifier beyond 11 bits would alias another unit on the bus or be
    // refused by the adapter; no frame is better than a wrong one.
    if (!canbus::netIdUsable(m_netId)) {
        m_error = canbus::netIdProblem(m_netId);
        return false;
    }
    return sendFrame(requestId(), codec::buildMessage(request));
}

void CanTransport::frameReceived(std::uint32_t identifier, std::span<const std::uint8_t> data)
{
    if (canbus::netIdForIdentifier(identifier) != m_netId) {
        ++m_ignoredFrames;
        return;
    }
    frameReceived(data);
}

void CanTransport::frameReceived(std::span<const std::uint8_t> data)
{
    // A device message is always 8 bytes; anything shorter is no reply of a
    // ZAR40 and must not be read past its end.
    if (!isOpen() || data.size() != codec::kMessageSize) {
        ++m_ignoredFrames;
        return;
    }
    emit messageReceived(codec::parseMessage(data.first<codec::kMessageSize>()));
}

void CanTransport::linkEnded(const QString &why)
{
    m_error = why;
    emit linkClosed();
}

// ---------------------------------------------------------------------------
// CanBusTransport

CanBusTransport::CanBusTransport(canbus::BusAddress address, int netId, QObject *parent)
    : CanTransport(netId, parent), m_address(std::move(address))
{
}

CanBusTransport::~CanBusTransport()
{
    close();
}

QString CanBusTransport::description() const
{
    return QStringLiteral("%1 Net-ID %2").arg(m_address.toString()).arg(netId());
}

bool CanBusTransport::isOpen() const
{
    return m_device && m_device->isConnected();
}

bool CanBusTransport::open()
{
    if (isOpen()) return true;
    if (!canbus::netIdUsable(netId())) {
        setError(canbus::netIdProblem(netId()));
        return false;
    }
    close();
    QString why;
    m_device = canbus::openUnitBus(m_address, m_connectTimeoutMs, this, &why);
    if (!m_device) {
        setError(why);
        return false;
    }
    connect(m_device, &canbus::BusDevice::framesReceived, this, &CanBusTransport::onFramesReceived);
    connect(m_device, &canbus::BusDevice::lost, this, [this](const QString &text) { linkEnded(text); });
    return true;
}

void CanBusTransport::close() { canbus::closeAndDeleteLater(m_device, this); }

bool CanBusTransport::sendFrame(std::uint32_t id, const MessageBytes &data)
{
    if (!m_device) return false;
    QCanBusFrame frame(QCanBusFrame::DataFrame);
    frame.setFrameId(id);
    frame.setExtendedFrameFormat(false);
    frame.setPayload(QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size())));
    QString why;
    if (!m_device->writeFrame(frame, &why)) {
        setError(why);
        return false;
    }
    return true;
}

void CanBusTransport::onFramesReceived()
{
    if (!m_device) return;
    // readAllFrames takes what is there now; frames that come in during the
    // signals below raise framesReceived again.
    const QList<QCanBusFrame> frames = m_device->readAllFrames();
    for (const QCanBusFrame &frame : frames) {
        if (!m_device) return; // the link ended in a handler
        // Error, remote and extended frames are no device replies; an
        // extended identifier would alias a Net-ID.
        if (frame.frameType() != QCanBusFrame::DataFrame || frame.hasExtendedFrameFormat()) continue;
        const QByteArray payload = frame.payload();
        frameReceived(frame.frameId(),
                      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(payload.constData()),
                                                    std::size_t(payload.size())));
    }
}

} // namespace zar40::comm
