#include "UnitScanner.h"

#include "canbus/netid.h"
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/preset/fields.h"

#include <QDateTime>
#include <QElapsedTimer>

namespace zar40::comm {

using namespace codec;

namespace {

// Frames go out one per tick: a real adapter's transmit queue is short.
constexpr int kTickMs = 2;
constexpr int kAttempts = 2;

QElapsedTimer &clock()
{
    static QElapsedTimer t = [] {
        QElapsedTimer e;
        e.start();
        return e;
    }();
    return t;
}

std::array<std::uint16_t, 6> makeQuestions()
{
    return {*deviceSettingsAddress(kDeviceNumberWord),
            *deviceSettingsAddress(kDeviceNameFirstWord),
            *deviceSettingsAddress(kDeviceNameFirstWord + 1),
            *deviceSettingsAddress(kDeviceNameFirstWord + 2),
            *deviceSettingsAddress(kDeviceNameFirstWord + 3),
            *addressOf(preset::FieldKey{preset::kPresetWide, preset::Group::Preset, 0, preset::Field::Number})};
}

} // namespace

std::span<const std::uint16_t> UnitScanner::questions()
{
    static const auto q = makeQuestions();
    return q;
}

UnitScanner::UnitScanner(SendFrame send, QObject *parent)
    : QObject(parent)
    , m_send(std::move(send))
{
    m_ticker.setInterval(kTickMs);
    connect(&m_ticker, &QTimer::timeout, this, &UnitScanner::tick);
}

UnitScanner::~UnitScanner() = default;

void UnitScanner::start()
{
    m_units = {};
    m_nextProbe = canbus::kMinNetId;
    m_startedAt = clock().elapsed();
    m_running = true;
    m_ticker.start();
}

QList<FoundUnit> UnitScanner::units() const
{
    QList<FoundUnit> list;
    for (const Unit &u : m_units)
        if (u.answered) list << u.found;
    return list;
}

bool UnitScanner::ask(int netId)
{
    Unit &u = m_units[static_cast<std::size_t>(netId)];
    const bool revision = u.next == questions().size();
    const std::uint16_t address = revision ? 0 : questions()[u.next];
    if (!m_send(canbus::identifierForNetId(netId), buildMessage(revision ? ReqRevision : ReqReadPara, address, 0)))
        return false;
    u.probed = true;
    u.askedAt = clock().elapsed();
    ++u.attempts;
    return true;
}

void UnitScanner::tick()
{
    const qint64 now = clock().elapsed();
    if (now - m_startedAt >= kDeadlineMs) {
        finish();
        return;
    }
    // One frame per tick: the next probe first, then repeats of unanswered
    // questions of units that did answer once.
    while (m_nextProbe <= canbus::kMaxNetId && m_skipped.contains(m_nextProbe)) ++m_nextProbe;
    if (m_nextProbe <= canbus::kMaxNetId) {
        if (ask(m_nextProbe)) ++m_nextProbe;
        return;
    }
    bool waiting = false;
    for (int id = canbus::kMinNetId; id <= canbus::kMaxNetId; ++id) {
        Unit &u = m_units[static_cast<std::size_t>(id)];
        if (u.done) continue;
        if (!u.answered) {
            // Silent units count only while the probe may still be answered.
            if (now - u.askedAt < kProbeWindowMs) waiting = true;
            continue;
        }
        if (now - u.askedAt < kAnswerTimeoutMs) {
            waiting = true;
            continue;
        }
        if (u.attempts >= kAttempts) {
            u.done = true; // incomplete: it stopped answering
            continue;
        }
        waiting = true;
        ask(id);
        return;
    }
    if (!waiting) finish();
}

void UnitScanner::frameReceived(std::uint32_t identifier, std::span<const std::uint8_t> data)
{
    if (!m_running || data.size() != kMessageSize) return;
    const int netId = canbus::netIdForIdentifier(identifier);
    if (!canbus::netIdUsable(netId)) return;
    Unit &u = m_units[static_cast<std::size_t>(netId)];
    if (!u.probed || u.done) return;
    const Message reply = parseMessage(std::span<const std::uint8_t, kMessageSize>(data.data(), kMessageSize));
    const std::uint16_t asked = u.next < questions().size() ? questions()[u.next] : 0;
    if (reply.address != asked) return;
    if (!u.answered) {
        u.answered = true;
        u.found.netId = netId;
    }
    if (reply.code == RepRevision && u.next == questions().size()) {
        u.found.revision = reply.value;
    } else if (reply.code == RepReadPara) {
        switch (u.next) {
        case 0: u.found.deviceNumber = reply.value; break;
        case 1: case 2: case 3: case 4: u.nameWords[u.next - 1] = reply.value; break;
        default:
            // The preset number counts from 0.
            u.found.currentPreset = reply.value < 32 ? static_cast<int>(reply.value) + 1 : 0;
            break;
        }
    }
    ++u.next;
    u.attempts = 0;
    if (u.next == questionCount()) {
        DeviceSettings settings{};
        for (std::size_t w = 0; w < 4; ++w) settings[kDeviceNameFirstWord + w] = u.nameWords[w];
        u.found.deviceName = QString::fromLatin1(deviceName(settings));
        u.found.complete = true;
        u.done = true;
        return;
    }
    // Ask the next question at once; the ticker repeats it if it is lost.
    ask(netId);
}

void UnitScanner::finish()
{
    if (!m_running) return;
    m_running = false;
    m_ticker.stop();
    emit finished();
}

QString describeUnit(const FoundUnit &unit)
{
    return QStringLiteral("Net-ID %1  %2  \"%3\"  preset %4%5")
        .arg(unit.netId, 2)
        .arg(QString::fromLatin1(deviceNumberText(unit.deviceNumber)).trimmed())
        .arg(unit.deviceName)
        .arg(unit.currentPreset ? QString::number(unit.currentPreset) : QStringLiteral("?"))
        .arg(unit.complete ? QString() : QStringLiteral("  (incomplete)"));
}

} // namespace zar40::comm
