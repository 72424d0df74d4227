// Device commands: talk to a ZAR40 over its serial line without the editor.
#include "cmd_device_session.h"
#include "cmd_device_scan.h"
#include "command.h"
#include "preset_input.h"

#include "canbus/address.h"
#include "canbus/netid.h"
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/editor/unit_operations.h"
#include "zar40/model/parameter_writes.h"
#include "zar40/preset/fields.h"
#include "zar40/preset/preset_files.h"

#include <QCoreApplication>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace zar40tool {
namespace {

using namespace zar40;
namespace fs = std::filesystem;

const char kName[] = "device";

const char kUsage[] =
    "Usage: zar40 device --port PATH [OPTIONS] COMMAND [ARGS]\n"
    "       zar40 device --can BACKEND:INTERFACE --net-id N [OPTIONS] COMMAND [ARGS]\n"
    "\n"
    "Talks to a ZAR40 over its serial line (115200,n,8,1) or over CAN, with the\n"
    "same connection code as the editor. PATH is a serial port (/dev/ttyUSB0) or\n"
    "any device path, such as the link zar40-sim prints. With --can the tool opens\n"
    "the bus itself (QtSerialBus plug-in BACKEND: socketcan for a USB-CAN adapter,\n"
    "virtualcan for a bus between processes) and talks to the unit with Net-ID N.\n"
    "Slots are numbered 1 to 32 as the editor shows them. Progress goes to stderr.\n"
    "\n"
    "Commands:\n"
    "  info                       device name, device number, the firmware revision the unit\n"
    "                             reports, keyboard lock\n"
    "  read --slot N -o FILE.vpx  switch the device to slot N and save that preset\n"
    "  write FILE --slot N        switch to slot N, write FILE (.vpx or .vpf), store it in slot N\n"
    "  backup --dir DIR           save all 32 slots (slot-01.vpx ... slot-32.vpx) and the\n"
    "                             device settings (device-settings.txt), then verify each\n"
    "                             slot by reading it back\n"
    "  restore --dir DIR          write every slot-NN.vpx of DIR into its slot and restore\n"
    "                             the device name and keyboard lock of device-settings.txt\n"
    "  diff FILE --slot N         list the fields in which FILE and slot N differ\n"
    "  levels [--cycles N]        print the eight levels (every second cycle also the six\n"
    "                             pots and the mute state) once per cycle until Ctrl-C\n"
    "  scan                       (--can only, no --net-id) list every unit on the bus:\n"
    "                             Net-ID, device number, device name, current preset; it\n"
    "                             only reads, so units in use are not disturbed\n"
    "\n"
    "Options:\n"
    "  --port PATH          the serial port\n"
    "  --can BACKEND:IF     the CAN bus instead of a port: socketcan:can0,\n"
    "                       virtualcan:can0 or virtualcan:tcp://127.0.0.1:PORT/can0\n"
    "  --net-id N           the unit's Net-ID on the CAN bus, 1 to 63 (default 1)\n"
    "  --password N         the device password, if it has one\n"
    "  --timeout MS         time limit of one exchange (default 6000)\n"
    "  --switch-wait MS     pause after switching slots (default 3500)\n"
    "  --store-wait MS      pause after storing a slot (default 6000)\n"
    "  --quiet              no progress on stderr\n"
    "\n"
    "Exit status: 0 success, 1 communication or file error, 2 usage error.\n";

std::optional<long long> parseInt(const std::string &text)
{
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

// The link as the user named it, for messages.
std::string linkName(const DeviceOptions &options)
{
    if (options.can.empty()) return options.port;
    return options.can + " Net-ID " + std::to_string(options.netId);
}

int deviceError(const ToolSession &session, const std::string &what)
{
    std::cerr << "zar40 device: " << what << ": " << session.errorText() << "\n";
    return ExitDeviceError;
}

// What a .vpx file can hold of RECORD: a file leaves out switched-off
// sections and the slot number, so comparisons go through the file format.
preset::PresetRecord asStoredInFile(const preset::PresetRecord &record)
{
    preset::PresetRecord out = record;
    preset::readXmlPreset(preset::xmlPresetDocument(record), out);
    out.number = record.number;
    return out;
}

std::string showField(const preset::PresetRecord &r, const preset::FieldDescriptor &f)
{
    const std::uint32_t w = preset::fieldWord(r, f);
    std::ostringstream s;
    switch (f.type) {
    case preset::FieldType::Text:
        s << '"' << preset::fieldText(r, f) << '"';
        break;
    case preset::FieldType::F32:
        s << codec::wordToFloat(w);
        break;
    default:
        s << w;
        break;
    }
    return s.str();
}



struct Parsed {
    DeviceOptions options;
    std::string command;
    std::vector<std::string> files; // positional arguments after the command
    int slot = 0;
    std::string out;
    std::string dir;
    long long cycles = -1;
};

// Returns an exit code when parsing ends the command.
std::optional<int> parse(const std::vector<std::string> &args, Parsed &p)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--quiet") {
            p.options.quiet = true;
            continue;
        }
        const bool takesValue = a == "--port" || a == "--password" || a == "--timeout" || a == "--switch-wait" ||
                                a == "--store-wait" || a == "--slot" || a == "-o" || a == "--dir" ||
                                a == "--cycles" || a == "--can" || a == "--net-id";
        if (takesValue) {
            if (i + 1 == args.size()) return usageError(kName, a + " needs a value");
            const std::string &v = args[++i];
            auto number = [&](long long lo, long long hi) -> std::optional<long long> {
                const auto n = parseInt(v);
                if (!n || *n < lo || *n > hi) return std::nullopt;
                return n;
            };
            if (a == "--port") p.options.port = v;
            else if (a == "-o") p.out = v;
            else if (a == "--dir") p.dir = v;
            else if (a == "--can") p.options.can = v;
            else if (a == "--password") {
                const auto n = number(0, 0xFFFFFFFFll);
                if (!n) return usageError(kName, "--password takes a number, not '" + v + "'");
                p.options.password = static_cast<std::uint32_t>(*n);
            } else if (a == "--slot") {
                const auto n = number(1, preset::kPresetCount);
                if (!n) return usageError(kName, "--slot takes a slot number from 1 to 32, not '" + v + "'");
                p.slot = static_cast<int>(*n);
            } else if (a == "--net-id") {
                // Net-ID 64 would need identifier 0x800, beyond a standard frame.
                const auto n = number(canbus::kMinNetId, canbus::kMaxNetId);
                if (!n) return usageError(kName, "--net-id takes a number from 1 to 63, not '" + v + "'");
                p.options.netId = static_cast<int>(*n);
            } else if (a == "--cycles") {
                const auto n = number(1, 1ll << 40);
                if (!n) return usageError(kName, "--cycles takes a positive number, not '" + v + "'");
                p.cycles = *n;
            } else {
                const auto n = number(0, 24 * 3600 * 1000);
                if (!n) return usageError(kName, a + " takes milliseconds, not '" + v + "'");
                (a == "--timeout" ? p.options.timeoutMs : a == "--switch-wait" ? p.options.switchWaitMs
                                                                                : p.options.storeWaitMs) =
                    static_cast<int>(*n);
            }
            continue;
        }
        if (a.size() > 1 && a[0] == '-') return usageError(kName, "unknown option '" + a + "'");
        if (p.command.empty()) p.command = a;
        else p.files.push_back(a);
    }
    if (p.command.empty())
        return usageError(kName, "which command? (info, read, write, backup, restore, diff, levels, scan)");
    if (p.options.port.empty() && p.options.can.empty())
        return usageError(kName, "--port PATH or --can BACKEND:INTERFACE is required");
    if (!p.options.port.empty() && !p.options.can.empty())
        return usageError(kName, "--port and --can cannot be used together");
    if (!p.options.can.empty() && !canbus::parseAddress(QString::fromStdString(p.options.can)))
        return usageError(kName, "--can takes BACKEND:INTERFACE (virtualcan:can0, socketcan:can0), not '" +
                                     p.options.can + "'");
    if (p.options.timeoutMs < 1) return usageError(kName, "--timeout must be at least 1 ms");

    auto needs = [&](bool slot, bool out, bool dir, std::size_t files) -> std::optional<int> {
        if (slot && p.slot == 0) return usageError(kName, p.command + " needs --slot N");
        if (out && p.out.empty()) return usageError(kName, p.command + " needs -o FILE.vpx");
        if (dir && p.dir.empty()) return usageError(kName, p.command + " needs --dir DIR");
        if (p.files.size() != files)
            return usageError(kName, p.command + (files ? " needs exactly one preset file" : " takes no file"));
        return std::nullopt;
    };
    if (p.command == "info" || p.command == "levels") return needs(false, false, false, 0);
    if (p.command == "scan") {
        if (p.options.can.empty()) return usageError(kName, "scan needs --can BACKEND:INTERFACE");
        return needs(false, false, false, 0);
    }
    if (p.command == "read") {
        if (auto r = needs(true, true, false, 0)) return r;
        if (preset::presetFileKind(p.out) != preset::PresetFileKind::Xml)
            return usageError(kName, "the output file must end in .vpx");
        return std::nullopt;
    }
    if (p.command == "write" || p.command == "diff") return needs(true, false, false, 1);
    if (p.command == "backup" || p.command == "restore") return needs(false, false, true, 0);
    return usageError(kName, "unknown device command '" + p.command + "'");
}

int info(ToolSession &s)
{
    codec::DeviceSettings settings{};
    for (std::uint16_t address : codec::deviceSettingsAddresses()) {
        std::uint32_t value = 0;
        if (!s.readParameter(address, value)) return deviceError(s, "reading the device settings");
        preset::PresetRecord unused{};
        codec::storeWireValue(unused, settings, address, value);
    }
    const std::uint32_t expected = codec::revisionWord(codec::kExpectedRevisionMajor, codec::kExpectedRevisionMinor);
    const std::uint32_t revision = s.reportedRevision().value_or(expected);
    std::cout << "Device name:   " << codec::deviceName(settings) << "\n"
              << "Device number: " << codec::deviceNumberText(codec::deviceNumber(settings)).substr(2) << "\n"
              << "Firmware:      Rev. " << codec::revisionMajor(revision) << "." << codec::revisionMinor(revision);
    if (revision != expected)
        std::cout << " (the editor works only with Rev. " << codec::kExpectedRevisionMajor << "."
                  << codec::kExpectedRevisionMinor << ")";
    std::cout << "\n"
              << "Keyboard lock: " << (codec::keyboardLocked(settings) ? "on" : "off") << "\n";
    return ExitOk;
}

bool readSlot(ToolSession &s, int slot, preset::PresetRecord &record, codec::DeviceSettings &settings)
{
    if (!s.switchToSlot(slot)) return false;
    record = preset::startupPreset(slot - 1);
    return s.readPreset(record, settings);
}

int read(ToolSession &s, const Parsed &p)
{
    preset::PresetRecord record{};
    codec::DeviceSettings settings{};
    if (!readSlot(s, p.slot, record, settings)) return deviceError(s, "reading slot " + std::to_string(p.slot));
    const auto res = preset::writeXmlPresetFile(record, p.out);
    if (!res) return inputError(res.message + " (" + res.detail + ")");
    if (!p.options.quiet) std::cerr << "Slot " << p.slot << " saved to " << p.out << "\n";
    return ExitOk;
}

bool writeSlot(ToolSession &s, int slot, const preset::PresetRecord &record)
{
    return s.switchToSlot(slot) && s.writePreset(record) && s.storeToSlot(slot);
}

bool loadFile(const std::string &path, preset::PresetRecord &record)
{
    return readPresetForCommand(path, record, "zar40 device");
}

int write(ToolSession &s, const Parsed &p)
{
    preset::PresetRecord record{};
    if (!loadFile(p.files[0], record)) return ExitBadInput;
    if (!s.connect()) return deviceError(s, "connecting to " + linkName(p.options));
    if (!writeSlot(s, p.slot, record)) return deviceError(s, "writing slot " + std::to_string(p.slot));
    if (!p.options.quiet) std::cerr << p.files[0] << " stored in slot " << p.slot << "\n";
    return ExitOk;
}

int diff(ToolSession &s, const Parsed &p)
{
    preset::PresetRecord file{};
    if (!loadFile(p.files[0], file)) return ExitBadInput;
    if (!s.connect()) return deviceError(s, "connecting to " + linkName(p.options));
    preset::PresetRecord device{};
    codec::DeviceSettings settings{};
    if (!readSlot(s, p.slot, device, settings)) return deviceError(s, "reading slot " + std::to_string(p.slot));
    const preset::PresetRecord a = asStoredInFile(file), b = asStoredInFile(device);
    int n = 0;
    for (const auto *f : preset::differingFields(a, b)) {
        if (f->key.field == preset::Field::Number) continue;
        std::cout << f->path << ": file " << showField(a, *f) << ", device " << showField(b, *f) << "\n";
        ++n;
    }
    if (!p.options.quiet)
        std::cerr << (n ? std::to_string(n) + " fields differ" : std::string("no differences")) << "\n";
    return ExitOk;
}

// Progress lines on stderr unless --quiet.
editor::UnitProgress progressLines(const Parsed &p)
{
    if (p.options.quiet) return {};
    return [](int, int, const QString &what) { std::cerr << what.toStdString() << "\n"; };
}

int unitError(const editor::UnitError &error)
{
    std::cerr << "zar40 device: " << error.text.toStdString() << "\n";
    return error.device ? ExitDeviceError : ExitBadInput;
}

int backup(ToolSession &s, const Parsed &p)
{
    editor::UnitError error;
    if (!editor::backupUnit(s, fs::path(p.dir), progressLines(p), error)) return unitError(error);
    if (!p.options.quiet) std::cerr << "Backup of 32 slots in " << p.dir << " verified\n";
    return ExitOk;
}

int restore(ToolSession &s, const Parsed &p)
{
    editor::UnitError error;
    // A folder with nothing to restore is refused before the unit is asked.
    if (!editor::checkRestoreFolder(fs::path(p.dir), error)) return unitError(error);
    if (!s.connect()) return deviceError(s, "connecting to " + linkName(p.options));
    if (!editor::restoreUnit(s, fs::path(p.dir), progressLines(p), error)) return unitError(error);
    return ExitOk;
}

int levels(ToolSession &s, const Parsed &p)
{
    bool withPots = false;
    for (long long cycle = 0; p.cycles < 0 || cycle < p.cycles; ++cycle) {
        std::uint32_t half[2];
        for (std::uint16_t h = 0; h < 2; ++h)
            if (!s.poll(codec::ReqReadPegelVal, h, half[h])) {
                if (zar40::comm::DeviceSession::stopRequested()) return ExitOk;
                return deviceError(s, "reading the levels");
            }
        std::cout << "levels";
        for (std::uint32_t word : half)
            for (std::uint8_t level : codec::levelBytes(word)) std::cout << " " << static_cast<int>(level);
        if (withPots) {
            std::cout << "  pots";
            for (std::uint16_t n = 1; n <= 6; ++n) {
                std::uint32_t v = 0;
                if (!s.poll(codec::ReqReadPotiVal, n, v)) {
                    if (zar40::comm::DeviceSession::stopRequested()) return ExitOk;
                    return deviceError(s, "reading the pots");
                }
                std::cout << " " << v;
            }
            std::uint32_t mute = 0;
            if (!s.poll(codec::ReqReadMuteState, 0, mute)) {
                if (zar40::comm::DeviceSession::stopRequested()) return ExitOk;
                return deviceError(s, "reading the mute state");
            }
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%08X", mute);
            std::cout << "  mute " << buf;
        }
        std::cout << std::endl;
        withPots = !withPots;
        if (p.cycles >= 0 && cycle + 1 >= p.cycles) break;
        s.pause(1000);
        if (zar40::comm::DeviceSession::stopRequested()) break;
    }
    return ExitOk;
}

void onStop(int) { zar40::comm::DeviceSession::requestStop(); }

int run(const std::vector<std::string> &args)
{
    Parsed p;
    if (auto exit = parse(args, p)) return *exit;

    QCoreApplication app(toolArgc(), toolArgv());
    if (p.command == "scan") return scanBus(p.options.can, p.options.quiet);
    zar40::comm::DeviceSession::clearStop();
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);

    ToolSession session(p.options);
    // Only reading the identity is safe with a firmware the editor refuses;
    // info says which revision the unit has.
    session.setAcceptAnyRevision(p.command == "info");
    int rc = ExitOk;
    if (p.command == "write") rc = write(session, p);
    else if (p.command == "diff") rc = diff(session, p);
    else if (p.command == "restore") rc = restore(session, p);
    else if (!session.connect()) rc = deviceError(session, "connecting to " + linkName(p.options));
    else if (p.command == "info") rc = info(session);
    else if (p.command == "read") rc = read(session, p);
    else if (p.command == "backup") rc = backup(session, p);
    else if (p.command == "levels") rc = levels(session, p);

    if (!session.close() && rc == ExitOk) rc = deviceError(session, "disconnecting");
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return rc;
}

const Registration reg{Command{kName, "read, write, back up and watch a ZAR40 over its serial line", kUsage, run}};

} // namespace
} // namespace zar40tool
