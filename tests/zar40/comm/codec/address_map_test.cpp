#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <set>

using namespace zar40::codec;
namespace p = zar40::preset;

namespace {

const p::FieldDescriptor &field(int channel, p::Group g, int index, p::Field f)
{
    const auto *d = p::findField(channel, g, index, f);
    if (!d) throw std::runtime_error("no such field");
    return *d;
}

bool isSummeName(const p::FieldDescriptor &d)
{
    return d.key.channel == p::kSumme && d.key.field == p::Field::Name;
}

std::set<std::uint16_t> asSet(std::span<const std::uint16_t> s) { return {s.begin(), s.end()}; }

} // namespace

struct DocumentedAddress {
    std::uint16_t address;
    int channel;
    p::Group group;
    int index;
    p::Field field;
    Conversion conversion;
};

class DocumentedAddresses : public ::testing::TestWithParam<DocumentedAddress> {};

TEST_P(DocumentedAddresses, SelectTheirFieldAndBack)
{
    const auto &a = GetParam();
    const auto t = lookupAddress(a.address);
    ASSERT_TRUE(t);
    ASSERT_NE(t->field, nullptr);
    EXPECT_EQ(t->field, &field(a.channel, a.group, a.index, a.field));
    EXPECT_EQ(t->conversion, a.conversion);
    EXPECT_EQ(addressOf(*t->field, t->textGroup), a.address);
}

INSTANTIATE_TEST_SUITE_P(
    Map, DocumentedAddresses,
    ::testing::Values(
        DocumentedAddress{4533, 3, p::Group::Peq, 2, p::Field::Q, Conversion::None},
        DocumentedAddress{3400, 2, p::Group::Channel, 0, p::Field::Mute, Conversion::Mute},
        DocumentedAddress{2200, 1, p::Group::Channel, 0, p::Field::Gain, Conversion::None},
        DocumentedAddress{9830, 8, p::Group::NoiseGate, 0, p::Field::HoldTime, Conversion::None},
        DocumentedAddress{4300, 3, p::Group::Channel, 0, p::Field::Gain, Conversion::None},
        DocumentedAddress{5200, 4, p::Group::Channel, 0, p::Field::Delay, Conversion::Delay},
        DocumentedAddress{6100, 5, p::Group::Channel, 0, p::Field::Route, Conversion::None},
        DocumentedAddress{3354, 2, p::Group::Peq, 4, p::Field::Gain, Conversion::None},
        DocumentedAddress{4610, 3, p::Group::HighCut, 0, p::Field::Type, Conversion::None},
        DocumentedAddress{4640, 3, p::Group::LowCut, 0, p::Field::Type, Conversion::LowCutType},
        DocumentedAddress{9750, 8, p::Group::Dynamics, 0, p::Field::Ratio, Conversion::None},
        DocumentedAddress{4900, 3, p::Group::Channel, 0, p::Field::Mute, Conversion::Mute},
        DocumentedAddress{0, p::kPresetWide, p::Group::Preset, 0, p::Field::Number, Conversion::None},
        DocumentedAddress{60, p::kPresetWide, p::Group::Preset, 0, p::Field::Flags, Conversion::None},
        DocumentedAddress{13, p::kPresetWide, p::Group::Preset, 0, p::Field::Name, Conversion::Text},
        DocumentedAddress{32, 2, p::Group::Channel, 0, p::Field::Name, Conversion::Text},
        DocumentedAddress{49, 7, p::Group::Channel, 0, p::Field::Name, Conversion::Text},
        DocumentedAddress{51, 8, p::Group::Channel, 0, p::Field::Name, Conversion::Text}));

TEST(AddressMap, EveryFieldHasItsAddressesExceptTheSummeName)
{
    std::set<std::uint16_t> used;
    for (const auto &d : p::fieldTable()) {
        const int groups = d.isText() ? static_cast<int>(d.width) / 4 : 1;
        if (isSummeName(d)) {
            EXPECT_FALSE(addressOf(d)) << d.path;
            continue;
        }
        for (int g = 0; g < groups; ++g) {
            const auto a = addressOf(d, g);
            ASSERT_TRUE(a) << d.path << " group " << g;
            EXPECT_TRUE(used.insert(*a).second) << d.path << " shares " << *a;
            const auto t = lookupAddress(*a);
            ASSERT_TRUE(t);
            EXPECT_EQ(t->field, &d);
            EXPECT_EQ(t->textGroup, g);
        }
        EXPECT_FALSE(addressOf(d, groups)) << d.path;
    }
    // Plus the six device-settings addresses, and nothing else.
    for (std::size_t w = 0; w < kDeviceSettingsWords; ++w)
        if (auto a = deviceSettingsAddress(w)) {
            EXPECT_TRUE(used.insert(*a).second);
            const auto t = lookupAddress(*a);
            ASSERT_TRUE(t);
            EXPECT_EQ(t->deviceWord, static_cast<int>(w));
        }
    EXPECT_EQ(used, asSet(allAddresses()));
    EXPECT_EQ(used.size(), 345u); // the 344 of a read plus the preset number
}

TEST(AddressMap, SingleFieldGroupsIgnoreIndexAndFieldDigits)
{
    EXPECT_EQ(lookupAddress(1234)->field, &field(0, p::Group::Channel, 0, p::Field::Gain));
    EXPECT_EQ(lookupAddress(4999)->field, &field(3, p::Group::Channel, 0, p::Field::Mute));
    EXPECT_EQ(lookupAddress(9101)->field, &field(8, p::Group::Channel, 0, p::Field::Route));
    EXPECT_EQ(lookupAddress(3499)->field, &field(2, p::Group::Channel, 0, p::Field::Mute));
    // Everything else is exact; these select nothing.
    for (std::uint16_t a : {1360, 1300, 1361, 1315, 1500, 1600, 4500, 4611, 4670, 4780, 4840, 4000, 34, 52,
                            53, 61, 1, 104, 111, 121, 130, 200, 999, 10000, 10100, 65535})
        EXPECT_FALSE(lookupAddress(a)) << a;
}

TEST(Conversions, DelayLowCutMuteText)
{
    EXPECT_EQ(delayToWire(97.0f), 1.0f);
    EXPECT_EQ(delayToWire(1.0f), 0.0f);
    EXPECT_EQ(delayFromWire(0.5f), 49.0f);
    EXPECT_EQ(lowCutTypeToWire(5), 1u);
    EXPECT_EQ(lowCutTypeFromWire(3), 7u);

    p::PresetRecord r = p::startupPreset(0);
    DeviceSettings s{};
    r.outputs[0].DELAY = 97.0f;
    EXPECT_EQ(wireValue(r, 4200), floatToWord(1.0f));
    EXPECT_EQ(wireValue(r, 1100), floatToWord(0.0f)); // the default delay
    ASSERT_TRUE(storeWireValue(r, s, 1100, floatToWord(0.5f)));
    EXPECT_EQ(r.inputs[0].DELAY, 49.0f);

    r.outputs[5].lowCut.TYPE = 5;
    EXPECT_EQ(wireValue(r, 9640), 1u);
    ASSERT_TRUE(storeWireValue(r, s, 9640, 3));
    EXPECT_EQ(r.outputs[5].lowCut.TYPE, 7u);
    // The high cut is not shifted.
    r.outputs[5].highCut.TYPE = 2;
    EXPECT_EQ(wireValue(r, 9610), 2u);

    r.outputs[2].MUTE = 1;
    EXPECT_EQ(wireValue(r, 6900), 1u);
    ASSERT_TRUE(storeWireValue(r, s, 6900, 0));
    EXPECT_EQ(r.outputs[2].MUTE, 0);

    p::setText(r.outputs[1].NAME, "ABCDEFGH");
    EXPECT_EQ(wireValue(r, 42), textGroupToWord("ABCD", 0));
    EXPECT_EQ(wireValue(r, 43), textGroupToWord("EFGH", 0));
    p::setText(r.NAME, "Main");
    EXPECT_EQ(wireValue(r, 10), 0x4D61696Eu);
    EXPECT_EQ(wireValue(r, 11), 0u);
    ASSERT_TRUE(storeWireValue(r, s, 12, textGroupToWord("Hall", 0)));
    ASSERT_TRUE(storeWireValue(r, s, 11, textGroupToWord(" in ", 0)));
    EXPECT_EQ(p::textOf(r.NAME), "Main in Hall");
    ASSERT_TRUE(storeWireValue(r, s, 13, textGroupToWord("Left", 0)));
    EXPECT_EQ(p::textOf(r.NAME), "Main in HallLeft");
    EXPECT_EQ(r.NAME[16], '\0');

    // Device-settings addresses need the settings, and an unknown address changes nothing.
    EXPECT_FALSE(wireValue(r, 120));
    const auto before = r;
    EXPECT_FALSE(storeWireValue(r, s, 4611, 7));
    EXPECT_TRUE(p::sameFields(before, r));
}

TEST(Conversions, WholeRecordTravelsUnchanged)
{
    // A record with a distinct value in every field goes out through the
    // write order and comes back through the read order.
    p::PresetRecord src = p::startupPreset(3);
    std::uint32_t n = 100;
    for (const auto &d : p::fieldTable()) {
        if (d.isText()) {
            std::string t;
            for (std::size_t k = 0; k < d.width; ++k) t.push_back(static_cast<char>('A' + (n + k) % 26));
            p::setFieldText(src, d, t);
        } else if (d.key.field == p::Field::Delay) {
            p::setFieldWord(src, d, floatToWord(1.0f + 96.0f * static_cast<float>(n % 7) / 4.0f));
        } else if (d.type == p::FieldType::Mute8) {
            p::setFieldWord(src, d, n % 2);
        } else {
            p::setFieldWord(src, d, n * 2654435761u);
        }
        ++n;
    }
    src.number = 0; // not on the wire

    DeviceSettings srcSettings{};
    setDeviceName(srcSettings, "Stage Left Rack");
    srcSettings[kKeyboardLockWord] = 1;
    srcSettings[kDeviceNumberWord] = 4711;

    // What the device would receive, then send back.
    std::map<std::uint16_t, std::uint32_t> device;
    for (const auto &step : writeOrder()) device[step.address] = *wireValue(src, srcSettings, step.address);
    for (std::uint16_t a : {100, 101, 102, 103, 110, 120}) device[a] = *wireValue(src, srcSettings, a);

    p::PresetRecord dst = p::defaultPreset();
    DeviceSettings dstSettings{};
    for (std::uint16_t a : readOrder()) ASSERT_TRUE(storeReadValue(dst, dstSettings, a, device.at(a))) << a;

    setSummeName(src);
    EXPECT_TRUE(p::sameFields(src, dst));
    for (const auto *d : p::differingFields(src, dst)) ADD_FAILURE() << d->path;
    EXPECT_EQ(dstSettings, srcSettings);
    EXPECT_EQ(deviceName(dstSettings), "Stage Left Rack");
}

TEST(TransferOrder, ReadOrder)
{
    const auto read = readOrder();
    ASSERT_EQ(read.size(), 344u);
    EXPECT_EQ(asSet(read).size(), 344u);
    EXPECT_EQ(read.front(), 1100);
    EXPECT_EQ(read.back(), kLastReadAddress);
    EXPECT_EQ(std::count(read.begin(), read.end(), std::uint16_t{120}), 1);
    EXPECT_EQ(std::count(read.begin(), read.end(), std::uint16_t{0}), 0);
    // Every address of the map except the preset number, each once.
    auto all = asSet(allAddresses());
    all.erase(0);
    EXPECT_EQ(asSet(read), all);

    auto pos = [&](std::uint16_t a) { return std::find(read.begin(), read.end(), a) - read.begin(); };
    const std::vector<std::uint16_t> start{1100, 2100, 3100, 1200, 2200, 3200, 1311, 2311, 3311, 1321};
    EXPECT_TRUE(std::equal(start.begin(), start.end(), read.begin()));
    EXPECT_EQ(pos(3351) + 1, pos(1312)); // field by field, band by band, channel by channel
    EXPECT_EQ(pos(3354) + 1, pos(1400));
    EXPECT_EQ(pos(3400) + 1, pos(4100));
    EXPECT_EQ(pos(9400) + 1, pos(4511));
    EXPECT_EQ(pos(4511) + 1, pos(5511));
    EXPECT_EQ(pos(9511) + 1, pos(4521));
    EXPECT_EQ(pos(9554) + 1, pos(4610));
    EXPECT_EQ(pos(9610) + 1, pos(4620));
    EXPECT_EQ(pos(9660) + 1, pos(4710));
    EXPECT_EQ(pos(9770) + 1, pos(4810));
    EXPECT_EQ(pos(9830) + 1, pos(4900));
    EXPECT_EQ(pos(9900) + 1, pos(10));
    EXPECT_EQ(pos(33) + 1, pos(40));
    EXPECT_EQ(pos(51) + 1, pos(60));
    EXPECT_EQ(pos(60) + 1, pos(100));
    EXPECT_EQ(pos(110) + 1, pos(120));
}

TEST(TransferOrder, WriteOrder)
{
    const auto write = writeOrder();
    const auto read = readOrder();
    ASSERT_EQ(write.size(), 339u);
    EXPECT_EQ(std::count_if(write.begin(), write.end(), [](auto s) { return s.code == ReqWritePreset; }), 338);
    EXPECT_EQ(write.back().code, ReqWritePara);
    EXPECT_EQ(write.back().address, 1100);
    for (std::size_t k = 0; k + 1 < write.size(); ++k) {
        EXPECT_EQ(write[k].address, read[k]) << k;
        EXPECT_TRUE(write[k].address >= 1000 || write[k].address < 100) << "device settings are not written";
    }
    EXPECT_EQ(write[337].address, 60);
}

TEST(ReadRules, SummeNameIsFixedAfter0033)
{
    p::PresetRecord r = p::defaultPreset();
    DeviceSettings s{};
    p::setText(r.inputs[1].NAME, "Whatever");
    storeReadValue(r, s, 30, textGroupToWord("Left", 0));
    EXPECT_EQ(p::textOf(r.inputs[1].NAME), "Whatever"); // not yet
    storeReadValue(r, s, 32, textGroupToWord("Righ", 0));
    storeReadValue(r, s, 33, textGroupToWord("t", 0));
    EXPECT_EQ(p::textOf(r.inputs[0].NAME), "Left");
    EXPECT_EQ(p::textOf(r.inputs[2].NAME), "Right");
    EXPECT_EQ(p::textOf(r.inputs[1].NAME), "Summe");
    const std::array<char, 9> expected{'S', 'u', 'm', 'm', 'e', 0, 0, 0, 0};
    EXPECT_EQ(r.inputs[1].NAME, expected);
}

TEST(DeviceSettings, NameLockNumber)
{
    DeviceSettings s{};
    setDeviceName(s, "A very long device name");
    EXPECT_EQ(deviceName(s), "A very long devi");
    setDeviceName(s, "ZAR");
    EXPECT_EQ(deviceName(s), "ZAR");
    EXPECT_EQ(s[kDeviceNameFirstWord + 1], 0u);
    EXPECT_EQ(lookupAddress(100)->deviceWord, static_cast<int>(kDeviceNameFirstWord));
    EXPECT_EQ(lookupAddress(103)->deviceWord, static_cast<int>(kDeviceNameFirstWord + 3));
    EXPECT_EQ(lookupAddress(110)->deviceWord, static_cast<int>(kKeyboardLockWord));
    EXPECT_EQ(lookupAddress(120)->deviceWord, static_cast<int>(kDeviceNumberWord));
    for (std::size_t w : {1, 2, 3, 5}) EXPECT_FALSE(deviceSettingsAddress(w)) << w;
    EXPECT_EQ(deviceNumberText(42), "  K000042");
    p::PresetRecord r{};
    ASSERT_TRUE(storeWireValue(r, s, 120, 1234567));
    EXPECT_EQ(deviceNumber(s), 1234567u);
    EXPECT_EQ(wireValue(r, s, 110), 0u);
}
