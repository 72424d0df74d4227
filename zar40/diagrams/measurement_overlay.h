#pragma once
// Measurements over the frequency diagrams: the measured curve and what the
// preset's filters make of it (the predicted curve), as pixel rows of the
// diagram's columns, with gaps where the measurement does not reach.
#include "zar40/diagrams/diagram_model.h"
#include "zar40/measurement/measurement_file.h"

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

// The channel's measurement and its prediction through the five bands;
// nothing for no measurement, or for a phase diagram and a measurement
// without a phase. normalise puts the mean of 200 Hz-2 kHz at 0 dB.
std::vector<OverlayCurve> EqOverlay(const Mapping &map, const CurveSampler &sampler, const BandRecords &bands,
                                    const measurement::Measurement *measured, bool normalise,
                                    CurveSampler::Quantity q);

// For every drawn output with a measurement, the measurement and its
// prediction through the output's chain; with "Result" drawn, the
// phase-true sum of the predictions of the summed outputs that have a
// measurement, when every one of them has a phase.
using OutputMeasurements = std::array<std::shared_ptr<const measurement::Measurement>, 6>;
std::vector<OverlayCurve> CrossoverOverlay(const Mapping &map, const CurveSampler &sampler,
                                           const OutputRecords &outputs, const CrossoverOptions &options,
                                           const OutputMeasurements &measured, bool normalise,
                                           CurveSampler::Quantity q);

} // namespace zar40::diagrams
