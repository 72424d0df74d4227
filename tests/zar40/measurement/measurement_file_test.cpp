#include "zar40/measurement/measurement_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

using namespace zar40::measurement;

namespace {

Measurement readOk(const std::string &text)
{
    const ReadResult r = readMeasurement(text);
    EXPECT_TRUE(r.ok) << r.errorText();
    return r.measurement;
}

void expectRefused(const std::string &text, std::size_t line, const std::string &part)
{
    const ReadResult r = readMeasurement(text);
    EXPECT_FALSE(r.ok) << text;
    EXPECT_EQ(r.line, line) << r.errorText();
    EXPECT_NE(r.errorText().find(part), std::string::npos) << r.errorText();
}

} // namespace

TEST(MeasurementFile, ReadsTheCommonExportShapes)
{
    struct Case {
        const char *name;
        std::string text;
        bool phase;
    };
    const Case cases[] = {
        {"spaces with header", "* exported response\nFreq(Hz) SPL(dB) Phase(deg)\n20 80.5 -10\n1000 85.25 45\n", true},
        {"tabs, CR LF", "# comment\r\n20\t80.5\t-10\r\n1000\t85.25\t45\r\n", true},
        {"commas", "\"Frequency\",\"dB\"\n20,80.5\n1000,85.25\n", false},
        {"semicolons with decimal commas", "; text\nHz;dB;deg\n20;80,5;-10\n1000;85,25;45\n", true},
        {"lone CR line ends, signs and exponents", "20 +80.5\r1e3 8.525e1\r", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Measurement m = readOk(c.text);
        ASSERT_EQ(m.size(), 2u);
        EXPECT_EQ(m.frequencyHz[0], 20.0);
        EXPECT_EQ(m.frequencyHz[1], 1000.0);
        EXPECT_DOUBLE_EQ(m.magnitudeDb[0], 80.5);
        EXPECT_DOUBLE_EQ(m.magnitudeDb[1], 85.25);
        EXPECT_EQ(m.hasPhase(), c.phase);
        if (c.phase) {
            EXPECT_DOUBLE_EQ(m.phaseDeg[1], 45.0);
        }
    }
}

TEST(MeasurementFile, SortsAndMergesRepeatedFrequencies)
{
    const Measurement m = readOk("1000 10 170\n100 2 0\n1000 20 -170\n");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m.frequencyHz[0], 100.0);
    EXPECT_DOUBLE_EQ(m.magnitudeDb[1], 15.0);
    // 170 and -170 degrees average to 180, not to 0.
    EXPECT_NEAR(std::abs(m.phaseDeg[1]), 180.0, 1e-9);
}

TEST(MeasurementFile, LeadingTextThatStartsWithANumberIsHeader)
{
    const Measurement m = readOk("48000 Hz sample rate\n2024\n20 1\n30 2\n");
    EXPECT_EQ(m.size(), 2u);
}

TEST(MeasurementFile, RefusesBadInputNamingTheLine)
{
    expectRefused("", 0, "no measurement points");
    expectRefused("* only\nFreq dB\n", 0, "no measurement points");
    expectRefused("20 1\n30 abc\n", 2, "frequency in Hz and a magnitude");
    expectRefused("20 1 0\n30 2 x\n", 2, "phase");
    expectRefused("20 1\nnan 2\n", 2, "finite");
    expectRefused("20 1\n30 inf\n", 2, "finite");
    expectRefused("20 1\n0 2\n", 2, "above 0 Hz");
    expectRefused("20 1\n-5 2\n", 2, "above 0 Hz");
    expectRefused("20 1 0\n30 2\n", 2, "phase is missing");
    expectRefused("20 1\n30 2 5\n", 2, "phase appears");
    expectRefused("20 1\n30 1e300\n", 2, "-1000 to 1000 dB");
    expectRefused("x\n20 1\n20 3\n", 2, "two frequencies");
    expectRefused("20;1\n30;1,2,3\n", 2, "frequency in Hz and a magnitude");
}

TEST(MeasurementFile, RefusesMoreThanTheLimits)
{
    std::string text;
    for (std::size_t i = 1; i <= kMaxPoints + 1; ++i)
        text += std::to_string(i) + " 0\n";
    expectRefused(text, kMaxPoints + 1, "more than 200000 points");

    std::string big(kMaxFileBytes + 1, '#');
    expectRefused(big, 0, "64 MiB");
}

TEST(MeasurementFile, FileNamesAndFiles)
{
    EXPECT_TRUE(isMeasurementFileName("a/b.TXT"));
    EXPECT_TRUE(isMeasurementFileName("x.frd"));
    EXPECT_TRUE(isMeasurementFileName("x.Csv"));
    EXPECT_TRUE(isMeasurementFileName("x.dat"));
    EXPECT_FALSE(isMeasurementFileName("x.vpx"));
    EXPECT_FALSE(isMeasurementFileName("dir.txt/file"));

    const auto dir = std::filesystem::temp_directory_path() / ("zar40-measurement-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto good = dir / "m.frd";
    std::ofstream(good) << "20 1\n20000 2\n";
    EXPECT_TRUE(readMeasurementFile(good.string()).ok);
    EXPECT_FALSE(readMeasurementFile((dir / "m.vpx").string()).ok);
    EXPECT_FALSE(readMeasurementFile((dir / "missing.txt").string()).ok);
    const auto huge = dir / "huge.txt";
    std::filesystem::resize_file((std::ofstream(huge), huge), kMaxFileBytes + 1);
    const ReadResult r = readMeasurementFile(huge.string());
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("64 MiB"), std::string::npos);
    std::filesystem::remove_all(dir);
}
