// zar40 plot FILE ...: one of the editor's response diagrams as a picture,
// drawn by the editor's own diagram widgets on the offscreen platform, so
// that it works without a display.
#include "command.h"
#include "measurement_input.h"
#include "preset_input.h"

#include "zar40/ui/diagrams/diagrams.h"
#include "zar40/diagrams/from_preset.h"
#include "zar40/preset/record.h"

#include <QApplication>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <charconv>
#include <array>
#include <filesystem>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

namespace zar40tool {
namespace {

namespace dia = zar40::diagrams;
namespace preset = zar40::preset;

constexpr int kMaxSide = 10000;

bool parseInt(std::string_view text, int &value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// "A,B" or "AxB" into two integers.
bool parsePair(const std::string &text, char separator, int &a, int &b)
{
    const auto at = text.find(separator);
    if (at == std::string::npos)
        return false;
    return parseInt(std::string_view(text).substr(0, at), a) && parseInt(std::string_view(text).substr(at + 1), b);
}

struct PlotArgs {
    std::string file;
    std::optional<dia::DiagramKind> kind;
    int channel = -1;
    int output = -1;
    int width = 1200, height = 600;
    bool noPeq = false, noResult = false;
    std::optional<std::pair<int, int>> limits;
    std::string out;
    // FILE or, for the crossover diagrams, N=FILE for output N.
    std::vector<std::pair<int, std::string>> measurements;
    bool normalise = true;
};

std::optional<dia::DiagramKind> kindOf(const std::string &name)
{
    if (name == "eq-magnitude") return dia::DiagramKind::EqMagnitude;
    if (name == "eq-phase") return dia::DiagramKind::EqPhase;
    if (name == "xover-magnitude") return dia::DiagramKind::CrossoverMagnitude;
    if (name == "xover-phase") return dia::DiagramKind::CrossoverPhase;
    if (name == "dynamics") return dia::DiagramKind::Dynamics;
    return std::nullopt;
}

bool endsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int parsePlotArgs(const std::vector<std::string> &args, PlotArgs &a)
{
    const std::string cmd = "plot";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &opt = args[i];
        const bool takesValue = opt == "--diagram" || opt == "--channel" || opt == "--output" || opt == "--size" ||
                                opt == "--limits" || opt == "-o" || opt == "--measurement" || opt == "--normalise";
        if (takesValue && i + 1 == args.size())
            return usageError(cmd, opt + " needs a value");
        if (opt == "--diagram") {
            a.kind = kindOf(args[++i]);
            if (!a.kind)
                return usageError(cmd, "--diagram takes eq-magnitude, eq-phase, xover-magnitude, xover-phase or "
                                       "dynamics, not '" + args[i] + "'");
        } else if (opt == "--channel") {
            if (!parseInt(args[++i], a.channel) || a.channel < 0 || a.channel >= preset::kChannelCount)
                return usageError(cmd, "--channel takes a channel index from 0 to 8, not '" + args[i] + "'");
        } else if (opt == "--output") {
            if (!parseInt(args[++i], a.output) || a.output < 1 || a.output > preset::kOutputCount)
                return usageError(cmd, "--output takes an output number from 1 to 6, not '" + args[i] + "'");
        } else if (opt == "--size") {
            if (!parsePair(args[++i], 'x', a.width, a.height) || a.width < 100 || a.height < 100 ||
                a.width > kMaxSide || a.height > kMaxSide)
                return usageError(cmd, "--size takes WxH, each from 100 to 10000, not '" + args[i] + "'");
        } else if (opt == "--limits") {
            int lo = 0, hi = 0;
            if (!parsePair(args[++i], ',', lo, hi) || lo >= hi || lo < -1000 || hi > 1000)
                return usageError(cmd, "--limits takes LO,HI with LO below HI, not '" + args[i] + "'");
            a.limits = std::make_pair(lo, hi);
        } else if (opt == "--measurement") {
            const std::string &v = args[++i];
            int output = 0;
            const auto eq = v.find('=');
            if (eq != std::string::npos && eq > 0 && parseInt(std::string_view(v).substr(0, eq), output)) {
                if (output < 1 || output > preset::kOutputCount)
                    return usageError(cmd, "--measurement N=FILE takes an output number from 1 to 6");
                a.measurements.emplace_back(output, v.substr(eq + 1));
            } else {
                a.measurements.emplace_back(0, v);
            }
        } else if (opt == "--normalise") {
            const std::string &v = args[++i];
            if (v != "mid" && v != "off")
                return usageError(cmd, "--normalise takes mid or off, not '" + v + "'");
            a.normalise = v == "mid";
        } else if (opt == "--no-peq") {
            a.noPeq = true;
        } else if (opt == "--no-result") {
            a.noResult = true;
        } else if (opt == "-o") {
            a.out = args[++i];
        } else if (!opt.empty() && opt[0] == '-') {
            return usageError(cmd, "unknown option '" + opt + "'");
        } else if (a.file.empty()) {
            a.file = opt;
        } else {
            return usageError(cmd, "one preset file only");
        }
    }
    if (a.file.empty())
        return usageError(cmd, "no preset file given");
    if (!a.kind)
        return usageError(cmd, "--diagram is required");
    if (a.out.empty() || !(endsWith(a.out, ".png") || endsWith(a.out, ".svg")))
        return usageError(cmd, "-o takes an output file ending in .png or .svg");
    const bool eq = *a.kind == dia::DiagramKind::EqMagnitude || *a.kind == dia::DiagramKind::EqPhase;
    if (eq && (a.channel < 0 || a.output >= 0))
        return usageError(cmd, "the equalizer diagrams take --channel N (and no --output)");
    if (!eq && (a.output < 0 || a.channel >= 0))
        return usageError(cmd, "the crossover and dynamics diagrams take --output N (and no --channel)");
    if (!a.measurements.empty() && *a.kind == dia::DiagramKind::Dynamics)
        return usageError(cmd, "--measurement goes with the equalizer and crossover diagrams");
    if (eq && (a.measurements.size() > 1 || (!a.measurements.empty() && a.measurements.front().first != 0)))
        return usageError(cmd, "the equalizer diagrams take one --measurement FILE");
    return ExitOk;
}

using Measured = std::array<std::shared_ptr<const zar40::measurement::Measurement>, preset::kOutputCount>;

std::unique_ptr<dia::ResponseDiagram> makeDiagram(const PlotArgs &a, const preset::PresetRecord &record,
                                                  const std::shared_ptr<const zar40::measurement::Measurement> &forEq,
                                                  const Measured &forOutputs)
{
    using dia::DiagramKind;
    std::unique_ptr<dia::ResponseDiagram> d;
    switch (*a.kind) {
    case DiagramKind::EqMagnitude:
    case DiagramKind::EqPhase: {
        std::unique_ptr<dia::EqDiagram> eq;
        if (*a.kind == DiagramKind::EqMagnitude)
            eq = std::make_unique<dia::CPEQ_Frequenz_Diagramm>();
        else
            eq = std::make_unique<dia::CPEQ_Phase_Diagramm>();
        eq->setBands(dia::bandRecordsOf(record, a.channel));
        if (forEq)
            eq->setMeasurement(
                forEq, QString::fromStdString(std::filesystem::path(a.measurements.front().second).filename().string()),
                a.normalise);
        d = std::move(eq);
        break;
    }
    case DiagramKind::CrossoverMagnitude:
    case DiagramKind::CrossoverPhase: {
        std::unique_ptr<dia::CrossoverDiagram> xo;
        if (*a.kind == DiagramKind::CrossoverMagnitude)
            xo = std::make_unique<dia::CCross_Magnitude_Diagramm>();
        else
            xo = std::make_unique<dia::CCross_Phase_Diagramm>();
        xo->setOutputs(dia::outputsOf(record, a.output - 1));
        xo->setOptions({!a.noPeq, !a.noResult});
        dia::CrossoverDiagram::Measurements m;
        std::copy(forOutputs.begin(), forOutputs.end(), m.begin());
        xo->setMeasurements(m, a.normalise);
        d = std::move(xo);
        break;
    }
    case DiagramKind::Dynamics: {
        auto dyn = std::make_unique<dia::CDynamik_Diagramm>();
        dyn->setDynamics(dia::dynamicsOf(record, a.output - 1));
        d = std::move(dyn);
        break;
    }
    }
    if (a.limits) {
        dia::AxisLimits l = d->limits();
        l.yMin = a.limits->first;
        l.yMax = a.limits->second;
        d->setLimits(l);
    }
    return d;
}

int runPlot(const std::vector<std::string> &args)
{
    PlotArgs a;
    if (const int rc = parsePlotArgs(args, a); rc != ExitOk)
        return rc;
    preset::PresetRecord record{};
    if (!readPresetForCommand(a.file, record))
        return ExitBadInput;
    std::shared_ptr<const zar40::measurement::Measurement> forEq;
    Measured forOutputs;
    for (const auto &[output, path] : a.measurements) {
        zar40::measurement::Measurement m;
        if (!readMeasurementForCommand("plot", path, m))
            return ExitBadInput;
        auto shared = std::make_shared<const zar40::measurement::Measurement>(std::move(m));
        if (a.channel >= 0)
            forEq = shared;
        else
            forOutputs[static_cast<std::size_t>((output ? output : a.output) - 1)] = shared;
    }

    // No display is needed: draw on the offscreen platform unless the caller
    // chose another.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "zar40";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);

    const auto diagram = makeDiagram(a, record, forEq, forOutputs);
    const QSize size(a.width, a.height);
    QSaveFile file(QString::fromStdString(a.out));
    if (!file.open(QIODevice::WriteOnly))
        return inputError("zar40 plot: cannot write " + a.out + ": " + file.errorString().toStdString());
    if (endsWith(a.out, ".svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("ZAR40 response"));
        QPainter p(&svg);
        diagram->paintVector(p, size);
    } else {
        const QImage image = diagram->render(size);
        if (image.isNull())
            return inputError("zar40 plot: Can't create Bitmap");
        if (!image.save(&file, "PNG"))
            return inputError("zar40 plot: cannot encode " + a.out);
    }
    if (!file.commit())
        return inputError("zar40 plot: cannot write " + a.out + ": " + file.errorString().toStdString());
    return ExitOk;
}

const Registration registration{{
    "plot",
    "draws one of the editor's response diagrams as PNG or SVG",
    "Usage: zar40 plot FILE --diagram KIND (--channel N | --output N) [options] -o OUT.png|OUT.svg\n\n"
    "Draws what the editor's diagram shows for the preset FILE (.vpx or .vpf),\n"
    "without a display.\n\n"
    "  --diagram KIND   eq-magnitude, eq-phase, xover-magnitude, xover-phase, dynamics\n"
    "  --channel N      channel of the equalizer diagrams: 0 input A, 1 Summe,\n"
    "                   2 input B, 3..8 outputs 1..6\n"
    "  --output N       output 1..6 of the crossover and dynamics diagrams; the\n"
    "                   outputs fed from its input are locked and summed into \"Result\"\n"
    "  --size WxH       picture size in pixels (default 1200x600)\n"
    "  --no-peq         crossover diagrams without the outputs' equalizer bands\n"
    "  --no-result      crossover diagrams without the \"Result\" sum\n"
    "  --limits LO,HI   vertical limits (default: those the editor starts with)\n"
    "  --measurement F  draws the measured response F (Hz, dB, optionally degrees per\n"
    "                   line) of the channel, or of output N, dashed, and what the\n"
    "                   preset's filters make of it, thick. The crossover diagrams\n"
    "                   take several as K=F for output K; with phases, \"Result\"\n"
    "                   adds the phase-true sum of the summed outputs' predictions\n"
    "  --normalise M    mid (default: 0 dB at the mean of 200 Hz-2 kHz) or off\n"
    "  -o OUT           output file; .png or .svg\n",
    runPlot,
}};

} // namespace
} // namespace zar40tool
