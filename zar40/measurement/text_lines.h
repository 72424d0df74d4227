#pragma once
// What the text readers of this folder (measurement files, band text)
// share: lines cut at any line end, numbers read from whole tokens, and a
// refusal that names its line.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zar40::measurement {

// Why a text was refused.
struct LineRefusal {
    // 1-based line the refusal is about; 0 when it is about the whole text.
    std::size_t line = 0;
    std::string message;

    // "line 12: ..." or the message alone.
    std::string errorText() const;
};

// A reader's result R (a LineRefusal) refused at LINE with MESSAGE.
template <class R>
R refusal(std::size_t line, std::string message)
{
    R r;
    r.line = line;
    r.message = std::move(message);
    return r;
}

// The lines of a text one after another. CR LF counts as one line end, so
// do a lone CR and a lone LF; a last line without an end counts too.
class TextLines
{
public:
    explicit TextLines(std::string_view text) : m_text(text) {}

    // The next line, without its end; false past the last one.
    bool next(std::string_view &line);
    // 1-based number of the line next() gave last.
    std::size_t number() const { return m_number; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_number = 0;
};

// A whole token as a number, a leading '+' allowed; "nan" and "inf" parse
// too, so that a caller can refuse them by name. With decimalComma a single
// comma stands for the point. A token longer than 64 characters is no
// number: no measurement or band text writes one.
std::optional<double> parseNumber(std::string_view token, bool decimalComma = false);

} // namespace zar40::measurement
