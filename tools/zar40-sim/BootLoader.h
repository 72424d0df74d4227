#pragma once
// The unit's boot loader and the flash loader it runs, as the PC sees them
// on the serial line: knock answer, the download of the flash loader with
// its checksum, sector erase and one record per handshake. Bytes in, reply
// bytes out; no line, no clock.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zar40sim {

struct BootLoaderConfig {
    // Records counted from 1; 0 switches an option off.
    unsigned nakRecord = 0;       // that record is answered 0x01
    // After N replies the unit stays silent; nothing: it always answers.
    std::optional<unsigned> silentAfter;
    bool doubleKnockReply = false; // answer a knock with two 'F'
    std::string recordLog;        // every record received, one per line
    bool verbose = false;
};

class BootLoader {
public:
    explicit BootLoader(BootLoaderConfig config);
    ~BootLoader();
    BootLoader(const BootLoader &) = delete;
    BootLoader &operator=(const BootLoader &) = delete;

    // Whether the unit is in its boot loader (after a knock) rather than
    // running its firmware.
    bool active() const { return m_state != State::Firmware; }
    // A knock of a PC while the unit is switched on: the boot loader takes
    // over (the user has just powered it up).
    void enter() { m_state = State::Knock; }

    // Feeds one byte; returns the reply bytes.
    std::vector<std::uint8_t> feed(std::uint8_t byte);

    // After the end of programming: whether the preset data area was erased.
    bool presetsErased() const;
    // True once after the end of programming: reading it clears it.
    bool takeProgrammingEnded() { return std::exchange(m_programmingEnded, false); }

    unsigned records() const { return m_records; }
    unsigned programmedRecords() const { return m_programmed; }
    const std::vector<int> &erasedSectors() const { return m_erased; }

private:
    bool m_programmingEnded = false;
    enum class State { Firmware, Knock, Announce, Image, Start, Loader, Sector, Record };
    std::vector<std::uint8_t> reply(std::vector<std::uint8_t> bytes);
    void recordDone(std::vector<std::uint8_t> &out);

    BootLoaderConfig m_config;
    State m_state = State::Firmware;
    std::vector<std::uint8_t> m_collect;
    std::size_t m_imageSize = 0;
    std::uint32_t m_imageSum = 0;
    std::size_t m_imageReceived = 0;
    std::string m_record;
    std::size_t m_recordLength = 0;
    unsigned m_replies = 0;
    unsigned m_records = 0;
    unsigned m_programmed = 0;
    std::vector<int> m_erased;
    std::FILE *m_log = nullptr;
};

} // namespace zar40sim
