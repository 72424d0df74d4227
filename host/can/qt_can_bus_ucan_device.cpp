// QtCanBusUcan, the side on the device thread: the bus device, presence of
// the interface, and what the device reports, turned into driver events.
#include "QtCanBusUcan.h"

#include "can_error_mapping.h"

#include "canbus/BusDevice.h"
#include "canbus/interface_diagnosis.h"

#include <QCanBusFrame>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

// Acceptance in the controller's single-filter form: code and mask hold the
// identifier in their top bits (11 bits for standard, 29 for extended
// frames); a mask bit of 1 means "don't care".
bool accepted(quint32 mask, quint32 code, const ucan::CanMsg &msg)
{
    if (mask == ucan::kAcceptAllMask)
        return true;
    const bool extended = msg.frameFormat & ucan::kFormatExtended;
    const quint32 bits = extended ? (msg.id << 3) : (msg.id << 21);
    const quint32 relevant = extended ? 0xFFFFFFF8u : 0xFFE00000u;
    return ((bits ^ code) & ~mask & relevant) == 0;
}

quint32 millisecondsOf(const QCanBusFrame &frame)
{
    const QCanBusFrame::TimeStamp t = frame.timeStamp();
    return quint32(quint64(t.seconds()) * 1000u + quint64(t.microSeconds()) / 1000u);
}

} // namespace

bool QtCanBusUcan::interfacePresent() const
{
    if (isSocketCan()) {
        const canbus::InterfaceState s = canbus::readInterface(m_settings.sysClassNet, m_settings.interfaceName);
        return s.exists && s.isCan && s.up;
    }
    // A virtual bus can always be had: the first process on it hosts it.
    QMutexLocker locker(&m_mutex);
    return m_module != Module::Removed;
}

void QtCanBusUcan::pollPresence()
{
    if (isSocketCan()) {
        const canbus::InterfaceState s = canbus::readInterface(m_settings.sysClassNet, m_settings.interfaceName);
        const bool now = s.exists && s.isCan && s.up;
        if (m_present && !now) {
            m_present = false;
            moduleGone(!s.exists ? QStringLiteral("The CAN interface %1 has disappeared.").arg(m_settings.interfaceName)
                                 : QStringLiteral("The CAN interface %1 went down.").arg(m_settings.interfaceName));
            return;
        }
        if (m_present || !now)
            return;
    } else if (m_present) {
        return;
    }
    m_present = true;
    QMutexLocker locker(&m_mutex);
    if (m_module != Module::Open) {
        locker.unlock();
        fireConnect(ucan::kEventConnect);
    }
}

bool QtCanBusUcan::openDevice(QString *why)
{
    if (!m_device) {
        canbus::DeviceOptions options;
        // UcanInitHardware keeps the time; the bit rate is the channel's
        // business (UcanInitCan).
        options.connectTimeoutMs = 0;
        options.sysClassNet = m_settings.sysClassNet;
        options.errorFrames = can_errors::wantedErrorFrames();
        m_device = new canbus::BusDevice(address(), options, m_deviceContext);
        QObject::connect(m_device, &canbus::BusDevice::connected, m_deviceContext,
                         [this] { setConnect(Connect::Connected); });
        QObject::connect(m_device, &canbus::BusDevice::failed, m_deviceContext,
                         [this](const QString &text) { setConnect(Connect::Failed, text); });
        QObject::connect(m_device, &canbus::BusDevice::lost, m_deviceContext,
                         [this](const QString &text) { moduleGone(text); });
        QObject::connect(m_device, &canbus::BusDevice::errorOccurred, m_deviceContext,
                         [this](QCanBusDevice::CanBusError e, const QString &text) { onErrorOccurred(e, text); });
        QObject::connect(m_device, &canbus::BusDevice::framesReceived, m_deviceContext,
                         [this] { onFramesReceived(); });
    }
    return m_device->open(why);
}

void QtCanBusUcan::closeDevice()
{
    if (m_device)
        m_device->close();
}

void QtCanBusUcan::setConnect(Connect state, const QString &why)
{
    QMutexLocker locker(&m_connectMutex);
    if (m_connect != Connect::Connecting)
        return;
    m_connect = state;
    m_connectError = why;
    m_connectChanged.wakeAll();
}

void QtCanBusUcan::onErrorOccurred(QCanBusDevice::CanBusError error, const QString &text)
{
    if (error != QCanBusDevice::ReadError && error != QCanBusDevice::WriteError)
        return;
    // A read or write that fails because the adapter went away or down is
    // an unplugging; the presence check tells which it is.
    if (isSocketCan() && !interfacePresent()) {
        m_present = false;
        moduleGone(QStringLiteral("%1 failed: %2").arg(m_device->address().label(), text));
        return;
    }
    // A refused write is that frame's failure, which UcanWriteCanMsg
    // reports; the status speaks only of the controller's state.
    const auto bus = m_device->busStatus();
    const quint16 bits = bus ? can_errors::statusFromBusStatus(*bus) : 0;
    if (bits) {
        QMutexLocker locker(&m_mutex);
        m_detail = text;
    }
    raiseStatus(bits);
}

void QtCanBusUcan::moduleGone(const QString &why)
{
    closeDevice();
    {
        QMutexLocker locker(&m_mutex);
        if (m_module != Module::Open)
            return;
        m_module = Module::Removed;
        m_canInitialised = false;
        m_received.clear();
        m_detail = why;
    }
    m_present = false;
    fireConnect(ucan::kEventDisconnect);
}

void QtCanBusUcan::onFramesReceived()
{
    const QList<QCanBusFrame> frames = m_device->readAllFrames();
    // The controller's state is that of the latest error frame; a queue
    // overrun is added to it.
    quint16 controller = 0;
    quint16 overrun = 0;
    bool queued = false;
    {
        QMutexLocker locker(&m_mutex);
        for (const QCanBusFrame &frame : frames) {
            if (frame.frameType() == QCanBusFrame::ErrorFrame) {
                if (const quint16 bits = can_errors::statusFromErrorFrame(frame))
                    controller = bits;
                continue;
            }
            if (frame.frameType() != QCanBusFrame::DataFrame && frame.frameType() != QCanBusFrame::RemoteRequestFrame)
                continue;
            if (m_module != Module::Open)
                continue;
            ucan::CanMsg msg;
            msg.id = frame.frameId();
            msg.frameFormat = (frame.hasExtendedFrameFormat() ? ucan::kFormatExtended : 0)
                              | (frame.frameType() == QCanBusFrame::RemoteRequestFrame ? ucan::kFormatRemote : 0);
            const QByteArray payload = frame.payload();
            msg.length = quint8(std::min<qsizetype>(payload.size(), 8));
            std::memcpy(msg.data, payload.constData(), msg.length);
            msg.time = millisecondsOf(frame);
            if (!accepted(m_acceptanceMask, m_acceptanceCode, msg))
                continue;
            if (m_received.size() >= kReceiveQueueLimit) {
                m_received.pop_front();
                overrun = ucan::StatusQueueOverrun;
            }
            m_received.push_back(msg);
            queued = true;
        }
    }
    if (queued)
        fireEvent(ucan::kEventReceive);
    // A backend that knows the bus state knows it better than a frame.
    if (controller || overrun) {
        if (const auto bus = m_device->busStatus()) {
            constexpr quint16 stateBits = ucan::StatusBusOff | ucan::StatusBusHeavy | ucan::StatusBusLight;
            controller = quint16((controller & ~stateBits) | can_errors::statusFromBusStatus(*bus));
        }
    }
    raiseStatus(controller | overrun);
}

void QtCanBusUcan::raiseStatus(quint16 bits)
{
    if (!bits)
        return;
    {
        QMutexLocker locker(&m_mutex);
        if (m_module != Module::Open)
            return;
        // The latest report replaces the earlier ones: bits never pile up
        // into a value no single state has.
        m_canStatus = bits;
    }
    fireEvent(ucan::kEventStatus);
}

void QtCanBusUcan::fireEvent(quint8 event)
{
    // One pending "frames can be read" is enough: the callback reads all.
    if (event == ucan::kEventReceive && m_receivePosted.exchange(true))
        return;
    QMetaObject::invokeMethod(
        m_callbackContext,
        [this, event] {
            if (event == ucan::kEventReceive)
                m_receivePosted = false;
            ucan::EventCallback callback;
            {
                QMutexLocker locker(&m_mutex);
                if (m_module != Module::Open)
                    return;
                callback = m_eventCallback;
            }
            if (callback)
                callback(kModuleHandle, event);
        },
        Qt::QueuedConnection);
}

void QtCanBusUcan::fireConnect(quint8 event)
{
    QMetaObject::invokeMethod(
        m_callbackContext,
        [this, event] {
            ucan::ConnectCallback callback;
            {
                QMutexLocker locker(&m_mutex);
                callback = m_connectCallback;
            }
            if (callback)
                callback(event, 0);
        },
        Qt::QueuedConnection);
}
