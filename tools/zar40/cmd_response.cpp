// Response commands: the curves the editor's diagrams draw, as CSV.
//   zar40 response FILE ...   equalizer and crossover magnitude and phase
//   zar40 dynamics FILE ...   an output's dynamics transfer curve
// The curves are those of zar40/model, which the editor's diagrams draw too.
#include "command.h"
#include "measurement_input.h"
#include "preset_input.h"

#include "zar40/dsp/filter_section.h"
#include "zar40/measurement/response.h"
#include "zar40/model/preset_signal.h"
#include "zar40/preset/parameter_facts.h"
#include "zar40/preset/record.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace zar40tool {
namespace {

namespace dsp = zar40::dsp;
namespace model = zar40::model;
namespace preset = zar40::preset;

constexpr std::size_t kDefaultPoints = 100;
// Curves span what a band or a crossover can be set to, as the diagrams do.
constexpr const preset::ParameterFacts &kFrequencies = preset::kEqFrequencyFacts;
constexpr std::size_t kMaxPoints = 100000;
constexpr std::size_t kMaxListValues = 100000;

// ---- Arguments ---------------------------------------------------------------

bool parseInt(const std::string &text, int &value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseNumber(const std::string &text, double &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// A comma-separated list of finite numbers.
std::optional<std::vector<double>> parseNumberList(const std::string &text)
{
    std::vector<double> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        double v = 0.0;
        if (!parseNumber(text.substr(start, comma - start), v) || values.size() == kMaxListValues)
            return std::nullopt;
        values.push_back(v);
        start = comma + 1;
    }
    return values;
}

// "%.6f", with -inf for silence and no sign on a zero.
std::string formatValue(double v)
{
    if (std::isnan(v))
        return "nan";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6f", v);
    std::string s = buffer;
    if (s == "-0.000000")
        s.erase(0, 1);
    return s;
}

// A limit in the help texts: "20", "-40".
std::string wholeNumber(double v) { return std::to_string(std::lround(v)); }

// ---- zar40 response ----------------------------------------------------------

enum class Curve { None, Band, Eq, Output, Sum };

struct ResponseArgs {
    std::string file;
    Curve curve = Curve::None;
    int channel = -1;
    int band = 0;
    bool eq = false;
    int output = 0;
    std::vector<int> sumOf;
    bool noPeq = false;
    std::optional<std::vector<double>> freqs;
    std::optional<std::size_t> points;
    std::string measurement;
    bool normalise = true;
};

int parseResponseArgs(const std::vector<std::string> &args, ResponseArgs &a)
{
    const std::string cmd = "response";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &opt = args[i];
        const bool takesValue = opt == "--channel" || opt == "--band" || opt == "--output" || opt == "--sum-of" ||
                                opt == "--freqs" || opt == "--points" || opt == "--measurement" ||
                                opt == "--normalise";
        if (takesValue && i + 1 == args.size())
            return usageError(cmd, opt + " needs a value");
        if (opt == "--channel") {
            if (!parseInt(args[++i], a.channel) || a.channel < 0 || a.channel >= preset::kChannelCount)
                return usageError(cmd, "--channel takes a channel index from 0 to 8, not '" + args[i] + "'");
        } else if (opt == "--band") {
            if (!parseInt(args[++i], a.band) || a.band < 1 || a.band > preset::kBandCount)
                return usageError(cmd, "--band takes a band number from 1 to 5, not '" + args[i] + "'");
        } else if (opt == "--eq") {
            a.eq = true;
        } else if (opt == "--output") {
            if (!parseInt(args[++i], a.output) || a.output < 1 || a.output > preset::kOutputCount)
                return usageError(cmd, "--output takes an output number from 1 to 6, not '" + args[i] + "'");
        } else if (opt == "--sum-of") {
            const auto list = parseNumberList(args[++i]);
            if (!list)
                return usageError(cmd, "--sum-of takes output numbers separated by commas, not '" + args[i] + "'");
            for (double v : *list) {
                const int n = static_cast<int>(v);
                if (v != n || n < 1 || n > preset::kOutputCount)
                    return usageError(cmd, "--sum-of takes output numbers from 1 to 6");
                if (std::find(a.sumOf.begin(), a.sumOf.end(), n) != a.sumOf.end())
                    return usageError(cmd, "--sum-of names output " + std::to_string(n) + " twice");
                a.sumOf.push_back(n);
            }
        } else if (opt == "--no-peq") {
            a.noPeq = true;
        } else if (opt == "--measurement") {
            a.measurement = args[++i];
        } else if (opt == "--normalise") {
            const std::string &v = args[++i];
            if (v != "mid" && v != "off")
                return usageError(cmd, "--normalise takes mid or off, not '" + v + "'");
            a.normalise = v == "mid";
        } else if (opt == "--freqs") {
            a.freqs = parseNumberList(args[++i]);
            if (!a.freqs || std::any_of(a.freqs->begin(), a.freqs->end(), [](double f) { return f < 0.0; }))
                return usageError(cmd, "--freqs takes frequencies in Hz (0 or more) separated by commas");
        } else if (opt == "--points") {
            int p = 0;
            if (!parseInt(args[++i], p) || p < 1 || static_cast<std::size_t>(p) > kMaxPoints)
                return usageError(cmd, "--points takes a number from 1 to 100000, not '" + args[i] + "'");
            a.points = static_cast<std::size_t>(p);
        } else if (opt.size() > 1 && opt[0] == '-') {
            return usageError(cmd, "unknown option '" + opt + "'");
        } else if (a.file.empty()) {
            a.file = opt;
        } else {
            return usageError(cmd, "unexpected argument '" + opt + "'");
        }
    }
    if (a.file.empty())
        return usageError(cmd, "expects a preset file");

    const bool channel = a.channel >= 0;
    const int modes = (channel ? 1 : 0) + (a.output ? 1 : 0) + (a.sumOf.empty() ? 0 : 1);
    if (modes != 1)
        return usageError(cmd, "choose one of --channel N (with --band K or --eq), --output N or --sum-of LIST");
    if (channel) {
        if ((a.band != 0) == a.eq)
            return usageError(cmd, "--channel needs either --band K or --eq");
        if (a.noPeq)
            return usageError(cmd, "--no-peq goes with --output or --sum-of");
        a.curve = a.eq ? Curve::Eq : Curve::Band;
    } else {
        if (a.band != 0 || a.eq)
            return usageError(cmd, "--band and --eq go with --channel");
        a.curve = a.output ? Curve::Output : Curve::Sum;
    }
    if (a.freqs && a.points)
        return usageError(cmd, "give either --freqs or --points, not both");
    if (!a.measurement.empty() && a.curve == Curve::Sum)
        return usageError(cmd, "--measurement goes with --channel or --output (one measurement, one channel)");
    return ExitOk;
}

// Refused parts are a note (the editor draws them as bypass without a
// word); sections that are not finite are a warning, because a file asked
// for something no curve can show.
void notePart(const std::string &where, const dsp::PartProblem &p, const char *refusedText)
{
    if (p.refused)
        std::cerr << "note: " << where << refusedText << "; drawn as bypass\n";
    else if (p.notFinite)
        std::cerr << "warning: " << where << " gives filter coefficients that are not finite numbers; left out, "
                     "drawn as bypass\n";
}

void noteProblems(const dsp::ChainProblems &p, const std::string &where)
{
    for (std::size_t i = 0; i < p.bands.size(); ++i)
        notePart(where + " band " + std::to_string(i + 1), p.bands[i], " has no known band type");
    notePart(where + " high cut", p.lowPass, " has no known crossover type");
    notePart(where + " low cut", p.highPass, " has no known crossover type");
}

int runResponse(const std::vector<std::string> &args)
{
    ResponseArgs a;
    if (const int rc = parseResponseArgs(args, a); rc != ExitOk)
        return rc;
    preset::PresetRecord record;
    if (!readPresetForCommand(a.file, record))
        return ExitBadInput;
    zar40::measurement::Measurement measurement;
    if (!a.measurement.empty() && !readMeasurementForCommand("response", a.measurement, measurement))
        return ExitBadInput;

    // The sections of the chosen curve: one chain, or a buffer of chains.
    std::vector<dsp::FilterSection> sections;
    std::size_t perChain = 0;
    switch (a.curve) {
    case Curve::Band: {
        const dsp::EqBandSettings s = model::channelBands(record, a.channel)[static_cast<std::size_t>(a.band - 1)];
        dsp::FilterSection section;
        dsp::PartProblem problem;
        dsp::designEqSectionOrUnity(s, section, &problem);
        if (problem.refused)
            std::cerr << "note: channel " << a.channel << " band " << a.band << " has type code " << s.type
                      << ", which is no band type; drawn as bypass\n";
        else
            notePart("channel " + std::to_string(a.channel) + " band " + std::to_string(a.band), problem, "");
        sections.push_back(section);
        break;
    }
    case Curve::Eq: {
        dsp::ChainProblems problems;
        const dsp::EqChain chain = model::channelEqChain(record, a.channel, &problems);
        for (std::size_t b = 0; b < chain.size(); ++b) {
            if (problems.bands[b].refused)
                std::cerr << "note: channel " << a.channel << " band " << b + 1 << " has type code "
                          << model::channelBands(record, a.channel)[b].type << ", which is no band type; drawn as bypass\n";
            else
                notePart("channel " + std::to_string(a.channel) + " band " + std::to_string(b + 1), problems.bands[b], "");
        }
        sections.assign(chain.begin(), chain.end());
        break;
    }
    case Curve::Output: {
        const int output = a.output - 1;
        if (!model::outputDrawsCurve(record.outputs[static_cast<std::size_t>(output)]))
            std::cerr << "note: both crossover filters of output " << a.output
                      << " are bypassed; the editor draws no curve for it\n";
        dsp::ChainProblems problems;
        const dsp::OutputChain chain = model::outputChainOf(record, output, !a.noPeq, &problems);
        noteProblems(problems, "output " + std::to_string(a.output));
        sections.assign(chain.begin(), chain.end());
        break;
    }
    case Curve::Sum: {
        std::vector<int> outputs;
        for (int n : a.sumOf)
            outputs.push_back(n - 1);
        std::vector<dsp::ChainProblems> problems;
        const dsp::ResultBuffer buffer = model::resultBufferOf(record, outputs, !a.noPeq, &problems);
        for (std::size_t i = 0; i < problems.size(); ++i)
            noteProblems(problems[i], "output " + std::to_string(a.sumOf[i]));
        sections.assign(buffer.begin(), buffer.end());
        perChain = dsp::kOutputChainSections;
        break;
    }
    case Curve::None:
        return ExitUsage;
    }

    std::vector<float> freqs;
    if (a.freqs) {
        for (double f : *a.freqs)
            freqs.push_back(static_cast<float>(f));
    } else {
        freqs = dsp::logSpacedFrequencies(kFrequencies.min, kFrequencies.max, a.points.value_or(kDefaultPoints));
    }

    if (!a.measurement.empty()) {
        namespace ms = zar40::measurement;
        const ms::Curve measured =
            ms::onFrequencies(measurement, freqs, a.normalise ? ms::Normalisation::MidBand : ms::Normalisation::Off);
        const ms::Curve predicted = ms::predict(measured, sections.data(), sections.size());
        const bool phase = measured.hasPhase();
        std::string out = phase ? "frequency_hz,measured_db,predicted_db,measured_phase_deg,predicted_phase_deg\n"
                                : "frequency_hz,measured_db,predicted_db\n";
        for (std::size_t k = 0; k < freqs.size(); ++k) {
            out += formatValue(freqs[k]) + "," + formatValue(measured.magnitudeDb[k]) + "," +
                   formatValue(predicted.magnitudeDb[k]);
            if (phase)
                out += "," + formatValue(measured.phaseDeg[k]) + "," + formatValue(predicted.phaseDeg[k]);
            out += "\n";
        }
        std::cout << out;
        return ExitOk;
    }

    std::string out = "frequency_hz,magnitude_db,phase_deg\n";
    for (float f : freqs) {
        double mag, phase;
        if (perChain) {
            mag = dsp::SumMagnitude(f, sections.data(), perChain, sections.size());
            phase = dsp::SumPhase(f, sections.data(), perChain, sections.size());
        } else {
            mag = dsp::CascadeMagnitude(f, sections.data(), sections.size());
            phase = dsp::CascadePhase(f, sections.data(), sections.size());
        }
        out += formatValue(f) + "," + formatValue(mag) + "," + formatValue(phase) + "\n";
    }
    std::cout << out;
    return ExitOk;
}

// ---- zar40 dynamics ----------------------------------------------------------

int runDynamics(const std::vector<std::string> &args)
{
    const std::string cmd = "dynamics";
    std::string file;
    int output = 0;
    std::optional<std::vector<double>> inputs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &opt = args[i];
        if ((opt == "--output" || opt == "--inputs") && i + 1 == args.size())
            return usageError(cmd, opt + " needs a value");
        if (opt == "--output") {
            if (!parseInt(args[++i], output) || output < 1 || output > preset::kOutputCount)
                return usageError(cmd, "--output takes an output number from 1 to 6, not '" + args[i] + "'");
        } else if (opt == "--inputs") {
            inputs = parseNumberList(args[++i]);
            if (!inputs)
                return usageError(cmd, "--inputs takes levels in dBu separated by commas, not '" + args[i] + "'");
        } else if (opt.size() > 1 && opt[0] == '-') {
            return usageError(cmd, "unknown option '" + opt + "'");
        } else if (file.empty()) {
            file = opt;
        } else {
            return usageError(cmd, "unexpected argument '" + opt + "'");
        }
    }
    if (file.empty())
        return usageError(cmd, "expects a preset file");
    if (!output)
        return usageError(cmd, "expects --output N");
    if (!inputs) {
        inputs.emplace();
        for (int level = static_cast<int>(dsp::kDynPlotMin); level <= static_cast<int>(dsp::kDynPlotMax); ++level)
            inputs->push_back(level);
    }

    preset::PresetRecord record;
    if (!readPresetForCommand(file, record))
        return ExitBadInput;
    const dsp::DynamicsSettings s = model::toDynamics(record.outputs[static_cast<std::size_t>(output - 1)].DYNAMIC);
    const bool bypassed = s.type == dsp::DynBypass;
    const dsp::KneeCurve curve = dsp::ComputeKneeCurve(s.threshold, s.knee, s.ratio);
    if (bypassed)
        std::cerr << "note: the dynamics of output " << output
                  << " are bypassed; levels pass unchanged and the editor draws no curve\n";
    else if (!curve.defined)
        std::cerr << "note: output " << output << " has a ratio of " << s.ratio
                  << ", for which there is no curve; the editor draws none and levels pass with the gain only\n";

    std::string out = "input_dbu,output_dbu\n";
    for (double x : *inputs) {
        const double y = bypassed ? x : dsp::DynamicsOutputLevel(x, s.threshold, s.knee, s.ratio, s.gain, curve);
        out += formatValue(x) + "," + formatValue(y) + "\n";
    }
    std::cout << out;
    return ExitOk;
}

const Registration responseCommand{{
    "response",
    "print an equalizer or crossover response of a preset file as CSV",
    "Usage: zar40 response FILE CURVE [--freqs F1,F2,... | --points P]\n"
    "                      [--measurement FILE [--normalise mid|off]]\n\n"
    "Prints the magnitude and phase that the editor's diagrams draw for FILE (.vpx or\n"
    ".vpf), computed as digital filter sections at 96 kHz. CURVE is one of:\n"
    "  --channel N --band K      one equalizer band (channel index N: 0 input A,\n"
    "                            1 Summe, 2 input B, 3..8 outputs 1..6; band K 1..5)\n"
    "  --channel N --eq          the chain of the channel's five bands\n"
    "  --output N [--no-peq]     output N (1..6): its bands, high cut and low cut\n"
    "  --sum-of N,M,... [--no-peq]\n"
    "                            the phase-true sum of those outputs (\"Result\")\n"
    "--no-peq leaves the equalizer bands out, as the diagrams' \"PEQ\" option does.\n"
    "Output gain, delay, polarity and mute are not part of these curves.\n\n"
    "Frequencies: --freqs lists them in Hz; --points P takes P log-spaced points\n"
    "from " + wholeNumber(kFrequencies.min) + " to " + wholeNumber(kFrequencies.max) + " Hz (default " +
        std::to_string(kDefaultPoints) + ").\n\n"
    "With --measurement FILE (a response text: Hz, dB and optionally degrees per\n"
    "line) it prints the measurement and the predicted response, the measurement\n"
    "with the curve's filters applied: frequency_hz,measured_db,predicted_db, and\n"
    "the two phases when the file has one. The measurement is normalised to 0 dB\n"
    "at its mean over 200 Hz-2 kHz unless --normalise off; outside its range the\n"
    "values are nan. It goes with --channel and --output.\n\n"
    "Output: CSV with the header frequency_hz,magnitude_db,phase_deg and \"%.6f\"\n"
    "numbers; phase from -180 to 180 degrees; complete silence prints -inf.\n\n"
    "Example: zar40 response show.vpx --sum-of 1,4 --freqs 100,1000,10000\n"
    "Exit status: 0 success, 1 unreadable file, 2 usage error.\n",
    runResponse,
}};

const Registration dynamicsCommand{{
    "dynamics",
    "print an output's dynamics transfer curve as CSV",
    "Usage: zar40 dynamics FILE --output N [--inputs L1,L2,...]\n\n"
    "Prints the static curve of output N's limiter or compressor (1..6): the output\n"
    "level for each input level in dBu (default " + wholeNumber(dsp::kDynPlotMin) + " to " +
        wholeNumber(dsp::kDynPlotMax) + " in steps of 1), with the\n"
    "header input_dbu,output_dbu and \"%.6f\" numbers. A bypassed stage passes\n"
    "levels unchanged; a stored ratio of 0 or below has no curve, and levels pass\n"
    "with the gain only (a note on stderr says so in both cases).\n\n"
    "Example: zar40 dynamics show.vpx --output 2 --inputs -40,-20,0,10\n"
    "Exit status: 0 success, 1 unreadable file, 2 usage error.\n",
    runDynamics,
}};

} // namespace
} // namespace zar40tool
