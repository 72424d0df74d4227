#include "QtCanBusUcan.h"

#include "CanErrorMapping.h"
#include "CanInterfaceState.h"

#include <QCanBus>
#include <QCanBusFrame>
#include <QDeadlineTimer>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

// Acceptance in the controller's single-filter form: code and mask hold the
// identifier in their top bits (11 bits for standard, 29 for extended
// frames); a mask bit of 1 means "don't care".
bool accepted(quint32 mask, quint32 code, const ucan::CanMsg &msg)
{
    if (mask == ucan::AcceptAllMask)
        return true;
    const bool extended = msg.frameFormat & ucan::FormatExtended;
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

QtCanBusUcan::QtCanBusUcan(const CanSettings &settings)
    : settings_(settings)
{
    deviceThread_.setObjectName(QStringLiteral("CAN device"));
    callbackThread_.setObjectName(QStringLiteral("CAN callbacks"));
    deviceContext_ = new QObject;
    deviceContext_->moveToThread(&deviceThread_);
    callbackContext_ = new QObject;
    callbackContext_->moveToThread(&callbackThread_);
    deviceThread_.start();
    callbackThread_.start();
}

QtCanBusUcan::~QtCanBusUcan()
{
    onDeviceThread([this] {
        delete presenceTimer_;
        presenceTimer_ = nullptr;
        closeDevice();
    });
    {
        QMutexLocker locker(&mutex_);
        eventCallback_ = {};
        connectCallback_ = {};
    }
    callbackThread_.quit();
    callbackThread_.wait();
    deviceThread_.quit();
    deviceThread_.wait();
    delete callbackContext_;
    delete deviceContext_;
}

template <typename F>
auto QtCanBusUcan::onDeviceThread(F &&f) -> decltype(f())
{
    using R = decltype(f());
    if (QThread::currentThread() == &deviceThread_)
        return f();
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(deviceContext_, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(deviceContext_, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

ucan::Result QtCanBusUcan::fail(ucan::Result code, const QString &detail)
{
    QMutexLocker locker(&mutex_);
    detail_ = detail;
    return code;
}

QString QtCanBusUcan::lastErrorDetail() const
{
    QMutexLocker locker(&mutex_);
    return detail_;
}

bool QtCanBusUcan::isSocketCan() const
{
    return settings_.backend == QLatin1String("socketcan");
}

QString QtCanBusUcan::interfaceLabel() const
{
    return QStringLiteral("%1 (%2)").arg(settings_.interfaceName, settings_.backend);
}

// ---------------------------------------------------------------- connect control

ucan::Result QtCanBusUcan::UcanInitHwConnectControl(ucan::ConnectCallback callback)
{
    {
        QMutexLocker locker(&mutex_);
        connectCallback_ = std::move(callback);
    }
    onDeviceThread([this] {
        if (!presenceTimer_) {
            presenceTimer_ = new QTimer(deviceContext_);
            QObject::connect(presenceTimer_, &QTimer::timeout, deviceContext_, [this] { pollPresence(); });
        }
        present_ = interfacePresent();
        presenceTimer_->start(std::max(10, settings_.presencePollMs));
    });
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanDeinitHwConnectControl()
{
    onDeviceThread([this] {
        if (presenceTimer_)
            presenceTimer_->stop();
    });
    QMutexLocker locker(&mutex_);
    connectCallback_ = {};
    return ucan::Successful;
}

bool QtCanBusUcan::interfacePresent() const
{
    if (isSocketCan()) {
        const CanInterfaceState s = can_interface::read(settings_.sysClassNet, settings_.interfaceName);
        return s.exists && s.isCan && s.up;
    }
    // A virtual bus can always be had: the first process on it hosts it.
    QMutexLocker locker(&mutex_);
    return module_ != Module::Removed;
}

void QtCanBusUcan::pollPresence()
{
    if (isSocketCan()) {
        const CanInterfaceState s = can_interface::read(settings_.sysClassNet, settings_.interfaceName);
        const bool now = s.exists && s.isCan && s.up;
        if (present_ && !now) {
            present_ = false;
            moduleGone(!s.exists ? QStringLiteral("The CAN interface %1 has disappeared.").arg(settings_.interfaceName)
                                 : QStringLiteral("The CAN interface %1 went down.").arg(settings_.interfaceName));
        } else if (!present_ && now) {
            present_ = true;
            QMutexLocker locker(&mutex_);
            if (module_ != Module::Open) {
                locker.unlock();
                fireConnect(ucan::EventConnect);
            }
        }
        return;
    }
    if (!present_) {
        present_ = true;
        QMutexLocker locker(&mutex_);
        if (module_ != Module::Open) {
            locker.unlock();
            fireConnect(ucan::EventConnect);
        }
    }
}

// ---------------------------------------------------------------- module

ucan::Result QtCanBusUcan::UcanInitHardware(ucan::Handle *handle, quint8 deviceNumber, ucan::EventCallback callback)
{
    Q_ASSERT_X(QThread::currentThread() != &deviceThread_, "UcanInitHardware", "called on the device thread");
    if (!handle)
        return fail(ucan::ErrIllParam, {});
    {
        QMutexLocker locker(&mutex_);
        if (module_ == Module::Open) {
            detail_ = QStringLiteral("%1 is already open.").arg(interfaceLabel());
            return ucan::ErrHwInUse;
        }
    }
    if (deviceNumber != ucan::AnyModule && deviceNumber != 0)
        return fail(ucan::ErrIllHw, QStringLiteral("There is only module 0: %1.").arg(interfaceLabel()));

    {
        QMutexLocker locker(&connectMutex_);
        connect_ = Connect::Connecting;
        connectError_.clear();
    }
    QString why;
    if (!onDeviceThread([&] { return openDevice(&why); }))
        return fail(ucan::ErrIllHw, why);

    // A virtual bus connects in the background; wait for it here so that
    // the first frame the caller writes finds the device connected.
    QDeadlineTimer deadline(std::max(0, settings_.openTimeoutMs));
    Connect outcome;
    {
        QMutexLocker locker(&connectMutex_);
        while (connect_ == Connect::Connecting && !deadline.hasExpired())
            connectChanged_.wait(&connectMutex_, deadline);
        outcome = connect_;
        why = connectError_;
    }
    if (outcome != Connect::Connected) {
        onDeviceThread([this] { closeDevice(); });
        if (outcome == Connect::Connecting)
            return fail(ucan::ErrTimeout, QStringLiteral("%1 did not connect within %2 ms.")
                                              .arg(interfaceLabel())
                                              .arg(settings_.openTimeoutMs));
        return fail(ucan::ErrIllHw, why);
    }

    QMutexLocker locker(&mutex_);
    module_ = Module::Open;
    canInitialised_ = false;
    acceptanceMask_ = ucan::AcceptAllMask;
    acceptanceCode_ = ucan::AcceptAllCode;
    received_.clear();
    canStatus_ = 0;
    eventCallback_ = std::move(callback);
    detail_.clear();
    *handle = ModuleHandle;
    return ucan::Successful;
}

bool QtCanBusUcan::openDevice(QString *why)
{
    closeDevice();
    if (isSocketCan()) {
        // Presence and type only: the state and bit rate are the channel's
        // business (UcanInitCan).
        CanInterfaceState state = can_interface::read(settings_.sysClassNet, settings_.interfaceName);
        state.up = true;
        const QString problem = can_interface::readinessProblem(settings_.interfaceName, state, std::nullopt, 0);
        if (!problem.isEmpty()) {
            *why = problem;
            return false;
        }
    }
    QString error;
    QCanBusDevice *device = QCanBus::instance()->createDevice(settings_.backend, settings_.interfaceName, &error);
    if (!device) {
        *why = QStringLiteral("The CAN backend \"%1\" cannot open %2: %3")
                   .arg(settings_.backend, settings_.interfaceName, error);
        return false;
    }
    device->setParent(deviceContext_);
    if (isSocketCan())
        device->setConfigurationParameter(QCanBusDevice::ErrorFilterKey,
                                          QVariant::fromValue(can_errors::wantedErrorFrames()));
    QObject::connect(device, &QCanBusDevice::stateChanged, deviceContext_,
                     [this](QCanBusDevice::CanBusDeviceState s) { onStateChanged(s); });
    QObject::connect(device, &QCanBusDevice::errorOccurred, deviceContext_,
                     [this](QCanBusDevice::CanBusError e) { onErrorOccurred(e); });
    QObject::connect(device, &QCanBusDevice::framesReceived, deviceContext_, [this] { onFramesReceived(); });
    device_ = device;
    if (!device->connectDevice()) {
        *why = QStringLiteral("%1 cannot be opened: %2").arg(interfaceLabel(), device->errorString());
        closeDevice();
        return false;
    }
    if (device->state() == QCanBusDevice::ConnectedState)
        setConnect(Connect::Connected);
    return true;
}

void QtCanBusUcan::closeDevice()
{
    if (!device_)
        return;
    QCanBusDevice *device = device_;
    device_ = nullptr;
    // Our own close is no unplugging: stop listening first.
    QObject::disconnect(device, nullptr, deviceContext_, nullptr);
    if (device->state() != QCanBusDevice::UnconnectedState)
        device->disconnectDevice();
    // Possibly inside one of its own signals.
    device->deleteLater();
}

void QtCanBusUcan::setConnect(Connect state)
{
    QMutexLocker locker(&connectMutex_);
    if (connect_ != Connect::Connecting)
        return;
    connect_ = state;
    connectChanged_.wakeAll();
}

void QtCanBusUcan::onStateChanged(QCanBusDevice::CanBusDeviceState state)
{
    if (state == QCanBusDevice::ConnectedState) {
        setConnect(Connect::Connected);
    } else if (state == QCanBusDevice::UnconnectedState) {
        {
            QMutexLocker locker(&connectMutex_);
            if (connect_ == Connect::Connecting)
                connectError_ = QStringLiteral("%1 refused the connection.").arg(interfaceLabel());
        }
        setConnect(Connect::Failed);
        moduleGone(QStringLiteral("The connection to %1 was closed.").arg(interfaceLabel()));
    }
}

void QtCanBusUcan::onErrorOccurred(QCanBusDevice::CanBusError error)
{
    const QString text = device_ ? device_->errorString() : QString();
    if (error == QCanBusDevice::ConnectionError) {
        {
            QMutexLocker locker(&connectMutex_);
            if (connect_ == Connect::Connecting)
                connectError_ = QStringLiteral("%1 cannot be opened: %2").arg(interfaceLabel(), text);
        }
        setConnect(Connect::Failed);
        moduleGone(QStringLiteral("%1 failed: %2").arg(interfaceLabel(), text));
        return;
    }
    if (error != QCanBusDevice::ReadError && error != QCanBusDevice::WriteError)
        return;
    // A read or write that fails because the adapter went away or down is
    // an unplugging; the presence check tells which it is.
    if (isSocketCan() && !interfacePresent()) {
        present_ = false;
        moduleGone(QStringLiteral("%1 failed: %2").arg(interfaceLabel(), text));
        return;
    }
    quint16 bits = 0;
    if (device_ && device_->hasBusStatus())
        bits |= can_errors::statusFromBusStatus(device_->busStatus());
    if (error == QCanBusDevice::WriteError)
        bits |= ucan::StatusTxBufferFull;
    if (bits) {
        QMutexLocker locker(&mutex_);
        detail_ = text;
    }
    raiseStatus(bits);
}

void QtCanBusUcan::moduleGone(const QString &why)
{
    closeDevice();
    {
        QMutexLocker locker(&mutex_);
        if (module_ != Module::Open)
            return;
        module_ = Module::Removed;
        canInitialised_ = false;
        received_.clear();
        detail_ = why;
    }
    present_ = false;
    fireConnect(ucan::EventDisconnect);
}

void QtCanBusUcan::onFramesReceived()
{
    if (!device_)
        return;
    const QList<QCanBusFrame> frames = device_->readAllFrames();
    quint16 status = 0;
    bool queued = false;
    {
        QMutexLocker locker(&mutex_);
        for (const QCanBusFrame &frame : frames) {
            if (frame.frameType() == QCanBusFrame::ErrorFrame) {
                status |= can_errors::statusFromErrorFrame(frame);
                continue;
            }
            if (frame.frameType() != QCanBusFrame::DataFrame && frame.frameType() != QCanBusFrame::RemoteRequestFrame)
                continue;
            if (module_ != Module::Open)
                continue;
            ucan::CanMsg msg;
            msg.id = frame.frameId();
            msg.frameFormat = (frame.hasExtendedFrameFormat() ? ucan::FormatExtended : 0)
                              | (frame.frameType() == QCanBusFrame::RemoteRequestFrame ? ucan::FormatRemote : 0);
            const QByteArray payload = frame.payload();
            msg.length = quint8(std::min<qsizetype>(payload.size(), 8));
            std::memcpy(msg.data, payload.constData(), msg.length);
            msg.time = millisecondsOf(frame);
            if (!accepted(acceptanceMask_, acceptanceCode_, msg))
                continue;
            if (received_.size() >= ReceiveQueueLimit) {
                received_.pop_front();
                status |= ucan::StatusQueueOverrun;
            }
            received_.push_back(msg);
            queued = true;
        }
    }
    if (queued)
        fireEvent(ucan::EventReceive);
    if (status && device_ && device_->hasBusStatus())
        status |= can_errors::statusFromBusStatus(device_->busStatus());
    raiseStatus(status);
}

void QtCanBusUcan::raiseStatus(quint16 bits)
{
    if (!bits)
        return;
    {
        QMutexLocker locker(&mutex_);
        if (module_ != Module::Open)
            return;
        canStatus_ |= bits;
    }
    fireEvent(ucan::EventStatus);
}

void QtCanBusUcan::fireEvent(quint8 event)
{
    // One pending "frames can be read" is enough: the callback reads all.
    if (event == ucan::EventReceive && receivePosted_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        callbackContext_,
        [this, event] {
            if (event == ucan::EventReceive)
                receivePosted_ = false;
            ucan::EventCallback callback;
            {
                QMutexLocker locker(&mutex_);
                if (module_ != Module::Open)
                    return;
                callback = eventCallback_;
            }
            if (callback)
                callback(ModuleHandle, event);
        },
        Qt::QueuedConnection);
}

void QtCanBusUcan::fireConnect(quint8 event)
{
    QMetaObject::invokeMethod(
        callbackContext_,
        [this, event] {
            ucan::ConnectCallback callback;
            {
                QMutexLocker locker(&mutex_);
                callback = connectCallback_;
            }
            if (callback)
                callback(event, 0);
        },
        Qt::QueuedConnection);
}

// ---------------------------------------------------------------- the other calls

ucan::Result QtCanBusUcan::UcanGetHardwareInfo(ucan::Handle handle, ucan::HardwareInfo *info)
{
    QMutexLocker locker(&mutex_);
    if (handle != ModuleHandle || module_ != Module::Open) {
        detail_.clear();
        return ucan::ErrIllHandle;
    }
    if (!info)
        return ucan::ErrIllParam;
    *info = ucan::HardwareInfo{};
    info->deviceNumber = 0;
    info->handle = handle;
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanInitCan(ucan::Handle handle, quint8 btr0, quint8 btr1, quint32 acceptanceMask,
                                       quint32 acceptanceCode)
{
    {
        QMutexLocker locker(&mutex_);
        if (handle != ModuleHandle || module_ != Module::Open) {
            detail_.clear();
            return ucan::ErrIllHandle;
        }
    }
    const quint32 wanted = ucan::bitrateFromBusTiming(btr0, btr1);
    if (isSocketCan()) {
        // The system owns a SocketCAN interface's bit rate; all the driver
        // can do is check it and say what to type.
        const QString &name = settings_.interfaceName;
        const CanInterfaceState state = can_interface::read(settings_.sysClassNet, name);
        const auto details = state.up ? can_interface::queryIpDetails(name) : std::nullopt;
        const QString problem = can_interface::readinessProblem(name, state, details, wanted);
        if (!problem.isEmpty())
            return fail(ucan::ErrCanNotInit, problem);
    }
    QMutexLocker locker(&mutex_);
    acceptanceMask_ = acceptanceMask;
    acceptanceCode_ = acceptanceCode;
    canInitialised_ = true;
    canStatus_ = 0;
    detail_.clear();
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanSetAcceptance(ucan::Handle handle, quint32 acceptanceMask, quint32 acceptanceCode)
{
    QMutexLocker locker(&mutex_);
    if (handle != ModuleHandle || module_ != Module::Open) {
        detail_.clear();
        return ucan::ErrIllHandle;
    }
    if (!canInitialised_) {
        detail_.clear();
        return ucan::ErrCanNotInit;
    }
    acceptanceMask_ = acceptanceMask;
    acceptanceCode_ = acceptanceCode;
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanWriteCanMsg(ucan::Handle handle, const ucan::CanMsg *msg)
{
    {
        QMutexLocker locker(&mutex_);
        detail_.clear();
        if (handle != ModuleHandle || module_ != Module::Open)
            return ucan::ErrIllHandle;
        if (!canInitialised_)
            return ucan::ErrCanNotInit;
    }
    if (!msg || msg->length > 8)
        return fail(ucan::ErrIllParam, {});
    const bool extended = msg->frameFormat & ucan::FormatExtended;
    if (msg->id > (extended ? 0x1FFFFFFFu : 0x7FFu))
        return fail(ucan::ErrIllParam, QStringLiteral("The identifier 0x%1 does not fit a %2 frame.")
                                           .arg(msg->id, 0, 16)
                                           .arg(extended ? QStringLiteral("29-bit") : QStringLiteral("11-bit")));
    QCanBusFrame frame(msg->id, QByteArray(reinterpret_cast<const char *>(msg->data), msg->length));
    frame.setExtendedFrameFormat(extended);
    if (msg->frameFormat & ucan::FormatRemote)
        frame.setFrameType(QCanBusFrame::RemoteRequestFrame);
    QString why;
    const bool written = onDeviceThread([&] {
        if (!device_ || device_->state() != QCanBusDevice::ConnectedState) {
            why = QStringLiteral("%1 is not connected.").arg(interfaceLabel());
            return false;
        }
        if (!device_->writeFrame(frame)) {
            why = device_->errorString();
            return false;
        }
        return true;
    });
    if (!written)
        return fail(ucan::ErrIoFailed, why);
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanReadCanMsg(ucan::Handle handle, ucan::CanMsg *msg)
{
    QMutexLocker locker(&mutex_);
    if (handle != ModuleHandle || module_ != Module::Open)
        return ucan::ErrIllHandle;
    if (!msg)
        return ucan::ErrIllParam;
    if (received_.empty())
        return ucan::WarnNoData;
    *msg = received_.front();
    received_.pop_front();
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanGetStatus(ucan::Handle handle, ucan::Status *status)
{
    QMutexLocker locker(&mutex_);
    if (handle != ModuleHandle || module_ == Module::None)
        return ucan::ErrIllHandle;
    if (!status)
        return ucan::ErrIllParam;
    status->canStatus = canStatus_;
    status->usbStatus = 0;
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanResetCan(ucan::Handle handle)
{
    QMutexLocker locker(&mutex_);
    detail_.clear();
    if (handle != ModuleHandle)
        return ucan::ErrIllHandle;
    // Resetting a channel that is not open (never opened, or unplugged)
    // leaves nothing to do.
    received_.clear();
    canStatus_ = 0;
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanDeinitCan(ucan::Handle handle)
{
    QMutexLocker locker(&mutex_);
    detail_.clear();
    if (handle != ModuleHandle || module_ == Module::None)
        return ucan::ErrIllHandle;
    canInitialised_ = false;
    received_.clear();
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanDeinitHardware(ucan::Handle handle)
{
    {
        QMutexLocker locker(&mutex_);
        detail_.clear();
        if (handle != ModuleHandle || module_ == Module::None)
            return ucan::ErrIllHandle;
        module_ = Module::None;
        canInitialised_ = false;
        received_.clear();
        eventCallback_ = {};
    }
    onDeviceThread([this] { closeDevice(); });
    return ucan::Successful;
}
