// zar40 firmware: the firmware update through the boot loader, without the
// editor, with the presets saved before and written back after.
#include "cmd_device_session.h"
#include "command.h"

#include "zar40/comm/firmware/FirmwareUpdate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace zar40tool {
namespace {

using namespace zar40::firmware;
using Result = CFirmwareUpdate::Result;

const char kName[] = "firmware";

const char kUsage[] =
    "Usage: zar40 firmware --port PATH FILE.mhx [OPTIONS]\n"
    "\n"
    "Replaces the firmware of a ZAR40 through its boot loader, as the editor's\n"
    "\"Firmware Update\" dialog does. FILE.mhx is the new firmware (S-records).\n"
    "\n"
    "Before programming, the 32 presets and the device settings are saved with\n"
    "'zar40 device backup' (the unit must be running its firmware then); after\n"
    "programming they are written back with 'zar40 device restore'. Then the tool\n"
    "knocks at 9600 baud: switch the unit off, start the update (press Enter when\n"
    "asked on a terminal) and power the unit up at once; the boot loader answers\n"
    "within the 41 knocks (about 4 seconds). Progress goes to stderr.\n"
    "\n"
    "Options:\n"
    "  --port PATH          the serial port (or the link zar40-sim prints)\n"
    "  --reset-presets      also erase and program the preset data area (the\n"
    "                       presets return to the factory ones)\n"
    "  --loader FILE        the flash loader image (9902 bytes, byte sum 0x4BA4);\n"
    "                       default: plugin/ZAR40-flashloader.bin beside the\n"
    "                       program\n"
    "  --backup DIR         where the presets are saved (default: a new folder\n"
    "                       zar40-presets-YYYYMMDD-HHMMSS here)\n"
    "  --no-backup          program without saving the presets first (for a unit\n"
    "                       whose firmware no longer runs)\n"
    "  --no-restore         save the presets but do not write them back\n"
    "  --password N         the device password, for the backup and restore\n"
    "  --switch-wait MS     passed to the backup and restore (default 3500)\n"
    "  --store-wait MS      passed to the restore (default 6000)\n"
    "  --byte-spacing US    pause between two bytes of the flash loader (default\n"
    "                       1000, what the boot loader needs; 0 for the simulator)\n"
    "  --quiet              only errors on stderr\n"
    "\n"
    "Exit status: 0 success, 1 the update failed (its message on stderr), 2 usage error.\n";

struct Parsed {
    std::string port;
    std::string file;
    std::string loader;
    std::string backupDir;
    bool backup = true;
    bool restore = true;
    bool resetPresets = false;
    bool quiet = false;
    std::vector<std::string> sessionArgs; // passed on to zar40 device
    int byteSpacingUs = 1000;
};

std::optional<long long> parseInt(const std::string &text)
{
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

std::optional<int> parse(const std::vector<std::string> &args, Parsed &p)
{
    bool backupDirGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--reset-presets") p.resetPresets = true;
        else if (a == "--no-backup") p.backup = false;
        else if (a == "--no-restore") p.restore = false;
        else if (a == "--quiet") p.quiet = true;
        else if (a == "--port" || a == "--loader" || a == "--backup" || a == "--password" || a == "--switch-wait" ||
                 a == "--store-wait" || a == "--byte-spacing") {
            if (i + 1 >= args.size()) return usageError(kName, a + " needs a value");
            const std::string &v = args[++i];
            if (a == "--port") p.port = v;
            else if (a == "--loader") p.loader = v;
            else if (a == "--backup") {
                p.backupDir = v;
                backupDirGiven = true;
            } else if (a == "--byte-spacing") {
                const auto n = parseInt(v);
                if (!n || *n < 0 || *n > 1000000) return usageError(kName, "--byte-spacing takes 0 to 1000000 microseconds");
                p.byteSpacingUs = static_cast<int>(*n);
            } else {
                if (!parseInt(v) || *parseInt(v) < 0) return usageError(kName, a + " takes a number, not '" + v + "'");
                p.sessionArgs.insert(p.sessionArgs.end(), {a, v});
            }
        } else if (!a.empty() && a[0] == '-') {
            return usageError(kName, "unknown option " + a);
        } else if (p.file.empty()) {
            p.file = a;
        } else {
            return usageError(kName, "one firmware file only");
        }
    }
    if (p.port.empty()) return usageError(kName, "--port PATH is required");
    if (p.file.empty()) return usageError(kName, "which firmware file?");
    if (backupDirGiven && !p.backup) return usageError(kName, "--backup and --no-backup exclude each other");
    if (p.backup && p.backupDir.empty())
        p.backupDir = "zar40-presets-" + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    return std::nullopt;
}

// The presets go through 'zar40 device', so that the update saves and
// restores them exactly as a backup made by hand.
int runDevice(const Parsed &p, const std::string &what)
{
    for (const auto &c : registry()) {
        if (c.name != "device") continue;
        std::vector<std::string> args{"--port", p.port};
        args.insert(args.end(), p.sessionArgs.begin(), p.sessionArgs.end());
        if (p.quiet) args.push_back("--quiet");
        args.insert(args.end(), {what, "--dir", p.backupDir});
        return c.run(args);
    }
    std::cerr << "zar40 firmware: the device command is missing\n";
    return ExitDeviceError;
}

void waitForEnter(const char *text)
{
    std::cerr << text << std::flush;
    std::string line;
    std::getline(std::cin, line);
}

volatile std::sig_atomic_t g_stop = 0;
void onStop(int) { g_stop = 1; }

int update(const Parsed &p, const FlashLoaderImage &image)
{
    QCoreApplication app(toolArgc(), toolArgv());

    CFirmwareUpdate fw;
    UpdateTimings timings;
    timings.imageByteSpacingUs = p.byteSpacingUs;
    fw.setTimings(timings);

    const bool tty = isatty(STDERR_FILENO);
    int rangeMin = 0, rangeMax = 0, lastShown = -1;
    auto text = [](QString t) { return t.replace(QLatin1String("\r\n"), QLatin1String("\n")).toStdString(); };
    QObject::connect(&fw, &CFirmwareUpdate::logReset, [&](const QString &t) {
        if (!p.quiet) std::cerr << text(t) << std::flush;
    });
    QObject::connect(&fw, &CFirmwareUpdate::logAppended, [&](const QString &t) {
        if (p.quiet) return;
        if (tty && lastShown >= 0) std::cerr << "\r\033[K";
        lastShown = -1;
        std::cerr << text(t) << std::flush;
    });
    QObject::connect(&fw, &CFirmwareUpdate::progressRange, [&](int lo, int hi) {
        rangeMin = lo;
        rangeMax = hi;
        lastShown = -1;
    });
    QObject::connect(&fw, &CFirmwareUpdate::progressValue, [&](int v) {
        if (p.quiet || rangeMax <= rangeMin || v <= rangeMin) return;
        const int percent = static_cast<int>(100LL * (v - rangeMin) / (rangeMax - rangeMin));
        // On a terminal one line that counts; in a log every tenth.
        if (tty) {
            if (percent == lastShown) return;
            std::cerr << "\r\033[K  " << percent << "%" << std::flush;
        } else {
            if (percent / 10 == lastShown / 10 && lastShown >= 0) return;
            std::cerr << "\n  " << percent << "%" << std::flush;
        }
        lastShown = percent;
    });
    Result result = Result::Cancelled;
    QString message;
    bool done = false;
    QObject::connect(&fw, &CFirmwareUpdate::finished, [&](Result r, const QString &m) {
        result = r;
        message = m;
        done = true;
        app.quit();
    });
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, [&] {
        if (g_stop) fw.cancel();
    });
    stopCheck.start(100);

    if (fw.start(QString::fromStdString(p.port), QString::fromStdString(p.file), image, p.resetPresets) && !done)
        app.exec();
    if (!p.quiet) std::cerr << "\n";
    if (result != Result::Success) {
        std::cerr << message.toStdString() << "\n";
        if (fw.errorCode()) std::cerr << "(wrong reply in phase " << fw.errorCode() << ")\n";
        return ExitDeviceError;
    }
    if (!p.quiet)
        std::cerr << fw.recordsAcknowledged() << " records acknowledged, " << fw.recordsSentUnchanged()
                  << " programmed\n";
    return ExitOk;
}

// plugin/ZAR40-flashloader.bin beside the program, wherever it was started
// from and through whichever link. Qt knows the program's folder only once a
// QCoreApplication exists, and none does yet when the loader is checked.
QString loaderBesideProgram()
{
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (program.isEmpty()) return defaultFlashLoaderPath();
    return QFileInfo(program).dir().filePath(QStringLiteral("plugin/") + QLatin1String(kFlashLoaderFileName));
}

int run(const std::vector<std::string> &args)
{
    Parsed p;
    if (auto exit = parse(args, p)) return *exit;

    // Everything that can be checked without the unit is checked before
    // anything is sent to it.
    const QString loaderPath = p.loader.empty() ? loaderBesideProgram() : QString::fromStdString(p.loader);
    QString error;
    const auto image = loadFlashLoader(loaderPath, &error);
    if (!image) return inputError("zar40 firmware: " + error.toStdString());
    {
        std::ifstream in(p.file, std::ios::binary);
        if (!in) return inputError("zar40 firmware: " + std::string(kFileOpenErrorText) + ": " + p.file);
        const FirmwareFile file = readFirmwareFile(in);
        if (file.tooLarge) return inputError("zar40 firmware: " + tooLargeText(QString::fromStdString(p.file)).toStdString());
        if (!p.quiet) {
            std::cerr << p.file << ": " << file.lines.size() << " lines, " << file.dataRecords << " S2 records\n";
            if (file.malformedS2)
                std::cerr << "warning: " << file.malformedS2
                          << " damaged S2 lines will be answered with the placeholder record, not programmed\n";
            if (file.badChecksums)
                std::cerr << "warning: " << file.badChecksums << " S2 records have a wrong checksum\n";
            if (isStandIn(image->bytes))
                std::cerr << "warning: " << loaderPath.toStdString()
                          << " is the stand-in flash loader, for the simulator only\n";
        }
    }

    if (p.backup) {
        if (!p.quiet) std::cerr << "Saving the presets to " << p.backupDir << "\n";
        if (runDevice(p, "backup") != ExitOk) {
            std::cerr << "zar40 firmware: the presets could not be saved; nothing was programmed. A unit that does "
                         "not run its firmware can only be updated with --no-backup.\n";
            return ExitDeviceError;
        }
    }

    if (!p.quiet) std::cerr << kInstructionsText << "\n";
    if (isatty(STDIN_FILENO)) waitForEnter("Press Enter to start knocking, then power the ZAR40 up. ");

    g_stop = 0;
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    const int rc = update(p, *image);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (rc != ExitOk) {
        if (p.backup) std::cerr << "The presets saved before are in " << p.backupDir << "\n";
        return rc;
    }

    if (p.backup && p.restore) {
        if (isatty(STDIN_FILENO)) waitForEnter("Restart the ZAR40, then press Enter to write the presets back. ");
        if (!p.quiet) std::cerr << "Writing the presets back from " << p.backupDir << "\n";
        if (runDevice(p, "restore") != ExitOk) {
            std::cerr << "zar40 firmware: the firmware was programmed, but the presets could not be written back; "
                         "'zar40 device --port " << p.port << " restore --dir " << p.backupDir << "' does it later.\n";
            return ExitDeviceError;
        }
    }
    return ExitOk;
}

const Registration reg{Command{kName, "update a ZAR40's firmware through its boot loader", kUsage, run}};

} // namespace
} // namespace zar40tool
