// Evaluation of sections, chains and sums of chains.
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/eq_design.h"
#include "zar40/dsp/filter_section.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace zar40::dsp;

namespace {

double Mag(const FilterSection &s, float f) { return CascadeMagnitude(f, &s, 1); }
double Phase(const FilterSection &s, float f) { return CascadePhase(f, &s, 1); }

} // namespace

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

namespace {

// The chain product exactly as documented, one complex division per section.
std::complex<double> Reference(float f, const std::vector<FilterSection> &chain)
{
    const double w = static_cast<double>(f) * (-2.0 * std::numbers::pi) / 96000.0;
    const std::complex<double> z1(std::cos(w), std::sin(w)), z2(std::cos(2 * w), std::sin(2 * w));
    std::complex<double> p = 1.0;
    for (const FilterSection &s : chain)
        p = p * s.g * (1.0 + s.beta1 * z1 + s.beta2 * z2) / (1.0 - s.alpha1 * z1 - s.alpha2 * z2);
    return p;
}

std::vector<FilterSection> EveryDesign()
{
    std::vector<FilterSection> all;
    for (std::uint32_t type = 1; type <= kEqBandTypeMax; ++type) {
        FilterSection s;
        DesignEqSection(type, 300 * static_cast<std::int32_t>(type), 0.5f + 0.3f * static_cast<float>(type),
                        type % 2 ? -7.5f : 9.0f, s);
        all.push_back(s);
    }
    for (std::uint32_t type = 1; type <= kCrossoverTypeMax; ++type) {
        CrossoverSections xo;
        DesignCrossoverSections(type, 2500, static_cast<std::int32_t>(type) + 1, xo);
        all.insert(all.end(), xo.begin(), xo.end());
    }
    return all;
}

} // namespace

TEST(FilterSection, ChainsEqualTheDocumentedProduct)
{
    const std::vector<FilterSection> all = EveryDesign();
    for (std::size_t start = 0; start + 13 <= all.size(); start += 5) {
        const std::vector<FilterSection> chain(all.begin() + static_cast<std::ptrdiff_t>(start),
                                               all.begin() + static_cast<std::ptrdiff_t>(start + 13));
        for (float f : {20.0f, 333.0f, 2500.0f, 11111.0f, 44000.0f}) {
            const std::complex<double> ref = Reference(f, chain);
            EXPECT_NEAR(CascadeMagnitude(f, chain.data(), chain.size()), 20.0 * std::log10(std::abs(ref)), 1e-9);
            EXPECT_NEAR(CascadePhase(f, chain.data(), chain.size()), std::arg(ref) * 180.0 / std::numbers::pi, 1e-9);
        }
    }
}

TEST(FilterSection, CurvesOnPrecomputedPointsEqualSinglePoints)
{
    const std::vector<float> freqs = LogSpacedFrequencies(20.0f, 44000.0f, 200);
    ASSERT_EQ(freqs.front(), 20.0f);
    ASSERT_EQ(freqs.back(), 44000.0f);
    const std::vector<UnitCirclePoint> points = UnitCirclePoints(freqs);
    // Three live chains and three empty slots, as in a "Result" of three outputs.
    std::vector<FilterSection> sum(78, kZeroSection);
    const std::vector<FilterSection> all = EveryDesign();
    std::copy(all.begin(), all.begin() + 39, sum.begin());
    std::vector<double> mag(freqs.size()), phase(freqs.size()), cmag(freqs.size()), cphase(freqs.size());
    SumMagnitudeCurve(points, sum.data(), 13, sum.size(), mag);
    SumPhaseCurve(points, sum.data(), 13, sum.size(), phase);
    CascadeMagnitudeCurve(points, all.data(), 5, cmag);
    CascadePhaseCurve(points, all.data(), 5, cphase);
    for (std::size_t i = 0; i < freqs.size(); ++i) {
        EXPECT_EQ(mag[i], SumMagnitude(freqs[i], sum.data(), 13, sum.size()));
        EXPECT_EQ(phase[i], SumPhase(freqs[i], sum.data(), 13, sum.size()));
        EXPECT_EQ(cmag[i], CascadeMagnitude(freqs[i], all.data(), 5));
        EXPECT_EQ(cphase[i], CascadePhase(freqs[i], all.data(), 5));
    }
}
