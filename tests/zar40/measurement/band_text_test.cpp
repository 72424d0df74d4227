#include "zar40/measurement/band_text.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zar40::measurement;
namespace dsp = zar40::dsp;

namespace {

void expectRefused(const std::string &text, std::size_t line, const std::string &part)
{
    const BandTextRead r = readBandText(text);
    EXPECT_FALSE(r.ok) << text;
    EXPECT_EQ(r.line, line) << r.errorText();
    EXPECT_NE(r.errorText().find(part), std::string::npos) << r.errorText();
}

} // namespace

TEST(BandText, ReadsTheCommonLines)
{
    const BandTextRead r = readBandText("Filter Settings\n"
                                       "Filter 1: ON PK Fc 1000 Hz Gain -3.0 dB Q 1.41\r\n"
                                       "Filter 2: ON LSC Fc 80 Hz Gain 4 dB Q 0.9\n"
                                       "Filter 3: OFF PK Fc 500 Hz Gain 2 dB Q 1\n"
                                       "Filter 5: ON LP Fc 18000 Hz\n");
    ASSERT_TRUE(r.ok) << r.errorText();
    EXPECT_EQ(r.bands[0].type, dsp::EqPeq2);
    EXPECT_EQ(r.bands[0].frequencyHz, 1000);
    EXPECT_FLOAT_EQ(r.bands[0].gainDb, -3.0f);
    EXPECT_FLOAT_EQ(r.bands[0].q, 1.41f);
    EXPECT_EQ(r.bands[1].type, dsp::EqLowShelf12);
    EXPECT_EQ(r.bands[2].type, dsp::EqBypass);
    EXPECT_EQ(r.bands[2].frequencyHz, 500);
    EXPECT_EQ(r.bands[3].type, dsp::EqBypass);
    EXPECT_EQ(r.bands[4].type, dsp::EqLowPass);
    EXPECT_FLOAT_EQ(r.bands[4].q, 0.71f);

    // Unnumbered lines count on; a bandwidth in octaves becomes a Q.
    const BandTextRead counted = readBandText("Filter: ON NO Fc 60 Hz Q 5\nFilter: ON PK Fc 200 Hz Gain 3 dB BW Oct 1\n");
    ASSERT_TRUE(counted.ok) << counted.errorText();
    EXPECT_EQ(counted.bands[0].type, dsp::EqBandStop);
    EXPECT_NEAR(counted.bands[1].q, 1.414, 0.001);
}

TEST(BandText, RefusesWhatTheDeviceCannotDoNamingTheLine)
{
    expectRefused("", 0, "no \"Filter\" line");
    expectRefused("x\nFilter 1: ON LPQ6 Fc 100 Hz\n", 2, "no counterpart");
    expectRefused("Filter 1: ON MODAL Fc 100 Hz Gain 2 dB Q 3\n", 1, "\"MODAL\" has no counterpart");
    expectRefused("Preamp: -6 dB\nFilter 1: ON PK Fc 100 Hz Gain 2 dB Q 3\n", 1, "preamplifier");
    expectRefused("Filter 6: ON PK Fc 100 Hz Gain 2 dB Q 3\n", 1, "five bands");
    expectRefused("Filter 1: ON PK Fc 100 Hz Gain 2 dB Q 3\nFilter 1: OFF None\n", 2, "twice");
    expectRefused("Filter 1: ON PK Fc 10 Hz Gain 2 dB Q 3\n", 1, "20 and 44000 Hz");
    expectRefused("Filter 1: ON PK Fc 100 Hz Gain 13 dB Q 3\n", 1, "-20 and +12 dB");
    expectRefused("Filter 1: ON PK Fc 100 Hz Gain 2 dB Q 30\n", 1, "0.1 and 20");
    expectRefused("Filter 1: ON PK Fc 100 Hz Q 3\n", 1, "gain is missing");
    expectRefused("Filter 1: ON PK Fc nan Hz Gain 1 dB\n", 1, "needs a number");
    expectRefused("Filter 1: ON PK Fc 100 Hz Gain 1 dB Slope 3\n", 1, "unknown field");
    expectRefused("Filter 1: ON HP Fc 100 Hz Gain 3 dB\n", 1, "no gain");
    expectRefused("Filter 1: MAYBE PK Fc 100 Hz\n", 1, "ON or OFF");
    expectRefused(std::string(kMaxBandTextBytes + 1, ' '), 0, "1 MiB");
}

TEST(BandText, WrittenBandsReadBackToTheSameCurve)
{
    std::array<dsp::EqBandSettings, dsp::kEqBands> bands{};
    bands[0] = {dsp::EqPeq1, 120, 2.5f, -6.0f}; // travels as a wider symmetric cut
    bands[1] = {dsp::EqPeq2, 1000, 1.41f, -3.0f};
    bands[2] = {dsp::EqHighShelf6, 8000, 0.7f, 4.5f};
    bands[3] = {dsp::EqLowShelf12, 60, 0.9f, 3.25f};
    bands[4] = {dsp::EqBandStop, 50, 8.0f, 0.0f};
    const BandTextWrite w = writeBandText(bands);
    ASSERT_TRUE(w.ok) << w.message;
    EXPECT_NE(w.text.find("Filter 2: ON PK Fc 1000 Hz Gain -3.0 dB Q 1.41\n"), std::string::npos) << w.text;
    const BandTextRead r = readBandText(w.text);
    ASSERT_TRUE(r.ok) << r.errorText();
    const dsp::EqChain before = dsp::buildEqChain(bands);
    const dsp::EqChain after = dsp::buildEqChain(r.bands);
    for (float f : dsp::logSpacedFrequencies(20.0f, 20000.0f, 300)) {
        if (std::fabs(f - 50.0f) < 1.0f)
            continue; // the notch's own zero
        EXPECT_NEAR(dsp::CascadeMagnitude(f, before.data(), 5), dsp::CascadeMagnitude(f, after.data(), 5), 1e-3) << f;
    }

    bands[2].type = dsp::EqAllPass1;
    const BandTextWrite refused = writeBandText(bands);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("band 3"), std::string::npos) << refused.message;
}
