#include "canbus/interface_diagnosis.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr int kArphrdCan = 280;
constexpr unsigned kIffUp = 0x1;

// sysfs values are short single lines; anything longer is not one.
QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(64).trimmed();
}

bool plainInterfaceName(const QString &name)
{
    // Linux interface names: at most 15 bytes, no slash, no white space.
    if (name.isEmpty() || name.size() > 15 || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c.isSpace() || c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

} // namespace

namespace canbus {

InterfaceState readInterface(const QString &sysClassNet, const QString &name)
{
    InterfaceState state;
    if (!plainInterfaceName(name))
        return state;
    const QString dir = sysClassNet + QLatin1Char('/') + name + QLatin1Char('/');
    const QByteArray type = readSmallFile(dir + QStringLiteral("type"));
    if (type.isEmpty())
        return state;
    state.exists = true;
    bool ok = false;
    state.isCan = type.toInt(&ok) == kArphrdCan && ok;
    const unsigned flags = readSmallFile(dir + QStringLiteral("flags")).toUInt(&ok, 16);
    state.up = ok && (flags & kIffUp);
    return state;
}

std::optional<LinkDetails> parseIpDetails(const QByteArray &json, const QString &name)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    for (const QJsonValue &value : doc.array()) {
        const QJsonObject link = value.toObject();
        if (link.value(QStringLiteral("ifname")).toString() != name)
            continue;
        LinkDetails details;
        const QJsonObject info = link.value(QStringLiteral("linkinfo")).toObject();
        details.kind = info.value(QStringLiteral("info_kind")).toString();
        const QJsonObject data = info.value(QStringLiteral("info_data")).toObject();
        details.state = data.value(QStringLiteral("state")).toString();
        const QJsonValue bitrate = data.value(QStringLiteral("bittiming")).toObject().value(QStringLiteral("bitrate"));
        // Only whole positive numbers that fit 32 bits are bit rates.
        if (bitrate.isDouble()) {
            const double v = bitrate.toDouble();
            if (v > 0 && v <= 4294967295.0 && v == double(quint32(v)))
                details.bitrate = quint32(v);
        }
        return details;
    }
    return std::nullopt;
}

std::optional<LinkDetails> queryIpDetails(const QString &name, int timeoutMs)
{
    if (!plainInterfaceName(name))
        return std::nullopt;
    QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (ip.isEmpty())
        ip = QStandardPaths::findExecutable(QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (ip.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(ip, {QStringLiteral("-details"), QStringLiteral("-json"), QStringLiteral("link"),
                       QStringLiteral("show"), QStringLiteral("dev"), name});
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(timeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return parseIpDetails(process.readAllStandardOutput(), name);
}

QString bringUpCommands(const QString &name, quint32 bitrate)
{
    return QStringLiteral("sudo ip link set %1 down\nsudo ip link set %1 up type can bitrate %2")
        .arg(name)
        .arg(bitrate);
}

QString readinessProblem(const QString &name, const InterfaceState &state,
                         const std::optional<LinkDetails> &details, quint32 bitrate)
{
    if (!state.exists)
        return QStringLiteral("There is no CAN interface %1 on this computer. Is the USB-CAN adapter plugged in "
                              "and its driver loaded? (\"ip link show\" lists the interfaces.)")
            .arg(name);
    if (!state.isCan)
        return QStringLiteral("The network interface %1 is not a CAN interface.").arg(name);
    if (!state.up)
        return QStringLiteral("The CAN interface %1 is down. Bring it up at %2 bit/s:\n%3")
            .arg(name)
            .arg(bitrate)
            .arg(bringUpCommands(name, bitrate));
    if (details && details->bitrate && *details->bitrate != bitrate)
        return QStringLiteral("The CAN interface %1 runs at %2 bit/s, the devices at %3 bit/s. Change it:\n%4")
            .arg(name)
            .arg(*details->bitrate)
            .arg(bitrate)
            .arg(bringUpCommands(name, bitrate));
    return {};
}

QString interfaceProblem(const BusAddress &address, quint32 bitrate, const QString &sysClassNet)
{
    if (!address.isSocketCan())
        return {};
    const QString &name = address.interfaceName;
    InterfaceState state = readInterface(sysClassNet, name);
    if (!bitrate) {
        // Presence and type only: whether it is up is the caller's business.
        state.up = true;
        return readinessProblem(name, state, std::nullopt, 0);
    }
    const auto details = state.exists && state.isCan && state.up ? queryIpDetails(name) : std::nullopt;
    return readinessProblem(name, state, details, bitrate);
}

} // namespace canbus
