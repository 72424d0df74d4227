// Dynamics curve and the type names.
#include "zar40/dsp/dynamics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zar40::dsp;

namespace {

DynamicsSettings compressor(float threshold, float knee, float ratio, float gain)
{
    DynamicsSettings s;
    s.type = DynCompressor;
    s.threshold = threshold;
    s.knee = knee;
    s.ratio = ratio;
    s.gain = gain;
    return s;
}

} // namespace

TEST(Dynamics, HardKneeCurve)
{
    for (float gain : {0.0f, 3.0f}) {
        const DynamicsSettings s = compressor(-10.0f, 0.0f, 4.0f, gain);
        EXPECT_DOUBLE_EQ(DynamicsOutputLevel(-20.0, s), -20.0 + gain);
        EXPECT_DOUBLE_EQ(DynamicsOutputLevel(0.0, s), -7.5 + gain);
        EXPECT_DOUBLE_EQ(DynamicsOutputLevel(10.0, s), -5.0 + gain);
    }
    DynamicsSettings limiter = compressor(-10.0f, 0.0f, kLimiterRatio, 0.0f);
    limiter.type = DynLimiter;
    EXPECT_NEAR(DynamicsOutputLevel(20.0, limiter), -9.97, 1e-9);
}

TEST(Dynamics, SoftKneeJoinsBothLines)
{
    const DynamicsSettings s = compressor(-10.0f, 5.0f, 4.0f, 0.0f);
    const KneeCurve c = ComputeKneeCurve(-10.0, 5.0, 4.0);
    EXPECT_NEAR(c.x2, -3.04, 0.005);
    for (double x = -40.0; x < -15.0; x += 0.5)
        EXPECT_DOUBLE_EQ(DynamicsOutputLevel(x, s), x);
    EXPECT_NEAR(DynamicsOutputLevel(-15.0, s), -15.0, 1e-12);
    for (double x = c.x2; x < 20.0; x += 0.5)
        EXPECT_NEAR(DynamicsOutputLevel(x, s), -10.0 + (x + 10.0) / 4.0, 1e-12) << x;
    // The cubic meets the upper line at x2 and passes through x3 on it.
    auto cubic = [&](double x) {
        return c.c0 + (x - c.x0) * c.c1 + (x - c.x0) * (x - c.x1) * c.c2 + (x - c.x0) * (x - c.x1) * (x - c.x2) * c.c3;
    };
    EXPECT_NEAR(cubic(c.x2), c.x2 / 4.0 + c.offset, 1e-12);
    EXPECT_NEAR(cubic(c.x3), c.x3 / 4.0 + c.offset, 1e-12);
    // Through the knee the curve rises and stays under both straight lines.
    double previous = DynamicsOutputLevel(-15.0, s);
    for (double x = -14.75; x < c.x2; x += 0.25) {
        const double y = DynamicsOutputLevel(x, s);
        EXPECT_GT(y, previous) << x;
        EXPECT_LT(y, x) << x;
        EXPECT_LT(y, -10.0 + (x + 10.0) / 4.0) << x;
        previous = y;
    }
    // Knee ends k * sqrt(2 - 1/R^2) above the threshold.
    for (double r : {1.0, 2.0, 10.0, 1000.0})
        EXPECT_NEAR(ComputeKneeCurve(0.0, 4.0, r).x2, 4.0 * std::sqrt(2.0 - 1.0 / (r * r)), 1e-12) << r;
}

// A ratio of 0 or below (or not a number) only comes from a file or the
// device: the diagram draws nothing and the level passes with the gain only.
TEST(Dynamics, RatioNotAboveZeroDrawsNothing)
{
    for (float ratio : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN()}) {
        const DynamicsSettings s = compressor(-10.0f, 5.0f, ratio, 2.0f);
        EXPECT_FALSE(ComputeKneeCurve(-10.0, 5.0, ratio).defined);
        EXPECT_TRUE(dynamicsCurvePoints(s, 400).empty());
        for (double x : {-40.0, -10.0, 20.0})
            EXPECT_DOUBLE_EQ(DynamicsOutputLevel(x, s), x + 2.0);
    }
}

TEST(Dynamics, DiagramPolyline)
{
    DynamicsSettings s = compressor(-10.0f, 0.0f, 4.0f, 10.0f);
    const auto points = dynamicsCurvePoints(s, 300);
    ASSERT_EQ(points.size(), 299u);
    EXPECT_DOUBLE_EQ(points.front().input, -40.0);
    EXPECT_DOUBLE_EQ(points[150].input, -10.0);
    for (const CurvePoint &p : points) {
        EXPECT_GE(p.output, kDynPlotMin);
        EXPECT_LE(p.output, kDynPlotMax);
    }
    EXPECT_DOUBLE_EQ(points.front().output, -30.0);
    s.type = DynBypass;
    EXPECT_TRUE(dynamicsCurvePoints(s, 300).empty());
    s.type = DynLimiter;
    EXPECT_TRUE(dynamicsCurvePoints(s, 1).empty());
}

TEST(Dynamics, TypeNames)
{
    EXPECT_EQ(dynamicsTypeName(DynBypass), "Bypass");
    EXPECT_EQ(dynamicsTypeName(DynLimiter), "Limiter");
    EXPECT_EQ(dynamicsTypeName(DynCompressor), "Compressor");
    EXPECT_EQ(dynamicsTypeName(3), "");
}
