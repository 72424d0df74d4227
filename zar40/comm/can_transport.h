#pragma once
// The device link over CAN. Every request is one standard data frame with
// identifier Net-ID x 32 carrying the 8-byte device message; a frame is the
// unit's reply when its identifier / 32 is the unit's Net-ID (a unit may
// answer with any identifier from Net-ID x 32 to Net-ID x 32 + 31).
//
// CanTransport holds what every CAN link shares: the Net-ID, the identifier
// rule, turning frames into messages and the end of the link. How frames
// reach the bus is the subclass's: the host's CAN window in the editor
// (zar40/comm/can), or a CAN device of our own in the command-line tool
// (CanBusTransport below).
#include "canbus/address.h"
#include "canbus/netid.h"
#include "zar40/comm/Transport.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <span>

namespace canbus {
class BusDevice;
}

namespace zar40::comm {

class CanTransport : public Transport
{
    Q_OBJECT
public:
    explicit CanTransport(int netId, QObject *parent = nullptr);

    int netId() const { return m_netId; }
    // The identifier every request goes out with.
    std::uint32_t requestId() const;

    bool send(const codec::Message &request) final;
    QString errorString() const override { return m_error; }
    QString description() const override;

    // Frames of other units, or not 8 data bytes, since construction.
    quint64 ignoredFrames() const { return m_ignoredFrames; }

protected:
    // Puts one frame on the bus. false, with setError(), when it cannot.
    virtual bool sendFrame(std::uint32_t id, const codec::MessageBytes &data) = 0;

    // A frame from the bus: handed on as the reply when it is this unit's.
    // IDENTIFIER is left out where the carrier routed it already.
    void frameReceived(std::uint32_t identifier, std::span<const std::uint8_t> data);
    void frameReceived(std::span<const std::uint8_t> data);
    // The link ended under us (adapter unplugged, bus error): the connection
    // ends as closed, the same for every CAN carrier.
    void linkEnded(const QString &why);

    void setError(const QString &error) { m_error = error; }

private:
    int m_netId;
    QString m_error;
    quint64 m_ignoredFrames = 0;
};

// A CAN link of our own, for a program without the host's CAN window: one
// bus device of the given address, opened for this unit alone. A socketcan
// interface that is missing, down or at another bit rate is explained as the
// host explains it.
class CanBusTransport final : public CanTransport
{
    Q_OBJECT
public:
    static constexpr int kDefaultConnectTimeoutMs = 3000;

    CanBusTransport(canbus::BusAddress address, int netId, QObject *parent = nullptr);
    ~CanBusTransport() override;

    // How long open() waits for the bus to connect.
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms < 1 ? 1 : ms; }

    // Opens the device and waits (running the event loop) until it is on
    // the bus.
    bool open() override;
    void close() override;
    bool isOpen() const override;
    QString description() const override;

protected:
    bool sendFrame(std::uint32_t id, const codec::MessageBytes &data) override;

private:
    void onFramesReceived();

    canbus::BusAddress m_address;
    int m_connectTimeoutMs = kDefaultConnectTimeoutMs;
    canbus::BusDevice *m_device = nullptr;
};

} // namespace zar40::comm
