#include "zar40/measurement/response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace zar40::measurement;
namespace dsp = zar40::dsp;

namespace {

Measurement line(std::vector<double> f, std::vector<double> db, std::vector<double> deg = {})
{
    Measurement m;
    m.frequencyHz = std::move(f);
    m.magnitudeDb = std::move(db);
    m.phaseDeg = std::move(deg);
    return m;
}

} // namespace

TEST(MeasurementResponse, InterpolatesOnLogFrequencyAndLeavesGapsOutside)
{
    const Measurement m = line({100, 10000}, {0, 20}, {170, 190 - 360});
    const std::vector<float> f{50.0f, 100.0f, 1000.0f, 10000.0f, 20000.0f};
    const Curve c = interpolate(m, f, 1.0);
    EXPECT_TRUE(std::isnan(c.magnitudeDb[0]));
    EXPECT_DOUBLE_EQ(c.magnitudeDb[1], 1.0);
    // 1 kHz is half way between 100 Hz and 10 kHz on a log axis.
    EXPECT_NEAR(c.magnitudeDb[2], 11.0, 1e-6);
    EXPECT_DOUBLE_EQ(c.magnitudeDb[3], 21.0);
    EXPECT_TRUE(std::isnan(c.magnitudeDb[4]));
    // 170 to -170 degrees is a 20 degree step through 180, not -340.
    EXPECT_NEAR(std::abs(c.phaseDeg[2]), 180.0, 1e-6);
}

TEST(MeasurementResponse, NormalisesTheMidBandToZero)
{
    const Measurement m = line({20, 200, 2000, 20000}, {60, 85, 85, 70});
    ASSERT_TRUE(normalisationOffset(m).has_value());
    EXPECT_NEAR(*normalisationOffset(m), -85.0, 1e-9);
    const std::vector<float> f{1000.0f};
    EXPECT_NEAR(onFrequencies(m, f, Normalisation::MidBand).magnitudeDb[0], 0.0, 1e-9);
    EXPECT_NEAR(onFrequencies(m, f, Normalisation::Off).magnitudeDb[0], 85.0, 1e-9);
    // Nothing in 200 Hz to 2 kHz: nothing to normalise to.
    EXPECT_FALSE(normalisationOffset(line({5000, 20000}, {1, 2})).has_value());
}

TEST(MeasurementResponse, PredictionAddsTheChannelsOwnBands)
{
    const std::vector<float> f = dsp::logSpacedFrequencies(20.0f, 20000.0f, 50);
    const Curve flat = interpolate(line({10, 30000}, {3, 3}, {10, 10}), f);
    std::array<dsp::EqBandSettings, dsp::kEqBands> bands{};
    bands[1] = {dsp::EqPeq2, 1000, 2.0f, -6.0f};
    bands[3] = {dsp::EqHighShelf12, 8000, 0.7f, 4.0f};
    const Curve p = predictEq(flat, bands);
    const dsp::EqChain chain = dsp::buildEqChain(bands);
    for (std::size_t k = 0; k < f.size(); ++k) {
        EXPECT_NEAR(p.magnitudeDb[k], 3.0 + dsp::CascadeMagnitude(f[k], chain.data(), chain.size()), 1e-9);
        const double expectPhase = std::remainder(10.0 + dsp::CascadePhase(f[k], chain.data(), chain.size()), 360.0);
        EXPECT_NEAR(std::remainder(p.phaseDeg[k] - expectPhase, 360.0), 0.0, 1e-9);
    }
}

TEST(MeasurementResponse, SumIsPhaseTrueAndNeedsPhaseEverywhere)
{
    const std::vector<float> f{1000.0f};
    dsp::OutputChain low{}, high{};
    for (auto &s : low) s = dsp::kUnitySection;
    for (auto &s : high) s = dsp::kUnitySection;
    dsp::CrossoverSections lp{}, hp{};
    ASSERT_TRUE(dsp::DesignCrossoverSections(dsp::XoLowPassLinkwitzRiley, 1000, 4, lp));
    ASSERT_TRUE(dsp::DesignCrossoverSections(dsp::XoHighPassLinkwitzRiley, 1000, 4, hp));
    std::copy(lp.begin(), lp.end(), low.begin() + 5);
    std::copy(hp.begin(), hp.end(), high.begin() + 9);
    const Curve m = interpolate(line({20, 20000}, {0, 0}, {0, 0}), f);
    const std::vector<Curve> both{predictOutput(m, low), predictOutput(m, high)};
    EXPECT_NEAR(both[0].magnitudeDb[0], -6.02, 0.01);
    const auto sum = complexSum(both);
    ASSERT_TRUE(sum.has_value());
    EXPECT_NEAR(sum->magnitudeDb[0], 0.0, 1e-6);

    const Curve noPhase = interpolate(line({20, 20000}, {0, 0}), f);
    const std::vector<Curve> mixed{predictOutput(m, low), predictOutput(noPhase, high)};
    EXPECT_FALSE(complexSum(mixed).has_value());
}
