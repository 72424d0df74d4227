// zar40-sim: a simulated ZAR40 processor for trying the editor and the zar40
// tool without a device, and for the tests of the device link.
#include "CanServer.h"
#include "DeviceModel.h"
#include "PtyServer.h"

#include "canbus/address.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <algorithm>
#include <charconv>
#include <deque>
#include <map>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

const char kUsage[] =
    "Usage: zar40-sim --pty LINK [OPTIONS]\n"
    "       zar40-sim --can BACKEND:INTERFACE --net-id N [OPTIONS]\n"
    "       zar40-sim --can BACKEND:INTERFACE --net-ids LIST [OPTIONS]\n"
    "\n"
    "Simulates a ZAR40 loudspeaker processor on a pseudo-terminal or on a CAN bus.\n"
    "\n"
    "With --pty, LINK becomes a symbolic link to the terminal; give that path to the\n"
    "editor or to 'zar40 device --port LINK' as the serial port. The path is printed\n"
    "on stdout once the device is ready; SIGINT or SIGTERM stop it and remove LINK.\n"
    "\n"
    "With --can, the device is a unit on the bus with Net-ID N: it answers standard\n"
    "frames of 8 data bytes whose identifier / 32 is N, with identifier N * 32.\n"
    "BACKEND is a QtSerialBus plug-in (socketcan for a real adapter, virtualcan for\n"
    "a bus between programs on this machine). Once on the bus it prints\n"
    "\"BACKEND:INTERFACE net-id N\" on stdout; SIGINT or SIGTERM stop it.\n"
    "Examples: --can socketcan:can0 --net-id 1\n"
    "          --can virtualcan:can0 --net-id 2\n"
    "          --can virtualcan:tcp://127.0.0.1:40000/can0 --net-id 3\n"
    "virtualcan has the interfaces can0 and can1. The first program on this machine\n"
    "that opens one hosts the bus on 127.0.0.1, TCP port 35468 (or the PORT of a\n"
    "tcp://127.0.0.1:PORT/can0 interface, for a bus of its own). When that program\n"
    "ends, everybody loses the bus; zar40-sim then connects again (--reconnect) and\n"
    "the first program to come back hosts the bus from then on.\n"
    "\n"
    "Device:\n"
    "  --password N          the device asks for password N (default: none)\n"
    "  --device-number N     device number shown as K%06d (default 1)\n"
    "  --device-name TEXT    device name, up to 16 characters (default \"ZAR40 Simulator\")\n"
    "  --revision MAJ.MIN    firmware revision to report (default 1.5)\n"
    "  --device-id N         device identity to report (default 1 = ZAR40)\n"
    "Faults (requests counted from 1, 0 = off):\n"
    "  --drop-every N        every Nth request gets no reply\n"
    "  --garble-every N      every Nth reply carries a wrong address\n"
    "  --connect-busy N      answer the first N connect requests with 'not ready'\n"
    "  --hang-after N        stop answering after N requests\n"
    "Serial line (--pty):\n"
    "  --baud RATE           pace bytes as a real 8N1 line at RATE would (default: unpaced)\n"
    "  --bootloader          a knock ('V') between frames starts the boot loader, as if the\n"
    "                        unit had just been powered up: it answers the firmware update\n"
    "                        (flash loader download and checksum, sector erase, one record\n"
    "                        per handshake: 0x00 for an S2 record, 0x02 for other types,\n"
    "                        0x01 for a damaged one). After the end of programming the unit\n"
    "                        runs its firmware again and prints a line on stdout; erasing\n"
    "                        sectors 1 and 2 resets the 32 presets to the factory ones.\n"
    "  --fw-nak-record N     answer record N (from 1) with 0x01\n"
    "  --fw-silent-after N   the boot loader stops answering after N replies\n"
    "  --fw-double-knock     answer each knock with two 'F' at once\n"
    "  --fw-record-log FILE  write every record received, one per line, to FILE\n"
    "CAN bus (--can):\n"
    "  --net-id N            the unit's Net-ID, 1 to 63\n"
    "  --net-ids LIST        many units in this one process, each with its own presets and\n"
    "                        settings: LIST is Net-IDs and ranges such as 1-63 or 3,17,20-22.\n"
    "                        Unit N is named \"ZAR40 Sim N\" (or \"TEXT N\" with --device-name)\n"
    "                        and has device number --device-number + N - 1. Once on the bus\n"
    "                        it prints \"BACKEND:INTERFACE net-ids LIST\".\n"
    "  --fault-net-ids LIST  the fault options apply to these units only (default: all)\n"
    "  --connect-timeout MS  give up when not on the bus within MS ms (default 5000)\n"
    "  --reconnect MS        after losing the bus, connect again after MS ms\n"
    "                        (default 1000; 0: end with status 1 instead)\n"
    "Both:\n"
    "  --verbose             log every request and its reply on stderr\n";

int usageError(const std::string &message)
{
    std::cerr << "zar40-sim: " << message << "\nTry 'zar40-sim --help'.\n";
    return 2;
}

template <typename T> std::optional<T> parseNumber(std::string_view text)
{
    T v{};
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || p != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

// Signals are let through only while the pty server waits, so a stop
// request is never lost between the check and the wait; the CAN mode reads
// them from a signalfd in its event loop. Either way they stay blocked
// outside those waits.
sigset_t blockStopSignals()
{
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigprocmask(SIG_BLOCK, &block, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return block;
}

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) { g_stop = 1; }

int runPty(zar40sim::DeviceModel &model, const zar40sim::PtyOptions &pty)
{
    blockStopSignals();
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    zar40sim::PtyServer server(model, pty);
    std::string error;
    if (!server.open(error)) {
        std::cerr << "zar40-sim: " << error << "\n";
        return 1;
    }
    std::cout << pty.link << std::endl;
    if (pty.verbose)
        std::cerr << "zar40-sim: serving on " << server.slavePath() << " (link " << pty.link << ")\n";
    const int rc = server.run(g_stop);
    server.close();
    return rc;
}

int runCan(int argc, char **argv, const std::map<int, zar40sim::DeviceModel *> &models,
           const zar40sim::CanOptions &options)
{
    // Before any thread exists, so that no thread takes the signals.
    const sigset_t stopSignals = blockStopSignals();
    const int sigFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (sigFd < 0) {
        std::perror("zar40-sim: signalfd");
        return 1;
    }

    // The plug-ins' notes (which process hosts the virtual bus, clients
    // coming and going) are for --verbose; their warnings always show.
    if (!options.verbose) QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.*.info=false"));
    QCoreApplication app(argc, argv);
    QSocketNotifier stopNotifier(sigFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] {
        signalfd_siginfo info{};
        while (read(sigFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        app.exit(0);
    });

    zar40sim::CanServer server(models, options);
    QObject::connect(&server, &zar40sim::CanServer::ready, &app, [&] {
        std::cout << server.description().toStdString() << std::endl;
        if (options.verbose) std::cerr << "zar40-sim: on the bus as " << server.description().toStdString() << "\n";
    });
    QObject::connect(&server, &zar40sim::CanServer::failed, &app, [&](const QString &reason) {
        std::cerr << "zar40-sim: " << reason.toStdString() << "\n";
        app.exit(1);
    });
    QString error;
    int rc = 1;
    if (server.start(error))
        rc = app.exec();
    else
        std::cerr << "zar40-sim: " << error.toStdString() << "\n";
    server.stop();
    // The event loop has ended, so the device's deferred delete must be run here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    close(sigFd);
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    zar40sim::DeviceConfig device;
    zar40sim::FaultConfig faults;
    zar40sim::PtyOptions pty;
    zar40sim::CanOptions can;
    std::string canTarget;
    std::optional<long long> netId;
    std::optional<std::vector<int>> netIds;
    std::optional<std::vector<int>> faultNetIds;
    bool nameGiven = false;
    bool baudGiven = false;
    bool canTimingGiven = false;
    zar40sim::BootLoaderConfig loader;
    bool bootLoader = false;
    bool loaderOptionGiven = false;

    for (int i = 1; i < argc; ++i) {
        const std::string_view opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (opt == "--verbose") {
            pty.verbose = can.verbose = loader.verbose = true;
            continue;
        }
        if (opt == "--bootloader") {
            bootLoader = true;
            continue;
        }
        if (opt == "--fw-double-knock") {
            loader.doubleKnockReply = true;
            loaderOptionGiven = true;
            continue;
        }
        if (i + 1 >= argc) return usageError(std::string(opt) + " needs a value");
        const std::string_view val = argv[++i];
        auto number = [&](auto &target) -> bool {
            using T = std::remove_reference_t<decltype(target)>;
            auto v = parseNumber<T>(val);
            if (v) target = *v;
            return v.has_value();
        };
        bool ok = true;
        if (opt == "--pty") {
            pty.link = val;
            ok = !val.empty();
        } else if (opt == "--can") {
            const auto address = canbus::parseAddress(QString::fromUtf8(val.data(), qsizetype(val.size())));
            ok = address.has_value();
            if (ok) can.address = *address;
            canTarget = val;
        } else if (opt == "--net-id") {
            long long n = 0;
            ok = number(n);
            netId = n;
        } else if (opt == "--net-ids") {
            netIds = zar40sim::parseNetIds(val);
            ok = netIds.has_value();
        } else if (opt == "--fault-net-ids") {
            faultNetIds = zar40sim::parseNetIds(val);
            ok = faultNetIds.has_value();
        } else if (opt == "--connect-timeout") {
            ok = number(can.connectTimeoutMs) && can.connectTimeoutMs > 0;
            canTimingGiven = true;
        } else if (opt == "--reconnect") {
            ok = number(can.reconnectMs) && can.reconnectMs >= 0;
            canTimingGiven = true;
        } else if (opt == "--password") {
            std::uint32_t p = 0;
            ok = number(p);
            device.password = p;
        } else if (opt == "--device-number") {
            ok = number(device.deviceNumber);
        } else if (opt == "--device-name") {
            device.deviceName = val;
            nameGiven = true;
        } else if (opt == "--device-id") {
            ok = number(device.deviceId);
        } else if (opt == "--revision") {
            const auto dot = val.find('.');
            auto major = parseNumber<std::uint16_t>(val.substr(0, dot));
            auto minor = dot == std::string_view::npos ? std::nullopt : parseNumber<std::uint16_t>(val.substr(dot + 1));
            ok = major && minor;
            if (ok) {
                device.revisionMajor = *major;
                device.revisionMinor = *minor;
            }
        } else if (opt == "--drop-every") {
            ok = number(faults.dropEvery);
        } else if (opt == "--garble-every") {
            ok = number(faults.garbleEvery);
        } else if (opt == "--connect-busy") {
            ok = number(faults.connectBusy);
        } else if (opt == "--hang-after") {
            std::uint64_t n = 0;
            ok = number(n);
            faults.hangAfter = n;
        } else if (opt == "--fw-nak-record") {
            ok = number(loader.nakRecord) && loader.nakRecord > 0;
            loaderOptionGiven = true;
        } else if (opt == "--fw-silent-after") {
            unsigned n = 0;
            ok = number(n);
            loader.silentAfter = n;
            loaderOptionGiven = true;
        } else if (opt == "--fw-record-log") {
            loader.recordLog = val;
            ok = !val.empty();
            loaderOptionGiven = true;
        } else if (opt == "--baud") {
            ok = number(pty.baud) && pty.baud > 0;
            baudGiven = true;
        } else {
            return usageError("unknown option " + std::string(opt));
        }
        if (!ok) return usageError("bad value for " + std::string(opt) + ": " + std::string(val));
    }

    const bool onPty = !pty.link.empty();
    const bool onCan = !canTarget.empty();
    if (onPty && onCan) return usageError("--pty and --can cannot be used together");
    if (!onPty && !onCan) return usageError("--pty LINK or --can BACKEND:INTERFACE is required");
    if (loaderOptionGiven && !bootLoader) return usageError("the --fw-* options need --bootloader");
    if (onPty) {
        if (netId || netIds || faultNetIds || canTimingGiven)
            return usageError("--net-id, --net-ids, --fault-net-ids, --connect-timeout and --reconnect need --can");
        zar40sim::DeviceModel model(device, faults);
        std::optional<zar40sim::BootLoader> unit;
        if (bootLoader) pty.bootLoader = &unit.emplace(loader);
        return runPty(model, pty);
    }
    if (bootLoader) return usageError("--bootloader is for --pty only");
    if (faultNetIds && !netIds) return usageError("--fault-net-ids needs --net-ids");
    if (baudGiven) return usageError("--baud is for --pty only");
    if (netId && netIds) return usageError("--net-id and --net-ids cannot be used together");
    if (!netId && !netIds) return usageError("--can needs --net-id N or --net-ids LIST");
    if (netId) {
        if (const QString problem = canbus::netIdProblem(*netId); !problem.isEmpty())
            return usageError(problem.toStdString());
        netIds = std::vector<int>{static_cast<int>(*netId)};
    }
    can.netIds = *netIds;
    // A deque keeps every model where it was built: the server holds pointers.
    std::deque<zar40sim::DeviceModel> units;
    std::map<int, zar40sim::DeviceModel *> models;
    for (const int id : can.netIds) {
        zar40sim::DeviceConfig config = device;
        if (netIds->size() > 1 || !netId) {
            // Told apart in a scan as on a real rig: by name and number.
            const std::string base = nameGiven ? device.deviceName : std::string("ZAR40 Sim");
            const std::string suffix = " " + std::to_string(id);
            config.deviceName = base.substr(0, 16 - suffix.size()) + suffix;
            config.deviceNumber = device.deviceNumber + static_cast<std::uint32_t>(id - 1);
        }
        const bool faulty = !faultNetIds || std::binary_search(faultNetIds->begin(), faultNetIds->end(), id);
        models[id] = &units.emplace_back(config, faulty ? faults : zar40sim::FaultConfig{});
    }
    return runCan(argc, argv, models, can);
}
