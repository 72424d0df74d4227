#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

// Where a scan sends its request. The modules answer on the same port, so the
// scanner listens there too.
struct NovScanTarget
{
    static constexpr quint16 kDefaultPort = 8001;

    QHostAddress broadcast{QStringLiteral("255.255.255.255")};
    quint16 port = kDefaultPort;

    QString toString() const; // "ADDR:PORT"
    bool operator==(const NovScanTarget &) const = default;

    // "ADDR" or "ADDR:PORT" with an IPv4 address and a port from 1 to 65535.
    static std::optional<NovScanTarget> parse(const QString &text);

    // The saved target; the environment variable VRN_NOV_BROADCAST
    // ("ADDR[:PORT]") overrides it, so that a demo or a test can point the
    // scan at loopback without touching the user's settings.
    static NovScanTarget load();
    static void save(const NovScanTarget &target);
};
