// Evaluation of sections, chains and sums of chains.
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/eq_design.h"
#include "zar40/dsp/filter_section.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
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
    const FilterSection delay = sectionFromCoefficients(0.0, 1.0, 0.0, 0.0, 0.0);
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
    const FilterSection silent = sectionFromCoefficients(0.0, 0.0, 0.0, -1.0, 0.0);
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
std::complex<double> reference(float f, const std::vector<FilterSection> &chain)
{
    const double w = static_cast<double>(f) * (-2.0 * std::numbers::pi) / 96000.0;
    const std::complex<double> z1(std::cos(w), std::sin(w)), z2(std::cos(2 * w), std::sin(2 * w));
    std::complex<double> p = 1.0;
    for (const FilterSection &s : chain)
        p = p * s.g * (1.0 + s.beta1 * z1 + s.beta2 * z2) / (1.0 - s.alpha1 * z1 - s.alpha2 * z2);
    return p;
}

std::vector<FilterSection> everyDesign()
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
    const std::vector<FilterSection> all = everyDesign();
    for (std::size_t start = 0; start + 13 <= all.size(); start += 5) {
        const std::vector<FilterSection> chain(all.begin() + static_cast<std::ptrdiff_t>(start),
                                               all.begin() + static_cast<std::ptrdiff_t>(start + 13));
        for (float f : {20.0f, 333.0f, 2500.0f, 11111.0f, 44000.0f}) {
            const std::complex<double> ref = reference(f, chain);
            EXPECT_NEAR(CascadeMagnitude(f, chain.data(), chain.size()), 20.0 * std::log10(std::abs(ref)), 1e-9);
            EXPECT_NEAR(CascadePhase(f, chain.data(), chain.size()), std::arg(ref) * 180.0 / std::numbers::pi, 1e-9);
        }
    }
}

// The whole-curve functions evaluate several frequencies at once; every
// column must still be what the single-frequency functions give there, at
// whichever lane width, in the columns that fill whole vectors and in the
// few left over.
namespace {

void expectSameDb(double curve, double single, std::size_t column)
{
    if (std::isinf(single) || std::isnan(single)) {
        EXPECT_EQ(std::isnan(curve), std::isnan(single)) << column;
        if (!std::isnan(single)) {
            EXPECT_EQ(curve, single) << column;
        }
        return;
    }
    EXPECT_NEAR(curve, single, 1e-6) << column;
}

void expectSameDegrees(double curve, double single, std::size_t column)
{
    if (std::isnan(single)) {
        EXPECT_TRUE(std::isnan(curve)) << column;
        return;
    }
    // +180 and -180 are the same angle.
    EXPECT_NEAR(std::remainder(curve - single, 360.0), 0.0, 1e-6) << column;
}

} // namespace

class CurveLanesTest : public ::testing::TestWithParam<CurveLanes>
{
protected:
    void SetUp() override { setCurveLanes(GetParam()); }
    void TearDown() override { setCurveLanes(CurveLanes::Widest); }

    // The sum of the chains in sum (13 sections each) and the cascade of
    // all's first five sections, curve against single frequency.
    static void ExpectCurvesEqualSinglePoints(const std::vector<float> &freqs, const std::vector<FilterSection> &sum,
                                              const std::vector<FilterSection> &chain)
    {
        const std::vector<UnitCirclePoint> points = unitCirclePoints(freqs);
        std::vector<double> mag(freqs.size()), phase(freqs.size()), cmag(freqs.size()), cphase(freqs.size());
        sumMagnitudeCurve(points, sum.data(), 13, sum.size(), mag);
        sumPhaseCurve(points, sum.data(), 13, sum.size(), phase);
        cascadeMagnitudeCurve(points, chain.data(), chain.size(), cmag);
        cascadePhaseCurve(points, chain.data(), chain.size(), cphase);
        for (std::size_t i = 0; i < freqs.size(); ++i) {
            expectSameDb(mag[i], SumMagnitude(freqs[i], sum.data(), 13, sum.size()), i);
            expectSameDegrees(phase[i], SumPhase(freqs[i], sum.data(), 13, sum.size()), i);
            expectSameDb(cmag[i], CascadeMagnitude(freqs[i], chain.data(), chain.size()), i);
            expectSameDegrees(cphase[i], CascadePhase(freqs[i], chain.data(), chain.size()), i);
        }
    }
};

TEST_P(CurveLanesTest, CurvesOnPrecomputedPointsEqualSinglePoints)
{
    const std::vector<FilterSection> all = everyDesign();
    // Three live chains and three empty slots, as in a "Result" of three outputs.
    std::vector<FilterSection> sum(78, kZeroSection);
    std::copy(all.begin(), all.begin() + 39, sum.begin());
    const std::vector<FilterSection> chain(all.begin(), all.begin() + 5);
    // 203 columns: whole vectors and a remainder at every lane width.
    const std::vector<float> freqs = logSpacedFrequencies(20.0f, 44000.0f, 203);
    ASSERT_EQ(freqs.front(), 20.0f);
    ASSERT_EQ(freqs.back(), 44000.0f);
    ExpectCurvesEqualSinglePoints(freqs, sum, chain);
    // Fewer columns than one vector holds.
    for (std::size_t n = 1; n <= 3; ++n)
        ExpectCurvesEqualSinglePoints(std::vector<float>(freqs.begin(), freqs.begin() + static_cast<std::ptrdiff_t>(n)),
                                      sum, chain);
}

// A pole exactly on the unit circle is left to the library's complex
// division, also when only one column of a vector meets it: an integrator
// at 0 Hz is infinite there, and its neighbours stay finite.
TEST_P(CurveLanesTest, APoleOnTheUnitCircleStaysInItsOwnColumn)
{
    const FilterSection integrator = sectionFromCoefficients(1.0, 0.0, 0.0, -1.0, 0.0);
    std::vector<FilterSection> sum(26, kUnitySection);
    sum[0] = integrator;
    const std::vector<FilterSection> chain{integrator, kUnitySection};
    for (std::size_t at : {0u, 1u, 5u, 10u}) {
        std::vector<float> freqs(13);
        for (std::size_t i = 0; i < freqs.size(); ++i)
            freqs[i] = 100.0f * static_cast<float>(i + 1);
        freqs[at] = 0.0f;
        ExpectCurvesEqualSinglePoints(freqs, sum, chain);
        const std::vector<UnitCirclePoint> points = unitCirclePoints(freqs);
        std::vector<double> mag(freqs.size());
        cascadeMagnitudeCurve(points, chain.data(), chain.size(), mag);
        EXPECT_EQ(mag[at], INFINITY) << at;
        EXPECT_TRUE(std::isfinite(mag[(at + 1) % freqs.size()])) << at;
    }
}

// Two chains in opposite phase cancel to exact silence in every column, and
// a sum with no live chain is silent, not undefined.
TEST_P(CurveLanesTest, CancellingAndEmptySumsAreSilentInEveryColumn)
{
    const std::vector<FilterSection> all = everyDesign();
    std::vector<FilterSection> sum(39, kZeroSection);
    std::copy(all.begin(), all.begin() + 13, sum.begin());
    std::copy(all.begin(), all.begin() + 13, sum.begin() + 13);
    sum[13].g = -sum[13].g;
    const std::vector<float> freqs = logSpacedFrequencies(20.0f, 44000.0f, 19);
    const std::vector<UnitCirclePoint> points = unitCirclePoints(freqs);
    std::vector<double> mag(freqs.size()), silent(freqs.size());
    sumMagnitudeCurve(points, sum.data(), 13, sum.size(), mag);
    const std::vector<FilterSection> empty(26, kZeroSection);
    sumMagnitudeCurve(points, empty.data(), 13, empty.size(), silent);
    for (std::size_t i = 0; i < freqs.size(); ++i) {
        EXPECT_EQ(mag[i], -INFINITY) << i;
        EXPECT_EQ(silent[i], -INFINITY) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(FilterSection, CurveLanesTest,
                         ::testing::Values(CurveLanes::Widest, CurveLanes::Two, CurveLanes::One),
                         [](const ::testing::TestParamInfo<CurveLanes> &info) {
                             switch (info.param) {
                             case CurveLanes::Widest: return std::string("Widest");
                             case CurveLanes::Two: return std::string("Two");
                             case CurveLanes::One: return std::string("One");
                             }
                             return std::string();
                         });
