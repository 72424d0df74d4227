#include "update/update_core.h"

#include <gtest/gtest.h>

#include <string>

using namespace update;

namespace {

TEST(VersionFile, FirstKeywordThenTheQuotedValue)
{
    const VersionFile f = parseVersionFile("junk Version: x \"1.5.00113\" Version: \"9\"\r\n"
                                           "Filename:\t\"setup.bin\"\r\n");
    EXPECT_EQ(f.version, "1.5.00113");
    EXPECT_EQ(f.filename, "setup.bin");
    // Missing keyword or quote: nothing.
    EXPECT_EQ(parseVersionFile("Filename: \"a\"").version, "");
    EXPECT_EQ(quotedValue("Version: 1.5.00113", "Version:"), "");
    EXPECT_EQ(quotedValue("Version:", "Version:"), "");
    EXPECT_EQ(quotedValue("Version: \"\"", "Version:"), "");
}

TEST(VersionFile, ValueWithoutClosingQuoteIsCutAt259Characters)
{
    const std::string longValue(400, 'v');
    EXPECT_EQ(quotedValue("Version: \"" + longValue, "Version:"), std::string(259, 'v'));
    EXPECT_EQ(quotedValue("Version: \"1.5", "Version:"), "1.5");
    // A view that ends inside the text: nothing past its end is read.
    const std::string text = "Version: \"1.5.00113\"";
    EXPECT_EQ(quotedValue(std::string_view(text).substr(0, 13), "Version:"), "1.5");
}

TEST(VersionFile, VersionsCompareAsTextsWithoutCase)
{
    EXPECT_TRUE(isNewerVersion("1.5.00112", "1.5.00113"));
    EXPECT_FALSE(isNewerVersion("1.5.00112", "1.5.00112"));
    EXPECT_FALSE(isNewerVersion("1.5.00112", "1.10.00001"));
    EXPECT_FALSE(isNewerVersion("1.5.00112", "1.4.99999"));
    EXPECT_FALSE(isNewerVersion("1.5.00112", ""));
    EXPECT_TRUE(isNewerVersion("1.5.00112", "1.5.001120"));
    EXPECT_FALSE(isNewerVersion("1.5.0011A", "1.5.0011a"));
    EXPECT_TRUE(isNewerVersion("1.5.0011a", "1.5.0011B"));
}

TEST(VersionFile, OnlyAPlainFileNameIsAccepted)
{
    EXPECT_EQ(unsafeFileNameReason("VRN-Control-Update-1.5.113.run"), "");
    for (const char *bad : {"", "../updater", "/tmp/updater", "sub/updater", "a\\b", "..", "x..y", ".hidden",
                            "up\x01" "dater", "up\x7f" "d", "tab\tname"})
        EXPECT_NE(unsafeFileNameReason(bad), "") << bad;
    EXPECT_EQ(unsafeFileNameReason(std::string(255, 'a')), "");
    EXPECT_NE(unsafeFileNameReason(std::string(256, 'a')), "");
}

TEST(TransferFigures, SizesSpeedsAndTimes)
{
    EXPECT_EQ(formatSize(0), "0 Byte");
    EXPECT_EQ(formatSize(1023), "1023 Byte");
    EXPECT_EQ(formatSize(1024), "1.0 KByte");
    EXPECT_EQ(formatSize(1048575), "1024.0 KByte");
    EXPECT_EQ(formatSize(1048576), "1.0 MByte");
    EXPECT_EQ(formatSpeed(2048), "2.0 KB/s");
    EXPECT_EQ(formatDuration(0), "00:00:00");
    EXPECT_EQ(formatDuration(65), "00:01:05");
    EXPECT_EQ(formatDuration(3600 * 12 + 59), "12:00:59");

    TransferFigures f{10000, 3000, 999};
    EXPECT_EQ(f.bytesPerSecond(), 0); // before the first whole second
    EXPECT_EQ(f.remainingSeconds(), 0);
    f.elapsedMs = 2500;
    EXPECT_EQ(f.bytesPerSecond(), 1500);
    EXPECT_EQ(f.remainingSeconds(), 10000 / 1500 - 2);
    f.total = 0; // size unknown
    EXPECT_EQ(f.remainingSeconds(), 0);
}

} // namespace
