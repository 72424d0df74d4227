// nov-sim: a simulated NOV module, for trying the NOV plug-in and the nov
// tool without a module, and for their tests.
#include "NovSimModule.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: nov-sim [OPTIONS]\n"
    "\n"
    "Simulates one NOV network module: answers each scan request (\"0 1\" on its\n"
    "UDP port) with its reply line, and serves /ACP?PAGE=dds.txt (its serial\n"
    "number) and /novmain.htm (a page with the links app:Minimise, APP:Beep,\n"
    "app:beep and app:Other) over HTTP. Prints one line on stdout once it is\n"
    "ready; SIGINT or SIGTERM stop it.\n"
    "\n"
    "  --port P           UDP port of the scan (default 8001)\n"
    "  --udp-bind ADDR    address the UDP socket is bound to (default 0.0.0.0).\n"
    "                     On loopback give the broadcast address 127.255.255.255,\n"
    "                     so that the scanner on this machine gets the replies.\n"
    "  --http ADDR[:P]    where the pages are served (default 127.0.0.1:8080;\n"
    "                     port 0 picks a free one)\n"
    "  --reply LINE       the reply line; {http} stands for the page address\n"
    "                     (default \"NOV01 1 {http} 0 0 NOV simulated module\")\n"
    "  --serial TEXT      the serial-number page's text (default NOV-SIM-0001)\n"
    "  --reply-delay-ms N answer each request N ms late (default 0)\n"
    "  --quiet            do not log the requests on stderr\n"
    "\n"
    "Example: two modules on loopback, found with 'nov scan --broadcast 127.255.255.255':\n"
    "  nov-sim --udp-bind 127.255.255.255 --http 127.0.0.2:8080 &\n"
    "  nov-sim --udp-bind 127.255.255.255 --http 127.0.0.3:8080 --reply \"NOV02 1 {http} 0 0 Stage left\" &\n";

int usageError(const QString &message)
{
    std::fprintf(stderr, "nov-sim: %s\n%s", qPrintable(message), kUsage);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    NovSimModule::Config config;
    bool quiet = false;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--quiet")) {
            quiet = true;
            continue;
        }
        if (i + 1 >= args.size())
            return usageError(QStringLiteral("%1 needs a value (or is unknown)").arg(a));
        const QString v = args[++i];
        bool ok = true;
        if (a == QLatin1String("--port")) {
            const uint p = v.toUInt(&ok);
            if (!ok || p == 0 || p > 65535)
                return usageError(QStringLiteral("bad port: %1").arg(v));
            config.udpPort = quint16(p);
        } else if (a == QLatin1String("--udp-bind")) {
            if (!config.udpBind.setAddress(v))
                return usageError(QStringLiteral("bad address: %1").arg(v));
        } else if (a == QLatin1String("--http")) {
            const qsizetype colon = v.lastIndexOf(QLatin1Char(':'));
            if (!config.httpAddress.setAddress(colon >= 0 ? v.left(colon) : v))
                return usageError(QStringLiteral("bad address: %1").arg(v));
            if (colon >= 0) {
                const uint p = v.mid(colon + 1).toUInt(&ok);
                if (!ok || p > 65535)
                    return usageError(QStringLiteral("bad port: %1").arg(v));
                config.httpPort = quint16(p);
            }
        } else if (a == QLatin1String("--reply")) {
            config.reply = v;
        } else if (a == QLatin1String("--serial")) {
            config.serialNumber = v;
        } else if (a == QLatin1String("--reply-delay-ms")) {
            config.replyDelayMs = v.toInt(&ok);
            if (!ok || config.replyDelayMs < 0)
                return usageError(QStringLiteral("bad time: %1").arg(v));
        } else {
            return usageError(QStringLiteral("unknown option %1").arg(a));
        }
    }

    NovSimModule module(config);
    if (!module.start()) {
        std::fprintf(stderr, "nov-sim: %s\n", qPrintable(module.errorString()));
        return 1;
    }
    if (!quiet) {
        QObject::connect(&module, &NovSimModule::requestAnswered, [](const QString &from) {
            std::fprintf(stderr, "nov-sim: answered %s\n", qPrintable(from));
        });
    }
    std::printf("nov-sim: UDP %s:%u, pages on http://%s/novmain.htm, reply \"%s\"\n",
                qPrintable(config.udpBind.toString()), unsigned(config.udpPort), qPrintable(module.httpAuthority()),
                module.replyLine().constData());
    std::fflush(stdout);
    return app.exec();
}
