#include "CanServer.h"

#include "message_text.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"

#include "canbus/netid.h"

#include <charconv>
#include <cinttypes>
#include <algorithm>
#include <cstdio>
#include <span>

namespace zar40sim {

namespace codec = zar40::codec;

namespace {

// Only the device answers with these codes. On CAN a unit hears every frame
// of its Net-ID, and a second unit with the same Net-ID would otherwise
// answer our replies (with RepError) and we its replies: an endless storm.
bool isDeviceReply(std::uint16_t code)
{
    if (code == codec::Idle_State_PC) return false;
    for (const auto &info : codec::requestCodeTable())
        if (info.code == code) return !info.isRequest;
    return false;
}

void say(const QString &text)
{
    std::fprintf(stderr, "zar40-sim: %s\n", qPrintable(text));
}

} // namespace

std::optional<std::vector<int>> parseNetIds(std::string_view text)
{
    std::vector<int> ids;
    auto number = [](std::string_view t) -> std::optional<int> {
        int v = 0;
        const auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || ec != std::errc{} || p != t.data() + t.size() || !canbus::netIdUsable(v)) return std::nullopt;
        return v;
    };
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (comma != std::string_view::npos && text.empty()) return std::nullopt; // "1,"
        const auto dash = item.find('-');
        const auto first = number(item.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : number(item.substr(dash + 1));
        if (!first || !last || *last < *first) return std::nullopt;
        for (int id = *first; id <= *last; ++id) ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    if (ids.empty() || std::adjacent_find(ids.begin(), ids.end()) != ids.end()) return std::nullopt;
    return ids;
}

std::string formatNetIds(const std::vector<int> &ids)
{
    std::string out;
    for (std::size_t i = 0; i < ids.size();) {
        std::size_t j = i;
        while (j + 1 < ids.size() && ids[j + 1] == ids[j] + 1) ++j;
        if (!out.empty()) out += ',';
        out += std::to_string(ids[i]);
        if (j > i) out += '-' + std::to_string(ids[j]);
        i = j + 1;
    }
    return out;
}

CanServer::CanServer(std::map<int, DeviceModel *> models, CanOptions options, QObject *parent)
    : QObject(parent), m_models(std::move(models)), m_options(std::move(options))
{
    canbus::DeviceOptions bus;
    bus.connectTimeoutMs = m_options.connectTimeoutMs;
    // A unit at another bit rate hears nothing: say so before trying.
    bus.bitrate = canbus::kBitrate;
    m_bus = new canbus::BusDevice(m_options.address, bus, this);
    connect(m_bus, &canbus::BusDevice::connected, this, &CanServer::onOnBus);
    connect(m_bus, &canbus::BusDevice::failed, this, &CanServer::onFailed);
    // On virtualcan this is what everybody sees when the program that hosted
    // the bus ends; the first to reconnect hosts it anew.
    connect(m_bus, &canbus::BusDevice::lost, this, [this] {
        scheduleReconnect(m_options.address.backend == u"virtualcan"
                              ? QStringLiteral("lost the CAN bus (did the program hosting the virtual bus end?)")
                              : QStringLiteral("lost the CAN bus"));
    });
    connect(m_bus, &canbus::BusDevice::errorOccurred, this, [this](QCanBusDevice::CanBusError, const QString &text) {
        if (!m_stopping) say(QStringLiteral("CAN error on %1: %2").arg(m_options.address.toString(), text));
    });
    connect(m_bus, &canbus::BusDevice::framesReceived, this, &CanServer::onFramesReceived);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &CanServer::reconnect);
}

CanServer::~CanServer()
{
    stop();
}

QString CanServer::description() const
{
    const auto &ids = m_options.netIds;
    if (ids.size() == 1) return QStringLiteral("%1 net-id %2").arg(m_options.address.toString()).arg(ids.front());
    return QStringLiteral("%1 net-ids %2").arg(m_options.address.toString(), QString::fromStdString(formatNetIds(ids)));
}

bool CanServer::start(QString &error)
{
    m_stopping = false;
    return m_bus->open(&error);
}

void CanServer::stop()
{
    m_stopping = true;
    m_reconnectTimer.stop();
    m_bus->close();
}

void CanServer::onOnBus()
{
    if (!m_everConnected) {
        m_everConnected = true;
        emit ready();
    } else {
        say(QStringLiteral("back on the CAN bus as %1").arg(description()));
    }
}

void CanServer::onFailed(const QString &why)
{
    if (!m_everConnected) {
        emit failed(why);
        return;
    }
    scheduleReconnect(why);
}

void CanServer::scheduleReconnect(const QString &why)
{
    m_bus->close();
    if (m_options.reconnectMs <= 0) {
        emit failed(why);
        return;
    }
    say(QStringLiteral("%1; connecting again in %2 ms").arg(why).arg(m_options.reconnectMs));
    m_reconnectTimer.start(m_options.reconnectMs);
}

void CanServer::reconnect()
{
    if (m_stopping) return;
    QString error;
    if (!m_bus->open(&error)) {
        // Stay quiet about every further failed attempt unless asked: the
        // loss itself was reported.
        if (m_options.verbose) say(error);
        m_reconnectTimer.start(m_options.reconnectMs);
    }
}

void CanServer::onFramesReceived()
{
    // The bus may be lost while we serve; stop reading then.
    for (const QCanBusFrame &frame : m_bus->readAllFrames()) {
        if (!m_bus->isConnected()) return;
        serve(frame);
    }
}

void CanServer::serve(const QCanBusFrame &frame)
{
    const auto id = frame.frameId();
    const int netId = canbus::netIdForIdentifier(id);
    const auto unit = m_models.find(netId);
    const bool ours = unit != m_models.end();

    if (frame.frameType() == QCanBusFrame::ErrorFrame) {
        if (m_options.verbose) say(QStringLiteral("error frame: %1").arg(m_bus->interpretErrorFrame(frame)));
        return;
    }
    if (!ours || frame.hasLocalEcho()) return;
    const QByteArray payload = frame.payload();
    if (frame.frameType() != QCanBusFrame::DataFrame || frame.hasExtendedFrameFormat() ||
        frame.hasFlexibleDataRateFormat() || payload.size() != static_cast<int>(codec::kMessageSize)) {
        if (m_options.verbose)
            say(QStringLiteral("frame ignored, not a request: %1").arg(frame.toString()));
        return;
    }
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(payload.constData());
    const codec::Message request = codec::parseMessage(std::span<const std::uint8_t, codec::kMessageSize>(bytes, codec::kMessageSize));
    if (isDeviceReply(request.code)) {
        // We never hear our own frames, so this is another unit.
        if (std::find(m_warnedTwins.begin(), m_warnedTwins.end(), netId) == m_warnedTwins.end()) {
            m_warnedTwins.push_back(netId);
            say(QStringLiteral("another unit answers on Net-ID %1 (identifier 0x%2); the editor would get two replies")
                    .arg(netId)
                    .arg(id, 3, 16, QChar(u'0')));
        }
        return;
    }

    const auto reply = unit->second->handle(request);
    ++m_served;
    if (m_options.verbose)
        std::fprintf(stderr, "%6" PRIu64 "  0x%03" PRIX32 "  %s  ->  %s\n", m_served, id,
                     describeMessage(request).c_str(), reply ? describeMessage(*reply).c_str() : "(no reply)");
    if (!reply) return;
    const auto out = codec::buildMessage(*reply);
    const QCanBusFrame answer(canbus::identifierForNetId(netId),
                              QByteArray(reinterpret_cast<const char *>(out.data()), static_cast<qsizetype>(out.size())));
    QString why;
    if (!m_bus->writeFrame(answer, &why)) say(QStringLiteral("reply not sent: %1").arg(why));
}

} // namespace zar40sim
