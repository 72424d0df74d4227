// zar40 system: one command on every unit of a CAN bus (or the ones named)
// at once, through one bus device and the bus scheduler.
#include "cmd_device_session.h"
#include "command.h"

#include "canbus/address.h"
#include "canbus/netid.h"
#include "zar40/comm/codec/values.h"
#include "zar40/comm/DeviceSession.h"
#include "zar40/comm/shared_can_bus.h"
#include "zar40/comm/UnitScanner.h"
#include "zar40/editor/RigRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <iostream>
#include <map>
#include <optional>

namespace zar40tool {
namespace {

using zar40::editor::RigJob;

const char kName[] = "system";

const char kUsage[] =
    "Usage: zar40 system --can BACKEND:INTERFACE [OPTIONS] COMMAND [ARGS]\n"
    "\n"
    "One command on many ZAR40 on one CAN bus at once: every unit found by a scan,\n"
    "or the units named with --units. Each unit has a connection of its own, so a\n"
    "unit that fails is reported and the others go on. The requests of all units\n"
    "share the bus so that they keep its load below 70 % of its bit rate.\n"
    "\n"
    "Commands:\n"
    "  scan [--json]        list the units: Net-ID, device number, device name, the\n"
    "                       slot it plays, firmware revision; only reads, so units in\n"
    "                       use are not disturbed\n"
    "  recall --slot N      every unit switches to its slot N (1 to 32)\n"
    "  store                every unit stores what it plays into the slot it plays\n"
    "  mute, unmute         mute or unmute all six outputs of every unit\n"
    "  backup DIR           each unit's 32 slots and device settings into DIR/net-id-NN\n"
    "                       (as 'zar40 device backup' does, verified)\n"
    "  restore DIR          each unit from DIR/net-id-NN (as 'zar40 device restore')\n"
    "\n"
    "Options:\n"
    "  --can BACKEND:IF     the bus: socketcan:can0, virtualcan:can0 or\n"
    "                       virtualcan:tcp://127.0.0.1:PORT/can0\n"
    "  --units LIST         these Net-IDs only, such as 3,17,20-22 (default: a scan's)\n"
    "  --password N         the units' password, if they have one\n"
    "  --timeout MS         time limit of one exchange (default 6000)\n"
    "  --switch-wait MS     pause after a slot switch in backup and restore (default 3500)\n"
    "  --store-wait MS      pause after storing a slot in restore (default 6000)\n"
    "  --bitrate BITS       the bus's bit rate the load is counted against (default 125000)\n"
    "  --quiet              no progress on stderr\n"
    "\n"
    "Exit status: 0 every unit succeeded, 1 any failed (each listed on stderr) or\n"
    "the bus could not be opened, 2 usage error.\n";

struct Parsed {
    std::string can;
    std::string command;
    std::vector<std::string> args;
    std::optional<QList<int>> units;
    RigJob job;
    std::uint32_t bitrate = canbus::kBitrate;
    bool json = false;
    bool quiet = false;
};

std::optional<long long> parseInt(const std::string &text)
{
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

// "3,17,20-22": each Net-ID once, 1 to 63.
std::optional<QList<int>> parseUnits(const std::string &text)
{
    QList<int> ids;
    for (const QString &item : QString::fromStdString(text).split(u',')) {
        const QStringList ends = item.split(u'-');
        if (ends.size() > 2) return std::nullopt;
        const auto first = parseInt(ends.front().toStdString());
        const auto last = parseInt(ends.back().toStdString());
        if (!first || !last || *first > *last || !canbus::netIdUsable(*first) || !canbus::netIdUsable(*last))
            return std::nullopt;
        for (long long id = *first; id <= *last; ++id) {
            if (ids.contains(int(id))) return std::nullopt;
            ids << int(id);
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::optional<int> parse(const std::vector<std::string> &args, Parsed &p)
{
    std::optional<int> slot;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--quiet") {
            p.quiet = true;
            continue;
        }
        if (a == "--json") {
            p.json = true;
            continue;
        }
        const bool takesValue = a == "--can" || a == "--units" || a == "--password" || a == "--timeout" ||
                                a == "--switch-wait" || a == "--store-wait" || a == "--slot" || a == "--bitrate";
        if (takesValue) {
            if (i + 1 == args.size()) return usageError(kName, a + " needs a value");
            const std::string &v = args[++i];
            const auto n = parseInt(v);
            if (a == "--can") {
                p.can = v;
            } else if (a == "--units") {
                p.units = parseUnits(v);
                if (!p.units) return usageError(kName, "--units takes Net-IDs 1 to 63 such as 3,17,20-22, not '" + v + "'");
            } else if (a == "--password") {
                if (!n || *n < 0 || *n > 0xFFFFFFFFll) return usageError(kName, "--password takes a number, not '" + v + "'");
                p.job.password = static_cast<std::uint32_t>(*n);
            } else if (a == "--slot") {
                if (!n || *n < 1 || *n > 32) return usageError(kName, "--slot takes a slot number from 1 to 32, not '" + v + "'");
                slot = int(*n);
            } else if (a == "--bitrate") {
                if (!n || *n < 10000 || *n > 1000000) return usageError(kName, "--bitrate takes 10000 to 1000000, not '" + v + "'");
                p.bitrate = static_cast<std::uint32_t>(*n);
            } else {
                if (!n || *n < (a == "--timeout" ? 1 : 0) || *n > 24 * 3600 * 1000)
                    return usageError(kName, a + " takes milliseconds, not '" + v + "'");
                (a == "--timeout" ? p.job.timeoutMs : a == "--switch-wait" ? p.job.switchWaitMs : p.job.storeWaitMs) =
                    int(*n);
            }
            continue;
        }
        if (a.size() > 1 && a[0] == '-') return usageError(kName, "unknown option '" + a + "'");
        if (p.command.empty()) p.command = a;
        else p.args.push_back(a);
    }
    if (p.can.empty()) return usageError(kName, "--can BACKEND:INTERFACE is required");
    if (!canbus::parseAddress(QString::fromStdString(p.can)))
        return usageError(kName, "--can takes BACKEND:INTERFACE (virtualcan:can0, socketcan:can0), not '" + p.can + "'");
    static const std::map<std::string, RigJob::Command> commands{
        {"recall", RigJob::Command::Recall}, {"store", RigJob::Command::Store},   {"mute", RigJob::Command::Mute},
        {"unmute", RigJob::Command::Unmute}, {"backup", RigJob::Command::Backup}, {"restore", RigJob::Command::Restore}};
    if (p.command.empty()) return usageError(kName, "which command? (scan, recall, store, mute, unmute, backup, restore)");
    if (p.command != "scan" && !commands.count(p.command))
        return usageError(kName, "unknown system command '" + p.command + "'");
    if (p.json && p.command != "scan") return usageError(kName, "--json is for scan only");
    if (slot && p.command != "recall") return usageError(kName, "--slot is for recall only");
    const bool wantsDir = p.command == "backup" || p.command == "restore";
    if (p.args.size() != (wantsDir ? 1u : 0u))
        return usageError(kName, p.command + (wantsDir ? " needs exactly one folder" : " takes no argument"));
    if (p.command == "scan") return std::nullopt;
    p.job.command = commands.at(p.command);
    if (p.job.command == RigJob::Command::Recall) {
        if (!slot) return usageError(kName, "recall needs --slot N");
        p.job.slot = *slot;
    }
    if (wantsDir) p.job.dir = QString::fromStdString(p.args[0]);
    return std::nullopt;
}

QString revisionText(std::uint32_t revision)
{
    if (!revision) return QStringLiteral("?");
    return QStringLiteral("%1.%2").arg(zar40::codec::revisionMajor(revision)).arg(zar40::codec::revisionMinor(revision));
}

QList<zar40::comm::FoundUnit> scan(zar40::comm::BusScheduler &scheduler)
{
    zar40::comm::UnitScanner scanner([&scheduler](std::uint32_t id, const zar40::codec::MessageBytes &data) {
        scheduler.submit(canbus::netIdForIdentifier(id), zar40::comm::BusScheduler::Traffic::Edit, id, data);
        return true;
    });
    QObject::connect(&scheduler, &zar40::comm::BusScheduler::frameArrived, &scanner,
                     [&scanner](quint32 id, const QByteArray &data) {
                         scanner.frameReceived(id, {reinterpret_cast<const std::uint8_t *>(data.constData()),
                                                    static_cast<std::size_t>(data.size())});
                     });
    QEventLoop loop;
    QObject::connect(&scanner, &zar40::comm::UnitScanner::finished, &loop, &QEventLoop::quit);
    scanner.start();
    loop.exec();
    return scanner.units();
}

void printScan(const QList<zar40::comm::FoundUnit> &units, bool json)
{
    if (!json) {
        for (const auto &u : units)
            std::cout << zar40::comm::describeUnit(u).toStdString() << "  Rev. " << revisionText(u.revision).toStdString()
                      << "\n";
        return;
    }
    QJsonArray list;
    for (const auto &u : units) {
        QJsonObject o;
        o[QStringLiteral("net_id")] = u.netId;
        o[QStringLiteral("device_number")] = static_cast<qint64>(u.deviceNumber);
        o[QStringLiteral("device_name")] = u.deviceName;
        o[QStringLiteral("slot")] = u.currentPreset ? QJsonValue(u.currentPreset) : QJsonValue();
        o[QStringLiteral("revision")] = u.revision ? QJsonValue(revisionText(u.revision)) : QJsonValue();
        o[QStringLiteral("complete")] = u.complete;
        list.append(o);
    }
    QJsonObject doc;
    doc[QStringLiteral("units")] = list;
    std::cout << QJsonDocument(doc).toJson(QJsonDocument::Indented).toStdString();
}

void onStop(int) { zar40::comm::DeviceSession::requestStop(); }

int run(const std::vector<std::string> &args)
{
    Parsed p;
    if (auto exit = parse(args, p)) return *exit;

    QCoreApplication app(toolArgc(), toolArgv());

    zar40::comm::SharedCanBus bus(*canbus::parseAddress(QString::fromStdString(p.can)));
    bus.scheduler().setBitrate(p.bitrate);
    QString why;
    if (!bus.open(&why)) {
        std::cerr << "zar40 system: " << p.can << ": " << why.toStdString() << std::endl;
        return ExitDeviceError;
    }

    QList<int> targets;
    if (p.command == "scan" || !p.units) {
        if (!p.quiet) std::cerr << "Scanning Net-IDs 1 to 63 on " << p.can << " ..." << std::endl;
        const auto units = scan(bus.scheduler());
        if (p.command == "scan") {
            printScan(units, p.json);
            if (!p.quiet) std::cerr << units.size() << (units.size() == 1 ? " unit" : " units") << " found" << std::endl;
            return ExitOk;
        }
        for (const auto &u : units) targets << u.netId;
        if (targets.isEmpty()) {
            std::cerr << "zar40 system: no unit answered on " << p.can << std::endl;
            return ExitDeviceError;
        }
    } else {
        targets = *p.units;
    }

    zar40::comm::DeviceSession::clearStop();
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    zar40::editor::RigRunner runner(&bus.scheduler(), QString::fromStdString(p.can));
    QObject::connect(&runner, &zar40::editor::RigRunner::unitProgress, &runner,
                     [&p](int netId, int, int, const QString &what) {
                         if (!p.quiet) std::cerr << "Net-ID " << netId << ": " << what.toStdString() << "\n";
                     });
    QObject::connect(&runner, &zar40::editor::RigRunner::unitFinished, &runner,
                     [&p](int netId, bool ok, const QString &) {
                         if (ok && !p.quiet) std::cerr << "Net-ID " << netId << ": done\n";
                     });
    QEventLoop loop;
    QObject::connect(&runner, &zar40::editor::RigRunner::finished, &loop, &QEventLoop::quit);
    if (!p.quiet)
        std::cerr << p.command << " on " << targets.size() << (targets.size() == 1 ? " unit" : " units") << std::endl;
    runner.start(targets, p.job);
    loop.exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    auto results = runner.results();
    std::sort(results.begin(), results.end(), [](const auto &a, const auto &b) { return a.netId < b.netId; });
    int failed = 0;
    for (const auto &r : results) {
        if (r.ok) continue;
        ++failed;
        std::cerr << "zar40 system: Net-ID " << r.netId << " failed: " << r.error.toStdString() << "\n";
    }
    if (!p.quiet || failed)
        std::cerr << results.size() - failed << " of " << results.size() << " units succeeded" << std::endl;
    return failed ? ExitDeviceError : ExitOk;
}

const Registration reg{Command{kName, "one command on many ZAR40 of a CAN bus at once", kUsage, run}};

} // namespace
} // namespace zar40tool
