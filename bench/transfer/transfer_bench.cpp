// How fast a whole preset moves between the editor's connection code and a
// device: zar40-sim on a pseudo-terminal, (a) unpaced, so that only our own
// overhead counts, and (b) paced like a 115200 baud line, compared with the
// time the bytes alone need on the wire. With --can, instead: zar40-sim as
// unit 1 on a virtual CAN bus of its own, reached through a CAN device of
// the connection's own.
//
//   bench-transfer [--sim PATH] [--runs N] [--paced-runs N] [--can]
#include "zar40/comm/cantransport.h"
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/communicationmodul.h"
#include "zar40/comm/transactionengine.h"
#include "zar40/preset/record.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace zar40;
using namespace zar40::comm;

namespace {

constexpr double kBaud = 115200.0;
constexpr double kBitsPerExchange = 2 * 14 * 10; // request and reply frames, 8N1

struct Sim {
    QTemporaryDir dir;
    QProcess process;
    QString link;
    QString bus; // set: the unit is Net-ID 1 on this virtual CAN bus

    bool start(const QString &program, const QStringList &args)
    {
        QStringList where;
        QString ready;
        if (bus.isEmpty()) {
            link = dir.filePath(QStringLiteral("bench.pty"));
            where = QStringList{QStringLiteral("--pty"), link};
            ready = link;
        } else {
            where = QStringList{QStringLiteral("--can"), QStringLiteral("virtualcan:") + bus, QStringLiteral("--net-id"),
                                QStringLiteral("1")};
            ready = QStringLiteral("virtualcan:%1 net-id 1").arg(bus);
        }
        process.start(program, where + args);
        if (!process.waitForStarted(10000)) return false;
        while (!process.canReadLine())
            if (!process.waitForReadyRead(10000)) return false;
        return QString::fromLocal8Bit(process.readLine()).trimmed() == ready;
    }
    ~Sim()
    {
        process.terminate();
        if (!process.waitForFinished(5000)) process.kill();
    }
};

bool runUntil(const std::function<bool()> &done, const std::function<bool()> &failed)
{
    while (!done()) {
        if (failed()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// CPU time of this process so far: what our side itself spends, apart from
// waiting for the simulator and for the machine.
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
    double readSeconds = 0;
    double writeSeconds = 0;
    double readCpuSeconds = 0; // mean
    double writeCpuSeconds = 0;
};

// Connects, then times RUNS reads and RUNS writes; the median of each.
bool measure(const QString &program, const QStringList &simArgs, int runs, Result &result, bool can = false)
{
    Sim sim;
    if (can) {
        // A bus of its own: a free port for the virtual bus's server.
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) return false;
        sim.bus = QStringLiteral("tcp://127.0.0.1:%1/can0").arg(probe.serverPort());
    }
    if (!sim.start(program, simArgs)) {
        std::fprintf(stderr, "bench-transfer: cannot start %s\n", qPrintable(program));
        return false;
    }
    CTransactionEngine engine;
    CCommunicationmodul link(nullptr, &engine);
    if (can) {
        link.setConnectionType(CCommunicationmodul::CanBus);
        link.setNetId(1);
        link.setTransport(std::make_unique<CanBusTransport>(canbus::BusAddress{QStringLiteral("virtualcan"), sim.bus}, 1));
    } else {
        link.setPort(sim.link);
    }
    std::vector<int> notes;
    bool written = false;
    QObject::connect(&link, &CCommunicationmodul::notification, [&](int c) { notes.push_back(c); });
    QObject::connect(&link, &CCommunicationmodul::presetWritten, [&] { written = true; });
    auto failed = [&] {
        return std::any_of(notes.begin(), notes.end(), [](int c) { return c == 51003 || c == 51004 || c == 51005; });
    };
    auto has = [&](int code) { return std::find(notes.begin(), notes.end(), code) != notes.end(); };

    if (!link.connectToDevice() || !runUntil([&] { return has(51002) || link.state() == 0; }, failed) ||
        !has(51002)) {
        std::fprintf(stderr, "bench-transfer: cannot connect to the simulator\n");
        return false;
    }

    std::vector<double> reads, writes;
    double readCpu = 0, writeCpu = 0;
    preset::PresetRecord record = preset::startupPreset(0);
    codec::DeviceSettings settings{};
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        notes.clear();
        double cpu = cpuSeconds();
        clock.start();
        link.readPreset(&record, &settings);
        if (!runUntil([&] { return has(51001); }, failed)) return false;
        reads.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        readCpu += cpuSeconds() - cpu;

        written = false;
        cpu = cpuSeconds();
        clock.start();
        link.writePreset(record);
        if (!runUntil([&] { return written; }, failed)) return false;
        writes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        writeCpu += cpuSeconds() - cpu;
    }
    result.readSeconds = median(reads);
    result.writeSeconds = median(writes);
    result.readCpuSeconds = readCpu / runs;
    result.writeCpuSeconds = writeCpu / runs;
    return true;
}

QString defaultSim()
{
    if (const char *bin = std::getenv("VRN_BIN_DIR"))
        return QDir(QString::fromLocal8Bit(bin)).filePath(QStringLiteral("zar40-sim"));
    // bench/ and bin/ sit side by side in the build tree.
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../bin/zar40-sim"));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString program = defaultSim();
    int runs = 20, pacedRuns = 3;
    QStringList args = app.arguments();
    const bool can = args.removeAll(QStringLiteral("--can")) > 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sim")) program = args[i + 1];
        else if (args[i] == QLatin1String("--runs")) runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--paced-runs")) pacedRuns = std::max(1, args[i + 1].toInt());
    }
    if (!QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "bench-transfer: no simulator at %s (give --sim PATH)\n", qPrintable(program));
        return 1;
    }

    const double readExchanges = CCommunicationmodul::kReadExchanges;
    const double writeExchanges = CCommunicationmodul::kWriteExchanges;

    if (can) {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.*.info=false"));
        Result bus;
        if (!measure(program, {}, runs, bus, true)) return 1;
        std::printf("Preset transfer over a virtual CAN bus (virtualcan) against zar40-sim (median of %d)\n\n", runs);
        std::printf("    read   %7.2f ms per preset, %6.1f us per exchange (%d exchanges)\n", bus.readSeconds * 1e3,
                    bus.readSeconds * 1e6 / readExchanges, CCommunicationmodul::kReadExchanges);
        std::printf("    write  %7.2f ms per preset, %6.1f us per exchange (%d exchanges)\n", bus.writeSeconds * 1e3,
                    bus.writeSeconds * 1e6 / writeExchanges, CCommunicationmodul::kWriteExchanges);
        std::printf("    CPU time of the editor side: read %.1f us, write %.1f us per exchange\n",
                    bus.readCpuSeconds * 1e6 / readExchanges, bus.writeCpuSeconds * 1e6 / writeExchanges);
        return 0;
    }

    Result fast;
    if (!measure(program, {}, runs, fast)) return 1;
    std::printf("Preset transfer through a pseudo-terminal against zar40-sim (median of %d)\n\n", runs);
    std::printf("(a) unpaced line\n");
    std::printf("    read   %7.2f ms per preset, %6.1f us per exchange (%d exchanges)   target < 60 ms: %s\n",
                fast.readSeconds * 1e3, fast.readSeconds * 1e6 / readExchanges, CCommunicationmodul::kReadExchanges,
                fast.readSeconds < 0.060 ? "met" : "MISSED");
    std::printf("    write  %7.2f ms per preset, %6.1f us per exchange (%d exchanges)\n", fast.writeSeconds * 1e3,
                fast.writeSeconds * 1e6 / writeExchanges, CCommunicationmodul::kWriteExchanges);
    std::printf("    CPU time of the editor side: read %.1f us, write %.1f us per exchange\n",
                fast.readCpuSeconds * 1e6 / readExchanges, fast.writeCpuSeconds * 1e6 / writeExchanges);

    Result paced;
    if (!measure(program, {QStringLiteral("--baud"), QStringLiteral("115200")}, pacedRuns, paced)) return 1;
    const double readWire = readExchanges * kBitsPerExchange / kBaud;
    const double writeWire = writeExchanges * kBitsPerExchange / kBaud;
    std::printf("\n(b) 115200 baud line (median of %d)\n", pacedRuns);
    std::printf("    read   %6.3f s, wire limit %5.3f s, ratio %5.3f   target <= 1.05: %s\n", paced.readSeconds, readWire,
                paced.readSeconds / readWire, paced.readSeconds / readWire <= 1.05 ? "met" : "MISSED");
    std::printf("    write  %6.3f s, wire limit %5.3f s, ratio %5.3f\n", paced.writeSeconds, writeWire,
                paced.writeSeconds / writeWire);
    return 0;
}
