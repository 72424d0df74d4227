// Evaluation of sections, chains and sums of chains.
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/filter_section.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace zar40::dsp;

namespace {

double Mag(const FilterSection &s, float f) { return CascadeMagnitude(f, &s, 1); }
double Phase(const FilterSection &s, float f) { return CascadePhase(f, &s, 1); }

} // namespace

TEST(FilterSection, UnitySectionIsFlatAndZeroPhase)
{
    for (float f : {0.0f, 20.0f, 1000.0f, 24000.0f, 44000.0f}) {
        EXPECT_DOUBLE_EQ(Mag(kUnitySection, f), 0.0) << f;
        EXPECT_DOUBLE_EQ(Phase(kUnitySection, f), 0.0) << f;
    }
}

// A design whose b0 is exactly zero keeps its numerator unnormalised: the
// section b1 z^-1 is a one-sample delay, flat with a linear phase.
TEST(FilterSection, ZeroLeadingCoefficientEvaluatesThroughItsNumerator)
{
    const FilterSection delay = SectionFromCoefficients(0.0, 1.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(delay.g, 0.0);
    EXPECT_EQ(delay.beta1, 1.0);
    for (float f : {100.0f, 12000.0f, 24000.0f, 40000.0f}) {
        EXPECT_NEAR(Mag(delay, f), 0.0, 1e-12) << f;
        double expected = -360.0 * f / kSampleRate;
        if (expected < -180.0)
            expected += 360.0;
        EXPECT_NEAR(Phase(delay, f), expected, 1e-9) << f;
    }
    // All coefficients zero (a low pass at 0 Hz): silence, not a NaN.
    const FilterSection silent = SectionFromCoefficients(0.0, 0.0, 0.0, -1.0, 0.0);
    EXPECT_EQ(Mag(silent, 1000.0f), -INFINITY);
}

TEST(FilterSection, PhaseStaysWithinPlusMinus180)
{
    // A Butterworth low pass of order 8 turns 720 degrees; its reported
    // phase wraps instead of running on.
    CrossoverSections xo;
    ASSERT_TRUE(DesignCrossoverSections(XoLowPassButterworth, 1000, 8, xo));
    int jumps = 0;
    double previous = CascadePhase(20.0f, xo.data(), xo.size());
    for (float f = 21.0f; f < 40000.0f; f *= 1.01f) {
        const double p = CascadePhase(f, xo.data(), xo.size());
        ASSERT_GE(p, -180.0);
        ASSERT_LE(p, 180.0);
        if (p - previous > 180.0)
            ++jumps;
        previous = p;
    }
    EXPECT_EQ(jumps, 2); // at -180 and at -540 degrees
}

TEST(FilterSection, SumAddsChainsPhaseTrue)
{
    std::vector<FilterSection> buffer(3 * 2, kZeroSection);
    buffer[0] = kUnitySection; // chain 0: unity
    buffer[1] = kUnitySection;
    // One chain alone; the zero-filled chains add nothing.
    EXPECT_NEAR(SumMagnitude(1000.0f, buffer.data(), 2, buffer.size()), 0.0, 1e-12);
    // Two equal chains in phase: +6.02 dB.
    buffer[2] = kUnitySection;
    buffer[3] = kUnitySection;
    EXPECT_NEAR(SumMagnitude(1000.0f, buffer.data(), 2, buffer.size()), 20.0 * std::log10(2.0), 1e-12);
    // In opposite phase they cancel exactly.
    buffer[3].g = -1.0;
    EXPECT_EQ(SumMagnitude(1000.0f, buffer.data(), 2, buffer.size()), -INFINITY);
    EXPECT_EQ(SumPhase(1000.0f, buffer.data(), 2, buffer.size()), 0.0);
    // Trailing sections that do not fill a chain are not part of the sum.
    buffer[3].g = 1.0;
    EXPECT_NEAR(SumMagnitude(1000.0f, buffer.data(), 2, 3), 0.0, 1e-12);
}

TEST(FilterSection, EmptySumsAreSilentNotUndefined)
{
    const FilterSection one = kUnitySection;
    EXPECT_EQ(SumMagnitude(1000.0f, &one, 0, 1), -INFINITY);
    EXPECT_EQ(SumMagnitude(1000.0f, &one, 2, 1), -INFINITY);
    EXPECT_EQ(CascadeMagnitude(1000.0f, &one, 0), 0.0);
}
