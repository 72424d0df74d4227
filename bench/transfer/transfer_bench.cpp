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
#include "zar40/comm/devicesession.h"
#include "zar40/comm/transactionengine.h"
#include "zar40/preset/record.h"

#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QTcpServer>

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
bool measure(const std::vector<std::string> &simArgs, int runs, Result &result, bool can = false)
{
    vrntest::SimProcess sim;
    QString bus; // the unit is Net-ID 1 on this virtual CAN bus
    if (can) {
        // A bus of its own: a free port for the virtual bus's server.
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) return false;
        bus = QStringLiteral("tcp://127.0.0.1:%1/can0").arg(probe.serverPort());
    }
    if (can ? !sim.startOnCan(bus.toStdString(), 1, simArgs) : !sim.startOnPty(simArgs)) {
        std::fprintf(stderr, "bench-transfer: cannot start %s\n", vrntest::binProgram("zar40-sim").c_str());
        return false;
    }
    CTransactionEngine engine;
    DeviceSession session(&engine);
    const bool connected =
        can ? session.open(std::make_unique<CanBusTransport>(canbus::BusAddress{QStringLiteral("virtualcan"), bus}, 1),
                           CCommunicationmodul::ConnectionType::CanBus)
            : session.openSerial(QString::fromStdString(sim.link()));
    if (!connected) {
        std::fprintf(stderr, "bench-transfer: cannot connect to the simulator: %s\n", qPrintable(session.error()));
        return false;
    }

    std::vector<double> reads, writes;
    double readCpu = 0, writeCpu = 0;
    preset::PresetRecord record = preset::startupPreset(0);
    codec::DeviceSettings settings{};
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        double cpu = cpuSeconds();
        clock.start();
        if (!session.readPreset(record, settings)) return false;
        reads.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        readCpu += cpuSeconds() - cpu;

        cpu = cpuSeconds();
        clock.start();
        if (!session.writePreset(record)) return false;
        writes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        writeCpu += cpuSeconds() - cpu;
    }
    result.readSeconds = median(reads);
    result.writeSeconds = median(writes);
    result.readCpuSeconds = readCpu / runs;
    result.writeCpuSeconds = writeCpu / runs;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // bench/ and bin/ sit side by side in the build tree.
    if (!std::getenv("VRN_BIN_DIR"))
        setenv("VRN_BIN_DIR", qPrintable(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")), 1);
    int runs = 20, pacedRuns = 3;
    QStringList args = app.arguments();
    const bool can = args.removeAll(QStringLiteral("--can")) > 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sim"))
            setenv("VRN_BIN_DIR", qPrintable(QFileInfo(args[i + 1]).absolutePath()), 1);
        else if (args[i] == QLatin1String("--runs")) runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--paced-runs")) pacedRuns = std::max(1, args[i + 1].toInt());
    }
    const QString program = QString::fromStdString(vrntest::binProgram("zar40-sim").string());
    if (!QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "bench-transfer: no simulator at %s (give --sim PATH)\n", qPrintable(program));
        return 1;
    }

    const double readExchanges = CCommunicationmodul::kReadExchanges;
    const double writeExchanges = CCommunicationmodul::kWriteExchanges;

    if (can) {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.*.info=false"));
        Result bus;
        if (!measure({}, runs, bus, true)) return 1;
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
    if (!measure({}, runs, fast)) return 1;
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
    if (!measure({"--baud", "115200"}, pacedRuns, paced)) return 1;
    const double readWire = readExchanges * kBitsPerExchange / kBaud;
    const double writeWire = writeExchanges * kBitsPerExchange / kBaud;
    std::printf("\n(b) 115200 baud line (median of %d)\n", pacedRuns);
    std::printf("    read   %6.3f s, wire limit %5.3f s, ratio %5.3f   target <= 1.05: %s\n", paced.readSeconds, readWire,
                paced.readSeconds / readWire, paced.readSeconds / readWire <= 1.05 ? "met" : "MISSED");
    std::printf("    write  %6.3f s, wire limit %5.3f s, ratio %5.3f\n", paced.writeSeconds, writeWire,
                paced.writeSeconds / writeWire);
    return 0;
}
