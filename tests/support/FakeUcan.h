#pragma once

#include "can/Ucan.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <deque>

// A driver that tests steer: plug and unplug the module, inject received
// frames and status bits, make any call fail with a chosen code. Callbacks
// run on a separate thread, as with a real driver, and have returned when
// the steering call returns (their effects on the host are posted events).
class FakeUcan final : public Ucan
{
public:
    enum class Call {
        InitHwConnectControl,
        DeinitHwConnectControl,
        InitHardware,
        GetHardwareInfo,
        InitCan,
        SetAcceptance,
        WriteCanMsg,
        ReadCanMsg,
        GetStatus,
        ResetCan,
        DeinitCan,
        DeinitHardware,
    };

    FakeUcan();
    ~FakeUcan() override;

    // --- steering ---
    // The next call of that function fails with code (once per failNext).
    void failNext(Call call, ucan::Result code, const QString &detail = {});
    // Every call of that function fails with code until clearFailures().
    void failAlways(Call call, ucan::Result code, const QString &detail = {});
    void clearFailures();
    // The device number the module reports (0 by default).
    void setDeviceNumber(quint8 number);

    // Plugs the module in (it is plugged in at the start); with connect
    // notification on, the connect callback gets event 6.
    void plug();
    // Unplugs it: the open module is lost and the connect callback gets
    // event 8.
    void unplug();
    // Frames that arrive from the bus, read by the event callback (event 2)
    // as one burst.
    void injectFrames(const QList<ucan::CanMsg> &frames);
    void injectFrame(quint32 id, const QByteArray &data, quint8 frameFormat = ucan::kFormatStandard);
    // Sets CAN status bits and reports event 3.
    void injectStatus(quint16 canStatus);

    // --- observing ---
    // One entry per call, e.g. "UcanInitHardware(255)", in order.
    QStringList calls() const;
    void clearCalls();
    QList<ucan::CanMsg> written() const;
    bool pluggedIn() const;
    bool connectControlOn() const;
    bool moduleOpen() const;
    bool canInitialised() const;
    quint8 lastBtr0() const;
    quint8 lastBtr1() const;
    quint32 acceptanceMask() const;
    quint32 acceptanceCode() const;

    static QString name(Call call);
    static ucan::CanMsg frame(quint32 id, const QByteArray &data, quint8 frameFormat = ucan::kFormatStandard);

    // --- the driver ---
    ucan::Result UcanInitHwConnectControl(ucan::ConnectCallback callback) override;
    ucan::Result UcanDeinitHwConnectControl() override;
    ucan::Result UcanInitHardware(ucan::Handle *handle, quint8 deviceNumber, ucan::EventCallback callback) override;
    ucan::Result UcanGetHardwareInfo(ucan::Handle handle, ucan::HardwareInfo *info) override;
    ucan::Result UcanInitCan(ucan::Handle handle, quint8 btr0, quint8 btr1, quint32 acceptanceMask,
                             quint32 acceptanceCode) override;
    ucan::Result UcanSetAcceptance(ucan::Handle handle, quint32 acceptanceMask, quint32 acceptanceCode) override;
    ucan::Result UcanWriteCanMsg(ucan::Handle handle, const ucan::CanMsg *msg) override;
    ucan::Result UcanReadCanMsg(ucan::Handle handle, ucan::CanMsg *msg) override;
    ucan::Result UcanGetStatus(ucan::Handle handle, ucan::Status *status) override;
    ucan::Result UcanResetCan(ucan::Handle handle) override;
    ucan::Result UcanDeinitCan(ucan::Handle handle) override;
    ucan::Result UcanDeinitHardware(ucan::Handle handle) override;
    QString lastErrorDetail() const override;

    static constexpr ucan::Handle kModuleHandle = 7;

private:
    struct Failure
    {
        ucan::Result code = ucan::Successful;
        QString detail;
        bool always = false;
    };

    // Logs the call and returns the failure set for it, if any.
    ucan::Result enter(Call call, const QString &arguments);
    bool handleValid(ucan::Handle handle) const;
    // Runs f on a thread of its own and waits for it.
    static void onDriverThread(const std::function<void()> &f);

    mutable QMutex m_mutex;
    QMap<Call, Failure> m_failures;
    QStringList m_calls;
    QString m_detail;
    quint8 m_deviceNumber = 0;
    bool m_plugged = true;
    bool m_moduleOpen = false;
    bool m_canInitialised = false;
    quint8 m_btr0 = 0;
    quint8 m_btr1 = 0;
    quint32 m_mask = 0;
    quint32 m_code = 0;
    quint16 m_canStatus = 0;
    std::deque<ucan::CanMsg> m_received;
    QList<ucan::CanMsg> m_written;
    ucan::EventCallback m_eventCallback;
    ucan::ConnectCallback m_connectCallback;
};
