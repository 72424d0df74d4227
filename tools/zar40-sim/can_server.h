#pragma once
// Serves a DeviceModel on a CAN bus through QtSerialBus, as a unit with one
// Net-ID: requests are the standard 8-byte data frames whose identifier / 32
// is that Net-ID, and every reply goes out under identifier Net-ID * 32.
#include "device_model.h"

#include "canbus/address.h"
#include "canbus/bus_device.h"

#include <QCanBusFrame>
#include <QObject>
#include <QString>
#include <QTimer>

namespace zar40sim {

struct CanOptions {
    canbus::BusAddress address;
    int netId = 0;
    bool verbose = false;
    // The first connection must be up within this time or the program ends.
    int connectTimeoutMs = 5000;
    // Pause before connecting again after the bus was lost (the process that
    // hosted a virtual bus ended, an adapter was unplugged); 0: end instead.
    int reconnectMs = 1000;
};

class CanServer : public QObject {
    Q_OBJECT
public:
    CanServer(DeviceModel &model, CanOptions options, QObject *parent = nullptr);
    ~CanServer() override;

    // Creates the device and starts connecting. False with ERROR when the
    // plug-in or the interface does not exist or refuses to open; ready()
    // or failed() follow otherwise.
    bool start(QString &error);
    // Leaves the bus (a virtual bus hears that we are gone).
    void stop();

    // What to give a client to reach this unit: "virtualcan:can0 net-id 2".
    QString description() const;

signals:
    void ready();                       // on the bus for the first time
    void failed(const QString &reason); // given up; the program ends with 1

private:
    void onOnBus();
    void onFailed(const QString &why);
    void onFramesReceived();
    void scheduleReconnect(const QString &why);
    void reconnect();
    void serve(const QCanBusFrame &frame);

    DeviceModel &m_model;
    CanOptions m_options;
    canbus::BusDevice *m_bus = nullptr;
    QTimer m_reconnectTimer;
    bool m_everConnected = false;
    bool m_stopping = false;
    bool m_warnedTwin = false;
};

} // namespace zar40sim
