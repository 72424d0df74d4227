// The overlay a diagram keeps between paints: after every kind of change it
// draws what an overlay made afresh draws, and it calls settled only the
// curves a change left as they were.
#include "zar40/diagrams/measurement_overlay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace zar40::diagrams;
namespace dsp = zar40::dsp;
namespace ms = zar40::measurement;
using Quantity = CurveSampler::Quantity;

namespace {

std::shared_ptr<const ms::Measurement> wavy(double level, double wiggle, bool phase)
{
    auto m = std::make_shared<ms::Measurement>();
    for (float f : dsp::logSpacedFrequencies(30.0f, 18000.0f, 500)) {
        m->frequencyHz.push_back(f);
        m->magnitudeDb.push_back(level + wiggle * std::sin(std::log(double(f)) * 2.0));
        if (phase)
            m->phaseDeg.push_back(std::remainder(-0.02 * double(f), 360.0));
    }
    return m;
}

struct Scene {
    Quantity q = Quantity::Magnitude;
    AxisLimits limits = windowLimits(DiagramKind::CrossoverMagnitude);
    OutputRecords outputs{};
    CrossoverOptions options;
    OutputMeasurements measured{};
    bool normalise = true;

    Mapping map() const
    {
        const DiagramKind kind = q == Quantity::Phase ? DiagramKind::CrossoverPhase : DiagramKind::CrossoverMagnitude;
        return Mapping(kind, plotRectFor(kind, 900, 400), limits);
    }
};

// The kept overlay's curves after SCENE, checked against a new overlay's;
// returns which of them are settled, in drawing order.
std::vector<bool> updateAndCompare(CrossoverOverlay &kept, const Scene &scene)
{
    const Mapping map = scene.map();
    CurveSampler sampler;
    sampler.prepare(map);
    CrossoverOverlay fresh;
    const auto &a = kept.update(map, sampler, scene.outputs, scene.options, scene.measured, scene.normalise, scene.q);
    const auto &b = fresh.update(map, sampler, scene.outputs, scene.options, scene.measured, scene.normalise, scene.q);
    std::vector<bool> settled;
    EXPECT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        EXPECT_EQ(a[i].slot, b[i].slot) << i;
        EXPECT_EQ(a[i].predicted, b[i].predicted) << i;
        EXPECT_EQ(a[i].result, b[i].result) << i;
        EXPECT_EQ(a[i].rows, b[i].rows) << "curve " << i << " of slot " << a[i].slot;
        settled.push_back(a[i].settled);
    }
    return settled;
}

} // namespace

TEST(MeasurementOverlay, KeptOverlayDrawsWhatAFreshOneDrawsAndSettlesOnlyTheUnchanged)
{
    Scene s;
    for (int o = 0; o < 3; ++o) {
        s.outputs[o].name = "Out " + std::to_string(o + 1);
        s.outputs[o].locked = o < 2; // summed into "Result"
    }
    s.outputs[0].crossover.values = {2, 800, 4, 0, 1000, 4};
    s.outputs[1].crossover.values = {0, 1000, 4, 6, 800, 4};
    s.outputs[2].crossover.values = {0, 1000, 4, 5, 3000, 2};
    s.measured = {wavy(85, 2, true), wavy(80, 3, true), wavy(78, 1, false)};
    CrossoverOverlay kept;
    // Measured and predicted of three outputs, and the sum; nothing is
    // settled the first time.
    EXPECT_EQ(updateAndCompare(kept, s), std::vector<bool>(7, false));

    // A drag step on output 1: its prediction and the sum move, nothing else.
    s.outputs[0].crossover.values[1] = 900;
    EXPECT_EQ(updateAndCompare(kept, s), (std::vector<bool>{true, false, true, true, true, true, false}));
    s.outputs[0].crossover.values[1] = 950;
    EXPECT_EQ(updateAndCompare(kept, s), (std::vector<bool>{true, false, true, true, true, true, false}));

    // Normalising moves every curve.
    s.normalise = false;
    EXPECT_EQ(updateAndCompare(kept, s), std::vector<bool>(7, false));

    // Another measurement for output 3, which is not summed.
    s.measured[2] = wavy(70, 4, false);
    EXPECT_EQ(updateAndCompare(kept, s), (std::vector<bool>{true, true, true, true, false, false, true}));

    // Output 2's measurement cleared: the sum is output 1's prediction alone.
    s.measured[1].reset();
    EXPECT_EQ(updateAndCompare(kept, s), (std::vector<bool>{true, true, true, true, false}));

    // New limits move every row; "PEQ" off changes no chain here.
    s.limits.yMin = -40;
    s.options.peq = false;
    EXPECT_EQ(updateAndCompare(kept, s), std::vector<bool>(5, false));

    // The phase diagram: output 3 has no phase to draw.
    s.q = Quantity::Phase;
    s.limits = windowLimits(DiagramKind::CrossoverPhase);
    EXPECT_EQ(updateAndCompare(kept, s).size(), 3u);
    s.outputs[0].crossover.values[1] = 700;
    EXPECT_EQ(updateAndCompare(kept, s), (std::vector<bool>{true, false, false}));
}
