// The panels' mapping between stored fields and shown values.
#include "zar40/model/editor_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zar40;
using namespace zar40::model;

TEST(EditorRules, CrossoverListAndBypass)
{
    EXPECT_EQ(crossoverTypeAtListPosition(CrossoverSide::HighCut, 0), 1u);
    EXPECT_EQ(crossoverTypeAtListPosition(CrossoverSide::HighCut, 2), 3u);
    EXPECT_EQ(crossoverTypeAtListPosition(CrossoverSide::LowCut, 0), 5u);
    EXPECT_EQ(crossoverTypeAtListPosition(CrossoverSide::LowCut, 2), 7u);
    EXPECT_EQ(crossoverTypeAtListPosition(CrossoverSide::LowCut, 3), 4u);
    EXPECT_EQ(crossoverTypeAtListPosition(CrossoverSide::HighCut, -1), 0u);
    for (CrossoverSide side : {CrossoverSide::HighCut, CrossoverSide::LowCut})
        for (int p = 0; p < kCrossoverListSize; ++p)
            EXPECT_EQ(crossoverListPosition(side, crossoverTypeAtListPosition(side, p)), p);
    EXPECT_EQ(crossoverListPosition(CrossoverSide::HighCut, 0), -1);
    EXPECT_EQ(crossoverListPosition(CrossoverSide::HighCut, 5), -1) << "a low-cut code on the high cut";
    EXPECT_EQ(crossoverListPosition(CrossoverSide::LowCut, 0), -1);
    EXPECT_EQ(crossoverListPosition(CrossoverSide::LowCut, 8), -1);

    const preset::CrossoverFilter hc = bypassedCrossover(CrossoverSide::HighCut);
    const preset::CrossoverFilter lc = bypassedCrossover(CrossoverSide::LowCut);
    EXPECT_EQ(hc.TYPE, 0u);
    EXPECT_EQ(lc.TYPE, 4u);
    EXPECT_EQ(lc.FREQUENCY, 1000u);
    EXPECT_EQ(lc.ORDER, 4u);
    const preset::CrossoverFilter off = storedCrossover(CrossoverSide::LowCut, true, 1, 250, 2);
    EXPECT_EQ(off.TYPE, 4u);
    EXPECT_EQ(off.FREQUENCY, 1000u);
    const preset::CrossoverFilter on = storedCrossover(CrossoverSide::LowCut, false, 1, 250, 2);
    EXPECT_EQ(on.TYPE, 6u);
    EXPECT_EQ(on.FREQUENCY, 250u);
    EXPECT_EQ(on.ORDER, 2u);
}

TEST(EditorRules, DynamicsStoredAndShown)
{
    dsp::DynamicsSettings panel{dsp::DynCompressor, -5.0f, 3.0f, 2.5f, 1.0f, 20.0f, 300.0f};
    EXPECT_EQ(storedDynamics(dsp::DynCompressor, panel).ratio, 2.5f);
    EXPECT_EQ(storedDynamics(dsp::DynLimiter, panel).ratio, dsp::kLimiterRatio);
    const dsp::DynamicsSettings bypass = storedDynamics(dsp::DynBypass, panel);
    EXPECT_EQ(bypass.type, dsp::DynBypass);
    EXPECT_EQ(bypass.ratio, 1.1f);
    const dsp::DynamicsSettings shown = shownDynamics(bypass);
    EXPECT_EQ(shown.ratio, 1.0f);
    EXPECT_EQ(shown.threshold, 0.0f);
    EXPECT_EQ(shown.attack, 10.0f);
    EXPECT_EQ(shown.release, 500.0f);
    EXPECT_EQ(shownDynamics(panel).ratio, 2.5f);
}

TEST(EditorRules, NoiseGatePanel)
{
    for (float off : {-200.0f, -250.0f, -INFINITY, std::numeric_limits<float>::quiet_NaN()}) {
        const NoiseGatePanel p = noiseGatePanelValues({off, 3.0f, 4.0f});
        EXPECT_TRUE(p.bypass) << off;
        EXPECT_EQ(p.threshold, -65.0f);
        EXPECT_EQ(p.firstTime, 10.0f);
        EXPECT_EQ(p.secondTime, 500.0f);
    }
    const NoiseGatePanel on = noiseGatePanelValues({-199.0f, 3.0f, 4.0f});
    EXPECT_FALSE(on.bypass);
    EXPECT_EQ(on.firstTime, 3.0f);
    EXPECT_EQ(storedNoiseGate(on).THRESHOLD, -199.0f);
    EXPECT_EQ(storedNoiseGate({true, -60.0f, 3.0f, 4.0f}).THRESHOLD, -200.0f);
    EXPECT_FALSE(preset::isNoiseGateOn(storedNoiseGate({true, -60.0f, 3.0f, 4.0f})));
}
