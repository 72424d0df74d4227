#include "zar40/measurement/text_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zar40::measurement;

namespace {

std::vector<std::pair<std::size_t, std::string>> linesOf(std::string_view text)
{
    std::vector<std::pair<std::size_t, std::string>> out;
    TextLines lines(text);
    std::string_view line;
    while (lines.next(line))
        out.emplace_back(lines.number(), std::string(line));
    return out;
}

} // namespace

// Refusals name lines by these numbers, so every kind of line end must count
// once: files come from several systems and editors.
TEST(TextLines, EveryLineEndCountsOnceAndALastLineWithoutOneToo)
{
    using Lines = std::vector<std::pair<std::size_t, std::string>>;
    EXPECT_EQ(linesOf("a\r\nb\rc\nd"), (Lines{{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}}));
    EXPECT_EQ(linesOf("a\n\r\n\rb\n"), (Lines{{1, "a"}, {2, ""}, {3, ""}, {4, "b"}}));
    // LF CR is two line ends, not one.
    EXPECT_EQ(linesOf("a\n\rb"), (Lines{{1, "a"}, {2, ""}, {3, "b"}}));
    EXPECT_TRUE(linesOf("").empty());
}

TEST(TextLines, NumbersAreWholeTokensWithAnOptionalPlusAndTheirDecimalMark)
{
    EXPECT_EQ(parseNumber("+12.5"), 12.5);
    EXPECT_EQ(parseNumber("-3e2"), -300.0);
    EXPECT_EQ(parseNumber("12,5", true), 12.5);
    for (const char *bad : {"", "+", "12,5", "1.2.3", "12dB", " 1", "++1", "1e999"})
        EXPECT_FALSE(parseNumber(bad)) << bad;
    for (const char *bad : {"1,2,5", "1,2.5"})
        EXPECT_FALSE(parseNumber(bad, true)) << bad;
    // Named so that a reader can refuse them by name.
    EXPECT_TRUE(parseNumber("nan"));
    EXPECT_TRUE(parseNumber("-inf"));
    EXPECT_EQ(parseNumber(std::string(64, '1')), 1.1111111111111111e63);
    EXPECT_FALSE(parseNumber(std::string(65, '1')));
}
