#include "DeviceModel.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/preset/fields.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

namespace zar40sim {

namespace codec = zar40::codec;
namespace preset = zar40::preset;
using codec::Message;

namespace {

// Meter k shows IN A, IN B, then outputs 1 to 6.
constexpr std::array<int, 8> kMeterChannel{0, 2, 3, 4, 5, 6, 7, 8};

std::uint16_t channelAddress(int channel, preset::Field field)
{
    return *codec::addressOf(preset::FieldKey{channel, preset::Group::Channel, 0, field});
}

// Where a preset holds its own slot number.
const std::uint16_t kSlotNumberAddress =
    *codec::addressOf(preset::FieldKey{preset::kPresetWide, preset::Group::Preset, 0, preset::Field::Number});

std::uint16_t muteAddress(int channel) { return channelAddress(channel, preset::Field::Mute); }
std::uint16_t gainAddress(int channel) { return channelAddress(channel, preset::Field::Gain); }

} // namespace

DeviceModel::DeviceModel(DeviceConfig config, FaultConfig faults)
    : m_config(std::move(config)), m_faults(faults), m_password(m_config.password), m_busyLeft(faults.connectBusy)
{
    // Every unit starts from the same 32 presets. As words they cost
    // milliseconds, and the fuzzer and the tests make units by the thousand,
    // so they are made once per process.
    static const std::vector<std::uint16_t> presetAddresses = [] {
        std::vector<std::uint16_t> addresses;
        for (std::uint16_t a : codec::allAddresses())
            if (codec::lookupAddress(a)->field) addresses.push_back(a);
        return addresses;
    }();
    m_presetAddresses = presetAddresses;
    static const std::array<Words, kSlots> startupSlots = [this] {
        std::array<Words, kSlots> slots;
        for (int k = 0; k < kSlots; ++k) slots[static_cast<std::size_t>(k)] = wordsOf(preset::startupPreset(k));
        return slots;
    }();
    m_slots = startupSlots;
    m_working = m_slots[0];
    codec::setDeviceName(m_settings, m_config.deviceName);
    m_settings[codec::kKeyboardLockWord] = m_config.keyboardLock ? 1 : 0;
    m_settings[codec::kDeviceNumberWord] = m_config.deviceNumber;

    const auto start = std::chrono::steady_clock::now();
    m_clock = [start] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
}

std::optional<Message> DeviceModel::handle(const Message &request)
{
    const std::uint64_t n = ++m_requests;
    if (m_faults.hangAfter && n > *m_faults.hangAfter) return std::nullopt;
    if (m_faults.dropEvery && n % m_faults.dropEvery == 0) return std::nullopt;
    Message reply = answer(request);
    if (m_faults.garbleEvery && n % m_faults.garbleEvery == 0)
        reply.address = static_cast<std::uint16_t>(reply.address + 1);
    return reply;
}

Message DeviceModel::answer(const Message &request)
{
    const std::uint16_t addr = request.address;
    const auto reply = [&](std::uint32_t value) {
        return Message{codec::replyCodeFor(request.code), addr, value};
    };
    const auto error = [&](ErrorStatus status) { return Message{codec::RepError, addr, status}; };

    switch (request.code) {
    case codec::ReqConnect:
        if (m_busyLeft > 0) {
            --m_busyLeft;
            return reply(0);
        }
        return reply(1);
    case codec::ReqDeviceID: return reply(m_config.deviceId);
    case codec::ReqRevision: return reply(codec::revisionWord(m_config.revisionMajor, m_config.revisionMinor));
    case codec::ReqCompPwd: return reply(!m_password || *m_password == request.value ? 1 : 0);
    case codec::ReqWritePwd:
        m_password = request.value;
        return reply(1);
    case codec::ReqLoadPreset:
    case codec::ReqStorePreset: {
        if (addr < 1 || addr > kSlots) return error(ErrorBadIndex);
        auto &slot = m_slots[addr - 1u];
        if (request.code == codec::ReqLoadPreset) {
            m_working = slot;
        } else {
            slot = m_working;
            // A stored preset takes the number of the place it is stored in.
            slot[*presetIndex(kSlotNumberAddress)] = addr - 1u;
        }
        return reply(1);
    }
    case codec::ReqReadPara: {
        const auto v = workingWord(addr);
        return v ? reply(*v) : error(ErrorUnknownAddress);
    }
    case codec::ReqWritePara:
    case codec::ReqWritePreset:
        if (codec::canonicalAddress(addr) == codec::deviceSettingsAddress(codec::kDeviceNumberWord))
            return error(ErrorReadOnly);
        return setWorkingWord(addr, request.value) ? reply(1) : error(ErrorUnknownAddress);
    case codec::ReqReadMuteState: return reply(muteState());
    case codec::ReqReadPotiVal:
        if (addr < 1 || addr > 6) return error(ErrorBadIndex);
        return reply(poti(addr));
    case codec::ReqReadPegelVal: {
        if (addr > 1) return error(ErrorBadIndex);
        const auto l = levels();
        return reply(codec::levelWord({l[addr * 4u], l[addr * 4u + 1], l[addr * 4u + 2], l[addr * 4u + 3]}));
    }
    case codec::ReqReady: return reply(1);
    case codec::ReqDisconnect: return reply(1);
    default: return error(ErrorUnknownRequest);
    }
}

std::optional<std::size_t> DeviceModel::presetIndex(std::uint16_t address) const
{
    const auto c = codec::canonicalAddress(address);
    if (!c) return std::nullopt;
    const auto it = std::lower_bound(m_presetAddresses.begin(), m_presetAddresses.end(), *c);
    if (it == m_presetAddresses.end() || *it != *c) return std::nullopt;
    return static_cast<std::size_t>(it - m_presetAddresses.begin());
}

std::optional<std::uint32_t> DeviceModel::workingWord(std::uint16_t address) const
{
    const auto t = codec::lookupAddress(address);
    if (!t) return std::nullopt;
    if (!t->field) return m_settings[static_cast<std::size_t>(t->deviceWord)];
    return m_working[*presetIndex(address)];
}

std::optional<std::uint32_t> DeviceModel::slotWord(int slot, std::uint16_t address) const
{
    if (slot < 0 || slot >= kSlots) return std::nullopt;
    const auto i = presetIndex(address);
    if (!i) return std::nullopt;
    return m_slots[static_cast<std::size_t>(slot)][*i];
}

bool DeviceModel::setWorkingWord(std::uint16_t address, std::uint32_t word)
{
    const auto t = codec::lookupAddress(address);
    if (!t) return false;
    if (!t->field) {
        m_settings[static_cast<std::size_t>(t->deviceWord)] = word;
        return true;
    }
    m_working[*presetIndex(address)] = word;
    return true;
}

preset::PresetRecord DeviceModel::recordOf(const Words &words) const
{
    preset::PresetRecord r = preset::defaultPreset();
    codec::DeviceSettings unused{};
    for (std::size_t i = 0; i < m_presetAddresses.size(); ++i)
        codec::storeWireValue(r, unused, m_presetAddresses[i], words[i]);
    codec::setSummeName(r);
    return r;
}

DeviceModel::Words DeviceModel::wordsOf(const preset::PresetRecord &record) const
{
    Words w(m_presetAddresses.size());
    for (std::size_t i = 0; i < m_presetAddresses.size(); ++i) w[i] = *codec::wireValue(record, m_presetAddresses[i]);
    return w;
}

preset::PresetRecord DeviceModel::workingRecord() const { return recordOf(m_working); }

preset::PresetRecord DeviceModel::slotRecord(int slot) const
{
    return recordOf(m_slots.at(static_cast<std::size_t>(slot)));
}

void DeviceModel::setSlotRecord(int slot, const preset::PresetRecord &record)
{
    m_slots.at(static_cast<std::size_t>(slot)) = wordsOf(record);
}

double DeviceModel::now() const { return m_clock(); }

std::array<std::uint8_t, 8> DeviceModel::levels() const
{
    // Programme material: a slow swell plus faster fluctuation per meter,
    // shifted by the channel's gain and silenced by its mute.
    const double t = now();
    const double twoPi = 2.0 * std::numbers::pi;
    std::array<std::uint8_t, 8> out{};
    for (std::size_t k = 0; k < out.size(); ++k) {
        const int ch = kMeterChannel[k];
        if (*workingWord(muteAddress(ch)) & 0xFFu) continue;
        double level = 140.0 + 60.0 * std::sin(twoPi * (0.23 * t + 0.13 * static_cast<double>(k))) +
                       25.0 * std::sin(twoPi * (2.9 * t + static_cast<double>(k)));
        const float gain = codec::wordToFloat(*workingWord(gainAddress(ch)));
        if (std::isfinite(gain)) level += 2.0 * std::clamp(static_cast<double>(gain), -60.0, 20.0);
        out[k] = static_cast<std::uint8_t>(std::clamp(level, 0.0, 255.0));
    }
    return out;
}

std::uint32_t DeviceModel::poti(int index) const
{
    // A hand turning each pot slowly through its whole range, each a sixth
    // of a turn behind the one before.
    const double t = now();
    const double middle = (kPotMin + kPotMax) / 2.0, swing = (kPotMax - kPotMin) / 2.0;
    const double v = middle + swing * std::sin(2.0 * std::numbers::pi * (t / 30.0 + index / 6.0));
    return static_cast<std::uint32_t>(std::clamp(std::lround(v), long{kPotMin}, long{kPotMax}));
}

std::uint32_t DeviceModel::muteState() const
{
    std::uint32_t bits = 0;
    for (int ch = 0; ch < preset::kChannelCount; ++ch)
        if (*workingWord(muteAddress(ch)) & 0xFFu) bits |= 1u << ch;
    return bits;
}

} // namespace zar40sim
