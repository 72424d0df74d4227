#include "zar40/report/report.h"

#include "zar40/preset/channel_names.h"
#include "zar40/preset/parameter_facts.h"
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/dynamics.h"
#include "zar40/dsp/eq_design.h"

#include <cstdarg>
#include <cstdio>
#include <initializer_list>

namespace zar40::report {

using namespace preset;

namespace {

constexpr std::string_view kTitleBackground = "#095D88";
constexpr std::string_view kLightBlue = "#E1E6ED";
constexpr std::string_view kLightOrange = "#FEEDD4";

// Rows of a section alternate the two light backgrounds.
std::string_view rowBackground(int row) { return row % 2 == 0 ? kLightBlue : kLightOrange; }

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...)
{
    char buf[128];
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return n < 0 ? std::string() : std::string(buf); // cut at the buffer, never past it
}

// A value in the number form the report prints its field with.
std::string printed(const PrintedForm &form, double v)
{
    std::string text = format("%.*f", form.decimals, v);
    text += form.suffix;
    return text;
}
std::string printed(const ParameterFacts &facts, double v) { return printed(facts.printed, v); }
// DELAY counts sample periods plus one.
std::string delay(float v)
{
    const auto ms = static_cast<float>((static_cast<double>(v) - 1.0) / (dsp::kSampleRate / 1000.0));
    return printed(kDelayPrinted, ms);
}
std::string onOff(std::uint8_t mute) { return mute ? "On" : "Off"; }

// One table cell; HTML is already escaped. Empty cells hold a blank so that
// browsers still draw their background.
struct Cell {
    std::string html;
    bool label = false;
    int span = 1;
};

Cell label(std::string_view text, int span = 1) { return Cell{std::string(text), true, span}; }
Cell value(std::string html, int span = 1) { return Cell{std::move(html), false, span}; }
Cell label(const PrintedForm &form) { return label(form.label); }
Cell label(const ParameterFacts &facts) { return label(facts.printed); }

void appendCell(std::string &out, const Cell &c, std::string_view background)
{
    out += "<td bgcolor='";
    out += background;
    out += "'";
    if (c.span > 1) out += " colspan='" + std::to_string(c.span) + "'";
    out += "><font face='serif' size='2' color='#000000'>";
    if (c.label) out += "<b>";
    out += c.html.empty() ? "&nbsp;" : c.html;
    if (c.label) out += "</b>";
    out += "</font></td>";
}

void appendRow(std::string &out, std::string_view background, std::initializer_list<Cell> cells)
{
    out += "<tr>";
    for (const Cell &c : cells) appendCell(out, c, background);
    out += "</tr>\n";
}

void appendTitle(std::string &out, std::string_view titleHtml, int columns)
{
    out += "<tr><td bgcolor='";
    out += kTitleBackground;
    out += "' colspan='" + std::to_string(columns) + "'><font face='serif' size='3' color='#FFFFFF'><b>";
    out += titleHtml;
    out += "</b></font></td></tr>\n";
}

std::string_view tableOpen() { return "<table border='0' width='100%'>\n"; }
std::string_view tableClose() { return "</table>\n"; }

// A full-width cell holding a table of its own.
void appendNested(std::string &out, std::string_view background, int columns, const std::string &rows)
{
    out += "<tr><td bgcolor='";
    out += background;
    out += "' colspan='" + std::to_string(columns) + "'>";
    out += tableOpen();
    out += rows;
    out += tableClose();
    out += "</td></tr>\n";
}

std::string nameHtml(const auto &field) { return escapeHtml(textOf(field)); }

void appendEqualizer(std::string &out, const std::array<EqBand, kBandCount> &bands, int columns)
{
    appendTitle(out, "Equalizer", columns);
    for (int i = 0; i < kBandCount; ++i) {
        const EqBand &b = bands[static_cast<std::size_t>(i)];
        // Bands 1, 3, 5 on the blue, 2 and 4 on the orange.
        const std::string_view bg = rowBackground(i);
        const std::string title = format("Filter %d", i + 1);
        if (!isBandOn(b)) {
            appendRow(out, bg, {label(title), value(std::string(dsp::EqBandTypeName(b.TYPE)), columns - 1)});
            continue;
        }
        std::string rows;
        appendRow(rows, bg,
                  {label("Typ"), value(std::string(dsp::EqBandTypeName(b.TYPE))), label(kEqFrequencyFacts),
                   value(printed(kEqFrequencyFacts, b.FREQUENCY)), label(kEqQFacts), value(printed(kEqQFacts, b.Q)),
                   label(kEqGainFacts), value(printed(kEqGainFacts, b.GAIN))});
        out += "<tr>";
        appendCell(out, label(title), bg);
        out += "<td bgcolor='";
        out += bg;
        out += "' colspan='" + std::to_string(columns - 1) + "'>";
        out += tableOpen();
        out += rows;
        out += tableClose();
        out += "</td></tr>\n";
    }
}

// A crossover side: off shows only its type name, anything else (a low cut
// with a high-cut code included) the full table.
std::string crossoverCell(const CrossoverFilter &f, bool on, std::string_view bg)
{
    const std::string name(dsp::CrossoverTypeName(f.TYPE));
    if (!on) return name;
    std::string rows;
    appendRow(rows, bg,
              {label("Typ"), value(name), label(kEqFrequencyFacts), value(printed(kEqFrequencyFacts, f.FREQUENCY)),
               label("Order"), value(format("%u", f.ORDER))});
    std::string html(tableOpen());
    html += rows;
    html += tableClose();
    return html;
}

constexpr int kInputColumns = 6;  // Mute, Gain, Delay with their values
constexpr int kOutputColumns = 8; // Phase as well

void appendInput(std::string &out, const InputChannel &in, int index)
{
    out += tableOpen();
    std::string title;
    title = channelName(index, ChannelNameForm::Title);
    if (index != kSumme) title += " - " + nameHtml(in.NAME);
    appendTitle(out, title, kInputColumns);
    appendRow(out, kLightBlue,
              {label("Mute"), value(onOff(in.MUTE)), label(kChannelGainFacts), value(printed(kChannelGainFacts, in.GAIN)),
               label(kDelayPrinted), value(delay(in.DELAY))});
    appendEqualizer(out, in.PEQ, kInputColumns);
    out += tableClose();
}

void appendDynamics(std::string &out, const Dynamics &d, int columns)
{
    appendTitle(out, "Dynamik", columns);
    if (!isDynamicsOn(d)) {
        appendRow(out, kLightBlue, {value("Bypass", columns)});
        return;
    }
    const bool compressor = d.TYPE == dsp::DynCompressor;
    std::string rows;
    appendRow(rows, kLightBlue, {label("Typ"), value(std::string(dsp::dynamicsTypeName(d.TYPE))), value({}), value({})});
    appendRow(rows, kLightOrange,
              {label(kDynThresholdFacts), value(printed(kDynThresholdFacts, d.THRESHOLD)), label(kDynAttackFacts),
               value(printed(kDynAttackFacts, d.AT))});
    appendRow(rows, kLightBlue,
              {label(kDynKneeFacts), value(printed(kDynKneeFacts, d.KNEE)), label(kDynReleaseFacts),
               value(printed(kDynReleaseFacts, d.RT))});
    const Cell gainLabel = label(kDynGainFacts);
    const Cell gain = value(printed(kDynGainFacts, d.GAIN));
    if (compressor)
        appendRow(rows, kLightOrange, {gainLabel, gain, label(kDynRatioFacts), value(printed(kDynRatioFacts, d.RATIO))});
    else
        appendRow(rows, kLightOrange, {gainLabel, gain, value({}), value({})});
    appendNested(out, kLightBlue, columns, rows);
}

void appendNoiseGate(std::string &out, const NoiseGate &g, int columns)
{
    appendTitle(out, "Noisegate", columns);
    if (!isNoiseGateOn(g)) {
        appendRow(out, kLightBlue, {value("Bypass", columns)});
        return;
    }
    std::string rows;
    appendRow(rows, kLightBlue,
              {label(kGateThresholdFacts), value(printed(kGateThresholdFacts, g.THRESHOLD)),
               label(kGateCloseTimeFacts), value(printed(kGateCloseTimeFacts, g.CT)), label(kGateHoldTimeFacts),
               value(printed(kGateHoldTimeFacts, g.HT))});
    appendNested(out, kLightBlue, columns, rows);
}

void appendOutput(std::string &out, const OutputChannel &o, int number)
{
    constexpr int columns = kOutputColumns;
    constexpr int half = columns / 2;
    out += tableOpen();
    appendTitle(out, channelName(kFirstOutput + number - 1, ChannelNameForm::Title) + " - " + nameHtml(o.NAME), columns);
    appendRow(out, kLightBlue,
              {label("Phase"), value(o.PHASE != 0.0f ? "180\xB0" : "0\xB0"), label("Mute"), value(onOff(o.MUTE)),
               label(kChannelGainFacts), value(printed(kChannelGainFacts, o.GAIN)), label(kDelayPrinted),
               value(delay(o.DELAY))});
    appendEqualizer(out, o.PEQ, columns);

    appendTitle(out, "Crossover", columns);
    appendRow(out, kLightBlue, {label("Low Cut", half), label("High Cut", half)});
    appendRow(out, kLightOrange,
              {value(crossoverCell(o.lowCut, isLowCutOn(o.lowCut), kLightOrange), half),
               value(crossoverCell(o.highCut, isHighCutOn(o.highCut), kLightOrange), half)});

    appendDynamics(out, o.DYNAMIC, columns);
    appendNoiseGate(out, o.NOISEGATE, columns);
    out += tableClose();
}

} // namespace

std::string escapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string_view reportHead()
{
    return "<html>\n\n"
           "<head>\n"
           "<meta http-equiv='Content-Type' content='text/html; charset=windows-1252'>\n"
           "<meta name='GENERATOR' content='ZAR40 Plug-in'>\n"
           "<title>HTML Report</title>\n"
           "</head>\n\n"
           "<body>\n";
}

std::string_view reportTail() { return "</body>\n</html>\n"; }

std::string reportBody(const PresetRecord &record)
{
    std::string out;
    out.reserve(64 * 1024);

    out += tableOpen();
    appendTitle(out, "Presetinformation", 2);
    appendRow(out, kLightBlue, {label("Preset-Name"), value(nameHtml(record.NAME))});
    appendRow(out, kLightOrange, {label("Preset-Author"), value(nameHtml(record.AUTHOR))});
    out += tableClose();
    out += "<br>\n";

    out += tableOpen();
    appendTitle(out, "Channel-Names", 4);
    appendRow(out, kLightBlue,
              {label(channelName(kInputA, ChannelNameForm::Title)), value(nameHtml(record.inputs[kInputA].NAME)),
               label(channelName(kInputB, ChannelNameForm::Title)),
               value(nameHtml(record.inputs[kInputB].NAME))});
    for (int pair = 0; pair < kOutputCount / 2; ++pair) {
        const int first = 2 * pair;
        appendRow(out, rowBackground(pair + 1),
                  {label(channelName(kFirstOutput + first, ChannelNameForm::Title)),
                   value(nameHtml(record.outputs[static_cast<std::size_t>(first)].NAME)),
                   label(channelName(kFirstOutput + first + 1, ChannelNameForm::Title)),
                   value(nameHtml(record.outputs[static_cast<std::size_t>(first + 1)].NAME))});
    }
    out += tableClose();

    for (int i = 0; i < kInputCount; ++i) {
        out += "<br>\n";
        appendInput(out, record.inputs[static_cast<std::size_t>(i)], i);
    }
    for (int i = 0; i < kOutputCount; ++i) {
        out += "<br>\n";
        appendOutput(out, record.outputs[static_cast<std::size_t>(i)], i + 1);
    }
    return out;
}

std::string reportDocument(const PresetRecord &record)
{
    std::string out(reportHead());
    out += reportBody(record);
    out += reportTail();
    return out;
}

std::string reportFooter(const ReportTime &t)
{
    return format("ZAR40 Plug-in, %02u.%02u.%04u - %02u:%02u:%02u", static_cast<unsigned>(t.day),
                  static_cast<unsigned>(t.month), static_cast<unsigned>(t.year), static_cast<unsigned>(t.hour),
                  static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
}

} // namespace zar40::report
