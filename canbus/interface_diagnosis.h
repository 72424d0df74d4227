#pragma once

// Why a CAN interface cannot carry the bus's frames, in words for the user
// with the commands that fix it. The host's driver, the editor's own link,
// the tool and the simulator all say it the same way.
#include "canbus/address.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace canbus {

// What Linux says about a SocketCAN interface. A USB-CAN adapter appears as
// a network interface (can0) when it is plugged in and its driver is loaded;
// it carries frames only while it is up, at the bit rate set with
// "ip link set can0 type can bitrate 125000".
struct InterfaceState
{
    bool exists = false;
    bool isCan = false; // link type CAN (280), real or virtual
    bool up = false;
};

// Reads <sysClassNet>/<name>/{type,flags}. A name that is not a plain
// interface name (slashes, "..", empty) never exists.
InterfaceState readInterface(const QString &sysClassNet, const QString &name);

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
QString readinessProblem(const QString &name, const InterfaceState &state,
                         const std::optional<LinkDetails> &details, quint32 bitrate);

inline const QString kSysClassNet = QStringLiteral("/sys/class/net");

// The whole check for one bus: for socketcan, the interface must exist and be
// a CAN interface; with a bit rate given it must also be up at that rate
// (asked of "ip", when there is one). Other backends have nothing to check.
// Empty when nothing is known against it.
QString interfaceProblem(const BusAddress &address, quint32 bitrate, const QString &sysClassNet = kSysClassNet);

} // namespace canbus
