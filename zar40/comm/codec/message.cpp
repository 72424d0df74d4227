#include "message.h"

#include "request_codes.h"

#include <algorithm>

namespace zar40::codec {

namespace {

constexpr std::array<std::uint8_t, 4> kHeader{kFrameStart, kFrameLength, kFrameLength, kFrameStart};

void putU16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

void putU32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

std::uint16_t getU16(const std::uint8_t *p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

std::uint32_t getU32(const std::uint8_t *p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

} // namespace

MessageBytes buildMessage(const Message &m)
{
    MessageBytes b{};
    putU16(b.data(), m.code);
    putU16(b.data() + 2, m.address);
    putU32(b.data() + 4, m.value);
    return b;
}

Message parseMessage(std::span<const std::uint8_t, kMessageSize> bytes)
{
    return Message{getU16(bytes.data()), getU16(bytes.data() + 2), getU32(bytes.data() + 4)};
}

FrameBytes wrapMessage(const MessageBytes &message)
{
    FrameBytes f{};
    std::copy(kHeader.begin(), kHeader.end(), f.begin());
    std::copy(message.begin(), message.end(), f.begin() + 4);
    f[12] = kFrameChecksum;
    f[13] = kFrameEnd;
    return f;
}

std::optional<FrameBytes> acceptSerialRead(std::span<const std::uint8_t> read)
{
    if (read.size() != kFrameSize) return std::nullopt;
    if (read[0] != kFrameStart || read[3] != kFrameStart || read[13] != kFrameEnd) return std::nullopt;
    FrameBytes f{};
    std::copy(read.begin(), read.end(), f.begin());
    return f;
}

std::optional<Message> verifyFrame(const FrameBytes &frame)
{
    if (frame[0] != kFrameStart || frame[3] != kFrameStart || frame[1] != frame[2]) return std::nullopt;
    const std::size_t endAt = std::size_t{frame[1]} + 3;
    if (endAt >= frame.size() || frame[endAt] != kFrameEnd) return std::nullopt;
    return parseMessage(std::span<const std::uint8_t, kMessageSize>(frame.data() + 4, kMessageSize));
}

std::optional<Message> messageFromSerialRead(std::span<const std::uint8_t> read)
{
    auto frame = acceptSerialRead(read);
    if (!frame) return std::nullopt;
    return verifyFrame(*frame);
}

bool acceptReply(std::uint16_t requestAddress, const Message &reply)
{
    if (reply.address != requestAddress) return false;
    if (isPollReplyCode(reply.code) && reply.value == kNoValue) return false;
    return true;
}

void FrameAssembler::feed(std::span<const std::uint8_t> bytes)
{
    if (m_pos > 0 && m_pos == m_buf.size()) {
        m_buf.clear();
        m_pos = 0;
    }
    m_buf.insert(m_buf.end(), bytes.begin(), bytes.end());
    const std::size_t pending = m_buf.size() - m_pos;
    if (pending > kMaxPending) {
        const std::size_t drop = pending - kMaxPending;
        m_pos += drop;
        m_discarded += drop;
    }
    // Compact once the consumed prefix dominates, so feeding many small
    // pieces costs linear time overall.
    if (m_pos > 4096 && m_pos * 2 > m_buf.size()) {
        m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_pos = 0;
    }
}

std::optional<FrameBytes> FrameAssembler::next()
{
    for (;;) {
        const auto begin = m_buf.begin() + static_cast<std::ptrdiff_t>(m_pos);
        const auto hit = std::search(begin, m_buf.end(), kHeader.begin(), kHeader.end());
        if (hit == m_buf.end()) {
            // Keep a tail that may be the beginning of a header split across reads.
            std::size_t keep = 0;
            const std::size_t pending = m_buf.size() - m_pos;
            for (std::size_t n = std::min<std::size_t>(3, pending); n > 0; --n) {
                if (std::equal(m_buf.end() - static_cast<std::ptrdiff_t>(n), m_buf.end(), kHeader.begin())) {
                    keep = n;
                    break;
                }
            }
            m_discarded += pending - keep;
            m_pos = m_buf.size() - keep;
            return std::nullopt;
        }
        const auto skipped = static_cast<std::size_t>(hit - begin);
        m_discarded += skipped;
        m_pos += skipped;
        if (m_buf.size() - m_pos < kFrameSize) return std::nullopt;
        const std::uint8_t *p = m_buf.data() + m_pos;
        if (p[13] == kFrameEnd) {
            FrameBytes f{};
            std::copy(p, p + kFrameSize, f.begin());
            m_pos += kFrameSize;
            return f;
        }
        // Not a frame after all: the header was data. Look again one byte on.
        ++m_pos;
        ++m_discarded;
    }
}

void FrameAssembler::clear()
{
    m_buf.clear();
    m_pos = 0;
}

} // namespace zar40::codec
