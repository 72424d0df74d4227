// What the update makes of each line of a firmware file.
#include "firmware_files.h"

#include "zar40/comm/firmware/srecord.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

using namespace zar40::firmware;
using zar40::firmware::test::s2;

namespace {

FirmwareFile readText(const std::string &text)
{
    std::istringstream in(text);
    return readFirmwareFile(in);
}

TEST(SRecord, WellFormedS2RecordsAreData)
{
    const auto r = parseS2Record(s2(0x0A1234, 3));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->address, 0x0A1234u);
    EXPECT_EQ(r->lastAddress(), 0x0A1236u);
    EXPECT_TRUE(r->checksumOk);

    std::string lower = s2(0x010000);
    for (char &c : lower) c = char(std::tolower(c));
    lower[0] = 'S';
    EXPECT_TRUE(parseS2Record(lower));

    std::string wrongSum = s2(0x010000);
    wrongSum.back() = wrongSum.back() == '0' ? '1' : '0';
    ASSERT_TRUE(parseS2Record(wrongSum));
    EXPECT_FALSE(parseS2Record(wrongSum)->checksumOk);
}

TEST(SRecord, IncompleteOrDamagedS2LinesAreNeverData)
{
    const std::string good = s2(0x010000, 4);
    for (const std::string &bad : {good.substr(0, good.size() - 1), // a digit missing
                                   good + "0",                      // one too many
                                   good.substr(0, 10) + "G" + good.substr(11),
                                   std::string("S2"), std::string("S2 "),
                                   std::string("S2030000"),          // count too small for address and checksum
                                   " " + good}) {
        EXPECT_FALSE(parseS2Record(bad)) << bad;
        EXPECT_NE(classifyLine(bad).kind, FirmwareLine::Kind::Data) << bad;
        EXPECT_EQ(recordToSend(classifyLine(bad), true), kPlaceholderRecord) << bad;
    }
    EXPECT_EQ(classifyLine(good.substr(0, 9)).kind, FirmwareLine::Kind::MalformedS2);
    EXPECT_EQ(classifyLine("S00F000068656C6C6F").kind, FirmwareLine::Kind::Other);
}

TEST(SRecord, AddressRangesDecideWhatIsProgrammed)
{
    struct Case {
        std::uint32_t address;
        int bytes;
        bool sentWithoutReset, sentWithReset;
    };
    for (const Case &c : {
             Case{0x010000, 16, true, true},
             Case{0x09FFF0, 16, true, true},   // ends just below the preset data
             Case{0x09FFF8, 16, false, true},  // reaches into it
             Case{0x0A0000, 16, false, true},
             Case{0x0DFFF0, 16, false, true},
             Case{0x0E0000, 16, true, true},
             Case{0x0EFFF8, 16, false, false}, // reaches into the protected area
             Case{0x0F0000, 16, false, false},
             Case{0x0F3FF0, 16, false, false},
             Case{0x0F4000, 16, true, true},
         }) {
        const FirmwareLine line = classifyLine(s2(c.address, c.bytes));
        EXPECT_EQ(sendsUnchanged(line, false), c.sentWithoutReset) << std::hex << c.address;
        EXPECT_EQ(sendsUnchanged(line, true), c.sentWithReset) << std::hex << c.address;
    }
}

TEST(SRecord, FileLinesAreCountedWhateverTheirEndsAndLengths)
{
    const std::string rec = s2(0x010000);
    // CRLF, LF, an empty line, a line far longer than any record that starts
    // like one, and a last line without its end.
    const std::string huge = "S2" + std::string(100000, 'A');
    const auto f = readText(rec + "\r\n" + rec + "\n\n" + huge + "\n" + "S9030000FC\r\n" + rec);
    ASSERT_EQ(f.lines.size(), 6u);
    EXPECT_EQ(f.dataRecords, 3u);
    EXPECT_EQ(f.malformedS2, 1u);
    EXPECT_EQ(f.lines[0].text, rec); // no "\r" sent along
    EXPECT_EQ(f.lines[3].kind, FirmwareLine::Kind::MalformedS2);
    EXPECT_EQ(f.lines[5].text, rec);

    EXPECT_TRUE(readText("").lines.empty());
    EXPECT_EQ(readText("\n").lines.size(), 1u);
}

TEST(SRecord, FilesBeyondAnyFirmwareStopBeingRead)
{
    EXPECT_FALSE(readText(std::string(kMaxFirmwareLines, '\n')).tooLarge);
    const auto manyLines = readText(std::string(kMaxFirmwareLines, '\n') + "S9030000FC");
    EXPECT_TRUE(manyLines.tooLarge);
    EXPECT_LE(manyLines.lines.size(), kMaxFirmwareLines);
    // Without a single line end: the bytes alone end it.
    const auto big = readText(std::string(kMaxFirmwareFileBytes + 1, 'S'));
    EXPECT_TRUE(big.tooLarge);
    EXPECT_TRUE(big.lines.empty());
}

} // namespace
