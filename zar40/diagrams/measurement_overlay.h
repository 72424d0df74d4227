#pragma once
// Measurements over the frequency diagrams: the measured curve and what the
// preset's filters make of it (the predicted curve), as pixel rows of the
// diagram's columns, with gaps where the measurement does not reach.
//
// A diagram keeps its overlay between paints and asks it again after every
// change. A drag moves the filters of one channel, never a measurement, so
// only what depends on the moved filters is worked out again: the measured
// curves stay, and so do the predictions of the outputs whose chain is the
// same as before.
#include "zar40/diagrams/diagram_model.h"
#include "zar40/measurement/response.h"

#include <array>
#include <complex>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

namespace zar40::diagrams {

// slot is the colour slot; predicted marks the thick curve, result the
// predicted "Result". kGap is a column without a value. stamp names the
// rows: other rows get another stamp. settled marks a curve whose rows are
// those of the update before, so that a diagram can keep it drawn while a
// drag moves the others.
struct OverlayCurve {
    static constexpr int kGap = std::numeric_limits<int>::min();
    int slot = 0;
    bool predicted = false;
    bool result = false;
    std::vector<int> rows;
    std::uint64_t stamp = 0;
    bool settled = false;
};

// Pixel rows of values on a mapping, kept until the values or the mapping
// change. version names the values; a caller gives new values a new one.
class RowCache {
public:
    const std::vector<int> &rows(const Mapping &map, std::uint64_t version, std::span<const double> values);
    const std::vector<int> &rows() const { return m_rows; }
    // Unique among all caches' rows of this process; 0 before any.
    std::uint64_t stamp() const { return m_stamp; }

private:
    std::uint64_t m_stamp = 0; // 0 until the first rows
    std::uint64_t m_version = 0;
    PlotRect m_plot;
    AxisLimits m_limits;
    std::vector<int> m_rows;
};

// One channel's measurement on a diagram's columns and its prediction
// through the channel's chain, each worked out again only when what it
// depends on changed.
class MeasuredChannel {
public:
    // False for no measurement; the rest may be asked only after true.
    bool update(const CurveSampler &sampler, const std::shared_ptr<const measurement::Measurement> &m,
                bool normalise);
    const measurement::Curve &measured() const { return m_measured; }
    bool hasPhase() const { return m_measured.hasPhase(); }
    const RowCache &measuredRows(const Mapping &map, CurveSampler::Quantity q);

    // The prediction through SECTIONS; its phase only when WITHPHASE (and
    // the measurement has one).
    void predict(const CurveSampler &sampler, std::span<const dsp::FilterSection> sections, bool withPhase);
    const measurement::Curve &predicted() const { return m_predicted; }
    std::uint64_t predictedVersion() const { return m_predictedVersion; }
    const RowCache &predictedRows(const Mapping &map, CurveSampler::Quantity q);
    // The prediction as the terms of a phase-true sum.
    const std::vector<std::complex<double>> &predictedComplex();

private:
    std::uint64_t m_nextVersion = 1;
    std::shared_ptr<const measurement::Measurement> m_source;
    bool m_normalise = true;
    measurement::Curve m_measured;
    std::uint64_t m_measuredVersion = 0;

    std::vector<dsp::FilterSection> m_sections;
    std::uint64_t m_predictedFrom = 0;
    measurement::Curve m_predicted;
    std::uint64_t m_predictedVersion = 0; // 0 until the first prediction
    std::vector<double> m_response;

    std::uint64_t m_complexVersion = 0;
    std::vector<std::complex<double>> m_complex;
    RowCache m_measuredMagnitude, m_measuredPhase, m_predictedMagnitude, m_predictedPhase;
};

// The equalizer diagrams: the channel's measurement and its prediction
// through the five bands; nothing for no measurement, or for a phase
// diagram and a measurement without a phase.
class EqOverlay {
public:
    const std::vector<OverlayCurve> &update(const Mapping &map, const CurveSampler &sampler, const BandRecords &bands,
                                            const std::shared_ptr<const measurement::Measurement> &m, bool normalise,
                                            CurveSampler::Quantity q);
    const std::vector<OverlayCurve> &curves() const { return m_curves; }

private:
    MeasuredChannel m_channel;
    std::vector<OverlayCurve> m_curves;
    std::vector<std::uint64_t> m_lastStamps;
};

// The crossover diagrams: for every drawn output with a measurement, the
// measurement and its prediction through the output's chain; with "Result"
// drawn, the phase-true sum of the predictions of the summed outputs that
// have a measurement, when every one of them has a phase.
using OutputMeasurements = std::array<std::shared_ptr<const measurement::Measurement>, 6>;
class CrossoverOverlay {
public:
    const std::vector<OverlayCurve> &update(const Mapping &map, const CurveSampler &sampler,
                                            const OutputRecords &outputs, const CrossoverOptions &options,
                                            const OutputMeasurements &measurements, bool normalise,
                                            CurveSampler::Quantity q);
    const std::vector<OverlayCurve> &curves() const { return m_curves; }

private:
    std::array<MeasuredChannel, 6> m_channels;
    // The sum, kept while the same predictions make it.
    std::vector<std::pair<int, std::uint64_t>> m_sumTerms;
    measurement::Curve m_sum;
    std::uint64_t m_sumVersion = 0;
    RowCache m_sumMagnitude, m_sumPhase;
    std::vector<OverlayCurve> m_curves;
    std::vector<std::uint64_t> m_lastStamps;
};

} // namespace zar40::diagrams
