// The JSON that "ip -details -json link show dev NAME" prints, as the host
// reads it to judge a CAN interface.

#include "canbus/interface_diagnosis.h"
#include "canbus/netid.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool sameDetails(const std::optional<canbus::LinkDetails> &a,
                 const std::optional<canbus::LinkDetails> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || (a->kind == b->kind && a->bitrate == b->bitrate && a->state == b->state);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &name : {QStringLiteral("can0"), QStringLiteral("vcan0")}) {
        const auto details = canbus::parseIpDetails(json, name);
        // A bit rate of 0 would read as "runs at 0 bit/s" to the user.
        if (details && details->bitrate && *details->bitrate == 0)
            std::abort();
        if (!sameDetails(details, canbus::parseIpDetails(json, name)))
            std::abort();
        // Whatever was read goes into a message; building it must hold.
        const canbus::InterfaceState state{true, true, true};
        const QString problem = canbus::readinessProblem(name, state, details, canbus::kBitrate);
        if (details && details->bitrate && *details->bitrate != canbus::kBitrate && problem.isEmpty())
            std::abort();
    }
    return 0;
}
