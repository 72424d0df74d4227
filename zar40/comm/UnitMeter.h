#pragma once
// The meters of a unit that no editor holds: its eight levels and its mute
// state, in a cycle like RemoteWatch's (the next request only once the last
// is answered, a pause after each cycle). The pots are left out: a rig's
// overview does not show them, and three requests a cycle instead of an
// average of five and a half keep 63 units well inside the bus's share.
// Only polls go out, with no connection sequence, so a unit is metered as
// a scan reads it: without being disturbed.
#include "zar40/comm/TransactionEngine.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>

namespace zar40::comm {

class Transport;

class UnitMeter : public QObject, public TransactionClient
{
    Q_OBJECT
public:
    static constexpr int kPauseMs = 1000;

    // TRANSPORT is opened here and owned; the meter's requests queue in an
    // engine of its own, so a silent unit holds up no other.
    explicit UnitMeter(std::unique_ptr<Transport> transport, QObject *parent = nullptr);
    ~UnitMeter() override;

    // The time limit of one poll (the editor's by default); tests shorten it.
    void setTimeout(int ms) { m_engine.setTimeout(ms); }

    bool start();
    void stop();
    bool isRunning() const { return m_running; }

    const std::array<std::uint8_t, 8> &levels() const { return m_levels; }
    std::uint32_t muteState() const { return m_muteState; }
    bool hasMuteState() const { return m_haveMute; }
    // Cycles that ended, and polls the unit did not answer.
    int cycles() const { return m_cycles; }
    int failures() const { return m_failures; }
    const CTransactionEngine &engine() const { return m_engine; }

signals:
    void levelsChanged();
    void muteStateChanged(std::uint32_t state);
    // A poll went unanswered; the next cycle tries again.
    void silent();

private:
    Transport *transactionTransport() override { return m_transport.get(); }
    void transactionReplied(const codec::Message &request, const codec::Message &reply) override;
    void transactionTimedOut(const codec::Message &request) override;
    void transactionRefused(const codec::Message &request) override;

    void poll();
    void post(std::uint16_t code, std::uint16_t address);
    void endCycle();

    CTransactionEngine m_engine;
    std::unique_ptr<Transport> m_transport;
    QTimer m_timer;
    bool m_running = false;
    int m_cycles = 0;
    int m_failures = 0;
    std::array<std::uint8_t, 8> m_levels{};
    std::uint32_t m_muteState = 0;
    bool m_haveMute = false;
};

} // namespace zar40::comm
