#pragma once
// One CAN bus shared by every connection of the program: the editors, the
// units window, a whole-rig command. Each unit's request frames wait in a
// queue of their own; the scheduler puts them on the bus so that the bus
// load it causes stays below a share of the bit rate (70 % by default), edits
// and transfers before metering, and metering round-robin across the units,
// so that no unit's meters starve while another is polled.
//
// The budget is a token bucket counted in bus bits. A request frame costs
// its own bits (computed with its real bit stuffing) plus the worst case of
// the reply it will cause (the reply's bytes are not known yet). Tokens come
// in at load x bit rate; the bucket holds only a few exchanges, so no burst
// can push a short stretch of the bus far above the share either.
//
// Metering may spend the bucket only down to one exchange: an edit that
// arrives always finds room for its frame at once. While edits keep the bus
// busy, metering still gets one frame in eleven, so a transfer takes at most
// a tenth longer and the meters of a rig never stop during a long one.
#include "zar40/comm/codec/message.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <span>

namespace zar40::comm {

// Bits a standard (11-bit identifier) data frame occupies on the bus,
// including the interframe space: 1 start bit, identifier 11, RTR, IDE and
// r0, DLC 4, the data, CRC 15 (these are what bit stuffing applies to), then
// CRC delimiter, ACK slot and delimiter, 7 end-of-frame bits and 3 bits of
// interframe space. Stuffing puts one opposite bit after every 5 equal ones
// and is counted on the real bits here, CRC included.
int canFrameBits(std::uint32_t identifier, std::span<const std::uint8_t> data);
// The longest such frame with 8 data bytes: 98 stuffable bits give at most
// (98 - 1) / 4 = 24 stuff bits, so 64 + 47 + 24.
inline constexpr int kWorstCaseFrameBits = 135;

// The frames of one Net-ID, for a link that wants only its own unit's.
class UnitPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void frameArrived(quint32 identifier, const QByteArray &data);
};

class BusScheduler : public QObject
{
    Q_OBJECT
public:
    enum class Traffic { Edit, Meter };

    // Puts one frame on the bus; false when the bus refused it (it is not
    // tried again: the exchange's own repeat or time-out takes over).
    using SendFrame = std::function<bool(std::uint32_t identifier, const codec::MessageBytes &data)>;
    // Microseconds on a steady clock.
    using Clock = std::function<qint64()>;

    static constexpr double kDefaultMaxLoad = 0.70;
    // Bucket size, in worst-case exchanges (request and reply).
    static constexpr int kBucketExchanges = 3;
    static constexpr int kExchangeBits = 2 * kWorstCaseFrameBits;
    // While both wait, metering still gets one frame after this many edits.
    static constexpr int kEditsPerMeter = 10;

    explicit BusScheduler(SendFrame send, QObject *parent = nullptr);
    ~BusScheduler() override;

    // Tests install a clock of their own and call pump() themselves.
    void setClock(Clock clock);
    void setBitrate(std::uint32_t bitsPerSecond);
    std::uint32_t bitrate() const { return m_bitrate; }
    void setMaxLoad(double share);
    double maxLoad() const { return m_maxLoad; }

    // What a request with this code is: polls of levels, pots and mute
    // state are metering, everything else edits.
    static Traffic trafficOf(std::uint16_t requestCode);

    // Queues one request frame of unit NETID; it goes out from pump().
    void submit(int netId, std::uint32_t identifier, const codec::MessageBytes &data);
    void submit(int netId, Traffic traffic, std::uint32_t identifier, const codec::MessageBytes &data);
    // Forgets the frames NETID still has waiting.
    void dropUnit(int netId);
    int pendingCount(int netId = 0) const;

    // Sends every frame the budget allows now. Returns the microseconds until
    // the next waiting frame can go, or -1 when none waits.
    qint64 pump();

    // Every frame the bus carries to us goes here; it is handed on by
    // frameArrived() and by the port of the Net-ID it belongs to.
    void frameReceived(std::uint32_t identifier, std::span<const std::uint8_t> data);

    // Hands on the frames of NETID only (made on first use, owned here).
    UnitPort *port(int netId);

    struct Counters {
        quint64 framesSent = 0;
        quint64 framesReceived = 0;
        quint64 bitsSent = 0;     // request frames, with their real stuffing
        quint64 bitsReceived = 0; // every frame received, likewise
        quint64 editSent = 0;
        quint64 meterSent = 0;
        quint64 refused = 0; // frames the bus would not take
    };
    const Counters &counters() const { return m_counters; }
    // Bits sent and received since START (a clock reading) over what the bus
    // could carry in that time.
    double loadSince(qint64 startUs, quint64 bitsAtStart) const;
    qint64 now() const;

signals:
    void frameArrived(quint32 identifier, const QByteArray &data);
    // The bus went away under every unit's link.
    void busLost(const QString &why);

private:
    struct Frame {
        std::uint32_t identifier;
        codec::MessageBytes data;
        int cost; // bits charged: the frame and the worst case of its reply
    };
    struct Unit {
        std::deque<Frame> edits;
        std::deque<Frame> meters;
    };

    void refill();
    int bucketBits() const;
    // The next unit after FROM (cyclically) with a frame in the queue that
    // QUEUE selects; 0 when none.
    int nextUnit(int from, std::deque<Frame> Unit::*queue) const;
    bool sendFrame(Unit &unit, std::deque<Frame> &queue);
    void schedule(qint64 waitUs);

    SendFrame m_send;
    Clock m_clock;
    QElapsedTimer m_elapsed;
    bool m_ownClock = true;
    std::uint32_t m_bitrate;
    double m_maxLoad = kDefaultMaxLoad;
    double m_tokens = 0;
    qint64 m_refilledAt = 0;
    std::map<int, Unit> m_units;
    std::map<int, UnitPort *> m_ports;
    int m_lastEditUnit = 0;
    int m_lastMeterUnit = 0;
    int m_editsSinceMeter = 0;
    QTimer m_timer;
    bool m_pumpQueued = false;
    Counters m_counters;
};

} // namespace zar40::comm
