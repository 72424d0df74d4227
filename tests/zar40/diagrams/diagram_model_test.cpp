#include "zar40/diagrams/diagram_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

using namespace zar40::diagrams;
namespace dsp = zar40::dsp;

namespace {

Mapping EqMagnitudeAt(int w, int h) { return Mapping(DiagramKind::EqMagnitude, plotRectFor(DiagramKind::EqMagnitude, w, h), windowLimits(DiagramKind::EqMagnitude)); }

OutputRecord Output(std::array<float, 6> crossover, bool shown, bool locked)
{
    OutputRecord o;
    o.crossover.values = crossover;
    o.shown = shown;
    o.locked = locked;
    return o;
}

} // namespace

TEST(DiagramModel, LimitsAtConstructionAndOnceTheWindowExists)
{
    EXPECT_EQ(constructionLimits(DiagramKind::EqMagnitude), (AxisLimits{20, 44000, -20, 20}));
    EXPECT_EQ(constructionLimits(DiagramKind::CrossoverPhase), (AxisLimits{20, 44000, -180, 180}));
    EXPECT_EQ(windowLimits(DiagramKind::EqMagnitude), (AxisLimits{20, 44000, -15, 15}));
    EXPECT_EQ(windowLimits(DiagramKind::CrossoverMagnitude), (AxisLimits{20, 44000, -30, 10}));
    EXPECT_EQ(windowLimits(DiagramKind::EqPhase), (AxisLimits{20, 44000, -180, 180}));
    EXPECT_EQ(windowLimits(DiagramKind::Dynamics), (AxisLimits{-40, 20, -40, 20}));
    EXPECT_FALSE(spinSetupFor(DiagramKind::Dynamics));
    EXPECT_EQ(spinSetupFor(DiagramKind::CrossoverMagnitude)->lowerMin, -16);
}

TEST(DiagramModel, GeometryAndMappingsRoundTrip)
{
    EXPECT_EQ(plotRectFor(DiagramKind::EqPhase, 800, 400), (PlotRect{35, 25, 780, 350}));
    EXPECT_EQ(plotRectFor(DiagramKind::Dynamics, 400, 400), (PlotRect{25, 25, 375, 380}));
    const Mapping m = EqMagnitudeAt(800, 400);
    EXPECT_EQ(m.frequencyToX(20), 35);
    EXPECT_EQ(m.frequencyToX(44000), 780);
    EXPECT_EQ(m.valueToY(15), 25);
    EXPECT_EQ(m.valueToY(-15), 350);
    // ceil: 0 dB is at 350 - 162.5
    EXPECT_EQ(m.valueToY(0), 188);
    for (int x : {35, 100, 400, 779}) {
        const double f = m.xToFrequency(x);
        EXPECT_EQ(m.frequencyToX(f * 0.99999), x) << x;
    }
    EXPECT_DOUBLE_EQ(m.yToValue(25), 15.0);
    EXPECT_DOUBLE_EQ(m.yToValue(350), -15.0);
    // Values beyond the limits, -inf (an exact zero) and NaN are clamped.
    EXPECT_EQ(m.valueToY(-std::numeric_limits<double>::infinity()), 350);
    EXPECT_EQ(m.valueToY(std::nan("")), 350);
    EXPECT_EQ(m.valueToY(99), 25);
    EXPECT_EQ(m.valueToY(-15), 350);
}

TEST(DiagramModel, ReadOutsTruncateTowardZero)
{
    const Mapping m = EqMagnitudeAt(800, 400);
    // y 200 is 15 - 175 * 30 / 325 = -1.15 dB: truncated to -1, not -2.
    const int x = m.frequencyToX(1000);
    // The expected texts go through snprintf: GCC 12 at -O3 warns falsely
    // (-Wrestrict) about string concatenation here.
    const int f = truncateToInt(m.xToFrequency(x));
    char magnitude[64], phase[64];
    std::snprintf(magnitude, sizeof magnitude, " %d Hz, -1 dBu", f);
    std::snprintf(phase, sizeof phase, " %d Hz, -1 degree", f);
    EXPECT_EQ(readOutText(DiagramKind::EqMagnitude, m, x, 200), magnitude);
    EXPECT_EQ(readOutText(DiagramKind::EqPhase, m, x, 200), phase);
    EXPECT_EQ(readOutText(DiagramKind::EqMagnitude, m, 35, 200), ""); // on the edge is outside
    const Mapping d(DiagramKind::Dynamics, plotRectFor(DiagramKind::Dynamics, 400, 400), windowLimits(DiagramKind::Dynamics));
    // x 200: -40 + 175 * 60 / 350 = -10; y 100: 20 - 75 * 60 / 355 = 7.3
    EXPECT_EQ(readOutText(DiagramKind::Dynamics, d, 200, 100), " Input -10 dBu, Output  7 dBu");
    EXPECT_EQ(truncateToInt(std::nan("")), 0);
    EXPECT_EQ(truncateToInt(1e300), std::numeric_limits<int>::max());
}

TEST(DiagramModel, GridStepsByRange)
{
    EXPECT_EQ(gridStep(DiagramKind::EqMagnitude, 10), 2);
    EXPECT_EQ(gridStep(DiagramKind::EqMagnitude, 80), 20);
    EXPECT_EQ(gridStep(DiagramKind::EqMagnitude, 30), 5);
    EXPECT_EQ(gridStep(DiagramKind::EqMagnitude, 6), 1);
    EXPECT_EQ(gridStep(DiagramKind::CrossoverMagnitude, 120), 20);
    EXPECT_EQ(gridStep(DiagramKind::EqPhase, 360), 60);
    EXPECT_EQ(gridStep(DiagramKind::Dynamics, 60), 10);
    EXPECT_EQ(gridStep(DiagramKind::CrossoverMagnitude, 200), 30);
}

TEST(DiagramModel, EqCurvesOnlyForActiveBandsAndResultWhenAnyIs)
{
    const Mapping m = EqMagnitudeAt(800, 400);
    CurveSampler s;
    s.prepare(m);
    EXPECT_EQ(s.columns(), 780u - 2 - 35 + 1);
    BandRecords bands{};
    EXPECT_TRUE(eqCurves(m, s, bands, CurveSampler::Quantity::Magnitude).empty());
    bands[2] = makeBandRecord(dsp::EqPeq1, 1000, 0.7f, 6);
    const auto curves = eqCurves(m, s, bands, CurveSampler::Quantity::Magnitude);
    ASSERT_EQ(curves.size(), 2u);
    EXPECT_EQ(curves[0].slot, 2);
    EXPECT_TRUE(curves[1].result);
    // The column of 1000 Hz shows +6 dB on the band's own curve.
    const int x = m.frequencyToX(1000);
    EXPECT_NEAR(curves[0].rows[static_cast<std::size_t>(x - s.firstX())], m.valueToY(6), 1);
}

TEST(DiagramModel, CrossoverCurvesFollowShownLockedAndOptions)
{
    const Mapping m(DiagramKind::CrossoverMagnitude, plotRectFor(DiagramKind::CrossoverMagnitude, 600, 300),
                    windowLimits(DiagramKind::CrossoverMagnitude));
    CurveSampler s;
    s.prepare(m);
    OutputRecords outs{};
    for (auto &o : outs)
        o = Output({0, 1000, 4, 4, 1000, 4}, false, false);
    outs[0] = Output({2, 1000, 4, 4, 1000, 4}, true, true);   // LR4 low-pass
    outs[1] = Output({0, 1000, 4, 6, 1000, 4}, false, true);  // locked, not shown: drawn anyway
    outs[2] = Output({0, 1000, 4, 4, 1000, 4}, true, true);   // both bypassed: summed only
    outs[3] = Output({1, 500, 2, 4, 1000, 4}, false, false);  // hidden
    CrossoverOptions opt;
    auto curves = crossoverCurves(m, s, outs, opt, CurveSampler::Quantity::Magnitude);
    ASSERT_EQ(curves.size(), 3u);
    EXPECT_EQ(curves[0].slot, 0);
    EXPECT_EQ(curves[1].slot, 1);
    EXPECT_TRUE(curves[2].result);
    EXPECT_EQ(outputsInSum(outs), (std::vector<int>{0, 1, 2}));
    opt.result = false;
    EXPECT_EQ(crossoverCurves(m, s, outs, opt, CurveSampler::Quantity::Magnitude).size(), 2u);
    // "PEQ" off: a band on the output no longer shows in its curve.
    opt.result = true;
    outs[0].bands[0] = makeBandRecord(dsp::EqPeq1, 100, 0.7f, 10);
    const std::size_t col = static_cast<std::size_t>(m.frequencyToX(100) - s.firstX());
    const int withPeq = crossoverCurves(m, s, outs, opt, CurveSampler::Quantity::Magnitude)[0].rows[col];
    opt.peq = false;
    const int withoutPeq = crossoverCurves(m, s, outs, opt, CurveSampler::Quantity::Magnitude)[0].rows[col];
    EXPECT_EQ(withoutPeq, m.valueToY(0));
    EXPECT_LT(withPeq, withoutPeq - 20);
}

TEST(DiagramModel, EqMarkerHitAndDragRules)
{
    const Mapping m = EqMagnitudeAt(800, 400);
    BandRecords bands{};
    bands[0] = makeBandRecord(dsp::EqPeq1, 1000, 0.7f, 6);
    bands[1] = makeBandRecord(dsp::EqLowPass, 1000, 0.7f, 0);
    bands[3] = makeBandRecord(dsp::EqPeq1, 1000, 0.7f, 20); // above the limits: no marker
    const MarkerPoint p0 = bandMarkerPoint(m, bands[0]);
    EXPECT_EQ(hitBand(m, bands, p0.x + 13, p0.y - 9), 0);
    EXPECT_EQ(hitBand(m, bands, p0.x + 14, p0.y), kNoMarker);
    const MarkerPoint p1 = bandMarkerPoint(m, bands[1]);
    EXPECT_EQ(hitBand(m, bands, p1.x, p1.y + 2), 1);
    EXPECT_FALSE(bandHasMarker(m, bands[3]));

    // A low pass moves only in frequency; its gain stays 0.
    EXPECT_TRUE(dragBand(m, bands[1], m.frequencyToX(2000), m.valueToY(10)));
    EXPECT_NEAR(bands[1].frequency, 2000, 30);
    EXPECT_EQ(bands[1].gain, 0.0f);
    // A gain band takes the truncated value when within its gain limits.
    EXPECT_TRUE(dragBand(m, bands[0], m.frequencyToX(200), m.valueToY(-10)));
    EXPECT_EQ(bands[0].gain, -10.0f);
    // Outside the plot nothing changes.
    const BandRecord before = bands[0];
    EXPECT_FALSE(dragBand(m, bands[0], 10, 200));
    EXPECT_FALSE(dragBand(m, bands[0], 300, 5));
    EXPECT_EQ(bands[0].frequency, before.frequency);
    EXPECT_EQ(bands[0].gain, before.gain);

    // Gain bands drag within the editor's gain range, the others not at all.
    for (std::uint32_t t = 0; t <= 13; ++t) {
        const bool withGain = t >= dsp::EqPeq1 && t <= dsp::EqHighShelf12;
        const BandRecord b = makeBandRecord(t, 1000, 0.7f, 0);
        EXPECT_EQ(b.gainMin, withGain ? -20.0f : 0.0f) << t;
        EXPECT_EQ(b.gainMax, withGain ? 12.0f : 0.0f) << t;
    }
}

TEST(DiagramModel, CrossoverHitOrderAndDrag)
{
    const Mapping m(DiagramKind::CrossoverMagnitude, plotRectFor(DiagramKind::CrossoverMagnitude, 800, 400),
                    windowLimits(DiagramKind::CrossoverMagnitude));
    OutputRecords outs{};
    for (auto &o : outs)
        o = Output({0, 1000, 4, 4, 1000, 4}, true, false);
    outs[1] = Output({1, 1000, 4, 5, 1000, 4}, true, false);
    outs[2] = Output({1, 1000, 4, 5, 1000, 4}, true, false);
    const int x = m.frequencyToX(1000);
    const int zero = m.valueToY(0);
    // Below the 0 dB line the low-pass, above it the high-pass, of the first
    // output that has one there.
    EXPECT_EQ(hitCrossoverMarker(m, outs, x, zero + 14), 2);
    EXPECT_EQ(hitCrossoverMarker(m, outs, x, zero - 14), 3);
    EXPECT_EQ(hitCrossoverMarker(m, outs, x, zero + 15), kNoMarker);
    outs[1].shown = false;
    EXPECT_EQ(hitCrossoverMarker(m, outs, x, zero + 3), 4);
    EXPECT_TRUE(dragCrossoverMarker(m, outs, 5, m.frequencyToX(3000), zero));
    EXPECT_NEAR(outs[2].crossover.values[4], 3000, 45);
    EXPECT_EQ(outs[2].crossover.values[1], 1000.0f);
    EXPECT_FALSE(dragCrossoverMarker(m, outs, 5, 5, zero));
    EXPECT_NEAR(outs[2].crossover.values[4], 3000, 45);
}

TEST(DiagramModel, DynamicsCurveClampedAndEmptyInBypass)
{
    const Mapping d(DiagramKind::Dynamics, plotRectFor(DiagramKind::Dynamics, 400, 400), windowLimits(DiagramKind::Dynamics));
    DynamicsRecord r;
    EXPECT_TRUE(dynamicsCurve(d, r).empty());
    r = {-10, 0, 4, 15, 2};
    const auto pts = dynamicsCurve(d, r);
    ASSERT_EQ(pts.size(), 349u);
    EXPECT_EQ(pts.front().x, 25);
    // -40 dBu in + 15 dB gain gives -25; at the top the curve is clamped.
    EXPECT_EQ(pts.front().y, d.valueToY(-25));
    EXPECT_GE(pts.back().y, d.valueToY(20));
}
