#pragma once
// A virtual CAN bus of its own for each test or run: the port of the bus's
// server is free when asked for, so runs side by side never share a bus.
#include <QHostAddress>
#include <QString>
#include <QTcpServer>

namespace vrntest {

// "tcp://127.0.0.1:PORT/can0"; "can0" (the shared default bus) when no
// port can be had.
inline QString freeVirtualBus()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return QStringLiteral("can0");
    return QStringLiteral("tcp://127.0.0.1:%1/can0").arg(probe.serverPort());
}

} // namespace vrntest
