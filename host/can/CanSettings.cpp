#include "CanSettings.h"

#include <QCommandLineParser>
#include <QSettings>

namespace {

const char kBackendOption[] = "can-backend";
const char kInterfaceOption[] = "can-interface";

bool set(CanSettings &can, const QString *backend, const QString *interfaceName, QString *error)
{
    if (backend) {
        if (!can_settings::backends().contains(*backend)) {
            if (error)
                *error = QStringLiteral("unknown CAN backend \"%1\" (use %2)")
                             .arg(*backend, can_settings::backends().join(QStringLiteral(" or ")));
            return false;
        }
        can.backend = *backend;
    }
    if (interfaceName) {
        if (interfaceName->trimmed().isEmpty()) {
            if (error)
                *error = QStringLiteral("the CAN interface name is empty");
            return false;
        }
        can.interfaceName = interfaceName->trimmed();
    }
    return true;
}

} // namespace

namespace can_settings {

QStringList backends()
{
    return {QStringLiteral("socketcan"), QStringLiteral("virtualcan")};
}

CanSettings load(QSettings &settings)
{
    CanSettings can;
    settings.beginGroup(QStringLiteral("CAN"));
    const QString backend = settings.value(QStringLiteral("Backend"), can.backend).toString();
    const QString interfaceName = settings.value(QStringLiteral("Interface"), can.interfaceName).toString();
    settings.endGroup();
    // A damaged profile falls back to the defaults rather than stopping the host.
    CanSettings loaded = can;
    if (set(loaded, &backend, &interfaceName, nullptr))
        return loaded;
    return can;
}

void save(QSettings &settings, const CanSettings &can)
{
    settings.beginGroup(QStringLiteral("CAN"));
    settings.setValue(QStringLiteral("Backend"), can.backend);
    settings.setValue(QStringLiteral("Interface"), can.interfaceName);
    settings.endGroup();
}

void addOptions(QCommandLineParser &parser)
{
    parser.addOption({QString::fromLatin1(kBackendOption),
                      QStringLiteral("CAN backend of the USB-CAN link: socketcan (default) or virtualcan."),
                      QStringLiteral("backend")});
    parser.addOption({QString::fromLatin1(kInterfaceOption),
                      QStringLiteral("CAN interface of the USB-CAN link (default can0)."),
                      QStringLiteral("interface")});
}

bool apply(const QCommandLineParser &parser, CanSettings &can, QString *error)
{
    const bool hasBackend = parser.isSet(QString::fromLatin1(kBackendOption));
    const bool hasInterface = parser.isSet(QString::fromLatin1(kInterfaceOption));
    const QString backend = hasBackend ? parser.value(QString::fromLatin1(kBackendOption)) : QString();
    const QString interfaceName = hasInterface ? parser.value(QString::fromLatin1(kInterfaceOption)) : QString();
    CanSettings result = can;
    if (!set(result, hasBackend ? &backend : nullptr, hasInterface ? &interfaceName : nullptr, error))
        return false;
    can = result;
    return true;
}

bool apply(const QStringList &arguments, CanSettings &can, QString *error)
{
    CanSettings result = can;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        for (const char *name : {kBackendOption, kInterfaceOption}) {
            const QString option = QStringLiteral("--") + QString::fromLatin1(name);
            QString value;
            if (arg == option) {
                if (i + 1 >= arguments.size()) {
                    if (error)
                        *error = QStringLiteral("%1 needs a value").arg(option);
                    return false;
                }
                value = arguments.at(++i);
            } else if (arg.startsWith(option + QLatin1Char('='))) {
                value = arg.mid(option.size() + 1);
            } else {
                continue;
            }
            const bool isBackend = name == kBackendOption;
            if (!set(result, isBackend ? &value : nullptr, isBackend ? nullptr : &value, error))
                return false;
            break;
        }
    }
    can = result;
    return true;
}

} // namespace can_settings
