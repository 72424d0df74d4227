#pragma once
// The 8-byte device message and its 14-byte serial frame. Pure functions:
// nothing here touches a port, so the same code serves the editor, the
// command-line tool, the simulator and the fuzz targets.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zar40::codec {

inline constexpr std::size_t kMessageSize = 8;
inline constexpr std::size_t kFrameSize = 14;

inline constexpr std::uint8_t kFrameStart = 0x68;
inline constexpr std::uint8_t kFrameLength = 0x0A;
inline constexpr std::uint8_t kFrameEnd = 0x16;
// Byte 12 of every frame we send; the device accepts it and never checks it.
inline constexpr std::uint8_t kFrameChecksum = 0x00;

// The value of a level, poti or mute-state reply when the device has none.
inline constexpr std::uint32_t kNoValue = 0xFFFFFFFFu;

using MessageBytes = std::array<std::uint8_t, kMessageSize>;
using FrameBytes = std::array<std::uint8_t, kFrameSize>;

struct Message {
    std::uint16_t code = 0;    // request or reply code (request_codes.h)
    std::uint16_t address = 0; // parameter address, slot + 1, poti index, level half or 0
    std::uint32_t value = 0;

    friend constexpr bool operator==(const Message &, const Message &) = default;
};

// Request code, address and value, each most significant byte first.
MessageBytes buildMessage(const Message &m);
inline MessageBytes buildMessage(std::uint16_t code, std::uint16_t address, std::uint32_t value)
{
    return buildMessage(Message{code, address, value});
}
Message parseMessage(std::span<const std::uint8_t, kMessageSize> bytes);

// 68 0A 0A 68, the message, checksum 00, 16.
FrameBytes wrapMessage(const MessageBytes &message);
inline FrameBytes buildFrame(const Message &m) { return wrapMessage(buildMessage(m)); }

// First check, on everything one read of the port delivered: accepted only
// when the read is exactly 14 bytes with 0x68 at 0 and 3 and 0x16 at 13.
// Short reads, long reads (two frames read together) and misaligned reads
// are dropped; the waiting transaction repeats or times out.
std::optional<FrameBytes> acceptSerialRead(std::span<const std::uint8_t> read);

// Second check, made by the transaction on the receive buffer: 0x68 at 0 and
// 3, byte 1 equal to byte 2, and 0x16 at position byte 1 + 3. The message is
// always bytes 4-11. A length byte that would put the end byte outside the
// 14-byte buffer fails the check.
std::optional<Message> verifyFrame(const FrameBytes &frame);

// Both checks in a row: what a transaction makes of one read of the port.
std::optional<Message> messageFromSerialRead(std::span<const std::uint8_t> read);

// Reply acceptance, the same for serial and CAN: the reply's address must be
// the request's (its code is not compared), and a level, poti or mute-state
// reply must carry a value other than 0xFFFFFFFF. A rejected reply makes the
// transaction send its request again.
bool acceptReply(std::uint16_t requestAddress, const Message &reply);
inline bool acceptReply(const Message &request, const Message &reply)
{
    return acceptReply(request.address, reply);
}

// Reassembles frames from a byte stream that may be split or misaligned
// anywhere, resynchronising on 68 0A 0A 68. The PC side never needs this (it
// drops misaligned reads); the device side does, because a UART hands it
// bytes, not frames. Input of any length is safe; memory stays bounded.
class FrameAssembler {
public:
    // Appends BYTES; complete frames become available through next().
    void feed(std::span<const std::uint8_t> bytes);
    // The next complete frame whose end byte is 0x16, if any.
    std::optional<FrameBytes> next();
    // Bytes skipped while searching for a frame start, or in frames with a
    // wrong end byte, since construction.
    std::size_t discardedBytes() const { return m_discarded; }
    std::size_t pendingBytes() const { return m_buf.size() - m_pos; }
    void clear();

    // A reader that never calls next() loses its oldest bytes beyond this.
    static constexpr std::size_t kMaxPending = 64 * 1024;

private:
    std::vector<std::uint8_t> m_buf;
    std::size_t m_pos = 0; // start of the unconsumed bytes in m_buf
    std::size_t m_discarded = 0;
};

} // namespace zar40::codec
