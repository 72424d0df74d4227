#include "zar40/diagrams/measurement_overlay.h"

#include "zar40/measurement/response.h"

#include <cmath>

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

const std::vector<double> &ValuesOf(const ms::Curve &c, CurveSampler::Quantity q)
{
    return q == CurveSampler::Quantity::Phase ? c.phaseDeg : c.magnitudeDb;
}

ms::Normalisation NormalisationOf(bool normalise)
{
    return normalise ? ms::Normalisation::MidBand : ms::Normalisation::Off;
}

} // namespace

std::vector<OverlayCurve> EqOverlay(const Mapping &map, const CurveSampler &sampler, const BandRecords &bands,
                                    const measurement::Measurement *measured, bool normalise,
                                    CurveSampler::Quantity q)
{
    std::vector<OverlayCurve> out;
    if (!measured || (q == CurveSampler::Quantity::Phase && !measured->hasPhase()))
        return out;
    const ms::Curve curve = ms::onFrequencies(*measured, sampler.frequencies(), NormalisationOf(normalise));
    const dsp::EqChain chain = EqChainOf(bands);
    const ms::Curve predicted = ms::predict(curve, chain.data(), chain.size());
    out.push_back({0, false, false, RowsWithGaps(map, ValuesOf(curve, q))});
    out.push_back({0, true, false, RowsWithGaps(map, ValuesOf(predicted, q))});
    return out;
}

std::vector<OverlayCurve> CrossoverOverlay(const Mapping &map, const CurveSampler &sampler,
                                           const OutputRecords &outputs, const CrossoverOptions &options,
                                           const OutputMeasurements &measured, bool normalise,
                                           CurveSampler::Quantity q)
{
    std::vector<OverlayCurve> out;
    std::array<std::optional<ms::Curve>, 6> predicted;
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        if (!measured[o])
            continue;
        const ms::Curve curve = ms::onFrequencies(*measured[o], sampler.frequencies(), NormalisationOf(normalise));
        predicted[o] = ms::predictOutput(curve, OutputChainOf(outputs[o], options.peq));
        if (!OutputDrawsCurve(outputs[o]) || (q == CurveSampler::Quantity::Phase && !curve.hasPhase()))
            continue;
        out.push_back({static_cast<int>(o), false, false, RowsWithGaps(map, ValuesOf(curve, q))});
        out.push_back({static_cast<int>(o), true, false, RowsWithGaps(map, ValuesOf(*predicted[o], q))});
    }
    if (!ResultDrawn(outputs, options))
        return out;
    std::vector<ms::Curve> summed;
    for (int o : SummedOutputs(outputs))
        if (predicted[static_cast<std::size_t>(o)])
            summed.push_back(*predicted[static_cast<std::size_t>(o)]);
    if (const auto sum = ms::complexSum(summed))
        out.push_back({6, true, true, RowsWithGaps(map, ValuesOf(*sum, q))});
    return out;
}

} // namespace zar40::diagrams
