#include "BusScheduler.h"

#include "canbus/netid.h"
#include "zar40/comm/codec/request_codes.h"

#include <algorithm>
#include <vector>

namespace zar40::comm {

int canFrameBits(std::uint32_t identifier, std::span<const std::uint8_t> data)
{
    const std::size_t length = std::min<std::size_t>(data.size(), 8);
    std::vector<bool> bits;
    bits.reserve(19 + 64 + 15);
    auto put = [&bits](std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bits.push_back(((value >> i) & 1u) != 0);
    };
    put(0, 1);                       // start of frame
    put(identifier & 0x7FFu, 11);    // identifier
    put(0, 3);                       // RTR (data frame), IDE (standard), r0
    put(static_cast<std::uint32_t>(length), 4);
    for (std::size_t i = 0; i < length; ++i) put(data[i], 8);

    // CRC-15 over everything so far, polynomial 0x4599.
    std::uint32_t crc = 0;
    for (bool bit : bits) {
        const bool top = ((crc >> 14) & 1u) != 0;
        crc = (crc << 1) & 0x7FFFu;
        if (top != bit) crc ^= 0x4599u;
    }
    put(crc, 15);

    int stuffed = 0;
    int run = 0;
    bool last = false;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (i > 0 && bits[i] == last) {
            ++run;
        } else {
            run = 1;
            last = bits[i];
        }
        if (run == 5) {
            // The stuff bit is the opposite level and starts a run of its own.
            ++stuffed;
            last = !last;
            run = 1;
        }
    }
    // CRC delimiter, ACK slot, ACK delimiter, end of frame, interframe space.
    constexpr int kTail = 1 + 1 + 1 + 7 + 3;
    return static_cast<int>(bits.size()) + stuffed + kTail;
}

BusScheduler::BusScheduler(SendFrame send, QObject *parent)
    : QObject(parent)
    , m_send(std::move(send))
    , m_bitrate(canbus::kBitrate)
{
    m_elapsed.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { schedule(pump()); });
    m_tokens = bucketBits();
}

BusScheduler::~BusScheduler() = default;

void BusScheduler::setClock(Clock clock)
{
    m_clock = std::move(clock);
    m_ownClock = !m_clock;
    m_refilledAt = now();
}

qint64 BusScheduler::now() const
{
    return m_clock ? m_clock() : m_elapsed.nsecsElapsed() / 1000;
}

void BusScheduler::setBitrate(std::uint32_t bitsPerSecond)
{
    refill();
    m_bitrate = std::max<std::uint32_t>(bitsPerSecond, 1000);
    m_tokens = std::min<double>(m_tokens, bucketBits());
}

void BusScheduler::setMaxLoad(double share)
{
    refill();
    m_maxLoad = std::clamp(share, 0.01, 1.0);
}

int BusScheduler::bucketBits() const
{
    return kBucketExchanges * kExchangeBits;
}

BusScheduler::Traffic BusScheduler::trafficOf(std::uint16_t requestCode)
{
    return codec::isPollRequestCode(requestCode) ? Traffic::Meter : Traffic::Edit;
}

void BusScheduler::submit(int netId, std::uint32_t identifier, const codec::MessageBytes &data)
{
    const auto code = static_cast<std::uint16_t>((data[0] << 8) | data[1]);
    submit(netId, trafficOf(code), identifier, data);
}

void BusScheduler::submit(int netId, Traffic traffic, std::uint32_t identifier, const codec::MessageBytes &data)
{
    Unit &unit = m_units[netId];
    Frame frame{identifier, data, canFrameBits(identifier, data) + kWorstCaseFrameBits};
    (traffic == Traffic::Edit ? unit.edits : unit.meters).push_back(frame);
    if (!m_ownClock) return; // the test pumps
    if (m_pumpQueued) return;
    m_pumpQueued = true;
    QMetaObject::invokeMethod(this, [this] {
        m_pumpQueued = false;
        schedule(pump());
    }, Qt::QueuedConnection);
}

void BusScheduler::dropUnit(int netId)
{
    m_units.erase(netId);
}

int BusScheduler::pendingCount(int netId) const
{
    int n = 0;
    for (const auto &[id, unit] : m_units)
        if (netId == 0 || id == netId) n += static_cast<int>(unit.edits.size() + unit.meters.size());
    return n;
}

void BusScheduler::refill()
{
    const qint64 t = now();
    const qint64 dt = t - m_refilledAt;
    m_refilledAt = t;
    if (dt <= 0) return;
    m_tokens = std::min<double>(bucketBits(), m_tokens + double(dt) * m_maxLoad * m_bitrate / 1e6);
}

int BusScheduler::nextUnit(int from, std::deque<Frame> Unit::*queue) const
{
    if (m_units.empty()) return 0;
    auto it = m_units.upper_bound(from);
    for (std::size_t n = 0; n < m_units.size(); ++n, ++it) {
        if (it == m_units.end()) it = m_units.begin();
        if (!(it->second.*queue).empty()) return it->first;
    }
    return 0;
}

bool BusScheduler::sendFrame(Unit &unit, std::deque<Frame> &queue)
{
    (void)unit;
    const Frame frame = queue.front();
    queue.pop_front();
    m_tokens -= frame.cost;
    if (!m_send(frame.identifier, frame.data)) {
        ++m_counters.refused;
        return false;
    }
    ++m_counters.framesSent;
    m_counters.bitsSent += static_cast<quint64>(frame.cost - kWorstCaseFrameBits);
    return true;
}

qint64 BusScheduler::pump()
{
    refill();
    const double perUs = m_maxLoad * m_bitrate / 1e6;
    auto waitFor = [&](double bits) { return qint64((bits - m_tokens) / perUs) + 1; };
    for (;;) {
        const int edit = nextUnit(m_lastEditUnit, &Unit::edits);
        const int meter = nextUnit(m_lastMeterUnit, &Unit::meters);
        // While edits keep the bus busy, one frame in kEditsPerMeter + 1 is
        // still a meter's, so that a long transfer (a backup) does not
        // freeze every unit's meters.
        const bool meterTurn = meter && edit && m_editsSinceMeter >= kEditsPerMeter;
        if (edit && !meterTurn) {
            Unit &unit = m_units[edit];
            const int cost = unit.edits.front().cost;
            if (m_tokens < cost) return waitFor(cost);
            m_lastEditUnit = edit;
            sendFrame(unit, unit.edits);
            ++m_counters.editSent;
            ++m_editsSinceMeter;
            continue;
        }
        if (meter) {
            Unit &unit = m_units[meter];
            const int cost = unit.meters.front().cost;
            // Otherwise one exchange stays in the bucket for an edit that may come.
            const double needed = meterTurn ? cost : cost + kExchangeBits;
            if (m_tokens < needed) return waitFor(needed);
            m_lastMeterUnit = meter;
            sendFrame(unit, unit.meters);
            ++m_counters.meterSent;
            m_editsSinceMeter = 0;
            continue;
        }
        return -1;
    }
}

void BusScheduler::schedule(qint64 waitUs)
{
    if (waitUs < 0) {
        m_timer.stop();
        return;
    }
    // Timers count whole milliseconds; a frame that may go in 300 us goes
    // at the next one, which keeps the load a little under the share.
    m_timer.start(static_cast<int>(std::max<qint64>(1, (waitUs + 999) / 1000)));
}

void BusScheduler::frameReceived(std::uint32_t identifier, std::span<const std::uint8_t> data)
{
    ++m_counters.framesReceived;
    m_counters.bitsReceived += static_cast<quint64>(canFrameBits(identifier, data));
    const QByteArray bytes(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
    if (const auto port = m_ports.find(canbus::netIdForIdentifier(identifier)); port != m_ports.end())
        emit port->second->frameArrived(identifier, bytes);
    emit frameArrived(identifier, bytes);
}

UnitPort *BusScheduler::port(int netId)
{
    UnitPort *&p = m_ports[netId];
    if (!p) p = new UnitPort(this);
    return p;
}

double BusScheduler::loadSince(qint64 startUs, quint64 bitsAtStart) const
{
    const qint64 span = now() - startUs;
    if (span <= 0) return 0;
    const quint64 bits = m_counters.bitsSent + m_counters.bitsReceived - bitsAtStart;
    return double(bits) / (double(m_bitrate) * double(span) / 1e6);
}

} // namespace zar40::comm
