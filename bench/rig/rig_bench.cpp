// Many units on one CAN bus, against zar40-sim simulating Net-IDs 1-63:
//
//  1. a scan of the 63 units;
//  2. a recall of slot 5 on all 63 at once;
//  3. the 63 units metered for a while (unit 1 by an editor's RemoteWatch,
//     the others as the units window meters them): the bus load
//     the scheduler's frames make, counted in bits with real stuffing over
//     the bit rate; the longest time any unit's meters went without a
//     refresh; requests lost (timed out, refused or dropped);
//  4. one editor's preset transfer (a write) alone, then with the 63 units
//     metered beside it;
//  5. a backup of 8 units (every slot read twice, as `zar40 system backup`
//     does) against the bus-limited time: the bits of every frame of the
//     backup, counted with their real stuffing, over 70 % of the bit rate,
//     which is the least time the scheduler's budget allows.
//
// The virtual bus has no bit rate of its own; the scheduler paces every
// frame as the rate it is given (125 kbit/s unless --bitrate), so the times
// are those of a real bus at that rate wherever the bus is what limits them.
// The backup runs at --backup-bitrate (default 1 Mbit/s), as at 125 kbit/s
// it would take about nine minutes; its limit is computed for the same rate.
//
//   bench-rig [--sim PATH] [--meter-seconds N] [--bitrate B] [--backup-bitrate B] [--skip-backup]
#include "zar40/comm/DeviceSession.h"
#include "zar40/comm/RemoteWatch.h"
#include "zar40/comm/shared_can_bus.h"
#include "zar40/comm/TransactionEngine.h"
#include "zar40/comm/UnitMeter.h"
#include "zar40/comm/UnitScanner.h"
#include "zar40/editor/RigRunner.h"
#include "zar40/preset/record.h"

#include "SimProcess.h"
#include "virtual_bus.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace zar40;
using namespace zar40::comm;

namespace {

constexpr int kUnits = 63;

double seconds(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

void runUntil(const std::function<bool()> &done, int limitMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

QList<FoundUnit> scan(BusScheduler &scheduler)
{
    UnitScanner scanner([&scheduler](std::uint32_t id, const codec::MessageBytes &data) {
        scheduler.submit(canbus::netIdForIdentifier(id), BusScheduler::Traffic::Edit, id, data);
        return true;
    });
    QObject::connect(&scheduler, &BusScheduler::frameArrived, &scanner, [&scanner](quint32 id, const QByteArray &d) {
        scanner.frameReceived(id, {reinterpret_cast<const std::uint8_t *>(d.constData()), std::size_t(d.size())});
    });
    QEventLoop loop;
    QObject::connect(&scanner, &UnitScanner::finished, &loop, &QEventLoop::quit);
    scanner.start();
    loop.exec();
    return scanner.units();
}

bool runRig(BusScheduler &scheduler, const QString &busName, const QList<int> &units, const editor::RigJob &job,
            int &failed)
{
    editor::RigRunner runner(&scheduler, busName);
    QEventLoop loop;
    QObject::connect(&runner, &editor::RigRunner::finished, &loop, &QEventLoop::quit);
    if (!runner.start(units, job)) return false;
    loop.exec();
    failed = 0;
    for (const auto &r : runner.results())
        if (!r.ok) {
            ++failed;
            std::fprintf(stderr, "  Net-ID %d failed: %s\n", r.netId, qPrintable(r.error));
        }
    return true;
}

// A metered unit: unit 1 as an editor holds it (a connection with a queue
// of its own and RemoteWatch), the others as the units window meters them.
struct Watched {
    std::unique_ptr<UnitMeter> meter;
    qint64 lastRefreshMs = -1;
    qint64 longestGapMs = 0;
    int refreshes = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.*.info=false"));
    if (!std::getenv("VRN_BIN_DIR"))
        setenv("VRN_BIN_DIR", qPrintable(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")), 1);
    int meterSeconds = 20;
    std::uint32_t bitrate = canbus::kBitrate, backupBitrate = 1000000;
    QStringList args = app.arguments();
    const bool skipBackup = args.removeAll(QStringLiteral("--skip-backup")) > 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sim")) setenv("VRN_BIN_DIR", qPrintable(QFileInfo(args[i + 1]).absolutePath()), 1);
        else if (args[i] == QLatin1String("--meter-seconds")) meterSeconds = std::max(5, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--bitrate")) bitrate = args[i + 1].toUInt();
        else if (args[i] == QLatin1String("--backup-bitrate")) backupBitrate = args[i + 1].toUInt();
    }

    const QString interface = vrntest::freeVirtualBus();
    const QString busName = QStringLiteral("virtualcan:") + interface;
    vrntest::SimProcess sim({"--can", busName.toStdString(), "--net-ids", "1-63"});
    if (sim.readyLine().find("net-ids 1-63") == std::string::npos) {
        std::fprintf(stderr, "bench-rig: cannot start %s\n", vrntest::binProgram("zar40-sim").c_str());
        return 1;
    }
    SharedCanBus bus(canbus::BusAddress{QStringLiteral("virtualcan"), interface});
    QString why;
    if (!bus.open(&why)) {
        std::fprintf(stderr, "bench-rig: %s\n", qPrintable(why));
        return 1;
    }
    BusScheduler &scheduler = bus.scheduler();
    scheduler.setBitrate(bitrate);
    std::printf("bus: %s, scheduled at %u bit/s, share %.0f %%\n", qPrintable(busName), bitrate,
                scheduler.maxLoad() * 100);

    // 1. Scan. The units join the virtual bus a moment after the simulator
    // says it is ready: scan until all answer (the first try counts).
    QElapsedTimer t;
    t.start();
    QList<FoundUnit> found = scan(scheduler);
    const double scanSeconds = seconds(t);
    std::printf("scan of %d units: %.2f s, %lld found (target < 3 s)\n", kUnits, scanSeconds,
                static_cast<long long>(found.size()));
    for (int attempt = 0; found.size() < kUnits && attempt < 5; ++attempt) found = scan(scheduler);
    if (found.size() < kUnits) return 1;
    QList<int> all;
    for (const FoundUnit &u : found) all << u.netId;

    // 2. Recall.
    editor::RigJob recall;
    recall.command = editor::RigJob::Command::Recall;
    recall.slot = 5;
    int failed = 0;
    t.start();
    if (!runRig(scheduler, busName, all, recall, failed)) return 1;
    std::printf("recall of slot 5 on %d units: %.2f s, %d failed (target < 2 s)\n", kUnits, seconds(t), failed);

    // 3. and 4. Unit 1 connected as an editor connects; it transfers.
    CTransactionEngine editorEngine;
    DeviceSession editor(&editorEngine);
    if (!editor.open(std::make_unique<ScheduledCanTransport>(&scheduler, busName, 1),
                     CCommunicationmodul::ConnectionType::CanBus)) {
        std::fprintf(stderr, "bench-rig: Net-ID 1: %s\n", qPrintable(editor.error()));
        return 1;
    }
    preset::PresetRecord record = preset::startupPreset(4);
    auto transfer = [&]() -> double {
        QElapsedTimer clock;
        clock.start();
        if (!editor.writePreset(record)) {
            std::fprintf(stderr, "bench-rig: transfer failed: %s\n", qPrintable(editor.error()));
            return -1;
        }
        return seconds(clock);
    };
    std::vector<double> alone;
    for (int i = 0; i < 3; ++i) alone.push_back(transfer());

    std::vector<Watched> units(kUnits);
    CRemoteWatch remoteWatch(&editor.connection());
    QElapsedTimer clock;
    clock.start();
    auto refreshed = [&clock](Watched *unit) {
        const qint64 now = clock.elapsed();
        if (unit->lastRefreshMs >= 0) unit->longestGapMs = std::max(unit->longestGapMs, now - unit->lastRefreshMs);
        unit->lastRefreshMs = now;
        ++unit->refreshes;
    };
    QObject::connect(&remoteWatch, &CRemoteWatch::levelsChanged, &remoteWatch, [&] { refreshed(&units[0]); });
    remoteWatch.setEnabled(true);
    for (int i = 1; i < kUnits; ++i) {
        Watched *unit = &units[std::size_t(i)];
        unit->meter = std::make_unique<UnitMeter>(std::make_unique<ScheduledCanTransport>(&scheduler, busName, i + 1));
        QObject::connect(unit->meter.get(), &UnitMeter::levelsChanged, unit->meter.get(), [&refreshed, unit] { refreshed(unit); });
        unit->meter->start();
    }
    // Settle, then measure the load over the rest.
    runUntil([] { return false; }, 3000);
    for (auto &w : units) {
        w.longestGapMs = 0;
        w.lastRefreshMs = clock.elapsed();
        w.refreshes = 0;
    }
    const qint64 loadFrom = scheduler.now();
    const quint64 bitsFrom = scheduler.counters().bitsSent + scheduler.counters().bitsReceived;
    auto lostSoFar = [&] {
        quint64 n = 0;
        for (const CTransactionEngine *e : {&editorEngine}) n += e->counters().timedOut + e->counters().refused;
        for (auto &w : units)
            if (w.meter) n += w.meter->engine().counters().timedOut + w.meter->engine().counters().refused;
        return n;
    };
    const quint64 lostFrom = lostSoFar();
    std::vector<double> metered;
    for (int i = 0; i < 3; ++i) {
        runUntil([] { return false; }, meterSeconds * 1000 / 4);
        metered.push_back(transfer());
    }
    runUntil([] { return false; }, meterSeconds * 1000 / 4);
    const double load = scheduler.loadSince(loadFrom, bitsFrom);
    qint64 worstGap = 0;
    int fewest = 1 << 30;
    for (auto &w : units) {
        // A unit whose meters stopped counts until now.
        worstGap = std::max({worstGap, w.longestGapMs, clock.elapsed() - w.lastRefreshMs});
        fewest = std::min(fewest, w.refreshes);
    }
    const quint64 lost = lostSoFar() - lostFrom;
    remoteWatch.setEnabled(false);
    for (auto &w : units)
        if (w.meter) w.meter->stop();
    std::printf("63 units metered for %d s: bus load %.1f %% (target < 70 %%), longest time without a refresh "
                "%.2f s (target <= 3 s), fewest refreshes of a unit %d, requests lost %llu (target 0)\n",
                meterSeconds, load * 100, double(worstGap) / 1000, fewest, static_cast<unsigned long long>(lost));
    std::sort(alone.begin(), alone.end());
    std::sort(metered.begin(), metered.end());
    std::printf("preset transfer (write, 339 exchanges): alone %.3f s, with 63 units metered %.3f s (median of 3): "
                "%.2f x (target <= 1.2 x)\n",
                alone[1], metered[1], metered[1] / alone[1]);
    editor.close();
    units.clear();

    if (skipBackup) return 0;
    // 5. Backup of 8 units.
    scheduler.setBitrate(backupBitrate);
    QTemporaryDir dir;
    editor::RigJob backup;
    backup.command = editor::RigJob::Command::Backup;
    backup.dir = dir.path();
    backup.switchWaitMs = 0;
    const quint64 before = scheduler.counters().bitsSent + scheduler.counters().bitsReceived;
    const quint64 framesBefore = scheduler.counters().framesSent;
    t.start();
    if (!runRig(scheduler, busName, {1, 2, 3, 4, 5, 6, 7, 8}, backup, failed)) return 1;
    const double took = seconds(t);
    const quint64 bits = scheduler.counters().bitsSent + scheduler.counters().bitsReceived - before;
    const quint64 exchanges = scheduler.counters().framesSent - framesBefore;
    const double limit = double(bits) / (scheduler.maxLoad() * backupBitrate);
    const double worstCase = double(exchanges) * BusScheduler::kExchangeBits / (scheduler.maxLoad() * backupBitrate);
    std::printf("backup of 8 units at %u bit/s: %.1f s, %d failed, %llu exchanges; bus-limited time %.1f s "
                "(their frames' bits with real stuffing at 70 %%; %.1f s counting every frame at 135 bits): "
                "%.2f x (target <= 1.2 x)\n",
                backupBitrate, took, failed, static_cast<unsigned long long>(exchanges), limit, worstCase, took / limit);
    return 0;
}
