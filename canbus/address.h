#pragma once
// Which CAN bus to use, as the user types it: "BACKEND:INTERFACE", where
// BACKEND is a QtSerialBus plug-in (socketcan for a real adapter, virtualcan
// for the bus between processes on this computer) and INTERFACE its
// interface (can0; virtualcan also takes tcp://127.0.0.1:PORT/can0).
#include <QString>
#include <QStringView>

#include <optional>

namespace canbus {

struct BusAddress
{
    QString backend;
    QString interfaceName;

    bool isSocketCan() const { return backend == QLatin1String("socketcan"); }
    // "socketcan:can0", as parse() takes it.
    QString toString() const { return backend + QLatin1Char(':') + interfaceName; }
    // "can0 (socketcan)", for messages.
    QString label() const { return QStringLiteral("%1 (%2)").arg(interfaceName, backend); }
};

// Split at the first colon, so that the interface may hold colons of its own.
// No value when either part is missing.
std::optional<BusAddress> parseAddress(QStringView text);

// Nothing for a usable Net-ID, otherwise why it is not, in words for the user.
QString netIdProblem(long long netId);

} // namespace canbus
