// zar40-sim: a simulated ZAR40 processor for trying the editor and the zar40
// tool without a device, and for the tests of the device link.
#include "device_model.h"
#include "pty_server.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) { g_stop = 1; }

const char kUsage[] =
    "Usage: zar40-sim --pty LINK [OPTIONS]\n"
    "\n"
    "Simulates a ZAR40 loudspeaker processor on a pseudo-terminal. LINK becomes a\n"
    "symbolic link to the terminal; give that path to the editor or to\n"
    "'zar40 device --port LINK' as the serial port. The path is printed on\n"
    "stdout once the device is ready; SIGINT or SIGTERM stop it and remove LINK.\n"
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
    "Line:\n"
    "  --baud RATE           pace bytes as a real 8N1 line at RATE would (default: unpaced)\n"
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

} // namespace

int main(int argc, char **argv)
{
    zar40sim::DeviceConfig device;
    zar40sim::FaultConfig faults;
    zar40sim::PtyOptions pty;

    for (int i = 1; i < argc; ++i) {
        const std::string_view opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (opt == "--verbose") {
            pty.verbose = true;
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
        } else if (opt == "--password") {
            std::uint32_t p = 0;
            ok = number(p);
            device.password = p;
        } else if (opt == "--device-number") {
            ok = number(device.deviceNumber);
        } else if (opt == "--device-name") {
            device.deviceName = val;
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
        } else if (opt == "--baud") {
            ok = number(pty.baud) && pty.baud > 0;
        } else {
            return usageError("unknown option " + std::string(opt));
        }
        if (!ok) return usageError("bad value for " + std::string(opt) + ": " + std::string(val));
    }
    if (pty.link.empty()) return usageError("--pty LINK is required");

    // Signals are let through only while the server waits, so a stop request
    // is never lost between the check and the wait.
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigprocmask(SIG_BLOCK, &block, nullptr);
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    zar40sim::DeviceModel model(device, faults);
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
