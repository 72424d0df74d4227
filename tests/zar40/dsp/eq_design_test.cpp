// Equalizer band designs: the documented values of every band type.
#include "zar40/dsp/eq_design.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zar40::dsp;

namespace {

FilterSection Design(std::uint32_t type, std::int32_t f, float q, float gain)
{
    FilterSection s;
    EXPECT_TRUE(DesignEqSection(type, f, q, gain, s));
    return s;
}
double Mag(const FilterSection &s, float f) { return CascadeMagnitude(f, &s, 1); }
// The gain a design realises: its exponent G/20 rounded to single precision.
double Realised(float gainDb) { return 20.0 * static_cast<float>(static_cast<double>(gainDb) / 20.0); }
double Phase(const FilterSection &s, float f) { return CascadePhase(f, &s, 1); }

} // namespace

TEST(EqDesign, PeakingBandsHitTheirGainAtTheirFrequencyAndVanishAtTheEnds)
{
    for (std::uint32_t type : {EqPeq1, EqPeq2}) {
        for (std::int32_t f : {50, 1000, 15000}) {
            for (float gain : {6.0f, -6.0f, 12.0f, -20.0f}) {
                const FilterSection s = Design(type, f, 0.7f, gain);
                EXPECT_NEAR(Mag(s, static_cast<float>(f)), Realised(gain), 1e-9) << type << " " << f << " " << gain;
                EXPECT_NEAR(Mag(s, 0.0f), 0.0, 1e-9);
                EXPECT_NEAR(Mag(s, 47999.0f), 0.0, 1e-3);
            }
        }
    }
}

TEST(EqDesign, PeqTwoCutsWithTheExactInverseOfItsBoost)
{
    EXPECT_EQ(Design(EqPeq1, 1000, 0.7f, 6.0f), Design(EqPeq2, 1000, 0.7f, 6.0f));
    const FilterSection boost = Design(EqPeq2, 1000, 0.7f, 6.0f);
    const FilterSection cut2 = Design(EqPeq2, 1000, 0.7f, -6.0f);
    const FilterSection cut1 = Design(EqPeq1, 1000, 0.7f, -6.0f);
    for (float f : {100.0f, 500.0f, 1000.0f, 3000.0f, 20000.0f})
        EXPECT_NEAR(Mag(boost, f) + Mag(cut2, f), 0.0, 1e-9) << f;
    // Both cuts reach -6 dB at 1000 Hz; PEQ I is the narrower one.
    EXPECT_NEAR(Mag(cut1, 1000.0f), -6.0, 0.005);
    EXPECT_NEAR(Mag(cut2, 1000.0f), -6.0, 0.005);
    EXPECT_LT(Mag(cut2, 500.0f), Mag(cut1, 500.0f) - 0.5);
    EXPECT_LT(Mag(cut2, 2000.0f), Mag(cut1, 2000.0f) - 0.5);
}

// The exponent G/20 is rounded to single precision before the power.
TEST(EqDesign, GainExponentIsFormedInSinglePrecision)
{
    for (float gain : {0.1f, 6.0f}) {
        ASSERT_GT(std::fabs(Realised(gain) - static_cast<double>(gain)), 1e-9);
        EXPECT_NEAR(Mag(Design(EqPeq1, 1000, 0.7f, gain), 1000.0f), Realised(gain), 1e-11);
    }
}

TEST(EqDesign, ShelvesMatchTheirDocumentedLevels)
{
    EXPECT_NEAR(Mag(Design(EqLowShelf6, 1000, 0.7f, 6.0f), 1000.0f), 2.04, 0.005);
    EXPECT_NEAR(Mag(Design(EqLowShelf6, 1000, 0.7f, 6.0f), 5.0f), 6.0, 0.005);
    EXPECT_NEAR(Mag(Design(EqLowShelf6, 1000, 0.7f, 12.0f), 1000.0f), 9.26, 0.005);
    EXPECT_NEAR(Mag(Design(EqLowShelf12, 1000, 0.7f, 6.0f), 1000.0f), 3.95, 0.005);
    EXPECT_NEAR(Mag(Design(EqLowShelf12, 1000, 0.7f, -6.0f), 1000.0f), -3.95, 0.005);
    // High shelves: full gain toward Nyquist, none at low frequencies.
    for (std::uint32_t type : {EqHighShelf6, EqHighShelf12}) {
        for (float gain : {6.0f, 12.0f, -6.0f}) {
            const FilterSection s = Design(type, 1000, 0.7f, gain);
            EXPECT_NEAR(Mag(s, 5.0f), 0.0, 0.01) << type << " " << gain;
            EXPECT_NEAR(Mag(s, 47999.0f), gain, 0.01) << type << " " << gain;
        }
    }
    // The low shelves mirror that: full gain at 0 Hz, none at Nyquist.
    for (std::uint32_t type : {EqLowShelf6, EqLowShelf12}) {
        for (float gain : {6.0f, 12.0f, -6.0f}) {
            const FilterSection s = Design(type, 1000, 0.7f, gain);
            EXPECT_NEAR(Mag(s, 0.0f), Realised(gain), 1e-9) << type << " " << gain;
            EXPECT_NEAR(Mag(s, 47999.0f), 0.0, 0.01) << type << " " << gain;
        }
    }
}

TEST(EqDesign, PassAndStopBands)
{
    const FilterSection lp = Design(EqLowPass, 1000, 0.7f, 0.0f);
    const FilterSection hp = Design(EqHighPass, 1000, 0.7f, 0.0f);
    EXPECT_NEAR(Mag(lp, 1000.0f), -3.10, 0.005);
    EXPECT_NEAR(Phase(lp, 1000.0f), -90.0, 1e-6);
    EXPECT_NEAR(Mag(hp, 1000.0f), -3.10, 0.005);
    EXPECT_NEAR(Phase(hp, 1000.0f), 90.0, 1e-6);

    const FilterSection bp = Design(EqBandPass, 1000, 2.0f, 0.0f);
    EXPECT_NEAR(Mag(bp, 1000.0f), 0.0, 1e-9);
    EXPECT_NEAR(Phase(bp, 1000.0f), 0.0, 1e-6);
    // -3 dB bandwidth f/Q: find both edges.
    auto edge = [&](double lo, double hi) {
        const double halfPower = -10.0 * std::log10(2.0);
        const bool loBelow = Mag(bp, static_cast<float>(lo)) < halfPower;
        for (int i = 0; i < 40; ++i) {
            const double mid = (lo + hi) / 2.0;
            ((Mag(bp, static_cast<float>(mid)) < halfPower) == loBelow ? lo : hi) = mid;
        }
        return lo;
    };
    EXPECT_NEAR(edge(1000.0, 5000.0) - edge(10.0, 1000.0), 500.0, 1.0);

    EXPECT_LT(Mag(Design(EqBandStop, 1000, 2.0f, 0.0f), 1000.0f), -100.0);
    EXPECT_NEAR(Mag(Design(EqBandStop, 1000, 2.0f, 0.0f), 20.0f), 0.0, 0.01);
}

TEST(EqDesign, AllPassesAreFlatWithTheirPhaseAtTheirFrequency)
{
    const FilterSection ap1 = Design(EqAllPass1, 1000, 0.7f, 0.0f);
    const FilterSection ap2 = Design(EqAllPass2, 1000, 0.7f, 0.0f);
    for (float f = 20.0f; f < 48000.0f; f *= 1.5f) {
        EXPECT_NEAR(Mag(ap1, f), 0.0, 1e-9) << f;
        EXPECT_NEAR(Mag(ap2, f), 0.0, 1e-9) << f;
    }
    EXPECT_NEAR(Phase(ap1, 1000.0f), -90.0, 1e-6);
    EXPECT_NEAR(std::fabs(Phase(ap2, 1000.0f)), 180.0, 1e-6);
    // The corner case whose leading coefficient vanishes in exact
    // arithmetic: still flat, still -90 degrees at its frequency.
    const FilterSection edge = Design(EqAllPass1, 24000, 0.7f, 0.0f);
    for (float f : {20.0f, 1000.0f, 24000.0f, 44000.0f})
        EXPECT_NEAR(Mag(edge, f), 0.0, 1e-9) << f;
    EXPECT_NEAR(Phase(edge, 24000.0f), -90.0, 1e-6);
    const FilterSection edge2 = Design(EqAllPass2, 2400, 0.1f, 0.0f);
    for (float f : {20.0f, 2400.0f, 44000.0f})
        EXPECT_NEAR(Mag(edge2, f), 0.0, 1e-6) << f;
}

TEST(EqDesign, BypassIsUnityAndUnknownCodesAreRefused)
{
    EXPECT_EQ(Design(EqBypass, 1000, 0.7f, 6.0f), kUnitySection);
    const FilterSection marker{2.0, 3.0, 4.0, 5.0, 6.0};
    FilterSection s = marker;
    EXPECT_FALSE(DesignEqSection(13, 1000, 0.7f, 6.0f, s));
    EXPECT_FALSE(DesignEqSection(0xFFFFFFFFu, 1000, 0.7f, 6.0f, s));
    EXPECT_EQ(s, marker);
    // A low pass at 0 Hz has no response at all: -inf, never NaN.
    EXPECT_EQ(Mag(Design(EqLowPass, 0, 0.7f, 0.0f), 1000.0f), -INFINITY);
}

TEST(EqDesign, NamesRangesAndFrequencyTruncation)
{
    // The band editor's list starts at code 1; code 0 is its check box.
    EXPECT_EQ(eqBandShortName(0), "");
    EXPECT_EQ(eqBandShortName(1), " PEQ I");
    EXPECT_EQ(EqBandTypeName(4), "Low Shelf 12dB");
    EXPECT_EQ(EqBandTypeName(12), "All Pass II");
    EXPECT_EQ(EqBandTypeName(13), "");
    EXPECT_EQ(eqBandTypeAtListPosition(0), EqPeq1);
    EXPECT_EQ(eqBandTypeAtListPosition(11), EqAllPass2);
    EXPECT_EQ(eqBandTypeAtListPosition(12), EqBypass);
    EXPECT_EQ(eqBandTypeAtListPosition(-1), EqBypass);
    for (std::uint32_t t = 0; t <= 13; ++t)
        EXPECT_EQ(eqBandTypeAtListPosition(eqBandListPosition(t)), t <= 12 ? t : EqBypass) << t;
    for (std::uint32_t t = 0; t <= 13; ++t) {
        const bool withGain = t >= 1 && t <= 6;
        EXPECT_EQ(eqBandTypeUses(t).gain, withGain) << t;
    }
    EXPECT_EQ(truncateFrequency(999.9), 999);
    EXPECT_EQ(truncateFrequency(-0.5), 0);
    EXPECT_EQ(truncateFrequency(1e12), 2147483647);
    EXPECT_EQ(truncateFrequency(std::nan("")), 0);
}
