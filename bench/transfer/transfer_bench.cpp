// How fast a whole preset moves between the editor's connection code and a
// device: zar40-sim on a pseudo-terminal, (a) unpaced, so that only our own
// overhead counts, and (b) paced like a 115200 baud line, compared with the
// time the bytes alone need on the wire. With --can, instead: zar40-sim as
// unit 1 on a virtual CAN bus of its own, reached through a CAN device of
// the connection's own.
//
// At 115200 baud the read is also compared with the least any client can
// do on the same simulated line: a bare loop that writes each request and
// blocks until its reply's 14 bytes are there. What the bare loop loses to
// the wire limit is the simulator's and the pseudo-terminal's (waking the
// simulator for every paced byte, handing bytes across the terminal); what
// the editor's side loses beyond it is ours.
//
//   bench-transfer [--sim PATH] [--runs N] [--paced-runs N] [--can]
#include "zar40/comm/can_transport.h"
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/DeviceSession.h"
#include "zar40/comm/TransactionEngine.h"
#include "zar40/preset/record.h"

#include "SimProcess.h"
#include "virtual_bus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
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
    double fastestReadSeconds = 0;
    double writeSeconds = 0;
    double readCpuSeconds = 0; // mean
    double writeCpuSeconds = 0;
};

// Connects, then times RUNS reads and RUNS writes; the median of each.
// AFTERREAD runs after every read (the bare loop, so that both see the
// same moments of a shared machine).
bool measure(const std::vector<std::string> &simArgs, int runs, Result &result, bool can = false,
             const std::function<bool()> &afterRead = {})
{
    vrntest::SimProcess sim;
    QString bus; // the unit is Net-ID 1 on this virtual CAN bus
    if (can) {
        // A bus of its own: a free port for the virtual bus's server.
        bus = vrntest::freeVirtualBus();
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
        if (afterRead && !afterRead()) return false;

        cpu = cpuSeconds();
        clock.start();
        if (!session.writePreset(record)) return false;
        writes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        writeCpu += cpuSeconds() - cpu;
    }
    result.readSeconds = median(reads);
    result.fastestReadSeconds = *std::min_element(reads.begin(), reads.end());
    result.writeSeconds = median(writes);
    result.readCpuSeconds = readCpu / runs;
    result.writeCpuSeconds = writeCpu / runs;
    return true;
}

// The bare loop on a simulator of its own: the read's 344 requests, each
// written whole, then a wait until 14 bytes are there.
class BareLine
{
public:
    ~BareLine()
    {
        if (m_fd >= 0) ::close(m_fd);
    }

    bool open()
    {
        if (!m_sim.startOnPty({"--baud", "115200"})) return false;
        m_fd = ::open(m_sim.link().c_str(), O_RDWR | O_NOCTTY);
        if (m_fd < 0) return false;
        termios t{};
        ::tcgetattr(m_fd, &t);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, B115200);
        t.c_cc[VMIN] = codec::kFrameSize;
        t.c_cc[VTIME] = 0;
        return ::tcsetattr(m_fd, TCSANOW, &t) == 0;
    }

    // Seconds for one read; 0 when the simulator did not answer.
    double read()
    {
        QElapsedTimer clock;
        clock.start();
        for (std::uint16_t address : codec::readOrder()) {
            const codec::FrameBytes frame = codec::buildFrame(codec::Message{codec::ReqReadPara, address, 0});
            if (::write(m_fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return 0;
            const qint64 sent = clock.nsecsElapsed();
            std::uint8_t reply[64];
            for (std::size_t got = 0; got < codec::kFrameSize;) {
                pollfd p{m_fd, POLLIN, 0};
                const ssize_t n = ::poll(&p, 1, 1000) == 1 ? ::read(m_fd, reply + got, sizeof reply - got) : -1;
                if (n <= 0) return 0;
                got += static_cast<std::size_t>(n);
            }
            exchanges.push_back(static_cast<double>(clock.nsecsElapsed() - sent) / 1e9);
        }
        return static_cast<double>(clock.nsecsElapsed()) / 1e9;
    }

    // Every exchange of every read so far, in seconds.
    std::vector<double> exchanges;

private:
    vrntest::SimProcess m_sim;
    int m_fd = -1;
};

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

    // The bare loop's reads alternate with the editor's, on a simulator of
    // its own.
    BareLine bareLine;
    if (!bareLine.open()) {
        std::fprintf(stderr, "bench-transfer: cannot start the bare loop's simulator\n");
        return 1;
    }
    std::vector<double> bare;
    const auto bareRead = [&] {
        bare.push_back(bareLine.read());
        return bare.back() > 0;
    };
    Result paced;
    if (!measure({"--baud", "115200"}, pacedRuns, paced, false, bareRead)) return 1;
    const double readWire = readExchanges * kBitsPerExchange / kBaud;
    const double writeWire = writeExchanges * kBitsPerExchange / kBaud;
    const double bareMedian = median(bare);
    const double bareFastest = *std::min_element(bare.begin(), bare.end());
    std::printf("\n(b) 115200 baud line (median of %d, fastest in brackets)\n", pacedRuns);
    std::printf("    read   %6.3f s (%5.3f), wire limit %5.3f s, ratio %5.3f (%5.3f)   target <= 1.03: %s\n",
                paced.readSeconds, paced.fastestReadSeconds, readWire, paced.readSeconds / readWire,
                paced.fastestReadSeconds / readWire, paced.readSeconds / readWire <= 1.03 ? "met" : "MISSED");
    std::printf("    write  %6.3f s, wire limit %5.3f s, ratio %5.3f\n", paced.writeSeconds, writeWire,
                paced.writeSeconds / writeWire);
    std::printf("    bare loop read %6.3f s (%5.3f), ratio %5.3f (%5.3f): what the simulated line itself loses\n",
                bareMedian, bareFastest, bareMedian / readWire, bareFastest / readWire);
    // A typical exchange shows what the simulated line costs; the few that
    // wait a scheduler tick or more (a busy machine's kernel workers behind
    // other programs) show how much of the total is the machine's.
    const double exchangeWire = kBitsPerExchange / kBaud;
    double hiccups = 0;
    for (double e : bareLine.exchanges)
        if (e > exchangeWire + 0.0005) hiccups += e - exchangeWire;
    std::printf("    bare loop per exchange: median %.1f us over the wire's %.1f us; exchanges over 0.5 ms late add "
                "%.1f us per exchange\n",
                (median(bareLine.exchanges) - exchangeWire) * 1e6, exchangeWire * 1e6,
                hiccups * 1e6 / static_cast<double>(bareLine.exchanges.size()));
    std::printf("    the editor's read beyond the bare loop: %.1f us per exchange (%.1f between the fastest)\n",
                (paced.readSeconds - bareMedian) * 1e6 / readExchanges,
                (paced.fastestReadSeconds - bareFastest) * 1e6 / readExchanges);
    return 0;
}
