#include "BootLoader.h"

#include "zar40/comm/firmware/srecord.h"

#include <algorithm>
#include <cctype>

namespace zar40sim {

namespace {

const std::vector<std::uint8_t> kAnnounce{0x01, 0x03, 0x00, 0x00, 0x04, 0x00};
const std::vector<std::uint8_t> kStart{0x01, 0x04, 0x00, 0x00, 0x04, 0x00};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

BootLoader::BootLoader(BootLoaderConfig config) : m_config(std::move(config))
{
    if (!m_config.recordLog.empty()) m_log = std::fopen(m_config.recordLog.c_str(), "w");
}

BootLoader::~BootLoader()
{
    if (m_log) std::fclose(m_log);
}

bool BootLoader::presetsErased() const
{
    return std::count(m_erased.begin(), m_erased.end(), 1) && std::count(m_erased.begin(), m_erased.end(), 2);
}

std::vector<std::uint8_t> BootLoader::reply(std::vector<std::uint8_t> bytes)
{
    if (m_config.silentAfter && m_replies >= *m_config.silentAfter) return {};
    ++m_replies;
    return bytes;
}

std::vector<std::uint8_t> BootLoader::feed(std::uint8_t byte)
{
    switch (m_state) {
    case State::Firmware:
        return {};
    case State::Knock:
        if (byte != 0x56) return {};
        m_state = State::Announce;
        m_collect.clear();
        m_erased.clear();
        m_records = m_programmed = 0;
        if (m_config.doubleKnockReply) {
            // A unit that answers like this is never taken as connected.
            m_state = State::Knock;
            return reply({0x46, 0x46});
        }
        return reply({0x46});
    case State::Announce:
        // Further knocks that were on their way are no announcement.
        if (m_collect.empty() && byte == 0x56) return {};
        m_collect.push_back(byte);
        if (m_collect.size() < 8) return {};
        if (!std::equal(kAnnounce.begin(), kAnnounce.end(), m_collect.begin())) {
            m_state = State::Knock;
            return {};
        }
        m_imageSize = m_collect[6] | (m_collect[7] << 8);
        m_imageSum = 0;
        m_imageReceived = 0;
        m_collect.clear();
        m_state = State::Image;
        return reply({0xF1, 0x83});
    case State::Image:
        m_imageSum += byte;
        if (++m_imageReceived < m_imageSize) return {};
        m_state = State::Start;
        return reply({static_cast<std::uint8_t>(m_imageSum & 0xFF), static_cast<std::uint8_t>((m_imageSum >> 8) & 0xFF)});
    case State::Start:
        m_collect.push_back(byte);
        if (m_collect.size() < kStart.size()) return {};
        if (!std::equal(kStart.begin(), kStart.end(), m_collect.begin())) {
            m_state = State::Knock;
            return {};
        }
        m_collect.clear();
        m_state = State::Loader;
        return reply({0xF1, 0x84});
    case State::Loader:
        if (byte == 0x04) {
            m_state = State::Sector;
            return reply({0x04});
        }
        if (byte == 0x05) {
            m_state = State::Record;
            m_record.clear();
            m_recordLength = 0;
            return reply({0x05});
        }
        if (byte == 0x07) {
            if (m_config.verbose)
                std::fprintf(stderr, "zar40-sim: boot loader: end of programming, %u records, %u programmed\n",
                             m_records, m_programmed);
            m_programmingEnded = true;
            m_state = State::Firmware; // restarts with the new firmware
            return {};
        }
        return {};
    case State::Sector:
        m_state = State::Loader;
        if (byte > 6) return reply({0x01});
        m_erased.push_back(byte);
        if (m_config.verbose) std::fprintf(stderr, "zar40-sim: boot loader: sector %d erased\n", byte);
        return reply({0x00});
    case State::Record: {
        m_record.push_back(static_cast<char>(byte));
        // "S", the type, two count digits, then count bytes in hex.
        if (m_record.size() == 4) {
            const int hi = hexDigit(m_record[2]), lo = hexDigit(m_record[3]);
            if (m_record[0] != 'S' || !std::isdigit(static_cast<unsigned char>(m_record[1])) || hi < 0 || lo < 0) {
                std::vector<std::uint8_t> out;
                m_recordLength = 0;
                recordDone(out);
                return out;
            }
            m_recordLength = 4 + 2 * static_cast<std::size_t>(hi * 16 + lo);
        }
        if (m_record.size() < 4 || m_record.size() < m_recordLength) return {};
        std::vector<std::uint8_t> out;
        recordDone(out);
        return out;
    }
    }
    return {};
}

void BootLoader::recordDone(std::vector<std::uint8_t> &out)
{
    ++m_records;
    if (m_log) {
        std::fprintf(m_log, "%s\n", m_record.c_str());
        std::fflush(m_log); // read by others while the unit runs
    }
    m_state = State::Loader;
    std::uint8_t ack = 0x00;
    if (m_recordLength == 0) {
        ack = 0x01; // not a record
    } else if (m_record[1] == '2') {
        const auto r = zar40::firmware::parseS2Record(m_record);
        if (!r || !r->checksumOk) ack = 0x01;
        else ++m_programmed;
    } else {
        ack = 0x02; // a record the loader has nothing to program for
    }
    if (m_config.nakRecord && m_records == m_config.nakRecord) ack = 0x01;
    if (m_config.verbose && ack == 0x01) std::fprintf(stderr, "zar40-sim: boot loader: record %u refused\n", m_records);
    out = reply({ack});
}

} // namespace zar40sim
