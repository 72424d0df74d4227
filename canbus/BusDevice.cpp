#include "canbus/BusDevice.h"
#include "canbus/netid.h"

#include <QCanBus>
#include <QEventLoop>
#include <QIODevice>
#include <QVariant>

#include <utility>

namespace canbus {

BusDevice::BusDevice(BusAddress address, DeviceOptions options, QObject *parent)
    : QObject(parent)
    , m_address(std::move(address))
    , m_options(std::move(options))
{
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("%1 did not connect within %2 ms.").arg(m_address.label()).arg(m_options.connectTimeoutMs));
    });
}

BusDevice::~BusDevice()
{
    close();
}

bool BusDevice::open(QString *why)
{
    close();
    QString problem = interfaceProblem(m_address, m_options.bitrate, m_options.sysClassNet);
    if (problem.isEmpty()) {
        QString error;
        m_device = QCanBus::instance()->createDevice(m_address.backend, m_address.interfaceName, &error);
        if (!m_device) {
            if (error.isEmpty())
                error = QStringLiteral("no such plug-in (CAN plug-ins here: %1)")
                            .arg(QCanBus::instance()->plugins().join(QStringLiteral(", ")));
            problem = QStringLiteral("The CAN backend \"%1\" cannot open %2: %3")
                          .arg(m_address.backend, m_address.interfaceName, error);
        } else if (m_device->error() != QCanBusDevice::NoError) {
            problem = QStringLiteral("%1 cannot be opened: %2").arg(m_address.label(), m_device->errorString());
        }
    }
    if (!problem.isEmpty()) {
        dropDevice();
        if (why)
            *why = problem;
        return false;
    }
    m_device->setParent(this);
    if (m_address.isSocketCan() && m_options.errorFrames)
        m_device->setConfigurationParameter(QCanBusDevice::ErrorFilterKey, QVariant::fromValue(m_options.errorFrames));
    connect(m_device, &QCanBusDevice::stateChanged, this, &BusDevice::onStateChanged);
    connect(m_device, &QCanBusDevice::errorOccurred, this, &BusDevice::onErrorOccurred);
    connect(m_device, &QCanBusDevice::framesReceived, this, &BusDevice::framesReceived);

    m_state = State::Connecting;
    if (m_options.connectTimeoutMs > 0)
        m_connectTimer.start(m_options.connectTimeoutMs);
    m_inConnect = true;
    const bool started = m_device->connectDevice();
    m_inConnect = false;
    if (!started) {
        if (why)
            *why = QStringLiteral("%1 cannot be opened: %2").arg(m_address.label(), m_device->errorString());
        close();
        return false;
    }
    if (m_device->state() == QCanBusDevice::ConnectedState)
        onDeviceConnected();
    return true;
}

bool BusDevice::openAndWait(QString *why)
{
    // Waiting needs a limit.
    if (m_options.connectTimeoutMs <= 0)
        m_options.connectTimeoutMs = DeviceOptions{}.connectTimeoutMs;
    QEventLoop loop;
    QString failure;
    const auto onConnected = connect(this, &BusDevice::connected, &loop, &QEventLoop::quit);
    const auto onFailed = connect(this, &BusDevice::failed, &loop, [&](const QString &text) {
        failure = text;
        loop.quit();
    });
    bool ok = open(why);
    if (ok && m_state == State::Connecting)
        loop.exec();
    disconnect(onConnected);
    disconnect(onFailed);
    if (ok && m_state != State::Connected) {
        if (why)
            *why = failure;
        close();
        ok = false;
    }
    return ok;
}

void BusDevice::close()
{
    m_connectTimer.stop();
    m_state = State::Closed;
    dropDevice();
}

void BusDevice::dropDevice()
{
    if (!m_device)
        return;
    QCanBusDevice *device = m_device;
    m_device = nullptr;
    // Our own close is no loss of the bus: stop listening first.
    disconnect(device, nullptr, this, nullptr);
    for (QIODevice *socket : device->findChildren<QIODevice *>())
        disconnect(socket, nullptr, this, nullptr);
    if (device->state() != QCanBusDevice::UnconnectedState)
        device->disconnectDevice();
    // We may be inside one of the device's own signals.
    device->deleteLater();
}

void BusDevice::onDeviceConnected()
{
    if (m_state != State::Connecting)
        return;
    // virtualcan says "connected" before its socket has sent the line that
    // joins the bus; frames sent to us before that line reaches the bus are
    // lost. We are on the bus once it is out.
    auto *socket = m_device->findChild<QIODevice *>();
    if (socket && socket->bytesToWrite() > 0) {
        connect(socket, &QIODevice::bytesWritten, this, [this, socket] {
            if (socket->bytesToWrite() > 0)
                return;
            disconnect(socket, &QIODevice::bytesWritten, this, nullptr);
            setConnected();
        });
        return;
    }
    setConnected();
}

void BusDevice::setConnected()
{
    if (m_state != State::Connecting)
        return;
    m_connectTimer.stop();
    m_state = State::Connected;
    emit connected();
}

void BusDevice::fail(const QString &why)
{
    if (m_state != State::Connecting)
        return;
    close();
    emit failed(why);
}

void BusDevice::lose(const QString &why)
{
    if (m_state != State::Connected)
        return;
    close();
    emit lost(why);
}

void BusDevice::onStateChanged(QCanBusDevice::CanBusDeviceState state)
{
    // Inside connectDevice() open() itself looks at the outcome.
    if (m_inConnect)
        return;
    if (state == QCanBusDevice::ConnectedState) {
        onDeviceConnected();
    } else if (state == QCanBusDevice::UnconnectedState) {
        if (m_state == State::Connecting)
            fail(QStringLiteral("%1 refused the connection.").arg(m_address.label()));
        else
            lose(QStringLiteral("The connection to %1 was closed.").arg(m_address.label()));
    }
}

void BusDevice::onErrorOccurred(QCanBusDevice::CanBusError error)
{
    if (m_inConnect || !m_device || error == QCanBusDevice::NoError)
        return;
    const QString text = m_device->errorString();
    if (error == QCanBusDevice::ConnectionError) {
        if (m_state == State::Connecting)
            fail(QStringLiteral("%1 cannot be opened: %2").arg(m_address.label(), text));
        else
            lose(QStringLiteral("%1 failed: %2").arg(m_address.label(), text));
        return;
    }
    if (m_state == State::Connected)
        emit errorOccurred(error, text);
}

bool BusDevice::writeFrame(const QCanBusFrame &frame, QString *why)
{
    QString failure;
    if (!isConnected()) {
        failure = QStringLiteral("%1 is not connected.").arg(m_address.label());
    } else if (m_failWrites > 0) {
        --m_failWrites;
        failure = QStringLiteral("The transmit queue of %1 is full.").arg(m_address.label());
        emit errorOccurred(QCanBusDevice::WriteError, failure);
    } else if (!m_device->writeFrame(frame)) {
        // The device may have been dropped by a handler of its error signal.
        failure = m_device ? m_device->errorString() : QStringLiteral("%1 is not connected.").arg(m_address.label());
    } else {
        return true;
    }
    if (why)
        *why = failure;
    return false;
}

QList<QCanBusFrame> BusDevice::readAllFrames()
{
    return m_device ? m_device->readAllFrames() : QList<QCanBusFrame>{};
}

std::optional<QCanBusDevice::CanBusStatus> BusDevice::busStatus() const
{
    if (!m_device || !m_device->hasBusStatus())
        return std::nullopt;
    return m_device->busStatus();
}

QString BusDevice::interpretErrorFrame(const QCanBusFrame &frame) const
{
    return m_device ? m_device->interpretErrorFrame(frame) : QString();
}

BusDevice *openUnitBus(const BusAddress &address, int connectTimeoutMs, QObject *parent, QString *why)
{
    DeviceOptions options;
    options.connectTimeoutMs = connectTimeoutMs;
    // Frames at another rate never reach a unit: say so before trying.
    options.bitrate = kBitrate;
    auto *device = new BusDevice(address, options, parent);
    if (device->openAndWait(why))
        return device;
    closeAndDeleteLater(device, parent);
    return nullptr;
}

void closeAndDeleteLater(BusDevice *&device, const QObject *receiver)
{
    if (!device)
        return;
    BusDevice *const leaving = std::exchange(device, nullptr);
    leaving->disconnect(receiver);
    leaving->close();
    leaving->deleteLater();
}

} // namespace canbus
