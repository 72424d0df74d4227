// Crossover designs, output chains and the "Result" sum.
#include "zar40/dsp/crossover.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

using namespace zar40::dsp;

namespace {

CrossoverSections Design(std::uint32_t type, std::int32_t f, std::int32_t order)
{
    CrossoverSections s;
    EXPECT_TRUE(DesignCrossoverSections(type, f, order, s));
    return s;
}
double Mag(const CrossoverSections &s, float f) { return CascadeMagnitude(f, s.data(), s.size()); }
double Phase(const CrossoverSections &s, float f) { return CascadePhase(f, s.data(), s.size()); }

const double kHalfPowerDb = -10.0 * std::log10(2.0);

// Two outputs fed from the same input: one low pass, one high pass.
ResultBuffer pairSum(std::uint32_t lowType, std::uint32_t highType, std::int32_t f, std::int32_t order)
{
    const std::array<EqBandSettings, kEqBands> noBands{};
    const std::vector<OutputChain> chains{
        buildOutputChain(noBands, {lowType, f, order}, {XoHighPassBypass, 1000, 4}, true),
        buildOutputChain(noBands, {XoLowPassBypass, 1000, 4}, {highType, f, order}, true)};
    return buildResultBuffer(chains, true);
}
double sumMag(const ResultBuffer &b, double f)
{
    return SumMagnitude(static_cast<float>(f), b.data(), kOutputChainSections, b.size());
}

} // namespace

TEST(Crossover, EveryOrderMeetsItsLevelAtTheCrossoverFrequency)
{
    struct Family {
        std::uint32_t low, high;
        double atF;
        double tolerance; // the Bessel table holds its poles to 8 or 9 digits
    };
    const double lr = 2.0 * kHalfPowerDb;
    for (const Family fam : {Family{XoLowPassButterworth, XoHighPassButterworth, kHalfPowerDb, 1e-9},
                             Family{XoLowPassLinkwitzRiley, XoHighPassLinkwitzRiley, lr, 1e-9},
                             Family{XoLowPassBessel, XoHighPassBessel, kHalfPowerDb, 5e-5}}) {
        for (std::int32_t order = 1; order <= 8; ++order) {
            for (std::int32_t f : {100, 1000, 12000}) {
                const float ff = static_cast<float>(f);
                EXPECT_NEAR(Mag(Design(fam.low, f, order), ff), fam.atF, fam.tolerance) << fam.low << " n=" << order;
                EXPECT_NEAR(Mag(Design(fam.high, f, order), ff), fam.atF, fam.tolerance) << fam.high << " n=" << order;
                // Pass bands at unity gain.
                EXPECT_NEAR(Mag(Design(fam.low, f, order), ff / 50.0f), 0.0, 0.01) << fam.low << " n=" << order;
                EXPECT_NEAR(Mag(Design(fam.high, f, order), 47999.0f), 0.0, 0.05) << fam.high << " n=" << order;
            }
        }
    }
}

TEST(Crossover, PhasesAtAndFarAboveTheFrequency)
{
    EXPECT_NEAR(std::fabs(Phase(Design(XoLowPassButterworth, 1000, 4), 1000.0f)), 180.0, 1e-6);
    EXPECT_NEAR(Phase(Design(XoLowPassButterworth, 1000, 2), 1000.0f), -90.0, 1e-6);
    EXPECT_NEAR(Phase(Design(XoHighPassButterworth, 1000, 2), 1000.0f), 90.0, 1e-6);
    // Odd Bessel high passes invert well above f; Butterworth ones do not.
    EXPECT_NEAR(Phase(Design(XoHighPassBessel, 1000, 3), 40000.0f), -179.0, 1.0);
    EXPECT_NEAR(Phase(Design(XoHighPassBessel, 1000, 4), 40000.0f), 1.0, 1.0);
    EXPECT_NEAR(Phase(Design(XoHighPassButterworth, 1000, 3), 40000.0f), 1.0, 1.0);
}

TEST(Crossover, LinkwitzRileyOrdersComeInEqualPairs)
{
    for (std::uint32_t type : {XoLowPassLinkwitzRiley, XoHighPassLinkwitzRiley}) {
        for (std::int32_t order : {1, 3, 5, 7})
            EXPECT_EQ(Design(type, 1000, order), Design(type, 1000, order + 1)) << type << " " << order;
        // Each is the square of the Butterworth filter of half the order.
        const std::uint32_t bw = type - 1;
        for (float f : {300.0f, 1000.0f, 3000.0f})
            EXPECT_NEAR(Mag(Design(type, 1000, 6), f), 2.0 * Mag(Design(bw, 1000, 3), f), 1e-9);
    }
}

TEST(Crossover, LinkwitzRileyPairSumsFlat)
{
    const ResultBuffer sum = pairSum(XoLowPassLinkwitzRiley, XoHighPassLinkwitzRiley, 1000, 4);
    for (double f = 20.0; f <= 20000.0; f *= 1.05)
        EXPECT_NEAR(sumMag(sum, f), 0.0, 0.01) << f;
}

TEST(Crossover, ButterworthSecondOrderPairCancelsAtTheCrossover)
{
    const ResultBuffer sum = pairSum(XoLowPassButterworth, XoHighPassButterworth, 1000, 2);
    EXPECT_LT(sumMag(sum, 1000.0), -200.0);
    EXPECT_NEAR(sumMag(sum, 1000.0 * std::sqrt(2.0)), -6.99, 0.01);
    EXPECT_NEAR(sumMag(sum, 1000.0 / std::sqrt(2.0)), -6.99, 0.01);
    EXPECT_NEAR(sumMag(sum, 2000.0), -2.76, 0.01);
    EXPECT_NEAR(sumMag(sum, 500.0), -2.76, 0.01);
}

TEST(Crossover, BypassedOutputsDrawNothingButStillCountInTheSum)
{
    std::array<EqBandSettings, kEqBands> bands{};
    bands[0] = {EqPeq1, 1000, 0.7f, 6.0f};
    EXPECT_EQ(Design(XoLowPassBypass, 1000, 4), (CrossoverSections{kUnitySection, kUnitySection, kUnitySection, kUnitySection}));
    const OutputChain bypassed = buildOutputChain(bands, {XoLowPassBypass, 1000, 4}, {XoHighPassBypass, 1000, 4}, false);
    for (const FilterSection &s : bypassed)
        EXPECT_EQ(s, kUnitySection);

    // With "PEQ" on the band counts; the sum drops it when "PEQ" is off.
    const OutputChain withPeq = buildOutputChain(bands, {XoLowPassBypass, 1000, 4}, {XoHighPassBypass, 1000, 4}, true);
    EXPECT_NEAR(CascadeMagnitude(1000.0f, withPeq.data(), withPeq.size()), 6.0, 1e-6);
    const std::vector<OutputChain> two{withPeq, withPeq};
    EXPECT_NEAR(sumMag(buildResultBuffer(two, true), 1000.0), 6.0 + 20.0 * std::log10(2.0), 1e-6);
    EXPECT_NEAR(sumMag(buildResultBuffer(two, false), 1000.0), 20.0 * std::log10(2.0), 1e-9);
    // More than six chains: only six fit.
    const std::vector<OutputChain> eight(8, bypassed);
    EXPECT_NEAR(sumMag(buildResultBuffer(eight, true), 1000.0), 20.0 * std::log10(6.0), 1e-9);
}

TEST(Crossover, OrdersOutsideTheRangeAreClamped)
{
    for (std::uint32_t type = 0; type <= kCrossoverTypeMax; ++type) {
        for (std::int32_t order : {9, 100, INT_MAX}) {
            EXPECT_EQ(Design(type, 1000, order), Design(type, 1000, 8)) << type << " " << order;
        }
        for (std::int32_t order : {0, -1, INT_MIN}) {
            EXPECT_EQ(Design(type, 1000, order),
                      (CrossoverSections{kUnitySection, kUnitySection, kUnitySection, kUnitySection}))
                << type << " " << order;
        }
    }
    EXPECT_EQ(effectiveCrossoverOrder(12), 8);
    EXPECT_EQ(effectiveCrossoverOrder(-3), 0);
    EXPECT_EQ(besselPoles(9).count, 0u);
}

TEST(Crossover, PoleListsAndRefusals)
{
    for (std::int32_t n = 1; n <= 8; ++n) {
        const PoleList bw = butterworthPoles(n);
        const PoleList bessel = besselPoles(n);
        ASSERT_EQ(bw.count, static_cast<std::size_t>(n));
        ASSERT_EQ(bessel.count, static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < bw.count; ++i) {
            EXPECT_NEAR(std::abs(bw.poles[i]), 1.0, 1e-12);
            EXPECT_LT(bw.poles[i].real(), 0.0);
            EXPECT_LT(bessel.poles[i].real(), 0.0);
        }
        for (std::size_t i = 0; i < bw.count / 2; ++i) {
            EXPECT_GT(bw.poles[i].imag(), 0.0);
            EXPECT_GT(bessel.poles[i].imag(), 0.0);
            EXPECT_EQ(bessel.poles[bessel.count - bessel.count / 2 + i], std::conj(bessel.poles[i]));
        }
        if (n % 2 == 1) {
            EXPECT_EQ(bw.poles[n / 2], std::complex<double>(-1.0, 0.0));
        }
    }
    const CrossoverSections marker{FilterSection{2, 3, 4, 5, 6}, kZeroSection, kZeroSection, kZeroSection};
    CrossoverSections s = marker;
    EXPECT_FALSE(DesignCrossoverSections(8, 1000, 4, s));
    EXPECT_EQ(s, marker);
    EXPECT_EQ(CrossoverTypeName(6), "Linkwitz-Riley");
    EXPECT_EQ(CrossoverTypeName(8), "");

    ChainProblems problems;
    std::array<EqBandSettings, kEqBands> bands{};
    bands[3].type = 40;
    const OutputChain chain = buildOutputChain(bands, {9, 1000, 4}, {XoHighPassBessel, 1000, 4}, true, &problems);
    EXPECT_TRUE(problems.bands[3].refused);
    EXPECT_TRUE(problems.lowPass.refused);
    EXPECT_FALSE(problems.highPass.any());
    EXPECT_EQ(chain[3], kUnitySection);
    EXPECT_EQ(chain[5], kUnitySection);
}

TEST(Crossover, SectionsThatAreNotFiniteAreLeftOutOfChainsAndSums)
{
    // A Q of 0 (or NaN) divides by zero in every design that reads Q.
    std::array<EqBandSettings, kEqBands> bands{};
    bands[0] = {EqPeq1, 1000, 0.0f, 6.0f};
    bands[1] = {EqPeq1, 1000, 0.7f, 6.0f};
    bands[2] = {EqLowPass, 1000, std::numeric_limits<float>::quiet_NaN(), 0.0f};
    ChainProblems problems;
    const OutputChain chain = buildOutputChain(bands, {XoLowPassButterworth, 10000, 2}, {XoHighPassBypass, 1000, 4},
                                               true, &problems);
    EXPECT_TRUE(problems.bands[0].notFinite);
    EXPECT_FALSE(problems.bands[1].any());
    EXPECT_TRUE(problems.bands[2].notFinite);
    EXPECT_FALSE(problems.bands[2].refused);
    EXPECT_TRUE(problems.any());
    for (const FilterSection &s : chain)
        EXPECT_TRUE(isFinite(s));
    // Drawn as if the two bands were bypassed: the +6 dB band alone.
    EXPECT_NEAR(CascadeMagnitude(1000.0f, chain.data(), chain.size()), 6.0, 1e-3);
    const std::vector<OutputChain> two{chain, chain};
    EXPECT_TRUE(std::isfinite(sumMag(buildResultBuffer(two, true), 1000.0)));

    FilterSection one;
    PartProblem problem;
    EXPECT_FALSE(designEqSectionOrUnity(bands[0], one, &problem));
    EXPECT_EQ(one, kUnitySection);
    EXPECT_TRUE(problem.notFinite);
    EXPECT_TRUE(designEqSectionOrUnity(bands[1], one, &problem));
    EXPECT_FALSE(problem.any());
}
