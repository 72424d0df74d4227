#include "HostOptions.h"

#include "version.h"

#include <QCommandLineParser>

HostOptions parseHostOptions(const QStringList &arguments)
{
    HostOptions o;
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("VRN-Control: control program for ZAR40 loudspeaker processors and NOV network modules."));
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and end."));
    const QCommandLineOption pluginDir(QStringLiteral("plugin-dir"),
                                       QStringLiteral("Load the plug-ins from DIR instead of the program's plugin folder."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption noSplash(QStringLiteral("no-splash"),
                                      QStringLiteral("Show the start-up window without its pauses."));
    const QCommandLineOption logLevel(QStringLiteral("log-level"),
                                      QStringLiteral("Event log level: 0 nothing, 1 errors (default), 2 also information, 3 everything with source lines."),
                                      QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption closeRunning(QStringLiteral("close-running"),
                                          QStringLiteral("Ask a running VRN-Control to close without its question, then end."));
    p.addOption(version);
    p.addOption(pluginDir);
    p.addOption(noSplash);
    p.addOption(logLevel);
    p.addOption(closeRunning);
    can_settings::addOptions(p);
    p.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Documents to open."), QStringLiteral("[files...]"));

    if (!p.parse(arguments)) {
        o.exit = true;
        o.exitCode = 2;
        o.message = p.errorText() + QLatin1Char('\n');
        return o;
    }
    if (p.isSet(help)) {
        o.exit = true;
        o.message = p.helpText();
        return o;
    }
    if (p.isSet(version)) {
        o.exit = true;
        o.message = QStringLiteral("VRN-Control %1 %2\n").arg(HostVersion::revisionText(), HostVersion::aboutBuildNumber());
        return o;
    }

    o.pluginDir = p.value(pluginDir);
    o.noSplash = p.isSet(noSplash);
    o.closeRunning = p.isSet(closeRunning);
    bool ok = false;
    const int level = p.value(logLevel).toInt(&ok);
    if (!ok || level < 0 || level > 3) {
        o.exit = true;
        o.exitCode = 2;
        o.message = QStringLiteral("--log-level wants a number from 0 to 3, not \"%1\"\n").arg(p.value(logLevel));
        return o;
    }
    o.logLevel = level;
    CanSettings can;
    QString canError;
    if (!can_settings::apply(p, can, &canError)) {
        o.exit = true;
        o.exitCode = 2;
        o.message = canError + QLatin1Char('\n');
        return o;
    }
    o.arguments = arguments;
    o.files = p.positionalArguments();
    return o;
}
