// The preset record as the diagrams, the report and the tool draw it.
#include "zar40/model/preset_signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zar40;
using namespace zar40::model;

namespace {

double sumMagAt(const dsp::ResultBuffer &b, float f)
{
    return dsp::SumMagnitude(f, b.data(), dsp::kOutputChainSections, b.size());
}

} // namespace

TEST(PresetSignal, FieldsBecomeDesignInputs)
{
    EXPECT_EQ(signedField(1000), 1000);
    EXPECT_EQ(signedField(0xFFFFFFFFu), std::numeric_limits<std::int32_t>::max());

    preset::PresetRecord r = preset::defaultPreset();
    r.outputs[1].PEQ[2] = {1, 1000, 0.7f, 6.0f};
    r.outputs[1].highCut = {2, 1000, 0xFFFFFFFFu}; // drawn as order 8
    r.outputs[1].DYNAMIC = {2, 1.0f, -10.0f, 3.0f, 4.0f, 20.0f, 300.0f};
    const dsp::OutputChain chain = outputChainOf(r, 1, true);
    std::array<dsp::EqBandSettings, dsp::kEqBands> bands{};
    bands[2] = {dsp::EqPeq1, 1000, 0.7f, 6.0f};
    EXPECT_EQ(chain, dsp::buildOutputChain(bands, {dsp::XoLowPassLinkwitzRiley, 1000, 8},
                                           {dsp::XoHighPassBypass, 1000, 4}, true));
    EXPECT_EQ(channelEqChain(r, preset::kFirstOutput + 1)[2], chain[2]);

    const dsp::DynamicsSettings d = toDynamics(r.outputs[1].DYNAMIC);
    EXPECT_EQ(d.type, dsp::DynCompressor);
    EXPECT_EQ(d.threshold, -10.0f);
    EXPECT_EQ(d.knee, 3.0f);
    EXPECT_EQ(d.ratio, 4.0f);
    EXPECT_EQ(d.gain, 1.0f);
    EXPECT_EQ(d.attack, 20.0f);
    EXPECT_EQ(d.release, 300.0f);
}

TEST(PresetSignal, OnlyOutputsWithBothFiltersOffDrawNoCurve)
{
    preset::PresetRecord r = preset::defaultPreset();
    EXPECT_FALSE(outputDrawsCurve(r.outputs[0]));
    r.outputs[0].lowCut.TYPE = 0; // a high-cut code on the low-cut side is on
    EXPECT_TRUE(outputDrawsCurve(r.outputs[0]));
    r.outputs[1].highCut.TYPE = 3;
    EXPECT_TRUE(outputDrawsCurve(r.outputs[1]));
}

TEST(PresetSignal, ResultSumsTheOutputsOfTheSelectedOutputsInput)
{
    preset::PresetRecord r = preset::defaultPreset(); // routes A, Summe, B, A, Summe, B
    EXPECT_EQ(resultOutputs(r, 0), (std::vector<int>{0, 3}));
    EXPECT_EQ(resultOutputs(r, 4), (std::vector<int>{1, 4}));
    r.outputs[5].ROUTE = 7; // a route no panel sets still groups by equality
    EXPECT_EQ(resultOutputs(r, 5), (std::vector<int>{5}));
    EXPECT_EQ(resultMembers(r, 2), (std::array<bool, 6>{false, false, true, false, false, false}));
    EXPECT_TRUE(resultOutputs(r, 6).empty());
    EXPECT_TRUE(resultOutputs(r, -1).empty());

    // A Linkwitz-Riley pair of order 4 on the two outputs of input A sums flat.
    r.outputs[0].highCut = {2, 1000, 4};
    r.outputs[3].lowCut = {6, 1000, 4};
    const std::vector<int> members = resultOutputs(r, 3);
    std::vector<dsp::ChainProblems> problems;
    const dsp::ResultBuffer sum = resultBufferOf(r, members, true, &problems);
    EXPECT_EQ(problems.size(), 2u);
    for (float f : {100.0f, 1000.0f, 10000.0f})
        EXPECT_NEAR(sumMagAt(sum, f), 0.0, 1e-6) << f;
    const std::vector<int> withBad{0, 9, 3};
    EXPECT_EQ(resultBufferOf(r, withBad, true), sum);
}

TEST(PresetSignal, ABandWithQZeroIsReportedAndLeftOut)
{
    preset::PresetRecord r = preset::defaultPreset();
    r.inputs[1].PEQ[0] = {1, 1000, 0.0f, 6.0f};
    r.inputs[1].PEQ[1] = {1, 1000, 0.7f, -6.0f};
    dsp::ChainProblems problems;
    const dsp::EqChain chain = channelEqChain(r, preset::kSumme, &problems);
    EXPECT_TRUE(problems.bands[0].notFinite);
    EXPECT_NEAR(dsp::CascadeMagnitude(1000.0f, chain.data(), chain.size()), -6.0, 1e-3);
}
