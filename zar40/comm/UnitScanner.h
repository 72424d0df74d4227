#pragma once
// Finds the ZAR40 units on a CAN bus: asks every Net-ID from 1 to 63 for its
// device number and, from those that answer, the device name, the number of
// the preset it plays and its firmware revision. Only reads go out, so a
// unit in use by an editor notices nothing. The scan asks every Net-ID at once
// rather than one after the other, so an idle bus is done in well under a
// second; it never takes longer than its deadline.
#include "zar40/comm/codec/message.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace zar40::comm {

struct FoundUnit {
    int netId = 0;
    std::uint32_t deviceNumber = 0;
    QString deviceName;
    // The slot the unit plays, 1 to 32; 0 when the unit did not say.
    int currentPreset = 0;
    // The firmware revision word (major << 16 | minor); 0 when the unit did
    // not say.
    std::uint32_t revision = 0;
    // Every question was answered.
    bool complete = false;
};

class UnitScanner : public QObject
{
    Q_OBJECT
public:
    // Puts one frame on the bus; false when it could not (it is tried again
    // a moment later).
    using SendFrame = std::function<bool(std::uint32_t identifier, const codec::MessageBytes &data)>;

    static constexpr int kProbeWindowMs = 400;
    static constexpr int kAnswerTimeoutMs = 300;
    static constexpr int kDeadlineMs = 2500;

    explicit UnitScanner(SendFrame send, QObject *parent = nullptr);
    ~UnitScanner() override;

    // Net-IDs to leave out (a unit another connection of this program is
    // talking to: its replies would go there).
    void setSkipped(const QList<int> &netIds) { m_skipped = netIds; }

    void start();
    bool isRunning() const { return m_running; }
    // Units found so far, by Net-ID.
    QList<FoundUnit> units() const;

    // Every frame from the bus goes here while the scan runs.
    void frameReceived(std::uint32_t identifier, std::span<const std::uint8_t> data);

    // The addresses a unit is asked for with ReqReadPara, in order: device
    // number, the four groups of the device name, the preset number. Then
    // it is asked for its revision (ReqRevision, address 0).
    static std::span<const std::uint16_t> questions();
    static std::size_t questionCount() { return questions().size() + 1; }

signals:
    void finished();

private:
    struct Unit {
        bool probed = false;   // the first question went out
        bool answered = false; // it answered the first question
        bool done = false;
        std::size_t next = 0;  // index into questions() of the question out
        qint64 askedAt = 0;
        int attempts = 0;
        FoundUnit found;
        std::array<std::uint32_t, 4> nameWords{};
    };

    void tick();
    bool ask(int netId);
    void finish();

    SendFrame m_send;
    QTimer m_ticker;
    qint64 m_startedAt = 0;
    bool m_running = false;
    int m_nextProbe = 1;
    QList<int> m_skipped;
    std::array<Unit, 64> m_units{};
};

QString describeUnit(const FoundUnit &unit);

} // namespace zar40::comm
