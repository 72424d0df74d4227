#include "zar40/measurement/fit.h"

#include "fit_cases.h"

#include <gtest/gtest.h>

using namespace zar40::measurement;
namespace dsp = zar40::dsp;

namespace {

FitOptions allBandsFree()
{
    FitOptions o;
    o.usable.fill(true);
    return o;
}

} // namespace

class FitOnDeviceBands : public ::testing::TestWithParam<unsigned> {};

// A response that five device bands on a flat channel produce can be
// undone by the same bands, so the fit has to come close to flat, with
// noise on the measurement too.
TEST_P(FitOnDeviceBands, FlattensIt)
{
    const fitcases::Case c = fitcases::deviceBands(GetParam(), 0.0);
    const FitResult r = fitEq(c.measurement, Bands{}, allBandsFree());
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(r.improved);
    EXPECT_LT(r.after.rmsDb, 0.5) << fitcases::describe(c, r);
    EXPECT_LT(r.after.maxDb, 1.5) << fitcases::describe(c, r);
    for (const auto &b : r.bands) {
        if (b.type == dsp::EqBypass)
            continue;
        EXPECT_LE(b.gainDb, 6.0f);
        EXPECT_GE(b.gainDb, -20.0f);
        EXPECT_GE(b.q, 0.1f);
        EXPECT_LE(b.q, 20.0f);
        EXPECT_GE(b.frequencyHz, 20);
        EXPECT_LE(b.frequencyHz, 44000);
    }

    const fitcases::Case noisy = fitcases::deviceBands(GetParam(), 0.3);
    const FitResult n = fitEq(noisy.measurement, Bands{}, allBandsFree());
    ASSERT_TRUE(n.ok) << n.message;
    EXPECT_LT(n.after.rmsDb, 0.7) << fitcases::describe(noisy, n);
}

INSTANTIATE_TEST_SUITE_P(Plain, FitOnDeviceBands, ::testing::ValuesIn(fitcases::kPlainSeeds));
INSTANTIATE_TEST_SUITE_P(Overlapping, FitOnDeviceBands, ::testing::ValuesIn(fitcases::kOverlappingSeeds));

TEST(Fit, FitsTheFreeBandsAroundTheUsersOnes)
{
    // The user has undone two of the peaks already (a PEQ II cut is the
    // inverse of a boost at the same frequency and Q) and leaves three
    // bands to the fit, which must take the remaining three features and
    // keep the user's bands.
    for (unsigned seed : {10u, 80u}) {
        const fitcases::Case c = fitcases::deviceBands(seed, 0.0);
        Bands user{};
        FitOptions o = allBandsFree();
        for (std::size_t b : {0u, 2u}) {
            const dsp::EqBandSettings &peak = c.bands[b];
            user[b] = {dsp::EqPeq2, peak.frequencyHz, peak.q, -peak.gainDb};
            o.usable[b] = false;
        }
        const FitResult r = fitEq(c.measurement, user, o);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_LT(r.after.rmsDb, 0.5) << fitcases::describe(c, r);
        EXPECT_LT(r.after.maxDb, 1.5) << fitcases::describe(c, r);
        for (std::size_t b : {0u, 2u}) {
            EXPECT_EQ(r.bands[b].type, user[b].type);
            EXPECT_EQ(r.bands[b].frequencyHz, user[b].frequencyHz);
            EXPECT_EQ(r.bands[b].q, user[b].q);
            EXPECT_EQ(r.bands[b].gainDb, user[b].gainDb);
        }
    }
}

TEST(Fit, NeverWorseAndKeepsTheUsersBands)
{
    // Already flat: nothing to gain, the bands stay as they are.
    Measurement flat;
    flat.frequencyHz = {10.0, 30000.0};
    flat.magnitudeDb = {80.0, 80.0};
    Bands user{};
    user[0] = {dsp::EqPeq1, 1000, 2.0f, 3.0f};
    FitOptions o;
    o.usable = {false, true, true, true, true};
    FitResult r = fitEq(flat, user, o);
    ASSERT_TRUE(r.ok);
    EXPECT_LE(r.after.rmsDb, r.before.rmsDb);
    EXPECT_EQ(r.bands[0].type, user[0].type);
    EXPECT_EQ(r.bands[0].frequencyHz, 1000);
    EXPECT_EQ(r.bands[0].gainDb, 3.0f);

    // Released, the user's band is what the fit removes first.
    o.usable[0] = true;
    r = fitEq(flat, user, o);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.improved);
    EXPECT_LT(r.after.rmsDb, 0.1);
}

TEST(Fit, HonoursTargetRangeAndBoostLimit)
{
    // A broad dip the limit does not allow to fill: the equalizer curve
    // stays at or below the limit everywhere.
    Measurement m;
    for (double f = 10.0; f < 30000.0; f *= 1.05) {
        m.frequencyHz.push_back(f);
        m.magnitudeDb.push_back(f > 200.0 && f < 800.0 ? -10.0 : 0.0);
    }
    FitOptions o = allBandsFree();
    o.maxBoostDb = 3.0;
    FitResult r = fitEq(m, Bands{}, o);
    ASSERT_TRUE(r.ok);
    const dsp::EqChain chain = dsp::buildEqChain(r.bands);
    for (float f : dsp::logSpacedFrequencies(20.0f, 20000.0f, 200))
        EXPECT_LE(dsp::CascadeMagnitude(f, chain.data(), chain.size()), 3.0 + 0.3) << f;

    // A measurement that already follows a tilt is flat against that tilt.
    Measurement tilted;
    for (double f = 10.0; f < 30000.0; f *= 1.1) {
        tilted.frequencyHz.push_back(f);
        tilted.magnitudeDb.push_back(-3.0 * std::log10(f / 1000.0));
    }
    o.target.kind = TargetKind::Tilt;
    o.target.tiltDbPerDecade = -3.0;
    r = fitEq(tilted, Bands{}, o);
    ASSERT_TRUE(r.ok);
    EXPECT_LT(r.before.rmsDb, 0.01);
    EXPECT_FALSE(r.improved);

    // Against itself as a target file: nothing to do either.
    o.target.kind = TargetKind::File;
    o.target.file = tilted;
    EXPECT_LT(residualOf(tilted, Bands{}, o).before.rmsDb, 1e-6);

    // Outside the measurement there is nothing to weigh.
    o.target.kind = TargetKind::Flat;
    o.lowHz = 40000.0;
    o.highHz = 44000.0;
    EXPECT_FALSE(fitEq(tilted, Bands{}, o).ok);
    o = allBandsFree();
    o.usable.fill(false);
    EXPECT_FALSE(fitEq(tilted, Bands{}, o).ok);
    o = allBandsFree();
    o.maxBoostDb = 13.0;
    EXPECT_FALSE(fitEq(tilted, Bands{}, o).ok);
}
