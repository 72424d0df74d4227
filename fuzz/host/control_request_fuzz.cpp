// The line another program sends to the running host's local socket.

#include "SingleInstance.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto request = parseControlRequest(line);
    if (request) {
        // Whatever is accepted is short, and its numbers are plain and non-negative.
        if (line.size() > kMaxControlLine || request->wParam < 0 || request->lParam < 0)
            std::abort();
        const QByteArray again = "close " + QByteArray::number(request->wParam) + ' ' + QByteArray::number(request->lParam);
        const auto reparsed = parseControlRequest(again);
        if (!reparsed || reparsed->wParam != request->wParam || reparsed->lParam != request->lParam)
            std::abort();
    }
    return 0;
}
