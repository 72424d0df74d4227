#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;
class QSettings;

// Which CAN bus the host's CAN window uses. Read from the host's settings
// (group "CAN"), then overridden by the command line.
struct CanSettings
{
    // A QtSerialBus plug-in: "socketcan" (USB-CAN adapters as can0, can1, ...)
    // or "virtualcan" (a bus between processes on this computer, for tests
    // and the demo).
    QString backend = QStringLiteral("socketcan");
    // The interface: "can0" for socketcan; "can0" or "can1" for virtualcan,
    // optionally as tcp://127.0.0.1:PORT/can0 to pick the bus's port.
    QString interfaceName = QStringLiteral("can0");
    // How long opening the module may take before it counts as absent.
    int openTimeoutMs = 3000;
    // How often a plugged-in or unplugged module is looked for.
    int presencePollMs = 1000;
    // Where network interfaces are listed (tests point it elsewhere).
    QString sysClassNet = QStringLiteral("/sys/class/net");
};

namespace can_settings {

// The backends the host offers.
QStringList backends();

// Reads group "CAN" (keys "Backend", "Interface") over the defaults.
CanSettings load(QSettings &settings);
void save(QSettings &settings, const CanSettings &can);

// Adds --can-backend and --can-interface to parser.
void addOptions(QCommandLineParser &parser);
// Applies those options where given. False, with the reason, for an
// unknown backend or an empty interface.
bool apply(const QCommandLineParser &parser, CanSettings &can, QString *error);
// The same for a raw argument list (both "--opt value" and "--opt=value");
// other arguments are left alone.
bool apply(const QStringList &arguments, CanSettings &can, QString *error);

} // namespace can_settings
