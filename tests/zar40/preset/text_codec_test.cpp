#include "zar40/preset/text_codec.h"

#include <gtest/gtest.h>

using namespace zar40::preset;

TEST(TextCodec, EveryByteSurvivesUtf8)
{
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
}

TEST(TextCodec, KnownCharacters)
{
    EXPECT_EQ(cp1252ToUtf8("B\xFChne"), "B\xC3\xBChne");
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(cp1252ToUtf8("\x9F"), "\xC5\xB8");
    EXPECT_EQ(utf8ToCp1252("\xE2\x80\x9C" "x" "\xE2\x80\x9D"), "\x93x\x94");
    EXPECT_EQ(utf8ToCp1252("\xC2\x80"), "?") << "U+0080 is not the euro byte";
}

TEST(TextCodec, UnknownAndMalformedBecomeQuestionMarks)
{
    EXPECT_EQ(utf8ToCp1252("\xE6\x97\xA5"), "?");                 // one character Windows-1252 lacks
    EXPECT_EQ(utf8ToCp1252("\xF0\x9F\x8E\xB5!"), "?!");           // beyond the BMP
    EXPECT_EQ(utf8ToCp1252("a\xFF" "b"), "a?b");                  // not UTF-8 at all
    EXPECT_EQ(utf8ToCp1252("\xC0\xAF"), "??");                    // overlong form
    EXPECT_EQ(utf8ToCp1252("\xED\xA0\x80"), "???");               // surrogate
    EXPECT_EQ(utf8ToCp1252("\xE2\x82"), "??");                    // cut short
}
