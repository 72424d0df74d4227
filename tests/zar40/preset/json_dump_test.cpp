#include "zar40/preset/json_dump.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace zar40::preset;
using namespace preset_test;

namespace {

// The text between "key": and the next comma or line end, after PATH's
// containers, found by walking the keys in order.
std::string valueAfter(const std::string &json, std::initializer_list<std::string> keys)
{
    std::size_t at = 0;
    for (const auto &k : keys) {
        at = json.find("\"" + k + "\"", at);
        if (at == std::string::npos) return "<missing " + k + ">";
        at += k.size() + 2;
    }
    at = json.find(':', at) + 2;
    const auto end = json.find_first_of(",\n", at);
    return json.substr(at, end - at);
}

} // namespace

TEST(JsonDump, ShapeAndValues)
{
    PresetRecord r = startupPreset(2);
    setText(r.NAME, "B\xFChne \"1\"");
    r.outputs[5].NOISEGATE.HT = 0.1f;
    r.outputs[4].DYNAMIC.RATIO = std::bit_cast<float>(0x7FC00000u);
    r.outputs[3].DYNAMIC.KNEE = -std::numeric_limits<float>::infinity();
    r.inputs[1].MUTE = 1;
    const std::string json = presetToJson(r);

    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.substr(json.size() - 2), "}\n");
    EXPECT_EQ(valueAfter(json, {"number"}), "2");
    EXPECT_EQ(valueAfter(json, {"name"}), "\"B\xC3\xBChne \\\"1\\\"\"");
    EXPECT_EQ(valueAfter(json, {"author"}), "\"V.R.N.\"");
    EXPECT_EQ(valueAfter(json, {"inputs", "mute", "mute"}), "1");
    EXPECT_EQ(valueAfter(json, {"outputs", "noise_gate", "noise_gate", "noise_gate", "noise_gate", "noise_gate", "noise_gate",
                                "hold_time"}),
              "0.100000001") << "floats print with enough digits to round-trip";
    EXPECT_EQ(valueAfter(json, {"outputs", "dynamics", "dynamics", "dynamics", "dynamics", "dynamics", "ratio"}), "\"nan\"");
    EXPECT_EQ(valueAfter(json, {"outputs", "dynamics", "dynamics", "dynamics", "dynamics", "knee"}), "\"-inf\"");
    EXPECT_EQ(valueAfter(json, {"outputs", "route"}), "0");
    EXPECT_EQ(valueAfter(json, {"outputs", "high_cut", "order"}), "4");
    EXPECT_EQ(valueAfter(json, {"outputs", "low_cut", "type"}), "4");

    // Balanced brackets: three inputs and six outputs, five bands each.
    std::size_t objects = 0, arrays = 0;
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        if (c == '{') ++objects, ++depth;
        if (c == '[') ++arrays, ++depth;
        if (c == '}' || c == ']') --depth;
        EXPECT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
    // root + 9 channels + 45 bands + 6 x (high cut, low cut, dynamics, gate)
    EXPECT_EQ(objects, 1u + 9 + 45 + 24);
    EXPECT_EQ(arrays, 2u + 9);
}

TEST(JsonDump, RawWords)
{
    PresetRecord r = defaultPreset();
    r.outputs[0].GAIN = -0.0f;
    const std::string json = presetToJson(r, JsonNumbers::RawWords);
    EXPECT_EQ(valueAfter(json, {"inputs", "delay"}), "\"0x3F800000\"");
    EXPECT_EQ(valueAfter(json, {"outputs", "gain"}), "\"0x80000000\"");
    EXPECT_EQ(valueAfter(json, {"outputs", "route"}), "\"0x00000000\"");
    EXPECT_EQ(valueAfter(json, {"name"}), "\"Default Preset\"") << "texts stay texts";
}

TEST(JsonDump, ControlCharactersAreEscaped)
{
    EXPECT_EQ(jsonString("a\tb\x01\\"), "\"a\\u0009b\\u0001\\\\\"");
}
