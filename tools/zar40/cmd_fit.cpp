// Measurement commands:
//   zar40 fit PRESET --channel N --measurement FILE ... -o OUT.vpx
//   zar40 eq export PRESET --channel N [-o FILE]
//   zar40 eq import PRESET --channel N FILE -o OUT.vpx
#include "command.h"
#include "measurement_input.h"
#include "preset_input.h"

#include "zar40/measurement/band_text.h"
#include "zar40/measurement/fit.h"
#include "zar40/model/preset_signal.h"
#include "zar40/preset/preset_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace zar40tool {
namespace {

namespace dsp = zar40::dsp;
namespace ms = zar40::measurement;
namespace preset = zar40::preset;

std::string channelName(int channel)
{
    static const char *inputs[] = {"input A", "Summe", "input B"};
    return channel < preset::kFirstOutput ? inputs[channel]
                                          : "output " + std::to_string(channel - preset::kFirstOutput + 1);
}

std::string bandLine(std::size_t index, const dsp::EqBandSettings &b)
{
    char text[160];
    if (b.type == dsp::EqBypass)
        std::snprintf(text, sizeof text, "band %zu: off", index + 1);
    else
        std::snprintf(text, sizeof text, "band %zu: %s %d Hz Q %.1f %+.1f dB", index + 1,
                      std::string(dsp::EqBandTypeName(b.type)).c_str(), b.frequencyHz, double(b.q), double(b.gainDb));
    return text;
}

bool writePreset(const std::string &command, const preset::PresetRecord &record, const std::string &out)
{
    const preset::Result res = preset::writeXmlPresetFile(record, out);
    if (!res.ok)
        std::cerr << "zar40 " << command << ": " << res.message << "\n(" << res.detail << ")\n";
    return res.ok;
}

// ---- zar40 fit ----------------------------------------------------------------

struct FitArgs {
    std::string preset, measurement, target = "flat", out;
    int channel = -1;
    std::optional<std::pair<double, double>> range;
    std::optional<std::vector<int>> bands;
    double maxBoost = 6.0;
    int smoothing = 6;
};

int parseFitArgs(const std::vector<std::string> &args, FitArgs &a)
{
    const std::string cmd = "fit";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &opt = args[i];
        const bool takesValue = opt == "--channel" || opt == "--measurement" || opt == "--target" ||
                                opt == "--range" || opt == "--bands" || opt == "--max-boost" ||
                                opt == "--smoothing" || opt == "-o";
        if (takesValue && i + 1 == args.size())
            return usageError(cmd, opt + " needs a value");
        if (opt == "--channel") {
            const auto c = parseChannel(args[++i]);
            if (!c)
                return usageError(cmd, "--channel takes a channel index from 0 to 8, not '" + args[i] + "'");
            a.channel = *c;
        } else if (opt == "--measurement") {
            a.measurement = args[++i];
        } else if (opt == "--target") {
            a.target = args[++i];
        } else if (opt == "--range") {
            const std::string &v = args[++i];
            const auto comma = v.find(',');
            const auto lo = comma == std::string::npos ? std::nullopt : parseDouble(v.substr(0, comma));
            const auto hi = comma == std::string::npos ? std::nullopt : parseDouble(v.substr(comma + 1));
            if (!lo || !hi || *lo < 1.0 || *hi <= *lo || *hi > 48000.0)
                return usageError(cmd, "--range takes LO,HI in Hz with LO below HI, up to 48000, not '" + v + "'");
            a.range = std::make_pair(*lo, *hi);
        } else if (opt == "--bands") {
            std::vector<int> list;
            std::stringstream s(args[++i]);
            std::string item;
            while (std::getline(s, item, ',')) {
                if (item.size() != 1 || item[0] < '1' || item[0] > '5')
                    return usageError(cmd, "--bands takes band numbers 1 to 5 separated by commas");
                list.push_back(item[0] - '0');
            }
            if (list.empty())
                return usageError(cmd, "--bands takes band numbers 1 to 5 separated by commas");
            a.bands = list;
        } else if (opt == "--max-boost") {
            const auto v = parseDouble(args[++i]);
            if (!v || *v < 0.0 || *v > ms::kMaxBoostLimitDb)
                return usageError(cmd, "--max-boost takes a gain from 0 to 12 dB, not '" + args[i] + "'");
            a.maxBoost = *v;
        } else if (opt == "--smoothing") {
            const std::string &v = args[++i];
            if (v == "off" || v == "none") {
                a.smoothing = 0;
            } else {
                const auto n = v.rfind("1/", 0) == 0 ? parseDouble(v.substr(2)) : std::nullopt;
                if (!n || *n != std::floor(*n) || *n < 1 || *n > ms::kMaxSmoothingFraction)
                    return usageError(cmd, "--smoothing takes 1/N (N from 1 to 48) or off, not '" + v + "'");
                a.smoothing = static_cast<int>(*n);
            }
        } else if (opt == "-o") {
            a.out = args[++i];
        } else if (opt.size() > 1 && opt[0] == '-') {
            return usageError(cmd, "unknown option '" + opt + "'");
        } else if (a.preset.empty()) {
            a.preset = opt;
        } else {
            return usageError(cmd, "unexpected argument '" + opt + "'");
        }
    }
    if (a.preset.empty())
        return usageError(cmd, "expects a preset file");
    if (a.channel < 0)
        return usageError(cmd, "expects --channel N");
    if (a.measurement.empty())
        return usageError(cmd, "expects --measurement FILE");
    if (a.out.empty() || preset::presetFileKind(a.out) != preset::PresetFileKind::Xml)
        return usageError(cmd, "expects -o OUT.vpx");
    return ExitOk;
}

// The target: flat, tilt:DB (per decade) or a response file.
int readTarget(const std::string &text, ms::FitTarget &target)
{
    if (text == "flat") {
        target.kind = ms::TargetKind::Flat;
        return ExitOk;
    }
    if (text.rfind("tilt:", 0) == 0) {
        const auto db = parseDouble(text.substr(5));
        if (!db || std::fabs(*db) > 40.0)
            return usageError("fit", "--target tilt:DB takes dB per decade from -40 to 40, not '" + text + "'");
        target.kind = ms::TargetKind::Tilt;
        target.tiltDbPerDecade = *db;
        return ExitOk;
    }
    target.kind = ms::TargetKind::File;
    return readMeasurementForCommand("fit", text, target.file) ? ExitOk : ExitBadInput;
}

int runFit(const std::vector<std::string> &args)
{
    FitArgs a;
    if (const int rc = parseFitArgs(args, a); rc != ExitOk)
        return rc;
    ms::FitOptions options;
    if (const int rc = readTarget(a.target, options.target); rc != ExitOk)
        return rc;
    preset::PresetRecord record;
    if (!readPresetForCommand(a.preset, record))
        return ExitBadInput;
    ms::Measurement m;
    if (!readMeasurementForCommand("fit", a.measurement, m))
        return ExitBadInput;

    const ms::Bands current = bandsOf(record, a.channel);
    {
        // Keep the target already read; the rest comes from the channel.
        ms::FitTarget target = std::move(options.target);
        if (a.channel >= preset::kFirstOutput) {
            const int output = a.channel - preset::kFirstOutput;
            const preset::OutputChannel &o = record.outputs[static_cast<std::size_t>(output)];
            const dsp::CrossoverSettings highCut = zar40::model::toCrossover(o.highCut);
            const dsp::CrossoverSettings lowCut = zar40::model::toCrossover(o.lowCut);
            options = ms::defaultFitOptions(current, &highCut, &lowCut);
        } else {
            options = ms::defaultFitOptions(current);
        }
        options.target = std::move(target);
    }
    if (a.range) {
        options.lowHz = a.range->first;
        options.highHz = a.range->second;
    }
    // Naming bands releases them, set or not.
    if (a.bands)
        for (std::size_t b = 0; b < dsp::kEqBands; ++b)
            options.usable[b] = std::find(a.bands->begin(), a.bands->end(), int(b) + 1) != a.bands->end();
    options.maxBoostDb = a.maxBoost;
    options.smoothingFraction = a.smoothing;

    const ms::FitResult r = ms::fitEq(m, current, options);
    if (!r.ok)
        return inputError("zar40 fit: " + r.message);
    char line[200];
    std::snprintf(line, sizeof line, "zar40 fit: %s, %.0f-%.0f Hz\nresidual before: RMS %.2f dB, max %.2f dB\n",
                  channelName(a.channel).c_str(), options.lowHz, options.highHz, r.before.rmsDb, r.before.maxDb);
    std::cerr << line;
    std::snprintf(line, sizeof line, "residual after:  RMS %.2f dB, max %.2f dB\n", r.after.rmsDb, r.after.maxDb);
    std::cerr << line;
    if (!r.improved)
        std::cerr << "no setting of the free bands lowers the residual; the bands are unchanged\n";
    for (std::size_t b = 0; b < r.bands.size(); ++b)
        std::cerr << bandLine(b, r.bands[b]) << (options.usable[b] ? "" : " (kept)") << "\n";
    setBands(record, a.channel, r.bands);
    return writePreset("fit", record, a.out) ? ExitOk : ExitBadInput;
}

// ---- zar40 eq -----------------------------------------------------------------

int runEq(const std::vector<std::string> &args)
{
    const std::string cmd = "eq";
    if (args.empty() || (args[0] != "export" && args[0] != "import"))
        return usageError(cmd, "expects export or import");
    const bool exporting = args[0] == "export";
    std::vector<std::string> files;
    std::string out;
    int channel = -1;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &opt = args[i];
        if ((opt == "--channel" || opt == "-o") && i + 1 == args.size())
            return usageError(cmd, opt + " needs a value");
        if (opt == "--channel") {
            const auto c = parseChannel(args[++i]);
            if (!c)
                return usageError(cmd, "--channel takes a channel index from 0 to 8, not '" + args[i] + "'");
            channel = *c;
        } else if (opt == "-o") {
            out = args[++i];
        } else if (opt.size() > 1 && opt[0] == '-') {
            return usageError(cmd, "unknown option '" + opt + "'");
        } else {
            files.push_back(opt);
        }
    }
    if (channel < 0)
        return usageError(cmd, "expects --channel N");
    if (files.size() != (exporting ? 1u : 2u))
        return usageError(cmd, exporting ? "export expects one preset file" : "import expects a preset file and a band text file");
    if (!exporting && (out.empty() || preset::presetFileKind(out) != preset::PresetFileKind::Xml))
        return usageError(cmd, "import expects -o OUT.vpx");

    preset::PresetRecord record;
    if (!readPresetForCommand(files[0], record))
        return ExitBadInput;
    if (exporting) {
        const ms::BandTextWrite w = ms::writeBandText(bandsOf(record, channel));
        if (!w.ok)
            return inputError("zar40 eq export: " + w.message);
        if (out.empty()) {
            std::cout << w.text;
            return ExitOk;
        }
        const preset::Result res = preset::writeFileAtomically(out, w.text);
        if (!res.ok)
            return inputError("zar40 eq export: cannot write " + out + " (" + res.detail + ")");
        return ExitOk;
    }
    std::ifstream in(files[1], std::ios::binary);
    if (!in)
        return inputError("zar40 eq import: " + files[1] + ": cannot open the file");
    std::string text;
    char chunk[65536];
    while (in && text.size() <= ms::kMaxBandTextBytes) {
        in.read(chunk, sizeof chunk);
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    const ms::BandTextRead r = ms::readBandText(text);
    if (!r.ok)
        return inputError("zar40 eq import: " + files[1] + ": " + r.errorText());
    setBands(record, channel, r.bands);
    return writePreset("eq import", record, out) ? ExitOk : ExitBadInput;
}

const Registration fitCommand{{
    "fit",
    "fits a channel's equalizer bands to a measurement",
    "Usage: zar40 fit PRESET --channel N --measurement FILE [--target flat|tilt:DB|FILE]\n"
    "                 [--range LO,HI] [--bands 1,2,3,4,5] [--max-boost DB] [--smoothing 1/N]\n"
    "                 -o OUT.vpx\n\n"
    "Sets channel N's free equalizer bands (channel index: 0 input A, 1 Summe,\n"
    "2 input B, 3..8 outputs 1..6) so that the measured response FILE with the\n"
    "channel's bands follows the target, and writes the preset to OUT.vpx.\n\n"
    "  --measurement FILE  frequency response text (.txt, .frd, .csv, .dat): one point\n"
    "                      per line, Hz, dB and optionally degrees\n"
    "  --target T          flat (default), tilt:DB (dB per decade about 1 kHz) or a\n"
    "                      response file in the same format\n"
    "  --range LO,HI       frequencies weighed (default 20,20000; for an output the\n"
    "                      passband between its low cut and high cut)\n"
    "  --bands LIST        bands the fit may set (default: the bands that are off);\n"
    "                      a band named here is released even when set\n"
    "  --max-boost DB      highest boost, 0 to 12 (default 6); cuts go to -20 dB\n"
    "  --smoothing 1/N     smoothing of the measurement before fitting (default 1/6\n"
    "                      octave; off for none)\n\n"
    "The target is placed at the level that matches the measurement best; the\n"
    "channel's gain sets the level. stderr shows the residual (RMS and maximum\n"
    "deviation in dB within the range) before and after, and the bands. A fit that\n"
    "does not lower the residual leaves the bands as they are.\n"
    "Exit status: 0 written, 1 bad input, 2 usage error.\n",
    runFit,
}};

const Registration eqCommand{{
    "eq",
    "exports or imports a channel's bands as equalizer text",
    "Usage: zar40 eq export PRESET --channel N [-o FILE]\n"
    "       zar40 eq import PRESET --channel N FILE -o OUT.vpx\n\n"
    "Exchanges channel N's five bands as equalizer text, one line per band:\n"
    "  Filter 1: ON PK Fc 1000 Hz Gain -3.0 dB Q 1.41\n"
    "Types: PK (PEQ II; a PEQ I cut is written as the PK of the same curve),\n"
    "LSC/HSC and LS/HS (Low/High Shelf 12dB; Q 0.71 when none is given), LS 6dB/HS 6dB\n"
    "(Low/High Shelf 6dB), LP, HP, BP, NO (Band Stop), AP (All Pass II); OFF lines\n"
    "and bands not named are off. Anything the device has no counterpart for is\n"
    "refused with the line it is on. export prints to stdout without -o.\n"
    "Exit status: 0 success, 1 bad input, 2 usage error.\n",
    runEq,
}};

} // namespace
} // namespace zar40tool
