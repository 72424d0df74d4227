#pragma once
// Many units' connections on one CAN bus device of our own (the command-line
// tool, the benchmarks): the device, the bus scheduler in front of it, and
// the link each connection uses. A connection may live in a thread of its own
// (one per unit, so that slow steps of one unit never hold up another); its
// frames reach the scheduler, and the bus's frames reach it, by queued calls.
#include "canbus/address.h"
#include "zar40/comm/BusScheduler.h"
#include "zar40/comm/can_transport.h"

#include <QPointer>

namespace canbus {
class BusDevice;
}

namespace zar40::comm {

class SharedCanBus : public QObject
{
    Q_OBJECT
public:
    explicit SharedCanBus(canbus::BusAddress address, QObject *parent = nullptr);
    ~SharedCanBus() override;

    // Opens the device and waits (running the event loop) until it is on
    // the bus. False with WHY when it cannot.
    bool open(QString *why, int connectTimeoutMs = CanBusTransport::kDefaultConnectTimeoutMs);
    void close();
    bool isOpen() const;
    const canbus::BusAddress &address() const { return m_address; }
    BusScheduler &scheduler() { return *m_scheduler; }

private:
    void onFramesReceived();

    canbus::BusAddress m_address;
    canbus::BusDevice *m_device = nullptr;
    BusScheduler *m_scheduler = nullptr;
};

// A unit's link through a bus scheduler: requests queue at the scheduler,
// replies come from its frameArrived(). Usable from any thread.
class ScheduledCanTransport final : public CanTransport
{
    Q_OBJECT
public:
    ScheduledCanTransport(BusScheduler *scheduler, QString busName, int netId, QObject *parent = nullptr);
    ~ScheduledCanTransport() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QString description() const override;

protected:
    bool sendFrame(std::uint32_t id, const codec::MessageBytes &data) override;

private:
    void onFrame(quint32 identifier, const QByteArray &data);

    QPointer<BusScheduler> m_scheduler;
    QString m_busName;
    bool m_open = false;
    QMetaObject::Connection m_frames;
    QMetaObject::Connection m_lost;
};

} // namespace zar40::comm
