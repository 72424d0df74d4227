#pragma once
// Measurements over the frequency diagrams: the measured curve and what the
// preset's filters make of it (the predicted curve), as pixel rows of the
// diagram's columns, with gaps where the measurement does not reach.
#include "zar40/diagrams/diagram_model.h"
#include "zar40/measurement/response.h"

#include <array>
#include <limits>
#include <memory>
#include <vector>

namespace zar40::diagrams {

// slot is the colour slot; predicted marks the thick curve, result the
// predicted "Result". kGap is a column without a value.
struct OverlayCurve {
    static constexpr int kGap = std::numeric_limits<int>::min();
    int slot = 0;
    bool predicted = false;
    bool result = false;
    std::vector<int> rows;
};

// A measurement on a diagram's columns, worked out again only when the
// measurement, the normalisation or the columns change: a drag moves the
// filters, never the measurement.
class MeasuredColumns {
public:
    // The curve on the sampler's columns; nullptr for no measurement.
    const measurement::Curve *update(const CurveSampler &sampler,
                                     const std::shared_ptr<const measurement::Measurement> &m, bool normalise);

private:
    std::shared_ptr<const measurement::Measurement> m_source;
    bool m_normalise = true;
    measurement::Curve m_curve;
};

// The channel's measurement and its prediction through the five bands;
// nothing for no measurement, or for a phase diagram and a measurement
// without a phase.
std::vector<OverlayCurve> eqOverlay(const Mapping &map, const CurveSampler &sampler, const BandRecords &bands,
                                    const measurement::Curve *measured, CurveSampler::Quantity q);

// For every drawn output with a measurement, the measurement and its
// prediction through the output's chain; with "Result" drawn, the
// phase-true sum of the predictions of the summed outputs that have a
// measurement, when every one of them has a phase.
using OutputMeasurements = std::array<std::shared_ptr<const measurement::Measurement>, 6>;
using MeasuredOutputs = std::array<const measurement::Curve *, 6>;
std::vector<OverlayCurve> crossoverOverlay(const Mapping &map, const CurveSampler &sampler,
                                           const OutputRecords &outputs, const CrossoverOptions &options,
                                           const MeasuredOutputs &measured, CurveSampler::Quantity q);

} // namespace zar40::diagrams
