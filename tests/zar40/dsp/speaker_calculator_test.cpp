// Speaker and amplifier calculator.
#include "zar40/dsp/speaker_calculator.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zar40::dsp;

namespace {

DynamicsSettings stage(std::uint32_t type, float threshold, float ratio, float gain)
{
    DynamicsSettings d;
    d.type = type;
    d.threshold = threshold;
    d.ratio = ratio;
    d.gain = gain;
    d.knee = 7.0f; // never read by the calculator
    return d;
}

SpeakerPanel Panel(double ohms, bool balanced)
{
    SpeakerPanel p;
    p.impedanceOhms = ohms;
    p.balanced = balanced;
    return p;
}

} // namespace

TEST(SpeakerCalculator, LimiterVoltage)
{
    const DynamicsSettings limiter = stage(DynLimiter, 0.0f, kLimiterRatio, 0.0f);
    EXPECT_EQ(maxOutputLevel(limiter), 0.018f);
    EXPECT_DOUBLE_EQ(MaxOutputVoltage(limiter, Panel(4.0, true)), 0.77);
    EXPECT_DOUBLE_EQ(MaxOutputVoltage(limiter, Panel(4.0, false)), 0.38);
}

TEST(SpeakerCalculator, CompressorPowerPerImpedance)
{
    const DynamicsSettings compressor = stage(DynCompressor, 0.0f, 2.0f, 0.0f);
    EXPECT_EQ(maxOutputLevel(compressor), 9.0f);
    EXPECT_DOUBLE_EQ(MaxOutputVoltage(compressor, Panel(8.0, true)), 2.18);
    EXPECT_EQ(MaxOutputPower(compressor, Panel(8.0, true)), 596.0);
    EXPECT_EQ(MaxOutputPower(compressor, Panel(kImpedances[1].ohms, true)), 1786.0);
    EXPECT_EQ(MaxOutputPower(compressor, Panel(kImpedances[0].ohms, true)), 2385.0);
    // Unbalanced: 6 dB less, a quarter of the power.
    EXPECT_EQ(MaxOutputPower(compressor, Panel(8.0, false)), 149.0);
}

TEST(SpeakerCalculator, MessagesWarnInRed)
{
    const DynamicsSettings compressor = stage(DynCompressor, 0.0f, 2.0f, 0.0f);
    SpeakerPanel panel = Panel(8.0, true); // box 400 W, amplifier 600 W
    const std::vector<MessageLine> expected{
        {" -ZAR-40 maximum Output Voltage: 2.18 Vrms", MessageLevel::Ok},
        {" -Maximum RMS output Power: 596 Watts", MessageLevel::Ok},
        {" -CAUTION!!! Box Power is lower than your", MessageLevel::Caution},
        {"  your output Power", MessageLevel::Caution},
        {" -Amplifier Power is greater than your Power needs", MessageLevel::Ok},
    };
    EXPECT_EQ(speakerMessages(compressor, panel), expected);

    panel.boxPowerW = 596.0;
    panel.amplifierPowerW = 575.0;
    const auto lines = speakerMessages(compressor, panel);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], (MessageLine{" -Box Power is greater than your output Power", MessageLevel::Ok}));
    EXPECT_EQ(lines[3], (MessageLine{" -CAUTION!!! Amplifier Power is lower than", MessageLevel::Caution}));
    EXPECT_EQ(lines[4], (MessageLine{"  your Power needs", MessageLevel::Caution}));
}

TEST(SpeakerCalculator, BypassAndImpossibleSettings)
{
    const auto bypass = speakerMessages(stage(DynBypass, 0.0f, 1.1f, 0.0f), SpeakerPanel{});
    ASSERT_EQ(bypass.size(), 1u);
    EXPECT_EQ(bypass[0], (MessageLine{"-CAUTION!!! Compressor/Limiter is disabled", MessageLevel::Caution}));

    // A ratio of 0 from a file: unbounded level, so both checks warn.
    const auto unbounded = speakerMessages(stage(DynCompressor, 0.0f, 0.0f, 0.0f), SpeakerPanel{});
    ASSERT_EQ(unbounded.size(), 6u);
    EXPECT_EQ(unbounded[2].level, MessageLevel::Caution);
    EXPECT_EQ(unbounded[4].level, MessageLevel::Caution);
}
