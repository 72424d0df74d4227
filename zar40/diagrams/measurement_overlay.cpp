#include "zar40/diagrams/measurement_overlay.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace zar40::diagrams {

namespace {

namespace ms = zar40::measurement;

std::vector<int> RowsWithGaps(const Mapping &map, const std::vector<double> &values)
{
    std::vector<int> rows(values.size(), OverlayCurve::kGap);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (std::isnan(values[i]))
            continue;
        // Silence is drawn at the lower limit, as the other curves do.
        const double v = std::isinf(values[i]) ? (values[i] < 0 ? -1e9 : 1e9) : values[i];
        rows[i] = map.valueToY(v);
    }
    return rows;
}

double Wrap(double deg)
{
    double w = std::fmod(deg + 180.0, 360.0);
    if (w < 0.0)
        w += 360.0;
    return w - 180.0;
}

// The measurement through a chain, on the sampler's columns; the phase
// only when the measurement has one.
ms::Curve Predicted(const CurveSampler &sampler, const ms::Curve &measured, const dsp::FilterSection *sections,
                    std::size_t count)
{
    ms::Curve c = measured;
    const std::vector<double> mag = sampler.cascade(CurveSampler::Quantity::Magnitude, sections, count);
    for (std::size_t k = 0; k < c.magnitudeDb.size() && k < mag.size(); ++k)
        c.magnitudeDb[k] += mag[k];
    if (c.hasPhase()) {
        const std::vector<double> phase = sampler.cascade(CurveSampler::Quantity::Phase, sections, count);
        for (std::size_t k = 0; k < c.phaseDeg.size() && k < phase.size(); ++k)
            c.phaseDeg[k] = Wrap(c.phaseDeg[k] + phase[k]);
    }
    return c;
}

const std::vector<double> &ValuesOf(const ms::Curve &c, CurveSampler::Quantity q)
{
    return q == CurveSampler::Quantity::Phase ? c.phaseDeg : c.magnitudeDb;
}

} // namespace

const ms::Curve *MeasuredColumns::update(const CurveSampler &sampler, const std::shared_ptr<const ms::Measurement> &m,
                                         bool normalise)
{
    if (!m) {
        m_source.reset();
        return nullptr;
    }
    const auto columns = sampler.frequencies();
    if (m != m_source || normalise != m_normalise ||
        !std::equal(columns.begin(), columns.end(), m_curve.frequencyHz.begin(), m_curve.frequencyHz.end())) {
        m_source = m;
        m_normalise = normalise;
        m_curve = ms::onFrequencies(*m, columns, normalise ? ms::Normalisation::MidBand : ms::Normalisation::Off);
    }
    return &m_curve;
}

std::vector<OverlayCurve> eqOverlay(const Mapping &map, const CurveSampler &sampler, const BandRecords &bands,
                                    const ms::Curve *measured, CurveSampler::Quantity q)
{
    std::vector<OverlayCurve> out;
    if (!measured || (q == CurveSampler::Quantity::Phase && !measured->hasPhase()))
        return out;
    const dsp::EqChain chain = eqChainOf(bands);
    const ms::Curve predicted = Predicted(sampler, *measured, chain.data(), chain.size());
    out.push_back({0, false, false, RowsWithGaps(map, ValuesOf(*measured, q))});
    out.push_back({0, true, false, RowsWithGaps(map, ValuesOf(predicted, q))});
    return out;
}

std::vector<OverlayCurve> crossoverOverlay(const Mapping &map, const CurveSampler &sampler,
                                           const OutputRecords &outputs, const CrossoverOptions &options,
                                           const MeasuredOutputs &measured, CurveSampler::Quantity q)
{
    std::vector<OverlayCurve> out;
    const bool result = resultDrawn(outputs, options);
    const std::vector<int> summedOutputs = result ? SummedOutputs(outputs) : std::vector<int>{};
    std::array<std::optional<ms::Curve>, 6> predicted;
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        const ms::Curve *m = measured[o];
        const bool drawn = outputDrawsCurve(outputs[o]) && !(q == CurveSampler::Quantity::Phase && m && !m->hasPhase());
        const bool summed = std::find(summedOutputs.begin(), summedOutputs.end(), int(o)) != summedOutputs.end();
        if (!m || (!drawn && !summed))
            continue;
        const dsp::OutputChain chain = outputChainOf(outputs[o], options.peq);
        predicted[o] = Predicted(sampler, *m, chain.data(), chain.size());
        if (!drawn)
            continue;
        out.push_back({static_cast<int>(o), false, false, RowsWithGaps(map, ValuesOf(*m, q))});
        out.push_back({static_cast<int>(o), true, false, RowsWithGaps(map, ValuesOf(*predicted[o], q))});
    }
    std::vector<ms::Curve> summed;
    for (int o : summedOutputs)
        if (predicted[static_cast<std::size_t>(o)])
            summed.push_back(std::move(*predicted[static_cast<std::size_t>(o)]));
    if (const auto sum = ms::complexSum(summed))
        out.push_back({6, true, true, RowsWithGaps(map, ValuesOf(*sum, q))});
    return out;
}

} // namespace zar40::diagrams
