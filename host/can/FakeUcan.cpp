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
    QMutexLocker locker(&mutex_);
    failures_[call] = {code, detail, false};
}

void FakeUcan::failAlways(Call call, ucan::Result code, const QString &detail)
{
    QMutexLocker locker(&mutex_);
    failures_[call] = {code, detail, true};
}

void FakeUcan::clearFailures()
{
    QMutexLocker locker(&mutex_);
    failures_.clear();
}

void FakeUcan::setDeviceNumber(quint8 number)
{
    QMutexLocker locker(&mutex_);
    deviceNumber_ = number;
}

void FakeUcan::plug()
{
    ucan::ConnectCallback callback;
    {
        QMutexLocker locker(&mutex_);
        if (plugged_)
            return;
        plugged_ = true;
        callback = connectCallback_;
    }
    if (callback)
        onDriverThread([&] { callback(ucan::EventConnect, 0); });
}

void FakeUcan::unplug()
{
    ucan::ConnectCallback callback;
    {
        QMutexLocker locker(&mutex_);
        if (!plugged_)
            return;
        plugged_ = false;
        // The module and everything in it is gone with the plug.
        moduleOpen_ = false;
        canInitialised_ = false;
        received_.clear();
        eventCallback_ = {};
        callback = connectCallback_;
    }
    if (callback)
        onDriverThread([&] { callback(ucan::EventDisconnect, 0); });
}

void FakeUcan::injectFrames(const QList<ucan::CanMsg> &frames)
{
    ucan::EventCallback callback;
    {
        QMutexLocker locker(&mutex_);
        if (!moduleOpen_ || !canInitialised_)
            return; // nobody listens on the bus
        received_.insert(received_.end(), frames.begin(), frames.end());
        callback = eventCallback_;
    }
    if (callback)
        onDriverThread([&] { callback(ModuleHandle, ucan::EventReceive); });
}

void FakeUcan::injectFrame(quint32 id, const QByteArray &data, quint8 frameFormat)
{
    injectFrames({frame(id, data, frameFormat)});
}

void FakeUcan::injectStatus(quint16 canStatus)
{
    ucan::EventCallback callback;
    {
        QMutexLocker locker(&mutex_);
        if (!moduleOpen_)
            return;
        canStatus_ |= canStatus;
        callback = eventCallback_;
    }
    if (callback)
        onDriverThread([&] { callback(ModuleHandle, ucan::EventStatus); });
}

// ---------------------------------------------------------------- observing

QStringList FakeUcan::calls() const
{
    QMutexLocker locker(&mutex_);
    return calls_;
}

void FakeUcan::clearCalls()
{
    QMutexLocker locker(&mutex_);
    calls_.clear();
}

QList<ucan::CanMsg> FakeUcan::written() const
{
    QMutexLocker locker(&mutex_);
    return written_;
}

bool FakeUcan::pluggedIn() const
{
    QMutexLocker locker(&mutex_);
    return plugged_;
}

bool FakeUcan::connectControlOn() const
{
    QMutexLocker locker(&mutex_);
    return bool(connectCallback_);
}

bool FakeUcan::moduleOpen() const
{
    QMutexLocker locker(&mutex_);
    return moduleOpen_;
}

bool FakeUcan::canInitialised() const
{
    QMutexLocker locker(&mutex_);
    return canInitialised_;
}

quint8 FakeUcan::lastBtr0() const
{
    QMutexLocker locker(&mutex_);
    return btr0_;
}

quint8 FakeUcan::lastBtr1() const
{
    QMutexLocker locker(&mutex_);
    return btr1_;
}

quint32 FakeUcan::acceptanceMask() const
{
    QMutexLocker locker(&mutex_);
    return mask_;
}

quint32 FakeUcan::acceptanceCode() const
{
    QMutexLocker locker(&mutex_);
    return code_;
}

QString FakeUcan::lastErrorDetail() const
{
    QMutexLocker locker(&mutex_);
    return detail_;
}

// ---------------------------------------------------------------- the driver

ucan::Result FakeUcan::enter(Call call, const QString &arguments)
{
    // Called with mutex_ held.
    calls_.append(name(call) + QLatin1Char('(') + arguments + QLatin1Char(')'));
    detail_.clear();
    const auto it = failures_.find(call);
    if (it == failures_.end())
        return ucan::Successful;
    const Failure failure = *it;
    if (!failure.always)
        failures_.erase(it);
    detail_ = failure.detail;
    return failure.code;
}

bool FakeUcan::handleValid(ucan::Handle handle) const
{
    return handle == ModuleHandle && moduleOpen_;
}

ucan::Result FakeUcan::UcanInitHwConnectControl(ucan::ConnectCallback callback)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::InitHwConnectControl, {}))
        return r;
    connectCallback_ = std::move(callback);
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanDeinitHwConnectControl()
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::DeinitHwConnectControl, {}))
        return r;
    connectCallback_ = {};
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanInitHardware(ucan::Handle *handle, quint8 deviceNumber, ucan::EventCallback callback)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::InitHardware, QString::number(deviceNumber)))
        return r;
    if (!handle)
        return ucan::ErrIllParam;
    if (!plugged_ || (deviceNumber != ucan::AnyModule && deviceNumber != deviceNumber_))
        return ucan::ErrIllHw;
    if (moduleOpen_)
        return ucan::ErrHwInUse;
    moduleOpen_ = true;
    canInitialised_ = false;
    canStatus_ = 0;
    received_.clear();
    eventCallback_ = std::move(callback);
    *handle = ModuleHandle;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanGetHardwareInfo(ucan::Handle handle, ucan::HardwareInfo *info)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::GetHardwareInfo, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!info)
        return ucan::ErrIllParam;
    *info = ucan::HardwareInfo{};
    info->deviceNumber = deviceNumber_;
    info->handle = handle;
    info->serialNumber = 4711;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanInitCan(ucan::Handle handle, quint8 btr0, quint8 btr1, quint32 acceptanceMask,
                                   quint32 acceptanceCode)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::InitCan, QStringLiteral("%1,0x%2,0x%3,0x%4,0x%5")
                                                        .arg(handle)
                                                        .arg(btr0, 2, 16, QLatin1Char('0'))
                                                        .arg(btr1, 2, 16, QLatin1Char('0'))
                                                        .arg(acceptanceMask, 8, 16, QLatin1Char('0'))
                                                        .arg(acceptanceCode, 0, 16)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    btr0_ = btr0;
    btr1_ = btr1;
    mask_ = acceptanceMask;
    code_ = acceptanceCode;
    canInitialised_ = true;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanSetAcceptance(ucan::Handle handle, quint32 acceptanceMask, quint32 acceptanceCode)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::SetAcceptance, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!canInitialised_)
        return ucan::ErrCanNotInit;
    mask_ = acceptanceMask;
    code_ = acceptanceCode;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanWriteCanMsg(ucan::Handle handle, const ucan::CanMsg *msg)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::WriteCanMsg, msg ? QStringLiteral("0x%1").arg(msg->id, 3, 16, QLatin1Char('0'))
                                                            : QStringLiteral("null")))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!canInitialised_)
        return ucan::ErrCanNotInit;
    if (!msg || msg->length > 8)
        return ucan::ErrIllParam;
    written_.append(*msg);
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanReadCanMsg(ucan::Handle handle, ucan::CanMsg *msg)
{
    QMutexLocker locker(&mutex_);
    // Reads are not logged: a burst would flood the log.
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!msg)
        return ucan::ErrIllParam;
    if (received_.empty())
        return ucan::WarnNoData;
    *msg = received_.front();
    received_.pop_front();
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanGetStatus(ucan::Handle handle, ucan::Status *status)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::GetStatus, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    if (!status)
        return ucan::ErrIllParam;
    status->canStatus = canStatus_;
    status->usbStatus = 0;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanResetCan(ucan::Handle handle)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::ResetCan, QString::number(handle)))
        return r;
    canStatus_ = 0;
    received_.clear();
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanDeinitCan(ucan::Handle handle)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::DeinitCan, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    canInitialised_ = false;
    return ucan::Successful;
}

ucan::Result FakeUcan::UcanDeinitHardware(ucan::Handle handle)
{
    QMutexLocker locker(&mutex_);
    if (const ucan::Result r = enter(Call::DeinitHardware, QString::number(handle)))
        return r;
    if (!handleValid(handle))
        return ucan::ErrIllHandle;
    moduleOpen_ = false;
    canInitialised_ = false;
    eventCallback_ = {};
    return ucan::Successful;
}
