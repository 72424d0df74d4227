#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What Linux says about a SocketCAN interface. A USB-CAN adapter appears as
// a network interface (can0) when it is plugged in and its driver is loaded;
// it carries frames only while it is up, at the bit rate set with
// "ip link set can0 type can bitrate 125000".
struct CanInterfaceState
{
    bool exists = false;
    bool isCan = false; // link type CAN (280), real or virtual
    bool up = false;
};

namespace can_interface {

// Reads <sysClassNet>/<name>/{type,flags}. A name that is not a plain
// interface name (slashes, "..", empty) never exists.
CanInterfaceState read(const QString &sysClassNet, const QString &name);

struct LinkDetails
{
    QString kind;                    // "can", "vcan", ...; empty when not stated
    std::optional<quint32> bitrate;  // bit/s, when the interface has one set
    QString state;                   // controller state, e.g. "ERROR-ACTIVE", "BUS-OFF"
};

// Parses the output of "ip -details -json link show dev NAME". No value
// when the text is not such output or names another interface.
std::optional<LinkDetails> parseIpDetails(const QByteArray &json, const QString &name);

// Runs ip as above (time-limited); no value when ip is missing or fails.
std::optional<LinkDetails> queryIpDetails(const QString &name, int timeoutMs = 2000);

// The shell commands that bring name up at the given bit rate.
QString bringUpCommands(const QString &name, quint32 bitrate);

// Why frames at bitrate cannot go through name, in words for the user
// (with the commands that fix it); empty when nothing is known against it.
// details may be missing (no ip command): then the bit rate is not checked.
QString readinessProblem(const QString &name, const CanInterfaceState &state,
                         const std::optional<LinkDetails> &details, quint32 bitrate);

} // namespace can_interface
