#include "CommPrompts.h"

#include "transfer_ui.h"

#include <limits>

namespace zar40::comm {

CommPrompts::~CommPrompts() = default;
WaitWindow::~WaitWindow() = default;
TransferUi::~TransferUi() = default;

std::uint32_t passwordFromText(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    std::int64_t n = 0;
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        n = n * 10 + (text[i].unicode() - '0');
        if (n > limit) n = limit;
    }
    if (negative) n = -n;
    if (n > std::numeric_limits<std::int32_t>::max()) n = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(n));
}

} // namespace zar40::comm
