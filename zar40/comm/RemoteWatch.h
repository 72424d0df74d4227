#pragma once
// Live levels while "RemoteWatch" is on: a cycle of two level requests,
// every second cycle followed by the six pots and the mute state, then a
// pause. Each request is posted only when the previous reply has arrived,
// so a slow link slows the cycle rather than filling the queue.
#include "zar40/comm/codec/values.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <cstdint>

namespace zar40::comm {

class CCommunicationmodul;

class CRemoteWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFirstPollMs = 500;
    static constexpr int kPauseMs = 1000;
    static constexpr int kLevelCount = static_cast<int>(codec::kLevelMeters);
    static constexpr int kPotCount = 6;

    explicit CRemoteWatch(CCommunicationmodul *link, QObject *parent = nullptr);
    ~CRemoteWatch() override;

    // On: the first cycle starts after kFirstPollMs. Off: nothing more is
    // posted; a reply still on its way is dropped.
    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

    // Raw bytes as the unit sends them: levels 0 to 255 (inputs A and B,
    // then outputs 1 to 6), pot positions, the mute-state word (bit n =
    // channel index n muted).
    const std::array<std::uint8_t, kLevelCount> &levels() const { return m_levels; }
    const std::array<std::uint32_t, kPotCount> &pots() const { return m_pots; }
    std::uint32_t muteState() const { return m_muteState; }
    // Finished cycles since the watch was last switched on.
    int cycles() const { return m_cycles; }

signals:
    void levelsChanged();
    void potsChanged();
    void muteStateChanged(std::uint32_t state);
    void cycleFinished();

protected:
    bool event(QEvent *event) override;

private:
    void poll();
    void post(std::uint16_t code, std::uint16_t address);
    void endCycle();

    // Owners may tear the connection down first; a dangling link must read
    // as none rather than as freed memory.
    QPointer<CCommunicationmodul> m_link;
    QTimer m_timer;
    bool m_enabled = false;
    bool m_withPots = false; // this cycle goes on to the pots and the mute state
    int m_cycles = 0;
    std::array<std::uint8_t, kLevelCount> m_levels{};
    std::array<std::uint32_t, kPotCount> m_pots{};
    std::uint32_t m_muteState = 0;
};

} // namespace zar40::comm
