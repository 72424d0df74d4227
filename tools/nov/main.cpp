// nov: finds NOV modules on the network the way the NOV plug-in does.
#include "NovScanner.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: nov scan [--broadcast ADDR] [--port P] [--wait-ms N] [--json]\n"
    "\n"
    "Sends the NOV scan request and lists every module that answers: its name,\n"
    "address and serial number (read from the module's serial-number page).\n"
    "\n"
    "  --broadcast ADDR  where the request goes (default: the NOV plug-in's\n"
    "                    setting, or VRN_NOV_BROADCAST, else 255.255.255.255)\n"
    "  --port P          UDP port of the request and the replies (default 8001)\n"
    "  --wait-ms N       how long to listen for replies (default 1000)\n"
    "  --json            print the result as JSON\n"
    "\n"
    "Exit status: 0 when at least one module answered, 1 when none did, 2 on a\n"
    "usage error.\n";

int usageError(const QString &message)
{
    std::fprintf(stderr, "nov: %s\n%s", qPrintable(message), kUsage);
    return 2;
}

void printText(const NovScanner &scanner)
{
    for (const NovModule &m : scanner.modules()) {
        const QString serial = m.serialNumber.isEmpty() ? QStringLiteral("(no serial number)") : m.serialNumber;
        std::printf("%-28s %-21s %s\n", qPrintable(m.displayName()), qPrintable(m.address), qPrintable(serial));
    }
    if (scanner.ignoredReplies() > 0)
        std::printf("%d further replies ignored: at most %d modules are listed\n", scanner.ignoredReplies(),
                    NovScanner::kMaxModules);
    if (scanner.moduleCount() == 0)
        std::printf("%s\n", qPrintable(scanner.nothingFoundText()));
}

void printJson(const NovScanner &scanner)
{
    QJsonArray modules;
    for (const NovModule &m : scanner.modules()) {
        modules.append(QJsonObject{{"name", m.name},
                                   {"address", m.address},
                                   {"serialNumber", m.serialNumber},
                                   {"token1", m.token1},
                                   {"token3", m.token3},
                                   {"token4", m.token4}});
    }
    QJsonObject out{{"target", scanner.target().toString()},
                    {"tried", QJsonArray::fromStringList(scanner.triedAddresses())},
                    {"modules", modules},
                    {"ignoredReplies", scanner.ignoredReplies()}};
    if (scanner.moduleCount() == 0)
        out.insert("nothingFound", scanner.nothingFoundText());
    std::printf("%s", QJsonDocument(out).toJson(QJsonDocument::Indented).constData());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--help") || args.value(0) == QLatin1String("-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.value(0) != QLatin1String("scan"))
        return usageError(args.isEmpty() ? QStringLiteral("no command") : QStringLiteral("unknown command %1").arg(args[0]));

    NovScanTarget target = NovScanTarget::load();
    int waitMs = NovScanner::kDefaultCloseTimeoutMs;
    bool json = false;
    QString broadcast;
    int port = -1;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--json")) {
            json = true;
            continue;
        }
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a != QLatin1String("--broadcast") && a != QLatin1String("--port") && a != QLatin1String("--wait-ms"))
            return usageError(QStringLiteral("unknown option %1").arg(a));
        if (i + 1 >= args.size())
            return usageError(QStringLiteral("%1 needs a value").arg(a));
        const QString v = args[++i];
        bool ok = false;
        if (a == QLatin1String("--broadcast")) {
            broadcast = v;
        } else if (a == QLatin1String("--port")) {
            port = v.toInt(&ok);
            if (!ok || port < 1 || port > 65535)
                return usageError(QStringLiteral("bad port: %1").arg(v));
        } else {
            waitMs = v.toInt(&ok);
            if (!ok || waitMs < 0)
                return usageError(QStringLiteral("bad time: %1").arg(v));
        }
    }
    if (!broadcast.isEmpty()) {
        const auto parsed = NovScanTarget::parse(broadcast);
        if (!parsed || broadcast.contains(QLatin1Char(':')))
            return usageError(QStringLiteral("bad broadcast address: %1 (an IPv4 address such as 192.168.1.255)").arg(broadcast));
        target.broadcast = parsed->broadcast;
    }
    if (port > 0)
        target.port = quint16(port);

    NovScanner scanner;
    scanner.setTarget(target);
    // The socket stays open for the whole wait, whatever the quiet gaps.
    scanner.setCloseTimeout(waitMs + 1000);
    QObject::connect(&scanner, &NovScanner::failure,
                     [](const QString &message) { std::fprintf(stderr, "nov: %s\n", qPrintable(message)); });
    if (!scanner.scan())
        return 1;

    // After the wait: stop listening, let the serial-number reads finish, print.
    auto finishWhenRead = [&] {
        if (scanner.pendingSerialReads() > 0)
            return;
        json ? printJson(scanner) : printText(scanner);
        app.exit(scanner.moduleCount() > 0 ? 0 : 1);
    };
    QTimer::singleShot(waitMs, &scanner, [&] {
        scanner.stop();
        QObject::connect(&scanner, &NovScanner::serialNumberRead, &app, finishWhenRead, Qt::QueuedConnection);
        finishWhenRead();
    });
    return app.exec();
}
