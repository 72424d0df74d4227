// The preset report: what a reader of the page sees, in order, and a page
// that any browser can take apart.
#include "zar40/report/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

using namespace zar40::preset;
using namespace zar40::report;

namespace {

// The texts a reader sees, in page order: every run between tags.
std::vector<std::string> visibleTexts(const std::string &html)
{
    std::vector<std::string> out;
    std::string run;
    bool inTag = false;
    for (char c : html) {
        if (c == '<' || c == '>') {
            if (!inTag && !run.empty()) out.push_back(run);
            run.clear();
            inTag = c == '<';
        } else if (!inTag && c != '\n') {
            run += c;
        }
    }
    return out;
}

// The texts following the first occurrence of FROM, COUNT of them.
std::vector<std::string> textsAfter(const std::vector<std::string> &texts, const std::string &from, std::size_t count,
                                    std::size_t occurrence = 0)
{
    auto it = texts.begin();
    for (std::size_t n = 0;; ++n, ++it) {
        it = std::find(it, texts.end(), from);
        if (it == texts.end()) return {};
        if (n == occurrence) break;
    }
    ++it;
    const auto end = static_cast<std::size_t>(texts.end() - it) < count ? texts.end() : it + static_cast<long>(count);
    return {it, end};
}

// Every element opened is closed, in nesting order; meta and br are empty.
::testing::AssertionResult TagsBalance(const std::string &html)
{
    std::vector<std::string> open;
    for (std::size_t pos = html.find('<'); pos != std::string::npos; pos = html.find('<', pos + 1)) {
        const std::size_t end = html.find('>', pos);
        if (end == std::string::npos) return ::testing::AssertionFailure() << "unterminated tag at " << pos;
        const bool closing = html[pos + 1] == '/';
        std::size_t nameEnd = pos + (closing ? 2 : 1);
        while (nameEnd < end && std::isalnum(static_cast<unsigned char>(html[nameEnd]))) ++nameEnd;
        const std::string name = html.substr(pos + (closing ? 2 : 1), nameEnd - pos - (closing ? 2 : 1));
        if (name.empty()) return ::testing::AssertionFailure() << "stray '<' at " << pos;
        if (name == "meta" || name == "br") continue;
        if (!closing) {
            open.push_back(name);
        } else if (open.empty() || open.back() != name) {
            return ::testing::AssertionFailure() << "</" << name << "> at " << pos << " closes "
                                                 << (open.empty() ? "nothing" : "<" + open.back() + ">");
        } else {
            open.pop_back();
        }
    }
    if (!open.empty()) return ::testing::AssertionFailure() << "<" << open.back() << "> never closed";
    return ::testing::AssertionSuccess();
}

std::size_t countOf(const std::vector<std::string> &texts, const std::string &s)
{
    return static_cast<std::size_t>(std::count(texts.begin(), texts.end(), s));
}

using Texts = std::vector<std::string>;

} // namespace

TEST(Report, PageIsFramedByTheFixedHeadAndTail)
{
    const std::string doc = reportDocument(defaultPreset());
    EXPECT_EQ(doc.rfind("<html>\n\n<head>\n<meta http-equiv='Content-Type' content='text/html; charset=windows-1252'>\n"
                        "<meta name='GENERATOR' content='ZAR40 Plug-in'>\n<title>HTML Report</title>\n</head>\n\n<body>\n"
                        "<table",
                        0),
              0u);
    EXPECT_TRUE(doc.ends_with("</table>\n</body>\n</html>\n"));
    EXPECT_TRUE(TagsBalance(doc));
}

TEST(Report, AllOffPresetShowsBypassEverywhere)
{
    const Texts t = visibleTexts(reportBody(defaultPreset()));
    EXPECT_EQ(textsAfter(t, "Preset-Name", 3), (Texts{"Default Preset", "Preset-Author", "V.R.N."}));
    EXPECT_EQ(textsAfter(t, "Channel-Names", 4), (Texts{"Input A", "In A", "Input B", "In B"}));
    EXPECT_EQ(textsAfter(t, "Output 5", 3), (Texts{"Out 5", "Output 6", "Out 6"}));
    for (int band = 1; band <= kBandCount; ++band)
        EXPECT_EQ(countOf(t, "Filter " + std::to_string(band)), 9u) << band;
    // Filter rows, both crossover sides, dynamics and gate: nothing but "Bypass".
    EXPECT_EQ(countOf(t, "Bypass"), 9u * 5 + 6u * 4);
    EXPECT_EQ(countOf(t, "Typ"), 0u);
    EXPECT_EQ(textsAfter(t, "Low Cut", 3, 5), (Texts{"High Cut", "Bypass", "Bypass"}));
    EXPECT_EQ(textsAfter(t, "Dynamik", 3), (Texts{"Bypass", "Noisegate", "Bypass"}));

    // Sections in order, with their titles.
    const std::vector<std::string> titles{"Input A - In A", "Summe", "Input B - In B", "Output 1 - Out 1", "Output 6 - Out 6"};
    auto at = t.begin();
    for (const auto &title : titles) {
        at = std::find(at, t.end(), title);
        ASSERT_NE(at, t.end()) << title;
    }
}

TEST(Report, ValuesInTheirFormats)
{
    PresetRecord r = defaultPreset();
    r.inputs[kInputA].DELAY = 97.0f;
    r.inputs[kInputA].MUTE = 1;
    r.inputs[kInputA].GAIN = -3.5f;
    r.inputs[kInputA].PEQ[1] = EqBand{1, 2500, 1.4f, -6.0f};
    OutputChannel &o = r.outputs[0];
    o.DELAY = 1.0f;
    o.PHASE = 1.0f;
    o.DYNAMIC = Dynamics{1, 2.0f, -10.0f, 3.0f, 8.0f, 5.0f, 200.0f};
    o.NOISEGATE = NoiseGate{-199.0f, 100.0f, 10.0f};
    o.lowCut = CrossoverFilter{0, 80, 2}; // a high-cut code: on
    o.highCut = CrossoverFilter{2, 12000, 4};
    r.outputs[1].DYNAMIC = Dynamics{2, 0.0f, -20.0f, 0.0f, 8.0f, 1.0f, 50.0f};

    const Texts t = visibleTexts(reportBody(r));
    EXPECT_EQ(textsAfter(t, "Input A - In A", 6), (Texts{"Mute", "On", "Gain", "-3.5 dB", "Delay", "1.0 ms"}));
    EXPECT_EQ(textsAfter(t, "Filter 2", 8, 0),
              (Texts{"Typ", "PEQ I", "Freq.", "2500 Hz", "Q", "1.4", "Gain", "-6.0 dB"}));
    EXPECT_EQ(textsAfter(t, "Output 1 - Out 1", 8),
              (Texts{"Phase", "180\xB0", "Mute", "Off", "Gain", "0.0 dB", "Delay", "0.0 ms"}));
    EXPECT_EQ(textsAfter(t, "Output 2 - Out 2", 2), (Texts{"Phase", "0\xB0"}));
    EXPECT_EQ(textsAfter(t, "Low Cut", 14),
              (Texts{"High Cut", "Typ", "Bypass", "Freq.", "80 Hz", "Order", "2", "Typ", "Linkwitz-Riley", "Freq.",
                     "12000 Hz", "Order", "4", "Dynamik"}));
    // The limiter has no ratio; its empty cells still hold a blank.
    EXPECT_EQ(textsAfter(t, "Dynamik", 16),
              (Texts{"Typ", "Limiter", "&nbsp;", "&nbsp;", "Threshold", "-10.0 dB", "Attack Time", "5.0 ms", "Knee", "3.0",
                     "Release Time", "200.0 ms", "Gain", "2.0 dB", "&nbsp;", "&nbsp;"}));
    EXPECT_EQ(textsAfter(t, "Noisegate", 6),
              (Texts{"Threshold", "-199.0 dB", "Close Time", "100.0 ms", "Hold Time", "10.0 ms"}));
    EXPECT_EQ(countOf(t, "Ratio"), 1u);
    EXPECT_EQ(textsAfter(t, "Ratio", 1), Texts{"8.0"});
    EXPECT_EQ(textsAfter(t, "Dynamik", 2, 1), (Texts{"Typ", "Compressor"}));
}

TEST(Report, NamesAreCp1252BytesAndCannotBreakThePage)
{
    PresetRecord r = defaultPreset();
    setText(r.NAME, "Open Air B\xFChne");
    setText(r.AUTHOR, "<b>&\"'");
    setText(r.outputs[2].NAME, "</table>");
    setText(r.inputs[kInputB].NAME, "");
    const std::string doc = reportDocument(r);
    const Texts t = visibleTexts(doc);

    EXPECT_EQ(textsAfter(t, "Preset-Name", 1), Texts{"Open Air B\xFChne"});
    EXPECT_EQ(doc.find("\xC3\xBC"), std::string::npos);
    EXPECT_EQ(textsAfter(t, "Preset-Author", 1), Texts{"&lt;b&gt;&amp;&quot;&#39;"});
    EXPECT_EQ(textsAfter(t, "Input B", 1), Texts{"&nbsp;"});
    EXPECT_NE(std::find(t.begin(), t.end(), "Output 3 - &lt;/table&gt;"), t.end());
    EXPECT_TRUE(TagsBalance(doc));
}

TEST(Report, ComplexPageStillBalances)
{
    PresetRecord r = defaultPreset();
    for (auto &o : r.outputs) {
        for (auto &b : o.PEQ) b.TYPE = 13; // unknown: shown, with no name
        o.highCut.TYPE = 1;
        o.lowCut.TYPE = 9;
        o.DYNAMIC.TYPE = 2;
        o.NOISEGATE.THRESHOLD = -40.0f;
    }
    EXPECT_TRUE(TagsBalance(reportDocument(r)));
}

TEST(Report, FooterOfAPrintout)
{
    EXPECT_EQ(reportFooter(ReportTime{2010, 1, 5, 14, 7, 9}), "ZAR40 Plug-in, 05.01.2010 - 14:07:09");
}
