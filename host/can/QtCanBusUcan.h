#pragma once

#include "CanSettings.h"

#include "can/Ucan.h"
#include "canbus/address.h"

#include <QCanBusDevice>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <deque>

class QTimer;

namespace canbus {
class BusDevice;
}

// The driver layer over the CAN link library: one canbus::BusDevice of the
// configured backend and interface stands for the USB-CAN module.
//
// The device lives on a thread of its own, and the callbacks are called on
// a second thread, as a vendor driver would do: a callback that waits for
// the host's CAN lock never holds up the device, so the host may call the
// driver while it holds that lock.
//
// What the backend reports becomes the driver's world: no such interface
// or plug-in, or an interface that does not connect in time -> the open
// fails with ErrIllHw (or ErrTimeout); the device leaving the connected
// state, a connection error, or the interface disappearing or going down ->
// the module was unplugged (connect event 8); the interface coming back ->
// plugged in (connect event 6); bus-off, error-passive and warning states,
// from error frames or the backend's bus status -> status changed (event 3)
// with the matching CAN status bits. A write that fails is that frame's
// failure alone (the call's result); the module stays open.
class QtCanBusUcan final : public Ucan
{
public:
    explicit QtCanBusUcan(const CanSettings &settings);
    ~QtCanBusUcan() override;

    QtCanBusUcan(const QtCanBusUcan &) = delete;
    QtCanBusUcan &operator=(const QtCanBusUcan &) = delete;

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

    const CanSettings &settings() const { return m_settings; }

    // The next count frames fail to be written, as on a full transmit queue
    // (see canbus::BusDevice::failNextWrites).
    void failNextWrites(int count);

    // The one module's handle.
    static constexpr ucan::Handle kModuleHandle = 0;
    // Received frames the callback has not read yet; beyond this the oldest
    // is dropped and the status reports a receive queue overrun.
    static constexpr std::size_t kReceiveQueueLimit = 4096;

private:
    enum class Module { None, Open, Removed };
    enum class Connect { Idle, Connecting, Connected, Failed };

    template <typename F>
    auto onDeviceThread(F &&f) -> decltype(f());
    ucan::Result fail(ucan::Result code, const QString &detail);
    canbus::BusAddress address() const;
    bool isSocketCan() const;

    // Device thread (qt_can_bus_ucan_device.cpp).
    bool openDevice(QString *why);
    void closeDevice();
    void onErrorOccurred(QCanBusDevice::CanBusError error, const QString &text);
    void onFramesReceived();
    void pollPresence();
    bool interfacePresent() const;
    void moduleGone(const QString &why);
    void raiseStatus(quint16 bits);
    void setConnect(Connect state, const QString &why = {});

    // Posted to the callback thread.
    void fireEvent(quint8 event);
    void fireConnect(quint8 event);

    const CanSettings m_settings;
    QThread m_deviceThread;
    QThread m_callbackThread;
    QObject *m_deviceContext = nullptr;
    QObject *m_callbackContext = nullptr;

    // Device thread only.
    canbus::BusDevice *m_device = nullptr;
    QTimer *m_presenceTimer = nullptr;
    bool m_present = false;

    mutable QMutex m_mutex;
    Module m_module = Module::None;
    bool m_canInitialised = false;
    quint32 m_acceptanceMask = ucan::kAcceptAllMask;
    quint32 m_acceptanceCode = ucan::kAcceptAllCode;
    std::deque<ucan::CanMsg> m_received;
    quint16 m_canStatus = 0;
    QString m_detail;
    ucan::EventCallback m_eventCallback;
    ucan::ConnectCallback m_connectCallback;
    std::atomic<bool> m_receivePosted{false};

    QMutex m_connectMutex;
    QWaitCondition m_connectChanged;
    Connect m_connect = Connect::Idle;
    QString m_connectError;
};
