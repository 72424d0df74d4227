// Bytes from the serial line, cut into reads of varying size, through both
// receive paths: the PC's (each read must be exactly one frame, then the
// transaction's second check, reply acceptance and storing the value of a
// preset read) and the device's (frames reassembled from the byte stream,
// answered by the simulated device).
#include "DeviceModel.h"

#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/message.h"
#include "zar40/comm/codec/request_codes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

using namespace zar40::codec;

namespace {

void check(bool ok)
{
    if (!ok) std::abort();
}

void pcReceives(std::span<const std::uint8_t> read, std::uint16_t requestAddress,
                zar40::preset::PresetRecord &record, DeviceSettings &settings)
{
    const auto frame = acceptSerialRead(read);
    check(frame.has_value() == (read.size() == kFrameSize && read[0] == 0x68 && read[3] == 0x68 && read[13] == 0x16));
    const auto message = messageFromSerialRead(read);
    if (!frame) {
        check(!message);
        return;
    }
    check(message == verifyFrame(*frame));
    if (!message) return;
    check(parseMessage(buildMessage(*message)) == *message);
    if (!acceptReply(requestAddress, *message)) return;
    check(message->address == requestAddress);
    check(!(isPollReplyCode(message->code) && message->value == kNoValue));
    if (message->code != RepReadPara) return;
    // What a preset read does with the reply.
    const bool stored = storeReadValue(record, settings, message->address, message->value);
    check(stored == lookupAddress(message->address).has_value());
    const auto target = lookupAddress(message->address);
    if (stored && target->conversion == Conversion::None &&
        (!target->field || target->field->type != zar40::preset::FieldType::Mute8))
        check(wireValue(record, settings, message->address) == message->value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3) return 0;
    const auto requestAddress = static_cast<std::uint16_t>((data[0] << 8) | data[1]);
    const std::size_t chunk = data[2] & 0x1F;
    std::span<const std::uint8_t> stream(data + 3, size - 3);

    zar40sim::DeviceModel device; // fresh per input, so a saved finding reproduces alone
    zar40::preset::PresetRecord record = zar40::preset::defaultPreset();
    DeviceSettings settings{};
    FrameAssembler assembler;
    std::size_t frames = 0;

    while (!stream.empty()) {
        const std::size_t n = chunk == 0 ? stream.size() : std::min(chunk, stream.size());
        const auto read = stream.first(n);
        stream = stream.subspan(n);

        pcReceives(read, requestAddress, record, settings);

        assembler.feed(read);
        while (auto f = assembler.next()) {
            ++frames;
            check((*f)[0] == 0x68 && (*f)[1] == 0x0A && (*f)[2] == 0x0A && (*f)[3] == 0x68 && (*f)[13] == 0x16);
            const auto request = verifyFrame(*f);
            check(request.has_value());
            if (auto reply = device.handle(*request)) check(reply->address == request->address);
        }
    }
    // Every byte is accounted for: in a frame, skipped, or still waiting.
    check(frames * kFrameSize + assembler.discardedBytes() + assembler.pendingBytes() == size - 3);
    return 0;
}
