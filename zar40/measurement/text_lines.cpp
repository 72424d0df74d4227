#include "zar40/measurement/text_lines.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace zar40::measurement {

std::string LineRefusal::errorText() const
{
    if (line == 0)
        return message;
    return "line " + std::to_string(line) + ": " + message;
}

bool TextLines::next(std::string_view &line)
{
    if (m_pos >= m_text.size())
        return false;
    std::size_t end = m_text.find_first_of("\r\n", m_pos);
    if (end == std::string_view::npos)
        end = m_text.size();
    line = m_text.substr(m_pos, end - m_pos);
    m_pos = end + ((end + 1 < m_text.size() && m_text[end] == '\r' && m_text[end + 1] == '\n') ? 2 : 1);
    ++m_number;
    return true;
}

std::optional<double> parseNumber(std::string_view token, bool decimalComma)
{
    if (!token.empty() && token.front() == '+')
        token.remove_prefix(1);
    constexpr std::size_t kLongest = 64;
    if (token.empty() || token.size() > kLongest)
        return std::nullopt;
    std::array<char, kLongest> buffer{};
    std::copy(token.begin(), token.end(), buffer.begin());
    char *const last = buffer.data() + token.size();
    if (decimalComma) {
        const auto commas = std::count(buffer.data(), last, ',');
        const auto dots = std::count(buffer.data(), last, '.');
        if (commas > 1 || (commas == 1 && dots > 0))
            return std::nullopt;
        std::replace(buffer.data(), last, ',', '.');
    }
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(buffer.data(), last, value);
    if (ec != std::errc() || ptr != last)
        return std::nullopt;
    return value;
}

} // namespace zar40::measurement
