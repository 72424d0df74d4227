#pragma once
// A simulated ZAR40: 32 preset slots and the working settings as raw 32-bit
// words per parameter address, the device settings, the connection requests
// and live levels, pots and mute state. It answers one request message with
// one reply message and knows nothing of serial lines or CAN, so every front
// end (pseudo-terminal now, CAN later) and the tests drive the same object.
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/message.h"
#include "zar40/preset/record.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zar40sim {

struct DeviceConfig {
    std::uint32_t deviceId = 1;
    std::uint16_t revisionMajor = 1;
    std::uint16_t revisionMinor = 5;
    std::optional<std::uint32_t> password; // none: any password is accepted
    std::uint32_t deviceNumber = 1;
    std::string deviceName = "ZAR40 Simulator";
    bool keyboardLock = false;
};

// Misbehaviour for tests and demonstrations. Requests are counted from 1 in
// the order they arrive; 0 switches an option off.
struct FaultConfig {
    unsigned dropEvery = 0;      // every Nth request gets no reply (and is not carried out)
    unsigned garbleEvery = 0;    // every Nth reply carries a wrong address
    unsigned connectBusy = 0;    // the first N ReqConnect are answered with 0 (not ready)
    std::optional<std::uint64_t> hangAfter; // after N requests the device stays silent
};

// The status in the value of a RepError reply.
enum ErrorStatus : std::uint32_t {
    ErrorUnknownAddress = 1, // no parameter at that address
    ErrorReadOnly = 2,       // the device number cannot be written
    ErrorUnknownRequest = 3, // not a request code
    ErrorBadIndex = 4,       // slot, poti or level half out of range
};

class DeviceModel {
public:
    explicit DeviceModel(DeviceConfig config = {}, FaultConfig faults = {});

    // One request in, at most one reply out: nothing when a fault option
    // keeps the device silent.
    std::optional<zar40::codec::Message> handle(const zar40::codec::Message &request);

    // Seconds on the clock that moves the live values; defaults to the
    // steady clock since construction. Tests install their own.
    void setClock(std::function<double()> clock) { m_clock = std::move(clock); }

    // ---- Inspection and set-up (tests, verbose front ends) -----------------
    static constexpr int kSlots = zar40::preset::kPresetCount;

    // The raw word at ADDRESS (any address that selects a field); nothing for
    // an unknown address. Device settings are shared by all slots.
    std::optional<std::uint32_t> workingWord(std::uint16_t address) const;
    std::optional<std::uint32_t> slotWord(int slot, std::uint16_t address) const;
    bool setWorkingWord(std::uint16_t address, std::uint32_t word);

    zar40::preset::PresetRecord workingRecord() const;
    zar40::preset::PresetRecord slotRecord(int slot) const;
    void setSlotRecord(int slot, const zar40::preset::PresetRecord &record);
    const zar40::codec::DeviceSettings &deviceSettings() const { return m_settings; }

    std::optional<std::uint32_t> password() const { return m_password; }
    std::uint64_t requestCount() const { return m_requests; }

    // Live values at the clock's current time.
    std::array<std::uint8_t, 8> levels() const;
    // Pot INDEX (1 to 6): a position from kPotMin to kPotMax, which the
    // editor shows as position x 6 dB, 0 to 60 dB of attenuation. The range
    // stays clear of negative positions: -1 would travel as 0xFFFFFFFF, the
    // word that means "no value", and the editor rightly refuses it.
    static constexpr int kPotMin = 0;
    static constexpr int kPotMax = 10;
    std::uint32_t poti(int index) const;
    std::uint32_t muteState() const;     // bit c set: channel index c muted

private:
    using Words = std::vector<std::uint32_t>; // one word per preset address

    zar40::codec::Message answer(const zar40::codec::Message &request);
    std::optional<std::size_t> presetIndex(std::uint16_t address) const;
    zar40::preset::PresetRecord recordOf(const Words &words) const;
    Words wordsOf(const zar40::preset::PresetRecord &record) const;
    double now() const;

    DeviceConfig m_config;
    FaultConfig m_faults;
    std::optional<std::uint32_t> m_password;
    std::vector<std::uint16_t> m_presetAddresses; // canonical, ascending; index into Words
    std::array<Words, kSlots> m_slots;
    Words m_working;
    zar40::codec::DeviceSettings m_settings{};
    std::uint64_t m_requests = 0;
    unsigned m_busyLeft = 0;
    std::function<double()> m_clock;
};

} // namespace zar40sim
