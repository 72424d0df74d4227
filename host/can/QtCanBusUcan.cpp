#include "QtCanBusUcan.h"

#include "canbus/BusDevice.h"
#include "canbus/interface_diagnosis.h"

#include <QCanBusFrame>
#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <type_traits>

QtCanBusUcan::QtCanBusUcan(const CanSettings &settings)
    : m_settings(settings)
{
    m_deviceThread.setObjectName(QStringLiteral("CAN device"));
    m_callbackThread.setObjectName(QStringLiteral("CAN callbacks"));
    m_deviceContext = new QObject;
    m_deviceContext->moveToThread(&m_deviceThread);
    m_callbackContext = new QObject;
    m_callbackContext->moveToThread(&m_callbackThread);
    m_deviceThread.start();
    m_callbackThread.start();
}

QtCanBusUcan::~QtCanBusUcan()
{
    onDeviceThread([this] {
        delete m_presenceTimer;
        m_presenceTimer = nullptr;
        delete m_device;
        m_device = nullptr;
    });
    {
        QMutexLocker locker(&m_mutex);
        m_eventCallback = {};
        m_connectCallback = {};
    }
    m_callbackThread.quit();
    m_callbackThread.wait();
    m_deviceThread.quit();
    m_deviceThread.wait();
    delete m_callbackContext;
    delete m_deviceContext;
}

template <typename F>
auto QtCanBusUcan::onDeviceThread(F &&f) -> decltype(f())
{
    using R = decltype(f());
    if (QThread::currentThread() == &m_deviceThread)
        return f();
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(m_deviceContext, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(m_deviceContext, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

ucan::Result QtCanBusUcan::fail(ucan::Result code, const QString &detail)
{
    QMutexLocker locker(&m_mutex);
    m_detail = detail;
    return code;
}

QString QtCanBusUcan::lastErrorDetail() const
{
    QMutexLocker locker(&m_mutex);
    return m_detail;
}

canbus::BusAddress QtCanBusUcan::address() const
{
    return {m_settings.backend, m_settings.interfaceName};
}

bool QtCanBusUcan::isSocketCan() const
{
    return address().isSocketCan();
}

// ---------------------------------------------------------------- connect control

ucan::Result QtCanBusUcan::UcanInitHwConnectControl(ucan::ConnectCallback callback)
{
    {
        QMutexLocker locker(&m_mutex);
        m_connectCallback = std::move(callback);
    }
    onDeviceThread([this] {
        if (!m_presenceTimer) {
            m_presenceTimer = new QTimer(m_deviceContext);
            QObject::connect(m_presenceTimer, &QTimer::timeout, m_deviceContext, [this] { pollPresence(); });
        }
        m_present = interfacePresent();
        m_presenceTimer->start(std::max(10, m_settings.presencePollMs));
    });
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanDeinitHwConnectControl()
{
    onDeviceThread([this] {
        if (m_presenceTimer)
            m_presenceTimer->stop();
    });
    QMutexLocker locker(&m_mutex);
    m_connectCallback = {};
    return ucan::Successful;
}

// ---------------------------------------------------------------- module

ucan::Result QtCanBusUcan::UcanInitHardware(ucan::Handle *handle, quint8 deviceNumber, ucan::EventCallback callback)
{
    Q_ASSERT_X(QThread::currentThread() != &m_deviceThread, "UcanInitHardware", "called on the device thread");
    if (!handle)
        return fail(ucan::ErrIllParam, {});
    {
        QMutexLocker locker(&m_mutex);
        if (m_module == Module::Open) {
            m_detail = QStringLiteral("%1 is already open.").arg(address().label());
            return ucan::ErrHwInUse;
        }
    }
    if (deviceNumber != ucan::kAnyModule && deviceNumber != 0)
        return fail(ucan::ErrIllHw, QStringLiteral("There is only module 0: %1.").arg(address().label()));

    {
        QMutexLocker locker(&m_connectMutex);
        m_connect = Connect::Connecting;
        m_connectError.clear();
    }
    QString why;
    if (!onDeviceThread([&] { return openDevice(&why); }))
        return fail(ucan::ErrIllHw, why);

    // A virtual bus connects in the background; wait for it here so that
    // the first frame the caller writes finds the device connected.
    QDeadlineTimer deadline(std::max(0, m_settings.openTimeoutMs));
    Connect outcome;
    {
        QMutexLocker locker(&m_connectMutex);
        while (m_connect == Connect::Connecting && !deadline.hasExpired())
            m_connectChanged.wait(&m_connectMutex, deadline);
        outcome = m_connect;
        why = m_connectError;
    }
    if (outcome != Connect::Connected) {
        onDeviceThread([this] { closeDevice(); });
        if (outcome == Connect::Connecting)
            return fail(ucan::ErrTimeout, QStringLiteral("%1 did not connect within %2 ms.")
                                              .arg(address().label())
                                              .arg(m_settings.openTimeoutMs));
        return fail(ucan::ErrIllHw, why);
    }

    QMutexLocker locker(&m_mutex);
    m_module = Module::Open;
    m_canInitialised = false;
    m_acceptanceMask = ucan::kAcceptAllMask;
    m_acceptanceCode = ucan::kAcceptAllCode;
    m_received.clear();
    m_canStatus = 0;
    m_eventCallback = std::move(callback);
    m_detail.clear();
    *handle = kModuleHandle;
    return ucan::Successful;
}

// ---------------------------------------------------------------- the other calls

ucan::Result QtCanBusUcan::UcanGetHardwareInfo(ucan::Handle handle, ucan::HardwareInfo *info)
{
    QMutexLocker locker(&m_mutex);
    if (handle != kModuleHandle || m_module != Module::Open) {
        m_detail.clear();
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
        QMutexLocker locker(&m_mutex);
        if (handle != kModuleHandle || m_module != Module::Open) {
            m_detail.clear();
            return ucan::ErrIllHandle;
        }
    }
    const quint32 wanted = ucan::bitrateFromBusTiming(btr0, btr1);
    if (isSocketCan()) {
        // The system owns a SocketCAN interface's bit rate; all the driver
        // can do is check it and say what to type.
        const QString problem = canbus::interfaceProblem(address(), wanted, m_settings.sysClassNet);
        if (!problem.isEmpty())
            return fail(ucan::ErrCanNotInit, problem);
    }
    QMutexLocker locker(&m_mutex);
    m_acceptanceMask = acceptanceMask;
    m_acceptanceCode = acceptanceCode;
    m_canInitialised = true;
    m_canStatus = 0;
    m_detail.clear();
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanSetAcceptance(ucan::Handle handle, quint32 acceptanceMask, quint32 acceptanceCode)
{
    QMutexLocker locker(&m_mutex);
    if (handle != kModuleHandle || m_module != Module::Open) {
        m_detail.clear();
        return ucan::ErrIllHandle;
    }
    if (!m_canInitialised) {
        m_detail.clear();
        return ucan::ErrCanNotInit;
    }
    m_acceptanceMask = acceptanceMask;
    m_acceptanceCode = acceptanceCode;
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanWriteCanMsg(ucan::Handle handle, const ucan::CanMsg *msg)
{
    {
        QMutexLocker locker(&m_mutex);
        m_detail.clear();
        if (handle != kModuleHandle || m_module != Module::Open)
            return ucan::ErrIllHandle;
        if (!m_canInitialised)
            return ucan::ErrCanNotInit;
    }
    if (QString why; !ucan::frameFits(msg, &why))
        return fail(ucan::ErrIllParam, why);
    const bool extended = msg->frameFormat & ucan::kFormatExtended;
    QCanBusFrame frame(msg->id, QByteArray(reinterpret_cast<const char *>(msg->data), msg->length));
    frame.setExtendedFrameFormat(extended);
    if (msg->frameFormat & ucan::kFormatRemote)
        frame.setFrameType(QCanBusFrame::RemoteRequestFrame);
    QString why;
    const bool written = onDeviceThread([&] {
        if (!m_device)
            return false;
        return m_device->writeFrame(frame, &why);
    });
    if (!written)
        return fail(ucan::ErrIoFailed, why);
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanReadCanMsg(ucan::Handle handle, ucan::CanMsg *msg)
{
    QMutexLocker locker(&m_mutex);
    if (handle != kModuleHandle || m_module != Module::Open)
        return ucan::ErrIllHandle;
    if (!msg)
        return ucan::ErrIllParam;
    if (m_received.empty())
        return ucan::WarnNoData;
    *msg = m_received.front();
    m_received.pop_front();
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanGetStatus(ucan::Handle handle, ucan::Status *status)
{
    QMutexLocker locker(&m_mutex);
    if (handle != kModuleHandle || m_module == Module::None)
        return ucan::ErrIllHandle;
    if (!status)
        return ucan::ErrIllParam;
    status->canStatus = m_canStatus;
    status->usbStatus = 0;
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanResetCan(ucan::Handle handle)
{
    QMutexLocker locker(&m_mutex);
    m_detail.clear();
    if (handle != kModuleHandle)
        return ucan::ErrIllHandle;
    // Resetting a channel that is not open (never opened, or unplugged)
    // leaves nothing to do.
    m_received.clear();
    m_canStatus = 0;
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanDeinitCan(ucan::Handle handle)
{
    QMutexLocker locker(&m_mutex);
    m_detail.clear();
    if (handle != kModuleHandle || m_module == Module::None)
        return ucan::ErrIllHandle;
    m_canInitialised = false;
    m_received.clear();
    return ucan::Successful;
}

ucan::Result QtCanBusUcan::UcanDeinitHardware(ucan::Handle handle)
{
    {
        QMutexLocker locker(&m_mutex);
        m_detail.clear();
        if (handle != kModuleHandle || m_module == Module::None)
            return ucan::ErrIllHandle;
        m_module = Module::None;
        m_canInitialised = false;
        m_received.clear();
        m_eventCallback = {};
    }
    onDeviceThread([this] { closeDevice(); });
    return ucan::Successful;
}

void QtCanBusUcan::failNextWrites(int count)
{
    onDeviceThread([&] {
        if (m_device)
            m_device->failNextWrites(count);
    });
}
