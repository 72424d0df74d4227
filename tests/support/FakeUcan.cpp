#include "FakeUcan.h"

#include <QMutexLocker>

#include <cstring>
#include <thread>

FakeUcan::FakeUcan() = default;
FakeUcan::~FakeUcan() = default;

QString FakeUcan::name(Call call)
{
    switch (call) {
    case Call::InitHwConnectControl: return QStringLiteral("UcanInitHwConnectControl");
    case Call::DeinitHwConnectControl: return QStringLiteral("UcanDeinitHwConnectControl");
    case Call::InitHardware: return QStringLiteral("UcanInitHardware");
    case Call::GetHardwareInfo: return QStringLiteral("UcanGetHardwareInfo");
    case Call::InitCan: return QStringLiteral("UcanInitCan");
    case Call::SetAcceptance: return QStringLiteral("UcanSetAcceptance");
    case Call::WriteCanMsg: return QStringLiteral("UcanWriteCanMsg");
    case Call::ReadCanMsg: return QStringLiteral("UcanReadCanMsg");
    case Call::GetStatus: return QStringLiteral("UcanGetStatus");
    case Call::ResetCan: return QStringLiteral("UcanResetCan");
    case Call::DeinitCan: return QStringLiteral("UcanDeinitCan");
    case Call::DeinitHardware: return QStringLiteral("UcanDeinitHardware");
    }
    return {};
}

ucan::CanMsg FakeUcan::frame(quint32 id, const QByteArray &data, quint8 frameFormat)
{
    ucan::CanMsg msg;
    msg.id = id;
    msg.frameFormat = frameFormat;
    msg.length = quint8(std::min<qsizetype>(data.size(), 8));
    std::memcpy(msg.data, data.constData(), msg.length);
    return msg;
}

void FakeUcan::onDriverThread(const std::function<void()> &f)
{
    std::thread thread(f);
    thread.join();
}

// ---------------------------------------------------------------- steering

void FakeUcan::failNext(Call call, ucan::Result code, const QString &detail)
{
    QMutexLocker locker(&m_mutex);
    m_failures[call] = {code, detail, false};
}

void FakeUcan::failAlways(Call call, ucan::Result code, const QString &detail)
{
    QMutexLocker locker(&m_mutex);
    m_failures[call] = {code, detail, true};
}

void FakeUcan::clearFailures()
{
    QMutexLocker locker(&m_mutex);
    m_failures.clear();
}

void FakeUcan::setDeviceNumber(quint8 number)
{
    QMutexLocker locker(&m_mutex);
    m_deviceNumber = number;
}

void FakeUcan::plug()
{
    ucan::ConnectCallback callback;
    {
        QMutexLocker locker(&m_mutex);
        if (m_plugged)
            return;
        m_plugged = true;
        callback = m_connectCallback;
    }
    if (callback)
        onDriverThread([&] { callback(ucan::kEventConnect, 0); });
}

void FakeUcan::unplug()
{
    ucan::ConnectCallback callback;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_plugged)
            return;
        m_plugged = false;
        // The module and everything in it is gone with the plug.
        m_moduleOpen = false;
        m_canInitialised = false;
        m_received.clear();
        m_eventCallback = {};
        callback = m_connectCallback;
    }
    if (callback)
        onDriverThread([&] { callback(ucan::kEventDisconnect, 0); });
}

void FakeUcan::injectFrames(const QList<ucan::CanMsg> &frames)
{
    ucan::EventCallback callback;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_moduleOpen || !m_canInitialised)
            return; // nobody listens on the bus
        m_received.insert(m_received.end(), frames.begin(), frames.end());
        callback = m_eventCallback;
    }
    if (callback)
        onDriverThread([&] { callback(kModuleHandle, ucan::kEventReceive); });
}

void FakeUcan::injectFrame(quint32 id, const QByteArray &data, quint8 frameFormat)
{
    injectFrames({frame(id, data, frameFormat)});
}

void FakeUcan::injectStatus(quint16 canStatus)
{
    ucan::EventCallback callback;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_moduleOpen)
            return;
        m_canStatus |= canStatus;
        callback = m_eventCallback;
    }
    if (callback)
        onDriverThread([&] { callback(kModuleHandle, ucan::kEventStatus); });
}

// ---------------------------------------------------------------- observing

QStringList FakeUcan::calls() const
{
    QMutexLocker locker(&m_mutex);
    return m_calls;
}

void FakeUcan::clearCalls()
{
    QMutexLocker locker(&m_mutex);
    m_calls.clear();
}

QList<ucan::CanMsg> FakeUcan::written() const
{
    QMutexLocker locker(&m_mutex);
    return m_written;
}

bool FakeUcan::pluggedIn() const
{
    QMutexLocker locker(&m_mutex);
    return m_plugged;
}

bool FakeUcan::connectControlOn() const
{
    QMutexLocker locker(&m_mutex);
    return bool(m_connectCallback);
}

bool FakeUcan::moduleOpen() const
{
    QMutexLocker locker(&m_mutex);
    return m_moduleOpen;
}

bool FakeUcan::canInitialised() const
{
    QMutexLocker locker(&m_mutex);
    return m_canInitialised;
}

quint8 FakeUcan::lastBtr0() const
{
    QMutexLocker locker(&m_mutex);
    return m_btr0;
}

quint8 FakeUcan::lastBtr1() const
{
    QMutexLocker locker(&m_mutex);
    return m_btr1;
}

quint32 FakeUcan::acceptanceMask() const
{
    QMutexLocker locker(&m_mutex);
    return m_mask;
}

quint32 FakeUcan::acceptanceCode() const
{
    QMutexLocker locker(&m_mutex);
    return m_code;
}

QString FakeUcan::lastErrorDetail() const
{
    QMutexLocker locker(&m_mutex);
    return m_detail;
}

// ---------------------------------------------------------------- the driver

ucan::Result FakeUcan::enter(Call call, const QString &arguments)
{
    // Called with m_mutex held.
    m_calls.append(name(call) + QLatin1Char('(') + arguments + QLatin1Char(')'));
    m_detail.clear();
    const auto it = m_failures.find(call);
    if (it == m_failures.end())
        return ucan::Successful;
    const Failure failure = *it;
    if (!failure.always)
        m_failures.erase(it);
    m_detail = failure.detail;
    return failure.code;
}

bool FakeUcan::handleValid(ucan::Handle handle) const
{
    return handle == kModuleHandle && m_moduleOpen;
}

ucan::Result FakeUcan::UcanInitHwConnectControl(ucan::ConnectCallback callback)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::InitHwConnectControl, {}))
        return r;
    m_connectCallback = std::move(callback);
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanDeinitHwConnectControl()
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::DeinitHwConnectControl, {}))
        return r;
    m_connectCallback = {};
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanInitHardware(ucan::Handle *handle, quint8 deviceNumber, ucan::EventCallback callback)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::InitHardware, QString::number(deviceNumber)))
        return r;
    if (!handle)
        return ucan::ErrIllParam;
    if (!m_plugged || (deviceNumber != ucan::kAnyModule && deviceNumber != m_deviceNumber))
        return ucan::ErrIllHw;
    if (m_moduleOpen)
        return ucan::ErrHwInUse;
    m_moduleOpen = true;
    m_canInitialised = false;
    m_canStatus = 0;
    m_received.clear();
    m_eventCallback = std::move(callback);
    *handle = kModuleHandle;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanGetHardwareInfo(ucan::Handle handle, ucan::HardwareInfo *info)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::GetHardwareInfo, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!info)
        return ucan::ErrIllParam;
    *info = ucan::HardwareInfo{};
    info->deviceNumber = m_deviceNumber;
    info->handle = handle;
    info->serialNumber = 4711;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanInitCan(ucan::Handle handle, quint8 btr0, quint8 btr1, quint32 acceptanceMask,
                                   quint32 acceptanceCode)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::InitCan, QStringLiteral("%1,0x%2,0x%3,0x%4,0x%5")
                                                        .arg(handle)
                                                        .arg(btr0, 2, 16, QLatin1Char('0'))
                                                        .arg(btr1, 2, 16, QLatin1Char('0'))
                                                        .arg(acceptanceMask, 8, 16, QLatin1Char('0'))
                                                        .arg(acceptanceCode, 0, 16)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    m_btr0 = btr0;
    m_btr1 = btr1;
    m_mask = acceptanceMask;
    m_code = acceptanceCode;
    m_canInitialised = true;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanSetAcceptance(ucan::Handle handle, quint32 acceptanceMask, quint32 acceptanceCode)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::SetAcceptance, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!m_canInitialised)
        return ucan::ErrCanNotInit;
    m_mask = acceptanceMask;
    m_code = acceptanceCode;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanWriteCanMsg(ucan::Handle handle, const ucan::CanMsg *msg)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::WriteCanMsg, msg ? QStringLiteral("0x%1").arg(msg->id, 3, 16, QLatin1Char('0'))
                                                            : QStringLiteral("null")))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!m_canInitialised)
        return ucan::ErrCanNotInit;
    // The real driver's refusals, so that a test sees what a unit would.
    if (!ucan::frameFits(msg, &m_detail))
        return ucan::ErrIllParam;
    m_written.append(*msg);
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanReadCanMsg(ucan::Handle handle, ucan::CanMsg *msg)
{
    QMutexLocker locker(&m_mutex);
    // Reads are not logged: a burst would flood the log.
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!msg)
        return ucan::ErrIllParam;
    if (m_received.empty())
        return ucan::WarnNoData;
    *msg = m_received.front();
    m_received.pop_front();
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanGetStatus(ucan::Handle handle, ucan::Status *status)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::GetStatus, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!status)
        return ucan::ErrIllParam;
    status->canStatus = m_canStatus;
    status->usbStatus = 0;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanResetCan(ucan::Handle handle)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::ResetCan, QString::number(handle)))
        return r;
    m_canStatus = 0;
    m_received.clear();
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanDeinitCan(ucan::Handle handle)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::DeinitCan, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    m_canInitialised = false;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanDeinitHardware(ucan::Handle handle)
{
    QMutexLocker locker(&m_mutex);
    if (const ucan::Result r = enter(Call::DeinitHardware, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    m_moduleOpen = false;
    m_canInitialised = false;
    m_eventCallback = {};
    return ucan::Successful;
}
