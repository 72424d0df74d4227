#include "shared_can_bus.h"

#include "canbus/BusDevice.h"
#include "canbus/netid.h"

#include <QCanBusFrame>
#include <QThread>

namespace zar40::comm {

SharedCanBus::SharedCanBus(canbus::BusAddress address, QObject *parent)
    : QObject(parent), m_address(std::move(address))
{
    m_scheduler = new BusScheduler(
        [this](std::uint32_t id, const codec::MessageBytes &data) {
            if (!m_device || !m_device->isConnected()) return false;
            QCanBusFrame frame(QCanBusFrame::DataFrame);
            frame.setFrameId(id);
            frame.setExtendedFrameFormat(false);
            frame.setPayload(QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size())));
            return m_device->writeFrame(frame);
        },
        this);
}

SharedCanBus::~SharedCanBus()
{
    close();
}

bool SharedCanBus::open(QString *why, int connectTimeoutMs)
{
    if (isOpen()) return true;
    close();
    m_device = canbus::openUnitBus(m_address, connectTimeoutMs, this, why);
    if (!m_device)
        return false;
    connect(m_device, &canbus::BusDevice::framesReceived, this, &SharedCanBus::onFramesReceived);
    connect(m_device, &canbus::BusDevice::lost, m_scheduler, &BusScheduler::busLost);
    return true;
}

void SharedCanBus::close() { canbus::closeAndDeleteLater(m_device, this); }

bool SharedCanBus::isOpen() const
{
    return m_device && m_device->isConnected();
}

void SharedCanBus::onFramesReceived()
{
    if (!m_device) return;
    const QList<QCanBusFrame> frames = m_device->readAllFrames();
    for (const QCanBusFrame &frame : frames) {
        if (frame.frameType() != QCanBusFrame::DataFrame || frame.hasExtendedFrameFormat()) continue;
        const QByteArray payload = frame.payload();
        m_scheduler->frameReceived(frame.frameId(),
                                   std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(payload.constData()),
                                                                 std::size_t(payload.size())));
    }
}

// ---------------------------------------------------------------------------

ScheduledCanTransport::ScheduledCanTransport(BusScheduler *scheduler, QString busName, int netId, QObject *parent)
    : CanTransport(netId, parent), m_scheduler(scheduler), m_busName(std::move(busName))
{
}

ScheduledCanTransport::~ScheduledCanTransport()
{
    close();
}

QString ScheduledCanTransport::description() const
{
    return QStringLiteral("%1 Net-ID %2").arg(m_busName).arg(netId());
}

bool ScheduledCanTransport::open()
{
    if (m_open) return true;
    if (!canbus::netIdUsable(netId())) {
        setError(canbus::netIdProblem(netId()));
        return false;
    }
    if (!m_scheduler) {
        setError(QStringLiteral("the CAN bus is closed"));
        return false;
    }
    // Auto connections: queued when the scheduler lives in another thread.
    UnitPort *port = nullptr;
    BusScheduler *s = m_scheduler.data();
    const int unit = netId();
    // The port is made in the scheduler's thread.
    QMetaObject::invokeMethod(s, [s, unit, &port] { port = s->port(unit); },
                              s->thread() == QThread::currentThread() ? Qt::DirectConnection : Qt::BlockingQueuedConnection);
    m_frames = connect(port, &UnitPort::frameArrived, this, &ScheduledCanTransport::onFrame);
    m_lost = connect(m_scheduler, &BusScheduler::busLost, this, [this](const QString &why) { linkEnded(why); });
    m_open = true;
    return true;
}

void ScheduledCanTransport::close()
{
    if (!m_open) return;
    m_open = false;
    disconnect(m_frames);
    disconnect(m_lost);
    if (BusScheduler *s = m_scheduler.data()) {
        const int id = netId();
        QMetaObject::invokeMethod(s, [s, id] { s->dropUnit(id); });
    }
}

bool ScheduledCanTransport::sendFrame(std::uint32_t id, const codec::MessageBytes &data)
{
    BusScheduler *s = m_scheduler.data();
    if (!s) {
        setError(QStringLiteral("the CAN bus is closed"));
        return false;
    }
    const int unit = netId();
    QMetaObject::invokeMethod(s, [s, unit, id, data] { s->submit(unit, id, data); });
    return true;
}

void ScheduledCanTransport::onFrame(quint32 identifier, const QByteArray &data)
{
    frameReceived(identifier, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(data.constData()),
                                                            std::size_t(data.size())));
}

} // namespace zar40::comm
