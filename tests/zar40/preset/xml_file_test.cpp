#include "zar40/preset/preset_files.h"

#include "test_support.h"
#include "zar40/preset/factory_layouts.h"

#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>

using namespace zar40::preset;
using namespace preset_test;

namespace {

std::string document(const std::string &body)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\" ?><ZAR40_PRESET VERSION=\"1\">" + body + "</ZAR40_PRESET>";
}

PresetRecord readOk(const std::string &doc)
{
    PresetRecord r = startupPreset(9);
    const Result res = readXmlPreset(doc, r);
    EXPECT_TRUE(res.ok) << res.detail;
    return r;
}

std::size_t count(const std::string &hay, const std::string &needle)
{
    std::size_t n = 0;
    for (auto at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
    return n;
}

} // namespace

TEST(XmlWriter, DocumentHasPrologRootAndEveryChannel)
{
    const std::string doc = xmlPresetDocument(defaultPreset());
    EXPECT_EQ(doc.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"", 0), 0u) << doc.substr(0, 60);
    EXPECT_NE(doc.find("<?xml-stylesheet type=\"text/xsl\" href=\"ZAR40.xsl\" ?>"), std::string::npos);
    EXPECT_NE(doc.find("<ZAR40_PRESET VERSION=\"1\">"), std::string::npos);
    EXPECT_EQ(count(doc, "<INPUT ID="), 3u);
    EXPECT_EQ(count(doc, "<OUTPUT ID="), 6u);
    EXPECT_NE(doc.find("<OUTPUT ID=\"6\">"), std::string::npos);
    // The defaults switch every band, crossover side, dynamics stage and gate off.
    for (const char *absent : {"<PEQ", "<CROSSOVER", "<DYNAMIC", "<NOISEGATE"})
        EXPECT_EQ(doc.find(absent), std::string::npos) << absent;
    // Numbers are nine upper-case digits after 0x.
    EXPECT_NE(doc.find("<DELAY>0x03F800000</DELAY>"), std::string::npos);
    EXPECT_NE(doc.find("<ROUTE>0x000000002</ROUTE>"), std::string::npos);
    EXPECT_NE(doc.find("<AUTHOR>V.R.N.</AUTHOR>"), std::string::npos);
}

TEST(XmlWriter, ElementOrderIsFixed)
{
    PresetRecord r = applyFactoryLayout(startupPreset(0), 0, FactoryLayout::TwoWayStereo);
    r.outputs[0].PEQ[2].TYPE = 1;
    r.outputs[0].lowCut.TYPE = 5;
    r.outputs[0].NOISEGATE.THRESHOLD = -80.0f;
    const std::string doc = xmlPresetDocument(r);
    const auto order = [&](std::initializer_list<const char *> tags, std::size_t from) {
        std::size_t at = from;
        for (const char *t : tags) {
            const auto next = doc.find(t, at);
            if (next == std::string::npos) return ::testing::AssertionFailure() << t << " missing or out of order";
            at = next;
        }
        return ::testing::AssertionSuccess();
    };
    EXPECT_TRUE(order({"<AUTHOR>", "<NAME>", "<PRESET_FLAGS>", "<INPUT ID=\"1\">", "<INPUT ID=\"3\">", "<OUTPUT ID=\"1\">"}, 0));
    const std::size_t out1 = doc.find("<OUTPUT ID=\"1\">");
    EXPECT_TRUE(order({"<NAME>", "<DELAY>", "<GAIN>", "<MUTE>", "<PHASE>", "<ROUTE>", "<PEQ ID=\"3\">", "<FREQUENCY>", "<GAIN>",
                       "<Q>", "<TYPE>", "<CROSSOVER ID=\"HP\">", "<CROSSOVER ID=\"LP\">", "<DYNAMIC>", "<AT>", "<GAIN>",
                       "<KNEE>", "<RATIO>", "<RT>", "<THRESHOLD>", "<TYPE>", "<NOISEGATE>", "<CT>", "<HT>", "<THRESHOLD>",
                       "</OUTPUT>"},
                      out1));
    EXPECT_EQ(doc.find("<NUMBER"), std::string::npos) << "the preset number is not stored";
}

TEST(XmlWriter, OnlyTheOffCodeOfEachSideIsLeftOut)
{
    PresetRecord r = defaultPreset();
    r.outputs[1].lowCut.TYPE = 0; // a high-cut code on the low-cut side: on
    r.outputs[2].highCut.TYPE = 4;
    const std::string doc = xmlPresetDocument(r);
    EXPECT_EQ(count(doc, "<CROSSOVER ID=\"HP\">"), 1u);
    EXPECT_EQ(count(doc, "<CROSSOVER ID=\"LP\">"), 1u);

    PresetRecord back;
    ASSERT_TRUE(readXmlPreset(doc, back).ok);
    EXPECT_EQ(back.outputs[1].lowCut.TYPE, 0u);
    EXPECT_EQ(back.outputs[2].highCut.TYPE, 4u);
}

TEST(XmlWriter, OffGroupsReadBackAsDefaults)
{
    PresetRecord r = defaultPreset();
    r.inputs[0].PEQ[1].FREQUENCY = 250; // band stays off
    r.outputs[3].NOISEGATE = {-200.0f, 5.0f, 5.0f};
    r.outputs[4].NOISEGATE.THRESHOLD = -199.0f;
    r.outputs[5].DYNAMIC.RATIO = 4.0f;
    r.number = 12;
    PresetRecord back;
    ASSERT_TRUE(readXmlPreset(xmlPresetDocument(r), back).ok);
    EXPECT_EQ(back.inputs[0].PEQ[1].FREQUENCY, 1000u);
    EXPECT_EQ(back.outputs[3].NOISEGATE.CT, 100.0f);
    EXPECT_EQ(back.outputs[4].NOISEGATE.THRESHOLD, -199.0f) << "a gate above -200 is on and written";
    EXPECT_EQ(back.outputs[5].DYNAMIC.RATIO, 1.1f);
    EXPECT_EQ(back.number, 0u);
}

TEST(XmlReader, EmptyRootGivesTheDefaultPreset)
{
    PresetRecord r = startupPreset(3);
    r.PRESET_FLAGS = 7;
    const Result res = readXmlPresetFile(dataFile("empty_root.vpx"), r);
    ASSERT_TRUE(res.ok) << res.detail;
    EXPECT_TRUE(sameRecord(defaultPreset(), r));
    EXPECT_EQ(textOf(r.NAME), "Default Preset");
    EXPECT_EQ(textOf(r.AUTHOR), "V.R.N.");
}

TEST(XmlReader, HandWrittenFileFollowsTheRules)
{
    PresetRecord r = startupPreset(1);
    const Result res = readXmlPresetFile(dataFile("wrapped.vpx"), r);
    ASSERT_TRUE(res.ok) << res.detail;

    PresetRecord expected = defaultPreset();
    expected.PRESET_FLAGS = 0x10002; // blanks skipped, parsing stops at the blank after the digits
    auto &in = expected.inputs[2];
    in.DELAY = 1.0f;  // lower case, no prefix
    in.GAIN = -5.0f;  // upper-case prefix
    in.MUTE = 1;      // low 8 bits of 0x101
    in.PEQ[1] = {1, 250, 1.5f, 3.0f};
    auto &out = expected.outputs[3]; // ID "04"
    setText(out.NAME, "Sidefill");
    out.ROUTE = 1;
    out.lowCut = {6, 80, 8}; // "hp" is not "HP"
    out.NOISEGATE.THRESHOLD = -100.0f;
    out.NOISEGATE.CT = std::bit_cast<float>(0xFFFFFFFFu); // beyond 32 bits saturates
    out.NOISEGATE.HT = 0.0f;                             // not a number
    setText(expected.NAME, "A twenty char na");          // NAME of an INPUT without ID, cut to 16
    setText(expected.AUTHOR, "Second a");                // the later AUTHOR wins, cut to 8
    EXPECT_TRUE(sameRecord(expected, r));
}

TEST(XmlReader, NumberParsing)
{
    struct Case {
        const char *text;
        std::uint32_t word;
    } cases[] = {
        {"0x03F800000", 0x3F800000}, {"3f800000", 0x3F800000}, {"  \n\t0x10", 0x10},   {"", 0},
        {"zz", 0},                   {"0x", 0},                {"12g4", 0x12},         {"-1", 0},
        {"FFFFFFFF", 0xFFFFFFFF},    {"100000000", 0xFFFFFFFF}, {"0x00000000000000001", 1},
    };
    for (const auto &c : cases) {
        const PresetRecord r = readOk(document(std::string("<PRESET_FLAGS>") + c.text + "</PRESET_FLAGS>"));
        EXPECT_EQ(r.PRESET_FLAGS, c.word) << '"' << c.text << '"';
    }
}

TEST(XmlReader, ChannelIdsAndUnknownChildren)
{
    const PresetRecord r = readOk(document("<INPUT ID=\"0\"><NAME>zero</NAME></INPUT>"
                                           "<INPUT ID=\"2x\"><GAIN>0x3F800000</GAIN></INPUT>"
                                           "<OUTPUT ID=\"6\"><PEQ ID=\"5\"><TYPE>0xC</TYPE></PEQ><PEQ ID=\"0\"><TYPE>1</TYPE></PEQ>"
                                           "<DYNAMIC><TYPE>1</TYPE><AT>0x3F800000</AT></DYNAMIC><MISC><NAME>no</NAME></MISC></OUTPUT>"
                                           "<INPUT ID=\"1\"><PHASE>1</PHASE><DYNAMIC><TYPE>2</TYPE></DYNAMIC></INPUT>"));
    PresetRecord expected = defaultPreset();
    setText(expected.NAME, "zero");        // INPUT with ID 0 is an unknown element
    expected.inputs[1].GAIN = 1.0f;        // leading digits of the ID
    expected.outputs[5].PEQ[4].TYPE = 12;  // PEQ ID 0 ignored
    expected.outputs[5].DYNAMIC.TYPE = 1;
    expected.outputs[5].DYNAMIC.AT = 1.0f; // MISC not descended into; input 1 has no PHASE or DYNAMIC
    EXPECT_TRUE(sameRecord(expected, r));
}

TEST(XmlReader, FailureLeavesTheTargetUnchanged)
{
    for (const char *name : {"truncated.vpx", "no_root.vpx", "does_not_exist.vpx"}) {
        PresetRecord r = startupPreset(4);
        r.outputs[2].GAIN = std::bit_cast<float>(0x7FA00001u);
        const PresetRecord before = r;
        const Result res = readXmlPresetFile(dataFile(name), r);
        EXPECT_FALSE(res.ok) << name;
        EXPECT_EQ(res.message, "Could not load XML-Preset-file!\nFile corrupt?") << name;
        EXPECT_FALSE(res.detail.empty()) << name;
        EXPECT_TRUE(sameRecord(before, r)) << name;
    }
    PresetRecord r = defaultPreset();
    EXPECT_FALSE(readXmlPreset("", r).ok);
    EXPECT_FALSE(readXmlPreset("<A><B></A>", r).ok);
}

TEST(XmlReader, DeepNestingIsWalkedWithoutRecursion)
{
    const int depth = 200000;
    std::string doc;
    for (int i = 0; i < depth; ++i) doc += "<W>";
    doc += "<NAME>deep</NAME>";
    for (int i = 0; i < depth; ++i) doc += "</W>";
    PresetRecord r;
    const Result res = readXmlPreset(doc, r);
    ASSERT_TRUE(res.ok) << res.detail;
    EXPECT_EQ(textOf(r.NAME), "deep");
}

TEST(XmlTexts, WindowsCharactersRoundTripAsUtf8)
{
    PresetRecord r = defaultPreset();
    setText(r.NAME, "B\xFChne \x80 \x96 \x9D");  // ü, euro sign, en dash, an undefined byte
    setText(r.outputs[0].NAME, "S\xE4ule<&>");
    const std::string doc = xmlPresetDocument(r);
    EXPECT_NE(doc.find("B\xC3\xBChne \xE2\x82\xAC \xE2\x80\x93"), std::string::npos) << "files hold UTF-8";
    PresetRecord back;
    ASSERT_TRUE(readXmlPreset(doc, back).ok);
    EXPECT_TRUE(sameRecord(r, back));

    // Characters Windows-1252 lacks become "?"; the cut counts characters, not bytes.
    back = readOk(document("<NAME>\xE6\x97\xA5\xE6\x9C\xAC B\xC3\xBChne 123456789</NAME><AUTHOR>\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA4</AUTHOR>"));
    EXPECT_EQ(textOf(back.NAME), "?? B\xFChne 1234567");
    EXPECT_EQ(textOf(back.AUTHOR), "\xE4\xF6\xFC\xDF\xE4\xF6\xFC\xDF");
}

TEST(XmlTexts, ControlBytesAreWrittenAsBlanksSoStrictParsersAcceptTheFile)
{
    PresetRecord r = defaultPreset();
    setText(r.NAME, "A\x01" "B\x1F" "C\tD\x0B" "E\x7F\x81");
    setText(r.AUTHOR, "\x02\x03\x04\x05\x06\x07\x08\x0C");
    setText(r.outputs[2].NAME, "x\x0Ey\r\n");
    TempDir dir;
    ASSERT_TRUE(writeXmlPresetFile(r, dir.file("controls.vpx")).ok);
    EXPECT_TRUE(strictXmlParserAccepts(dir.file("controls.vpx")));

    PresetRecord back;
    ASSERT_TRUE(readXmlPresetFile(dir.file("controls.vpx"), back).ok);
    EXPECT_EQ(textOf(back.NAME), "A B C\tD E\x7F\x81");
    EXPECT_EQ(textOf(back.AUTHOR), "        ");
    EXPECT_EQ(textOf(back.outputs[2].NAME), "x y\r\n");
}

TEST(XmlReader, DeclaredEightBitEncodingsAreHonoured)
{
    // "Bühne €" in each encoding; ISO-8859-1 has no euro sign (0x80 is a control there).
    const struct {
        const char *name;
        std::string bytes;
        std::string expected; // Windows-1252, as the record holds texts
    } cases[] = {
        {"utf-8", "B\xC3\xBChne \xE2\x82\xAC", "B\xFChne \x80"},
        {"UTF-8", "B\xC3\xBChne \xE2\x82\xAC", "B\xFChne \x80"},
        {"ISO-8859-1", "B\xFChne \xE4", "B\xFChne \xE4"},
        {"windows-1252", "B\xFChne \x80", "B\xFChne \x80"},
        {"Windows-1252", "\x96\xDF", "\x96\xDF"},
    };
    for (const auto &c : cases) {
        const std::string doc = std::string("<?xml version=\"1.0\" encoding='") + c.name +
                                "' ?><ZAR40_PRESET><NAME>" + c.bytes + "</NAME></ZAR40_PRESET>";
        EXPECT_EQ(textOf(readOk(doc).NAME), c.expected) << c.name;
    }
    // Without a declaration the file is UTF-8.
    EXPECT_EQ(textOf(readOk("<ZAR40_PRESET><NAME>\xC3\xBC</NAME></ZAR40_PRESET>").NAME), "\xFC");
}

TEST(XmlSave, ReplacesTheFileAndLeavesNoTemporary)
{
    TempDir dir;
    const std::string path = dir.file("show.vpx");
    writeFile(path, "old contents");
    PresetRecord r = startupPreset(2);
    const Result res = writeXmlPresetFile(r, path);
    ASSERT_TRUE(res.ok) << res.detail;
    EXPECT_EQ(readFile(path), xmlPresetDocument(r));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"show.vpx"});
}

TEST(XmlSave, FailedRenameKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir.file("keep.vpx");
    ASSERT_TRUE(writeXmlPresetFile(startupPreset(0), path).ok);
    const std::string before = readFile(path);

    const Result res = writeXmlPresetFile(startupPreset(1), path, [](const char *, const char *) {
        errno = EIO;
        return -1;
    });
    EXPECT_FALSE(res.ok);
    EXPECT_EQ(res.message, kXmlSaveError);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"keep.vpx"}) << "the temporary file is removed";
}

TEST(XmlSave, UnwritablePlaceReportsFailure)
{
    TempDir dir;
    EXPECT_FALSE(writeXmlPresetFile(defaultPreset(), dir.file("missing/folder/x.vpx")).ok);
    EXPECT_FALSE(writeXmlPresetFile(defaultPreset(), dir.file("")).ok) << "a folder is not replaced";
}
