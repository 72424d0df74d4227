#include "cantransport.h"

#include "zar40/comm/codec/values.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QEventLoop>
#include <QTimer>

namespace zar40::comm {

using codec::Message;
using codec::MessageBytes;

// ---------------------------------------------------------------------------
// CanTransport

QString CanTransport::netIdProblem(int netId)
{
    return QStringLiteral("Net-ID %1 cannot be used on the CAN bus: Net-IDs run from %2 to %3, "
                          "so that Net-ID x 32 stays a standard identifier")
        .arg(netId)
        .arg(kMinNetId)
        .arg(kMaxNetId);
}

CanTransport::CanTransport(int netId, QObject *parent) : Transport(parent), m_netId(netId) {}

std::uint32_t CanTransport::requestId() const
{
    return codec::canIdForNetId(m_netId);
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
    if (!netIdUsable(m_netId)) {
        m_error = netIdProblem(m_netId);
        return false;
    }
    return sendFrame(requestId(), codec::buildMessage(request));
}

void CanTransport::frameReceived(std::uint32_t identifier, std::span<const std::uint8_t> data)
{
    if (codec::netIdForCanId(identifier) != m_netId) {
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
    Q_EMIT messageReceived(codec::parseMessage(data.first<codec::kMessageSize>()));
}

void CanTransport::linkEnded(const QString &why)
{
    m_error = why;
    Q_EMIT linkClosed();
}

// ---------------------------------------------------------------------------
// CanBusTransport

CanBusTransport::CanBusTransport(const QString &backend, const QString &interface, int netId, QObject *parent)
    : CanTransport(netId, parent), m_backend(backend), m_interface(interface)
{
}

CanBusTransport::~CanBusTransport()
{
    m_closing = true;
    dropDevice();
}

bool CanBusTransport::splitTarget(const QString &text, QString &backend, QString &interface)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon + 1 >= text.size()) return false;
    backend = text.left(colon);
    interface = text.mid(colon + 1);
    return true;
}

QString CanBusTransport::description() const
{
    return QStringLiteral("%1:%2 Net-ID %3").arg(m_backend, m_interface).arg(netId());
}

bool CanBusTransport::isOpen() const
{
    return m_open && m_device && m_device->state() == QCanBusDevice::ConnectedState;
}

bool CanBusTransport::open()
{
    if (isOpen()) return true;
    if (!netIdUsable(netId())) {
        setError(netIdProblem(netId()));
        return false;
    }
    dropDevice();
    m_closing = false;

    QString why;
    QCanBusDevice *device = QCanBus::instance()->createDevice(m_backend, m_interface, &why);
    if (!device) {
        setError(why.isEmpty() ? QStringLiteral("no CAN backend '%1'").arg(m_backend)
                               : QStringLiteral("%1:%2: %3").arg(m_backend, m_interface, why));
        return false;
    }
    device->setParent(this);
    m_device = device;

    // Connecting may finish later (virtualcan reaches its bus over a local
    // socket): wait for the outcome, within the time limit.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool failed = false;
    QString failure;
    const auto stateWatch = connect(device, &QCanBusDevice::stateChanged, &loop,
                                    [&](QCanBusDevice::CanBusDeviceState state) {
                                        if (state == QCanBusDevice::ConnectedState) loop.quit();
                                        if (state == QCanBusDevice::UnconnectedState) {
                                            failed = true;
                                            loop.quit();
                                        }
                                    });
    const auto errorWatch = connect(device, &QCanBusDevice::errorOccurred, &loop,
                                    [&](QCanBusDevice::CanBusError error) {
                                        if (error == QCanBusDevice::ConnectionError) {
                                            failed = true;
                                            failure = device->errorString();
                                            loop.quit();
                                        }
                                    });
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);

    if (!device->connectDevice()) {
        failed = true;
        failure = device->errorString();
    } else if (device->state() != QCanBusDevice::ConnectedState) {
        limit.start(m_connectTimeoutMs);
        loop.exec();
    }
    disconnect(stateWatch);
    disconnect(errorWatch);

    if (failed || device->state() != QCanBusDevice::ConnectedState) {
        if (failure.isEmpty()) failure = device->errorString();
        if (failure.isEmpty())
            failure = failed ? QStringLiteral("the interface refused the connection")
                             : QStringLiteral("not on the bus within %1 ms").arg(m_connectTimeoutMs);
        setError(QStringLiteral("%1:%2: %3").arg(m_backend, m_interface, failure));
        m_closing = true;
        dropDevice();
        return false;
    }

    connect(device, &QCanBusDevice::framesReceived, this, &CanBusTransport::onFramesReceived);
    connect(device, &QCanBusDevice::errorOccurred, this,
            [this](QCanBusDevice::CanBusError error) { onErrorOccurred(int(error)); });
    connect(device, &QCanBusDevice::stateChanged, this,
            [this](QCanBusDevice::CanBusDeviceState state) { onStateChanged(int(state)); });
    m_open = true;
    return true;
}

void CanBusTransport::close()
{
    m_closing = true;
    m_open = false;
    dropDevice();
}

void CanBusTransport::dropDevice()
{
    if (!m_device) return;
    QCanBusDevice *device = m_device;
    m_device = nullptr;
    device->disconnect(this);
    if (device->state() != QCanBusDevice::UnconnectedState) device->disconnectDevice();
    // Not deleted at once: the device may be inside one of its own signals.
    device->deleteLater();
}

bool CanBusTransport::sendFrame(std::uint32_t id, const MessageBytes &data)
{
    if (!m_device) return false;
    QCanBusFrame frame(QCanBusFrame::DataFrame);
    frame.setFrameId(id);
    frame.setExtendedFrameFormat(false);
    frame.setPayload(QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size())));
    if (!m_device->writeFrame(frame)) {
        setError(m_device->errorString());
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

void CanBusTransport::onErrorOccurred(int error)
{
    if (m_closing || !m_open || !m_device) return;
    if (error == QCanBusDevice::ConnectionError) {
        const QString why = m_device->errorString();
        m_open = false;
        linkEnded(why.isEmpty() ? QStringLiteral("the CAN interface was lost") : why);
    }
}

void CanBusTransport::onStateChanged(int state)
{
    if (m_closing || !m_open) return;
    if (state == QCanBusDevice::UnconnectedState) {
        m_open = false;
        linkEnded(QStringLiteral("%1:%2: the bus connection ended").arg(m_backend, m_interface));
    }
}

} // namespace zar40::comm
