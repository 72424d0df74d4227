#pragma once
// Serves a DeviceModel on a CAN bus through QtSerialBus, as a unit with one
// Net-ID: requests are the standard 8-byte data frames whose identifier / 32
// is that Net-ID, and every reply goes out under identifier Net-ID * 32.
#include "device_model.h"

#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>
#include <string>
#include <string_view>

namespace zar40sim {

struct CanOptions {
    QString backend;   // QtSerialBus plug-in: socketcan, virtualcan, ...
    QString interface; // can0; virtualcan also takes tcp://127.0.0.1:PORT/can0
    int netId = 0;
    bool verbose = false;
    // The first connection must be up within this time or the program ends.
    int connectTimeoutMs = 5000;
    // Pause before connecting again after the bus was lost (the process that
    // hosted a virtual bus ended, an adapter was unplugged); 0: end instead.
    int reconnectMs = 1000;
};

// "BACKEND:INTERFACE", split at the first colon so that the interface may
// hold colons of its own (tcp://127.0.0.1:40000/can0).
bool splitCanTarget(std::string_view text, std::string &backend, std::string &interface);

// Nothing for a usable Net-ID (1 to 63), otherwise why it is not.
std::optional<std::string> netIdProblem(long long netId);

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
    bool createAndConnect(QString &error);
    void dropDevice();
    void onStateChanged(QCanBusDevice::CanBusDeviceState state);
    void onOnBus();
    void onErrorOccurred(QCanBusDevice::CanBusError error);
    void onFramesReceived();
    void onConnectTimeout();
    void scheduleReconnect(const QString &why);
    void reconnect();
    void serve(const QCanBusFrame &frame);

    DeviceModel &m_model;
    CanOptions m_options;
    QCanBusDevice *m_device = nullptr;
    QTimer m_connectTimer;
    QTimer m_reconnectTimer;
    bool m_everConnected = false;
    bool m_stopping = false;
    bool m_inConnect = false;
    bool m_warnedTwin = false;
};

} // namespace zar40sim
