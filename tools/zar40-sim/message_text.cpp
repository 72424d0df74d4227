#include "message_text.h"

#include "zar40/comm/codec/request_codes.h"

#include <cinttypes>
#include <cstdio>

namespace zar40sim {

std::string describeMessage(const zar40::codec::Message &m)
{
    char buf[96];
    const auto name = zar40::codec::requestCodeName(m.code);
    if (name.empty())
        std::snprintf(buf, sizeof buf, "code %-11u %5u 0x%08" PRIX32, unsigned{m.code}, unsigned{m.address}, m.value);
    else
        std::snprintf(buf, sizeof buf, "%-16.*s %5u 0x%08" PRIX32, static_cast<int>(name.size()), name.data(),
                      unsigned{m.address}, m.value);
    return buf;
}

} // namespace zar40sim
