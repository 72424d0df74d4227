#pragma once
// Serves DeviceModels on a CAN bus through QtSerialBus, each as a unit with
// a Net-ID of its own: requests are the standard 8-byte data frames whose
// identifier / 32 is that Net-ID, and every reply goes out under identifier
// Net-ID * 32. One process can so stand for a whole rig of units on one
// device, each with its own state.
#include "DeviceModel.h"

#include "canbus/address.h"
#include "canbus/BusDevice.h"

#include <QCanBusFrame>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zar40sim {

struct CanOptions {
    canbus::BusAddress address;
    std::vector<int> netIds; // ascending, each 1 to 63
    bool verbose = false;
    // The first connection must be up within this time or the program ends.
    int connectTimeoutMs = 5000;
    // Pause before connecting again after the bus was lost (the process that
    // hosted a virtual bus ended, an adapter was unplugged); 0: end instead.
    int reconnectMs = 1000;
};

// "1-63", "3,17,20-22": Net-IDs 1 to 63, each once. Nothing when the text
// is not such a list.
std::optional<std::vector<int>> parseNetIds(std::string_view text);
// The shortest such text for IDS (ascending).
std::string formatNetIds(const std::vector<int> &ids);

class CanServer : public QObject {
    Q_OBJECT
public:
    // MODELS by Net-ID; they must outlive the server.
    CanServer(std::map<int, DeviceModel *> models, CanOptions options, QObject *parent = nullptr);
    ~CanServer() override;

    // Creates the device and starts connecting. False with ERROR when the
    // plug-in or the interface does not exist or refuses to open; ready()
    // or failed() follow otherwise.
    bool start(QString &error);
    // Leaves the bus (a virtual bus hears that we are gone).
    void stop();

    // What to give a client to reach the units: "virtualcan:can0 net-id 2",
    // "virtualcan:can0 net-ids 1-63".
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

    std::map<int, DeviceModel *> m_models;
    CanOptions m_options;
    std::uint64_t m_served = 0;
    canbus::BusDevice *m_bus = nullptr;
    QTimer m_reconnectTimer;
    bool m_everConnected = false;
    bool m_stopping = false;
    std::vector<int> m_warnedTwins;
};

} // namespace zar40sim
