#include "values.h"

namespace zar40::codec {

std::uint32_t textGroupToWord(std::string_view text, std::size_t group)
{
    std::uint32_t w = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t at = group * 4 + i;
        const auto c = at < text.size() ? static_cast<std::uint8_t>(text[at]) : std::uint8_t{0};
        w = (w << 8) | c;
    }
    return w;
}

std::array<char, 4> wordToTextGroup(std::uint32_t word)
{
    return {static_cast<char>(word >> 24), static_cast<char>(word >> 16), static_cast<char>(word >> 8),
            static_cast<char>(word)};
}

} // namespace zar40::codec
