// Delay units, limits and temperature conversions.
#include "zar40/dsp/delay_units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zar40::dsp;

struct ToSamplesRow {
    double value;
    int unit;
    int celsius;
    std::int32_t stored;
};

class DelayToSamplesTable : public ::testing::TestWithParam<ToSamplesRow> {};

TEST_P(DelayToSamplesTable, StoresTruncatedSamplesPlusOne)
{
    const ToSamplesRow &r = GetParam();
    EXPECT_EQ(DelayToSamples(r.value, r.unit, r.celsius), r.stored);
}

INSTANTIATE_TEST_SUITE_P(Units, DelayToSamplesTable,
                         ::testing::Values(ToSamplesRow{1.0, DelayMilliseconds, 20, 97},
                                           ToSamplesRow{10.0, DelayMicroseconds, 20, 1},
                                           ToSamplesRow{11.0, DelayMicroseconds, 20, 2},
                                           ToSamplesRow{20.0, DelayMicroseconds, 20, 2},
                                           ToSamplesRow{0.5, DelaySeconds, 20, 48001},
                                           ToSamplesRow{1.0, DelayMetres, 20, 280},
                                           ToSamplesRow{100.0, DelayCentimetres, 20, 280},
                                           ToSamplesRow{1.0, DelayMetres, 0, 290},
                                           ToSamplesRow{10.0, DelayFeet, 20, 853},
                                           ToSamplesRow{0.0, DelayMicroseconds, 20, 1},
                                           ToSamplesRow{0.0, DelayFeet, -20, 1},
                                           // Values no field holds still give a defined count.
                                           ToSamplesRow{-5.0, DelayMilliseconds, 20, 1},
                                           ToSamplesRow{1e300, DelaySeconds, 20, 2147483647},
                                           ToSamplesRow{std::numeric_limits<double>::quiet_NaN(), DelayMetres, 20, 1},
                                           ToSamplesRow{5.0, 6, 20, 1}));

TEST(DelayUnits, StoredDelayShownInEveryUnit)
{
    EXPECT_DOUBLE_EQ(SamplesToDelay(97, DelayMilliseconds, 20), 1.0);
    EXPECT_DOUBLE_EQ(SamplesToDelay(97, DelayMicroseconds, 20), 1000.0);
    EXPECT_DOUBLE_EQ(SamplesToDelay(97, DelaySeconds, 20), 0.001);
    EXPECT_DOUBLE_EQ(SamplesToDelay(97, DelayCentimetres, 20), 34.0);
    EXPECT_NEAR(SamplesToDelay(97, DelayMetres, 20), 0.3433, 0.0001);
    EXPECT_DOUBLE_EQ(SamplesToDelay(97, DelayFeet, 20), 1.0);
    EXPECT_DOUBLE_EQ(SamplesToDelay(1, DelayMilliseconds, 20), 0.0);
    EXPECT_DOUBLE_EQ(SamplesToDelay(97, -1, 20), 0.0);
    // Distances follow the temperature, times do not.
    EXPECT_GT(SamplesToDelay(9601, DelayMetres, 40), SamplesToDelay(9601, DelayMetres, 0));
    EXPECT_DOUBLE_EQ(SamplesToDelay(9601, DelayMilliseconds, 40), SamplesToDelay(9601, DelayMilliseconds, 0));
}

TEST(DelayUnits, FieldLimitsAndCaptions)
{
    EXPECT_NEAR(speedOfSoundFactor(20), 1.03596, 0.00001);
    EXPECT_NEAR(delayFieldMaximum(DelayCentimetres, false, 20), 68663.6, 0.05);
    EXPECT_NEAR(delayFieldMaximum(DelayMetres, true, 20), 171.66, 0.005);
    EXPECT_DOUBLE_EQ(delayFieldMaximum(DelayMicroseconds, false, 20), 2000000.0);
    EXPECT_DOUBLE_EQ(delayFieldMaximum(DelaySeconds, true, 60), 0.5);
    // Every unit's limits are the same 2 s and 0.5 s of sound.
    for (int unit = 0; unit < kDelayUnitCount; ++unit) {
        for (int celsius : {-20, 20, 60}) {
            EXPECT_NEAR(DelayToSamples(delayFieldMaximum(unit, false, celsius), unit, celsius), 192001, 1) << unit;
            EXPECT_NEAR(DelayToSamples(delayFieldMaximum(unit, true, celsius), unit, celsius), 48001, 1) << unit;
        }
    }
    EXPECT_DOUBLE_EQ(clampDelayValue(600.0, DelayMilliseconds, true, 20), 500.0);
    EXPECT_DOUBLE_EQ(clampDelayValue(-1.0, DelayMilliseconds, true, 20), 0.0);
    EXPECT_EQ(delayUnitCaption(6), "");
}

TEST(DelayUnits, TemperatureConversionsTruncateTowardZero)
{
    EXPECT_EQ(fahrenheitToCelsius(68), 20);
    EXPECT_EQ(fahrenheitToCelsius(69), 20);
    EXPECT_EQ(fahrenheitToCelsius(31), 0);
    EXPECT_EQ(fahrenheitToCelsius(-4), -20);
    EXPECT_EQ(celsiusToFahrenheit(20), 68);
    EXPECT_EQ(celsiusToFahrenheit(-1), 30);
    EXPECT_EQ(celsiusToFahrenheit(-20), -4);
    EXPECT_EQ(celsiusToFahrenheit(60), 140);
    EXPECT_EQ(celsiusToFahrenheit(std::numeric_limits<int>::max()), std::numeric_limits<int>::max());
    EXPECT_EQ(storedDelayFromField(97.0f), 97);
    EXPECT_EQ(storedDelayFromField(std::numeric_limits<float>::quiet_NaN()), 1);
    EXPECT_EQ(storedDelayFromField(1e20f), std::numeric_limits<std::int32_t>::max());
}
