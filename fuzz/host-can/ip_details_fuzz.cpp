// The JSON that "ip -details -json link show dev NAME" prints, as the host
// reads it to judge a CAN interface.

#include "CanInterfaceState.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool sameDetails(const std::optional<can_interface::LinkDetails> &a,
                 const std::optional<can_interface::LinkDetails> &b)
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
        const auto details = can_interface::parseIpDetails(json, name);
        // A bit rate of 0 would read as "runs at 0 bit/s" to the user.
        if (details && details->bitrate && *details->bitrate == 0)
            std::abort();
        if (!sameDetails(details, can_interface::parseIpDetails(json, name)))
            std::abort();
        // Whatever was read goes into a message; building it must hold.
        const CanInterfaceState state{true, true, true};
        const QString problem = can_interface::readinessProblem(name, state, details, 125000);
        if (details && details->bitrate && *details->bitrate != 125000 && problem.isEmpty())
            std::abort();
    }
    return 0;
}
