#pragma once
// The one wrapper around a QCanBusDevice. Everything that puts frames on a
// CAN bus goes through it: the host's driver, the editor's own link, the
// command-line tool and the simulator. It knows what the backends do not say
// alike: a socketcan interface that is missing, down or at another bit rate
// is explained before anything is opened (interface_diagnosis.h); virtualcan
// refuses a bad interface name in its constructor yet would connect anyway,
// and reports "connected" before it has joined its bus; a backend that fails
// at once signals it from inside connectDevice().
#include "canbus/address.h"
#include "canbus/interface_diagnosis.h"

#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace canbus {

struct DeviceOptions
{
    // How long getting on the bus may take; 0: no limit (the caller keeps
    // its own).
    int connectTimeoutMs = 3000;
    // With a bit rate, a socketcan interface must be up at that rate before
    // it is opened; without, it must only exist and be a CAN interface.
    quint32 bitrate = 0;
    QString sysClassNet = kSysClassNet;
    // Error frames asked of a socketcan interface.
    QCanBusFrame::FrameErrors errorFrames = QCanBusFrame::NoError;
};

class BusDevice : public QObject
{
    Q_OBJECT
public:
    enum class State { Closed, Connecting, Connected };

    explicit BusDevice(BusAddress address, DeviceOptions options = {}, QObject *parent = nullptr);
    ~BusDevice() override;

    const BusAddress &address() const { return m_address; }
    State state() const { return m_state; }
    bool isConnected() const { return m_state == State::Connected; }

    // Starts getting on the bus. False, with why, when that cannot even start
    // (interface not usable, no such plug-in, refused at once); otherwise
    // connected() or failed() follow, possibly before open() returns.
    bool open(QString *why);
    // open(), then run the event loop until the outcome is known.
    bool openAndWait(QString *why);
    // Leaves the bus; no signal follows.
    void close();

    // One frame onto the bus. False, with why, for this frame only: a failed
    // write leaves the device on the bus.
    bool writeFrame(const QCanBusFrame &frame, QString *why = nullptr);
    QList<QCanBusFrame> readAllFrames();
    // The controller's state, when the backend knows it.
    std::optional<QCanBusDevice::CanBusStatus> busStatus() const;
    QString interpretErrorFrame(const QCanBusFrame &frame) const;

    // The next count writes fail as on a full transmit queue (reported the
    // way the backend reports it), so that callers can be shown to survive
    // what a real queue does only under load.
    void failNextWrites(int count) { m_failWrites = count; }

signals:
    void connected();
    // Never got on the bus; the device is closed.
    void failed(const QString &why);
    // Was on the bus and is not any more; the device is closed.
    void lost(const QString &why);
    void framesReceived();
    // A read, write or other error while on the bus that did not end the
    // connection.
    void errorOccurred(QCanBusDevice::CanBusError error, const QString &text);

private:
    void onStateChanged(QCanBusDevice::CanBusDeviceState state);
    void onErrorOccurred(QCanBusDevice::CanBusError error);
    void onDeviceConnected();
    void setConnected();
    void fail(const QString &why);
    void lose(const QString &why);
    void dropDevice();

    BusAddress m_address;
    DeviceOptions m_options;
    QCanBusDevice *m_device = nullptr;
    QTimer m_connectTimer;
    State m_state = State::Closed;
    bool m_inConnect = false;
    int m_failWrites = 0;
};

// A device on the ZAR40 bus at ADDRESS (its bit rate, getting on within
// connectTimeoutMs), on the bus when it returns; null, with why, when it
// could not get there. The links to units open their bus through this.
BusDevice *openUnitBus(const BusAddress &address, int connectTimeoutMs, QObject *parent, QString *why);

// Takes DEVICE off the bus and deletes it once control is back in the event
// loop, since the caller may be inside one of its signals; RECEIVER hears
// nothing more from it. DEVICE is null afterwards; a null one is left alone.
void closeAndDeleteLater(BusDevice *&device, const QObject *receiver);

} // namespace canbus
