#include "NovScanTarget.h"

#include <QSettings>

#include <memory>

namespace {

// The host's profile file; the NOV values have a section of their own.
std::unique_ptr<QSettings> profile()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Varnel"),
                                       QStringLiteral("VRN-Control"));
}

const char kGroupKey[] = "NOV";
const char kAddressKey[] = "BroadcastAddress";
const char kPortKey[] = "BroadcastPort";

} // namespace

QString NovScanTarget::toString() const
{
    return broadcast.toString() + QLatin1Char(':') + QString::number(port);
}

std::optional<NovScanTarget> NovScanTarget::parse(const QString &text)
{
    const QString t = text.trimmed();
    const qsizetype colon = t.indexOf(QLatin1Char(':'));
    NovScanTarget target;
    bool ok = true;
    if (colon >= 0) {
        const uint port = t.mid(colon + 1).toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return std::nullopt;
        target.port = quint16(port);
    }
    const QString address = colon >= 0 ? t.left(colon) : t;
    // QHostAddress also takes "1" or "0x7f000001"; a dotted quad is wanted.
    if (address.count(QLatin1Char('.')) != 3 || !target.broadcast.setAddress(address)
        || target.broadcast.protocol() != QAbstractSocket::IPv4Protocol)
        return std::nullopt;
    return target;
}

NovScanTarget NovScanTarget::load()
{
    const QByteArray env = qgetenv("VRN_NOV_BROADCAST");
    if (!env.isEmpty()) {
        if (auto t = parse(QString::fromLocal8Bit(env)))
            return *t;
    }
    const auto s = profile();
    s->beginGroup(QLatin1String(kGroupKey));
    NovScanTarget target;
    const auto saved = parse(s->value(QLatin1String(kAddressKey), target.broadcast.toString()).toString() + QLatin1Char(':')
                             + s->value(QLatin1String(kPortKey), target.port).toString());
    return saved.value_or(target);
}

void NovScanTarget::save(const NovScanTarget &target)
{
    const auto s = profile();
    s->beginGroup(QLatin1String(kGroupKey));
    s->setValue(QLatin1String(kAddressKey), target.broadcast.toString());
    s->setValue(QLatin1String(kPortKey), target.port);
}
