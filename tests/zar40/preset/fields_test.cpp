#include "zar40/preset/fields.h"
#include "zar40/preset/parameter_facts.h"
#include "zar40/preset/record.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <set>

using namespace zar40::preset;

TEST(FieldTable, EveryFieldOnceWithUniqueKeyPathAndPlace)
{
    const auto table = fieldTable();
    // 3 inputs x 24 + 6 outputs x 42 + 4 preset-wide fields.
    EXPECT_EQ(table.size(), 3u * 24 + 6u * 42 + 4);
    std::set<std::string> paths;
    std::set<std::size_t> offsets;
    for (const auto &d : table) {
        EXPECT_TRUE(paths.insert(d.path).second) << d.path;
        EXPECT_TRUE(offsets.insert(d.offset).second) << d.path;
        EXPECT_EQ(findField(d.key), &d) << d.path;
        EXPECT_EQ(findField(d.path), &d) << d.path;
        const std::size_t size = d.isText() ? d.width + 1u : d.type == FieldType::Mute8 ? 1u : 4u;
        EXPECT_LE(d.offset + size, sizeof(PresetRecord)) << d.path;
    }
}

TEST(FieldTable, FieldsSitWhereTheRecordHasThem)
{
    PresetRecord r{};
    r.outputs[2].PEQ[4].GAIN = -3.5f;
    r.outputs[5].NOISEGATE.HT = 42.0f;
    r.outputs[0].lowCut.ORDER = 24;
    r.inputs[1].MUTE = 1;
    r.PRESET_FLAGS = 0xDEADBEEF;
    setText(r.outputs[3].NAME, "Sub");

    EXPECT_EQ(fieldWord(r, *findField("outputs[2].peq[4].gain")), std::bit_cast<std::uint32_t>(-3.5f));
    EXPECT_EQ(fieldWord(r, *findField(kFirstOutput + 5, Group::NoiseGate, 0, Field::HoldTime)), std::bit_cast<std::uint32_t>(42.0f));
    EXPECT_EQ(fieldWord(r, *findField("outputs[0].low_cut.order")), 24u);
    EXPECT_EQ(fieldWord(r, *findField(kSumme, Group::Channel, 0, Field::Mute)), 1u);
    EXPECT_EQ(fieldWord(r, *findField("flags")), 0xDEADBEEFu);
    EXPECT_EQ(fieldText(r, *findField("outputs[3].name")), "Sub");

    setFieldWord(r, *findField("inputs[2].peq[0].frequency"), 250);
    EXPECT_EQ(r.inputs[2].PEQ[0].FREQUENCY, 250u);
    setFieldWord(r, *findField("outputs[4].mute"), 0x1FE);
    EXPECT_EQ(r.outputs[4].MUTE, 0xFE) << "a mute flag keeps the low 8 bits";
}

TEST(FieldTable, ChannelsHaveOnlyTheirOwnFields)
{
    EXPECT_EQ(findField(kInputA, Group::Channel, 0, Field::Route), nullptr);
    EXPECT_EQ(findField(kInputB, Group::HighCut, 0, Field::Type), nullptr);
    EXPECT_EQ(findField(kFirstOutput, Group::Peq, 5, Field::Type), nullptr);
    EXPECT_EQ(findField(9, Group::Channel, 0, Field::Gain), nullptr);
    EXPECT_EQ(findField("outputs[6].gain"), nullptr);

    const auto channel = fieldsOf(kFirstOutput + 1, Group::Channel);
    ASSERT_EQ(channel.size(), 6u);
    EXPECT_EQ(channel.front().path, "outputs[1].name");
    const auto band = fieldsOf(kSumme, Group::Peq, 3);
    ASSERT_EQ(band.size(), 4u);
    for (const auto &d : band) EXPECT_EQ(d.key.index, 3);
    EXPECT_TRUE(fieldsOf(kInputA, Group::Dynamics).empty());
}

TEST(FieldTable, TextsAreCutToWidthAndCleared)
{
    PresetRecord r{};
    const auto &name = *findField("name");
    setFieldText(r, name, "A twenty char name..");
    EXPECT_EQ(fieldText(r, name), "A twenty char na");
    setFieldText(r, name, "ab");
    const auto bytes = fieldTextBytes(r, name);
    ASSERT_EQ(bytes.size(), 17u);
    for (std::size_t i = 2; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << i;

    // A field without zero (possible in a record from outside) stops at its width.
    std::fill(r.AUTHOR.begin(), r.AUTHOR.end(), 'x');
    EXPECT_EQ(fieldText(r, *findField("author")), std::string(8, 'x'));
}

TEST(FieldTable, SameFieldsIsBitwise)
{
    PresetRecord a = defaultPreset(), b = defaultPreset();
    EXPECT_TRUE(sameFields(a, b));
    b.outputs[1].GAIN = -0.0f;
    EXPECT_FALSE(sameFields(a, b));
    a.outputs[1].GAIN = std::bit_cast<float>(0x7FC00001u);
    b.outputs[1].GAIN = std::bit_cast<float>(0x7FC00001u);
    EXPECT_TRUE(sameFields(a, b)) << "equal NaN patterns are the same field";
    b.outputs[1].GAIN = std::bit_cast<float>(0x7FC00002u);
    const auto diff = differingFields(a, b);
    ASSERT_EQ(diff.size(), 1u);
    EXPECT_EQ(diff[0]->path, "outputs[1].gain");
}

TEST(ParameterFacts, EveryEditedNumberHasConsistentFactsAndDefaultsInRange)
{
    const PresetRecord defaults = defaultPreset();
    int withFacts = 0;
    for (const auto &d : fieldTable()) {
        const ParameterFacts *facts = parameterFacts(d);
        if (!facts) {
            // Only numbers set through a control of their own have facts.
            EXPECT_TRUE(d.isText() || d.type != FieldType::F32 || d.key.field == Field::Delay ||
                        d.key.field == Field::Phase || d.key.field == Field::Order)
                << d.path;
            continue;
        }
        ++withFacts;
        EXPECT_EQ(d.type, d.key.field == Field::Frequency ? FieldType::U32 : FieldType::F32) << d.path;
        EXPECT_LT(facts->min, facts->max) << d.path;
        EXPECT_FALSE(facts->label.empty()) << d.path;
        // The printout names every value and never shows fewer digits than
        // the editor the value was set in.
        EXPECT_FALSE(facts->printed.label.empty()) << d.path;
        EXPECT_GE(facts->printed.decimals, facts->decimals) << d.path;
        // A step the shown decimals can hold, and one that divides the range.
        if (facts->step > 0.0f) {
            EXPECT_GE(facts->step * std::pow(10.0f, static_cast<float>(facts->decimals)), 0.999f) << d.path;
            const double steps = (double(facts->max) - double(facts->min)) / double(facts->step);
            EXPECT_NEAR(steps, std::round(steps), 1e-3) << d.path;
        }
        // What a new preset holds can be shown; a switched-off gate keeps
        // its off threshold, which no control shows.
        if (d.key.group == Group::NoiseGate && d.key.field == Field::Threshold) continue;
        const std::uint32_t word = fieldWord(defaults, d);
        const double value = d.type == FieldType::U32 ? double(word) : double(std::bit_cast<float>(word));
        // A bypassed dynamics stage shows ratio 1, below its slider.
        if (d.key.group == Group::Dynamics) continue;
        EXPECT_GE(value, facts->min) << d.path;
        EXPECT_LE(value, facts->max) << d.path;
    }
    // The fader of 9 channels, 5 bands x 3 on 9 channels, two crossover
    // frequencies, six dynamics and three gate values on 6 outputs.
    EXPECT_EQ(withFacts, 9 + 9 * 5 * 3 + 6 * (2 + 6 + 3));
    // The crossovers span the equalizer's frequencies.
    EXPECT_EQ(parameterFacts(*findField("outputs[0].high_cut.frequency")), &kEqFrequencyFacts);
    EXPECT_EQ(parameterFacts(*findField("outputs[5].noise_gate.hold_time")), &kGateHoldTimeFacts);
}
