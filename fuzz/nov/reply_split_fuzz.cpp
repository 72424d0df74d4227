// A datagram from the network, split into a module's fields.
#include "nov_reply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray text = NovReply::text(datagram);
    if (text.size() > NovReply::kMaxReplyBytes || text.contains('\0'))
        std::abort();
    if (NovReply::duplicateKey(text).size() > NovReply::kDuplicateKeyLength)
        std::abort();

    NovModule module;
    const int tokens = NovReply::split(text, module);
    if (tokens < 0 || tokens > 5)
        std::abort();
    // Tokens hold no blank, and the name starts with none.
    for (const QString *field : {&module.serialNumber, &module.address, &module.token3, &module.token4}) {
        if (field->contains(QLatin1Char(' ')))
            std::abort();
    }
    if (module.name.startsWith(QLatin1Char(' ')) || (tokens < 5 && !module.name.isEmpty()))
        std::abort();
    // Splitting the reply as a module would send it again gives the same fields.
    if (tokens == 5) {
        const QByteArray again = module.serialNumber.toUtf8() + ' ' + QByteArray::number(module.token1) + ' '
                                 + module.address.toUtf8() + ' ' + module.token3.toUtf8() + ' '
                                 + module.token4.toUtf8() + ' ' + module.name.toUtf8();
        NovModule other;
        if (NovReply::split(again, other) != 5 || other.address != module.address || other.token1 != module.token1
            || other.token4 != module.token4)
            std::abort();
    }
    return 0;
}
