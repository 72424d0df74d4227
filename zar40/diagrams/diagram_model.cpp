#include "zar40/diagrams/diagram_model.h"

#include "zar40/dsp/eq_design.h"
#include "zar40/preset/parameter_facts.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zar40::diagrams {

bool isFrequencyDiagram(DiagramKind kind) { return kind != DiagramKind::Dynamics; }

bool isMagnitudeDiagram(DiagramKind kind)
{
    return kind == DiagramKind::EqMagnitude || kind == DiagramKind::CrossoverMagnitude;
}

AxisLimits constructionLimits(DiagramKind kind)
{
    switch (kind) {
    case DiagramKind::CrossoverPhase:
        return {kFrequencyAxisMin, kFrequencyAxisMax, -180, 180};
    case DiagramKind::Dynamics:
        return {-40, 20, -40, 20};
    default:
        return {kFrequencyAxisMin, kFrequencyAxisMax, -20, 20};
    }
}

std::optional<SpinSetup> spinSetupFor(DiagramKind kind)
{
    switch (kind) {
    case DiagramKind::EqMagnitude:
        return SpinSetup{-8, -1, 1, 8, 5, -3, 3};
    case DiagramKind::CrossoverMagnitude:
        return SpinSetup{-16, -1, 0, 8, 5, -6, 2};
    case DiagramKind::EqPhase:
    case DiagramKind::CrossoverPhase:
        return SpinSetup{-18, -1, 1, 18, 10, -18, 18};
    case DiagramKind::Dynamics:
        break;
    }
    return std::nullopt;
}

AxisLimits windowLimits(DiagramKind kind)
{
    AxisLimits limits = constructionLimits(kind);
    if (const auto spin = spinSetupFor(kind)) {
        limits.yMin = spin->lowerStart * spin->valuePerStep;
        limits.yMax = spin->upperStart * spin->valuePerStep;
    }
    return limits;
}

PlotRect plotRectFor(DiagramKind kind, int w, int h)
{
    if (kind == DiagramKind::Dynamics)
        return {25, 25, w - 25, h - 20};
    return {35, 25, w - 20, h - 50};
}

int gridStep(DiagramKind kind, int range)
{
    if (range < 7)
        return 1;
    static constexpr int kEqSteps[] = {2, 5, 10};
    static constexpr int kOtherSteps[] = {2, 5, 10, 20, 30, 50};
    const bool eq = kind == DiagramKind::EqMagnitude;
    const std::span<const int> steps = eq ? std::span<const int>(kEqSteps) : std::span<const int>(kOtherSteps);
    for (int step : steps)
        if (range / step < 7)
            return step;
    return eq ? 20 : 60;
}

// ---- Mapping ------------------------------------------------------------------------

namespace {

// ceil() of a pixel position; positions far outside any window saturate so
// that a wild value never overflows the conversion.
int ceilPixel(double v)
{
    if (std::isnan(v))
        return 0;
    v = std::ceil(v);
    constexpr double kLimit = 1 << 24;
    return static_cast<int>(std::clamp(v, -kLimit, kLimit));
}

} // namespace

Mapping::Mapping(DiagramKind kind, PlotRect plot, AxisLimits limits)
    : m_kind(kind), m_plot(plot), m_limits(limits)
{
}

int Mapping::frequencyToX(double f) const
{
    const double lo = m_limits.xMin, hi = m_limits.xMax;
    return ceilPixel(m_plot.left + m_plot.width() * std::log(f / lo) / std::log(hi / lo));
}

double Mapping::xToFrequency(double x) const
{
    const double lo = m_limits.xMin, hi = m_limits.xMax;
    return lo * std::pow(hi / lo, (x - m_plot.left) / m_plot.width());
}

int Mapping::inputToX(double level) const
{
    return ceilPixel(m_plot.left + (level - m_limits.xMin) * m_plot.width() / double(m_limits.xMax - m_limits.xMin));
}

double Mapping::xToInput(double x) const
{
    return m_limits.xMin + (x - m_plot.left) * double(m_limits.xMax - m_limits.xMin) / m_plot.width();
}

double Mapping::clampValue(double v) const
{
    if (std::isnan(v) || v <= m_limits.yMin)
        return m_limits.yMin;
    return std::min<double>(v, m_limits.yMax);
}

int Mapping::valueToY(double v) const
{
    v = clampValue(v);
    return ceilPixel(m_plot.bottom +
                     (v - m_limits.yMin) * (m_plot.top - m_plot.bottom) / double(m_limits.yMax - m_limits.yMin));
}

double Mapping::yToValue(double y) const
{
    return m_limits.yMax + (y - m_plot.top) * double(m_limits.yMin - m_limits.yMax) / (m_plot.bottom - m_plot.top);
}

int truncateToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= INT_MAX)
        return INT_MAX;
    if (v <= INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

std::string readOutText(DiagramKind kind, const Mapping &map, int x, int y)
{
    if (!map.plot().strictlyContains(x, y))
        return {};
    char text[96];
    const int value = truncateToInt(map.yToValue(y));
    switch (kind) {
    case DiagramKind::Dynamics:
        std::snprintf(text, sizeof text, " Input %2i dBu, Output %2i dBu", truncateToInt(map.xToInput(x)), value);
        break;
    case DiagramKind::EqPhase:
    case DiagramKind::CrossoverPhase:
        std::snprintf(text, sizeof text, " %2i Hz, %2i degree", truncateToInt(map.xToFrequency(x)), value);
        break;
    default:
        std::snprintf(text, sizeof text, " %2i Hz, %2i dBu", truncateToInt(map.xToFrequency(x)), value);
        break;
    }
    return text;
}

// ---- Colours ----------------------------------------------------------------------------

std::uint32_t curveColour(DiagramKind kind, int slot)
{
    static constexpr std::uint32_t kEq[] = {0x80FFFF, 0xFFFF80, 0x80FF00, 0xFF80FF, 0xC0C0C0, 0xFFFFFF};
    static constexpr std::uint32_t kOut[] = {0x80FFFF, 0xFFFF80, 0x80FF00, 0xFF80FF, 0xFFFFFF, 0xC0C0C0};
    if (slot < 0 || slot > 5)
        return kResultColour;
    const bool eq = kind == DiagramKind::EqMagnitude || kind == DiagramKind::EqPhase;
    return eq ? kEq[slot] : kOut[slot];
}

// ---- Equalizer ------------------------------------------------------------------------------

BandRecord makeBandRecord(std::uint32_t type, float frequency, float q, float gain)
{
    // The types without gain drag within 0 to 0.
    if (!dsp::eqBandTypeUses(type).gain)
        return {type, frequency, q, gain, 0.0f, 0.0f};
    return {type, frequency, q, gain, preset::kEqGainFacts.min, preset::kEqGainFacts.max};
}

dsp::EqBandSettings bandSettingsOf(const BandRecord &band)
{
    const bool noGain = band.gainMin == 0.0f && band.gainMax == 0.0f;
    return {band.type, dsp::truncateFrequency(band.frequency), band.q, noGain ? 0.0f : band.gain};
}

dsp::EqChain eqChainOf(const BandRecords &bands)
{
    std::array<dsp::EqBandSettings, dsp::kEqBands> settings;
    for (std::size_t i = 0; i < dsp::kEqBands; ++i)
        settings[i] = bandSettingsOf(bands[i]);
    return dsp::buildEqChain(settings);
}

bool anyBandActive(const BandRecords &bands)
{
    return std::any_of(bands.begin(), bands.end(), [](const BandRecord &b) { return b.type != 0; });
}

MarkerPoint bandMarkerPoint(const Mapping &map, const BandRecord &band)
{
    return {map.frequencyToX(band.frequency), map.valueToY(band.gain)};
}

bool bandHasMarker(const Mapping &map, const BandRecord &band)
{
    return band.type != 0 && band.gain > map.limits().yMin && band.gain < map.limits().yMax;
}

int hitBand(const Mapping &map, const BandRecords &bands, int x, int y)
{
    for (std::size_t i = 0; i < bands.size(); ++i) {
        // An invisible marker cannot be grabbed: its point would be drawn
        // at a clamped place that is not where the band is.
        if (!bandHasMarker(map, bands[i]))
            continue;
        const MarkerPoint p = bandMarkerPoint(map, bands[i]);
        if (std::abs(x - p.x) <= 13 && std::abs(y - p.y) <= 9)
            return static_cast<int>(i);
    }
    return kNoMarker;
}

namespace {

bool insideLimits(const AxisLimits &l, int f, int v)
{
    return f >= l.xMin && f <= l.xMax && v >= l.yMin && v <= l.yMax;
}

} // namespace

bool dragBand(const Mapping &map, BandRecord &band, int x, int y)
{
    const int f = truncateToInt(map.xToFrequency(x));
    const int v = truncateToInt(map.yToValue(y));
    if (!insideLimits(map.limits(), f, v))
        return false;
    const BandRecord before = band;
    band.frequency = static_cast<float>(f);
    if (band.gainMin == 0.0f && band.gainMax == 0.0f)
        band.gain = 0.0f;
    else if (v >= band.gainMin && v <= band.gainMax)
        band.gain = static_cast<float>(v);
    return before.frequency != band.frequency || before.gain != band.gain;
}

// ---- Crossover ----------------------------------------------------------------------------------

namespace {

std::uint32_t fieldAsCode(float v)
{
    // A negative or absurd code from outside is no code the designs know.
    return v >= 0.0f && v < 256.0f ? static_cast<std::uint32_t>(v) : 255u;
}

} // namespace

dsp::CrossoverSettings CrossoverRecord::lowPass() const
{
    return {fieldAsCode(values[0]), truncateToInt(values[1]), truncateToInt(values[2])};
}

dsp::CrossoverSettings CrossoverRecord::highPass() const
{
    return {fieldAsCode(values[3]), truncateToInt(values[4]), truncateToInt(values[5])};
}

bool CrossoverRecord::bothBypassed() const
{
    return lowPass().type == dsp::XoLowPassBypass && highPass().type == dsp::XoHighPassBypass;
}

dsp::OutputChain outputChainOf(const OutputRecord &output, bool withPeq)
{
    std::array<dsp::EqBandSettings, dsp::kEqBands> settings;
    for (std::size_t i = 0; i < dsp::kEqBands; ++i)
        settings[i] = bandSettingsOf(output.bands[i]);
    return dsp::buildOutputChain(settings, output.crossover.lowPass(), output.crossover.highPass(), withPeq);
}

bool outputDrawsCurve(const OutputRecord &output)
{
    return (output.shown || output.locked) && !output.crossover.bothBypassed();
}

std::vector<int> outputsInSum(const OutputRecords &outputs)
{
    std::vector<int> summed;
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (outputs[i].locked)
            summed.push_back(static_cast<int>(i));
    return summed;
}

bool resultDrawn(const OutputRecords &outputs, const CrossoverOptions &options)
{
    return options.result && !outputsInSum(outputs).empty();
}

bool crossoverMarkerActive(const OutputRecord &output, bool highPass)
{
    if (!output.shown && !output.locked)
        return false;
    return highPass ? output.crossover.highPass().type != dsp::XoHighPassBypass
                    : output.crossover.lowPass().type != dsp::XoLowPassBypass;
}

int crossoverMarkerX(const Mapping &map, const OutputRecord &output, bool highPass)
{
    return map.frequencyToX(output.crossover.values[highPass ? 4 : 1]);
}

int hitCrossoverMarker(const Mapping &map, const OutputRecords &outputs, int x, int y)
{
    const int zeroY = map.valueToY(0.0);
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        for (bool highPass : {false, true}) {
            if (!crossoverMarkerActive(outputs[o], highPass))
                continue;
            if (std::abs(x - crossoverMarkerX(map, outputs[o], highPass)) > 13)
                continue;
            const bool inBox = highPass ? (y <= zeroY && y >= zeroY - 14) : (y >= zeroY && y <= zeroY + 14);
            if (inBox)
                return static_cast<int>(2 * o + (highPass ? 1 : 0));
        }
    }
    return kNoMarker;
}

bool dragCrossoverMarker(const Mapping &map, OutputRecords &outputs, int marker, int x, int y)
{
    if (marker < 0 || marker >= static_cast<int>(2 * outputs.size()))
        return false;
    const int f = truncateToInt(map.xToFrequency(x));
    const int v = truncateToInt(map.yToValue(y));
    if (!insideLimits(map.limits(), f, v))
        return false;
    float &field = outputs[static_cast<std::size_t>(marker / 2)].crossover.values[marker % 2 ? 4 : 1];
    const float before = field;
    field = static_cast<float>(f);
    return before != field;
}

// ---- Curves -----------------------------------------------------------------------------------------

void CurveSampler::prepare(const Mapping &map)
{
    if (m_prepared && map.plot() == m_plot && map.limits().xMin == m_limits.xMin && map.limits().xMax == m_limits.xMax)
        return;
    m_plot = map.plot();
    m_limits = map.limits();
    m_prepared = true;
    m_firstX = m_plot.left;
    const int count = std::max(0, m_plot.right - 2 - m_plot.left + 1);
    m_frequencies.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        m_frequencies[static_cast<std::size_t>(i)] = static_cast<float>(map.xToFrequency(m_plot.left + i));
    m_points = dsp::unitCirclePoints(m_frequencies);
}

std::vector<double> CurveSampler::cascade(Quantity q, const dsp::FilterSection *sections, std::size_t count) const
{
    std::vector<double> out;
    cascade(q, sections, count, out);
    return out;
}

void CurveSampler::cascade(Quantity q, const dsp::FilterSection *sections, std::size_t count,
                           std::vector<double> &out) const
{
    out.resize(m_points.size());
    if (q == Quantity::Magnitude)
        dsp::cascadeMagnitudeCurve(m_points, sections, count, out);
    else
        dsp::cascadePhaseCurve(m_points, sections, count, out);
}

std::vector<double> CurveSampler::sum(Quantity q, const dsp::ResultBuffer &buffer) const
{
    std::vector<double> out(m_points.size());
    if (q == Quantity::Magnitude)
        dsp::sumMagnitudeCurve(m_points, buffer.data(), dsp::kOutputChainSections, buffer.size(), out);
    else
        dsp::sumPhaseCurve(m_points, buffer.data(), dsp::kOutputChainSections, buffer.size(), out);
    return out;
}

std::vector<int> curveRows(const Mapping &map, std::span<const double> values)
{
    std::vector<int> rows(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        rows[i] = map.valueToY(values[i]);
    return rows;
}

std::vector<Curve> eqCurves(const Mapping &map, const CurveSampler &sampler, const BandRecords &bands,
                            CurveSampler::Quantity q)
{
    std::vector<Curve> curves;
    const dsp::EqChain chain = eqChainOf(bands);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        if (bands[i].type == 0)
            continue;
        curves.push_back({static_cast<int>(i), false, curveRows(map, sampler.cascade(q, &chain[i], 1))});
    }
    if (anyBandActive(bands))
        curves.push_back({5, true, curveRows(map, sampler.cascade(q, chain.data(), chain.size()))});
    return curves;
}

std::vector<Curve> crossoverCurves(const Mapping &map, const CurveSampler &sampler, const OutputRecords &outputs,
                                   const CrossoverOptions &options, CurveSampler::Quantity q)
{
    std::vector<Curve> curves;
    std::array<dsp::OutputChain, dsp::kOutputs> chains;
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        chains[o] = outputChainOf(outputs[o], options.peq);
        if (outputDrawsCurve(outputs[o]))
            curves.push_back(
                {static_cast<int>(o), false, curveRows(map, sampler.cascade(q, chains[o].data(), chains[o].size()))});
    }
    if (resultDrawn(outputs, options)) {
        std::vector<dsp::OutputChain> summed;
        for (int o : outputsInSum(outputs))
            summed.push_back(chains[static_cast<std::size_t>(o)]);
        curves.push_back({6, true, curveRows(map, sampler.sum(q, dsp::buildResultBuffer(summed, options.peq)))});
    }
    return curves;
}

std::vector<MarkerPoint> dynamicsCurve(const Mapping &map, const DynamicsRecord &d)
{
    dsp::DynamicsSettings s;
    s.type = d.type;
    s.threshold = d.threshold;
    s.knee = d.knee;
    s.ratio = d.ratio;
    s.gain = d.gain;
    const AxisLimits &l = map.limits();
    const auto points = dsp::dynamicsCurvePoints(s, map.plot().width(), l.xMin, l.xMax, l.yMin, l.yMax);
    std::vector<MarkerPoint> out;
    out.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        out.push_back({map.plot().left + static_cast<int>(i), map.valueToY(points[i].output)});
    return out;
}

} // namespace zar40::diagrams
