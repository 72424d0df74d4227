#include "zar40/diagrams/measurement_overlay.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace zar40::diagrams {

namespace {

namespace ms = zar40::measurement;
using Quantity = CurveSampler::Quantity;

double wrap(double deg)
{
    double w = std::fmod(deg + 180.0, 360.0);
    if (w < 0.0)
        w += 360.0;
    return w - 180.0;
}

const std::vector<double> &valuesOf(const ms::Curve &c, Quantity q)
{
    return q == Quantity::Phase ? c.phaseDeg : c.magnitudeDb;
}

std::atomic<std::uint64_t> g_nextStamp{1};

// The next curve of the list, its rows' storage reused from the last update.
void put(std::vector<OverlayCurve> &list, std::size_t &n, int slot, bool predicted, bool result,
         const RowCache &rows)
{
    if (n == list.size())
        list.emplace_back();
    OverlayCurve &c = list[n++];
    c.slot = slot;
    c.predicted = predicted;
    c.result = result;
    if (c.stamp != rows.stamp())
        c.rows = rows.rows();
    c.stamp = rows.stamp();
}

// Ends the list at N curves and marks those the update before had too.
void finish(std::vector<OverlayCurve> &list, std::size_t n, std::vector<std::uint64_t> &lastStamps)
{
    list.resize(n);
    for (OverlayCurve &c : list)
        c.settled = std::find(lastStamps.begin(), lastStamps.end(), c.stamp) != lastStamps.end();
    lastStamps.clear();
    for (const OverlayCurve &c : list)
        lastStamps.push_back(c.stamp);
}

} // namespace

const std::vector<int> &RowCache::rows(const Mapping &map, std::uint64_t version, std::span<const double> values)
{
    if (m_stamp != 0 && m_version == version && m_plot == map.plot() && m_limits == map.limits() &&
        m_rows.size() == values.size())
        return m_rows;
    m_stamp = g_nextStamp++;
    m_version = version;
    m_plot = map.plot();
    m_limits = map.limits();
    m_rows.assign(values.size(), OverlayCurve::kGap);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (std::isnan(values[i]))
            continue;
        // Silence is drawn at the lower limit, as the other curves do.
        const double v = std::isinf(values[i]) ? (values[i] < 0 ? -1e9 : 1e9) : values[i];
        m_rows[i] = map.valueToY(v);
    }
    return m_rows;
}

bool MeasuredChannel::update(const CurveSampler &sampler, const std::shared_ptr<const ms::Measurement> &m,
                             bool normalise)
{
    if (!m) {
        m_source.reset();
        return false;
    }
    const auto columns = sampler.frequencies();
    if (m != m_source || normalise != m_normalise || m_measuredVersion == 0 ||
        !std::equal(columns.begin(), columns.end(), m_measured.frequencyHz.begin(), m_measured.frequencyHz.end())) {
        m_source = m;
        m_normalise = normalise;
        m_measured = ms::onFrequencies(*m, columns, normalise ? ms::Normalisation::MidBand : ms::Normalisation::Off);
        m_measuredVersion = m_nextVersion++;
    }
    return true;
}

const RowCache &MeasuredChannel::measuredRows(const Mapping &map, Quantity q)
{
    RowCache &cache = q == Quantity::Phase ? m_measuredPhase : m_measuredMagnitude;
    cache.rows(map, m_measuredVersion, valuesOf(m_measured, q));
    return cache;
}

void MeasuredChannel::predict(const CurveSampler &sampler, std::span<const dsp::FilterSection> sections,
                              bool withPhase)
{
    withPhase = withPhase && m_measured.hasPhase();
    if (m_predictedVersion != 0 && m_predictedFrom == m_measuredVersion && (!withPhase || m_predicted.hasPhase()) &&
        std::equal(sections.begin(), sections.end(), m_sections.begin(), m_sections.end()))
        return;
    m_predictedFrom = m_measuredVersion;
    m_sections.assign(sections.begin(), sections.end());
    m_predictedVersion = m_nextVersion++;

    m_predicted.frequencyHz = m_measured.frequencyHz;
    m_predicted.magnitudeDb = m_measured.magnitudeDb;
    sampler.cascade(Quantity::Magnitude, sections.data(), sections.size(), m_response);
    for (std::size_t k = 0; k < m_predicted.magnitudeDb.size() && k < m_response.size(); ++k)
        m_predicted.magnitudeDb[k] += m_response[k];
    m_predicted.phaseDeg.clear();
    if (withPhase) {
        m_predicted.phaseDeg = m_measured.phaseDeg;
        sampler.cascade(Quantity::Phase, sections.data(), sections.size(), m_response);
        for (std::size_t k = 0; k < m_predicted.phaseDeg.size() && k < m_response.size(); ++k)
            m_predicted.phaseDeg[k] = wrap(m_predicted.phaseDeg[k] + m_response[k]);
    }
}

const RowCache &MeasuredChannel::predictedRows(const Mapping &map, Quantity q)
{
    RowCache &cache = q == Quantity::Phase ? m_predictedPhase : m_predictedMagnitude;
    cache.rows(map, m_predictedVersion, valuesOf(m_predicted, q));
    return cache;
}

const std::vector<std::complex<double>> &MeasuredChannel::predictedComplex()
{
    if (m_complexVersion != m_predictedVersion) {
        m_complex = ms::complexValues(m_predicted);
        m_complexVersion = m_predictedVersion;
    }
    return m_complex;
}

const std::vector<OverlayCurve> &EqOverlay::update(const Mapping &map, const CurveSampler &sampler,
                                                   const BandRecords &bands,
                                                   const std::shared_ptr<const ms::Measurement> &m, bool normalise,
                                                   Quantity q)
{
    std::size_t n = 0;
    if (m_channel.update(sampler, m, normalise) && (q == Quantity::Magnitude || m_channel.hasPhase())) {
        const dsp::EqChain chain = eqChainOf(bands);
        m_channel.predict(sampler, chain, q == Quantity::Phase);
        put(m_curves, n, 0, false, false, m_channel.measuredRows(map, q));
        put(m_curves, n, 0, true, false, m_channel.predictedRows(map, q));
    }
    finish(m_curves, n, m_lastStamps);
    return m_curves;
}

const std::vector<OverlayCurve> &CrossoverOverlay::update(const Mapping &map, const CurveSampler &sampler,
                                                          const OutputRecords &outputs,
                                                          const CrossoverOptions &options,
                                                          const OutputMeasurements &measurements, bool normalise,
                                                          Quantity q)
{
    std::size_t n = 0;
    const bool result = resultDrawn(outputs, options);
    const std::vector<int> summedOutputs = result ? outputsInSum(outputs) : std::vector<int>{};
    // Outputs of the sum that have a measurement, and whether all of them
    // have a phase to be summed with.
    std::vector<int> terms;
    bool phaseTrue = true;
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        MeasuredChannel &channel = m_channels[o];
        if (!channel.update(sampler, measurements[o], normalise))
            continue;
        const bool drawn = outputDrawsCurve(outputs[o]) && !(q == Quantity::Phase && !channel.hasPhase());
        const bool summed = std::find(summedOutputs.begin(), summedOutputs.end(), int(o)) != summedOutputs.end();
        if (!drawn && !summed)
            continue;
        const dsp::OutputChain chain = outputChainOf(outputs[o], options.peq);
        channel.predict(sampler, chain, summed || q == Quantity::Phase);
        if (summed) {
            terms.push_back(static_cast<int>(o));
            phaseTrue = phaseTrue && channel.hasPhase();
        }
        if (!drawn)
            continue;
        put(m_curves, n, static_cast<int>(o), false, false, channel.measuredRows(map, q));
        put(m_curves, n, static_cast<int>(o), true, false, channel.predictedRows(map, q));
    }
    if (!terms.empty() && phaseTrue) {
        std::vector<std::pair<int, std::uint64_t>> key;
        for (int o : terms)
            key.emplace_back(o, m_channels[static_cast<std::size_t>(o)].predictedVersion());
        if (key != m_sumTerms || m_sumVersion == 0) {
            std::vector<const std::vector<std::complex<double>> *> values;
            for (int o : terms)
                values.push_back(&m_channels[static_cast<std::size_t>(o)].predictedComplex());
            m_sum = ms::sumOfComplex(m_channels[static_cast<std::size_t>(terms.front())].measured().frequencyHz,
                                     values);
            m_sumTerms = std::move(key);
            ++m_sumVersion;
        }
        RowCache &rows = q == Quantity::Phase ? m_sumPhase : m_sumMagnitude;
        rows.rows(map, m_sumVersion, valuesOf(m_sum, q));
        put(m_curves, n, 6, true, true, rows);
    }
    finish(m_curves, n, m_lastStamps);
    return m_curves;
}

} // namespace zar40::diagrams
