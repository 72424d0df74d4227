#include "zar40/measurement/band_text.h"

#include "zar40/preset/parameter_facts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace zar40::measurement {

namespace {

constexpr float kDefaultQ = 0.71f; // the text's shelves and passes without a Q

std::string upper(std::string_view s)
{
    std::string u(s);
    std::transform(u.begin(), u.end(), u.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
    return u;
}

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

// Band texts hold no infinities.
std::optional<double> number(std::string_view token)
{
    const std::optional<double> v = parseNumber(token);
    return v && std::isfinite(*v) ? v : std::nullopt;
}

BandTextRead refused(std::size_t line, std::string message)
{
    return refusal<BandTextRead>(line, std::move(message));
}

// Shortest text with at least `least` decimals (at most four).
std::string decimals(double v, int least)
{
    char buffer[64];
    for (int d = least; d < 4; ++d) {
        std::snprintf(buffer, sizeof buffer, "%.*f", d, v);
        if (std::fabs(std::strtod(buffer, nullptr) - v) < 1e-6)
            return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.4f", v);
    return buffer;
}

// A range of the facts as a refusal names it: "between 20 and 44000 Hz",
// with signed limits "between -20 and +12 dB".
std::string between(const preset::ParameterFacts &facts, bool sign)
{
    auto limit = [&](float v) { return (sign && v > 0.0f ? "+" : "") + decimals(v, 0); };
    return "between " + limit(facts.min) + " and " + limit(facts.max) + std::string(facts.suffix);
}

} // namespace

BandTextRead readBandText(std::string_view text)
{
    if (text.size() > kMaxBandTextBytes)
        return refused(0, "the text is larger than 1 MiB");
    BandTextRead result;
    std::array<bool, dsp::kEqBands> named{};
    std::size_t next = 0; // for "Filter:" lines without a number
    TextLines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const std::size_t lineNumber = lines.number();

        std::vector<std::string_view> w = words(line);
        if (w.empty())
            continue;
        const std::string head = upper(w[0]);
        if (head.rfind("PREAMP", 0) == 0)
            return refused(lineNumber, "a preamplifier has no counterpart among the bands (set the channel's gain)");
        // "Filter 3:" or "Filter:" (counted); other lines are header text
        // such as "Filter Settings".
        std::size_t index = next;
        std::size_t at = 1;
        if (head == "FILTER" && w.size() > 1 && w[1].size() > 1 && w[1].back() == ':' &&
            number(w[1].substr(0, w[1].size() - 1))) {
            const double n = *number(w[1].substr(0, w[1].size() - 1));
            if (n != std::floor(n) || n < 1.0 || n > 1e6)
                return refused(lineNumber, "the band number must be a whole number from 1");
            index = static_cast<std::size_t>(n) - 1;
            at = 2;
        } else if (head != "FILTER:") {
            continue;
        }
        if (index >= dsp::kEqBands)
            return refused(lineNumber, "the device has five bands; band " + std::to_string(index + 1) + " is one too many");
        if (named[index])
            return refused(lineNumber, "band " + std::to_string(index + 1) + " appears twice");
        named[index] = true;
        next = index + 1;

        if (at >= w.size())
            return refused(lineNumber, "expected ON or OFF");
        const std::string state = upper(w[at++]);
        if (state != "ON" && state != "OFF")
            return refused(lineNumber, "expected ON or OFF, not \"" + std::string(w[at - 1]) + "\"");
        if (at >= w.size())
            return refused(lineNumber, "the filter type is missing");
        std::string typeText(w[at]);
        std::string type = upper(w[at++]);
        // "LS 6dB", "HS 12dB": the slope is part of the type.
        if ((type == "LS" || type == "HS") && at < w.size() && (upper(w[at]) == "6DB" || upper(w[at]) == "12DB")) {
            typeText += " " + std::string(w[at]);
            type += " " + upper(w[at++]);
        }

        std::optional<double> fc, gain, q, bw;
        while (at < w.size()) {
            const std::string key = upper(w[at++]);
            auto value = [&](const char *unit) -> std::optional<double> {
                if (at >= w.size())
                    return std::nullopt;
                const auto v = number(w[at++]);
                if (unit && at < w.size() && upper(w[at]) == unit)
                    ++at;
                return v;
            };
            std::optional<double> v;
            if (key == "FC")
                v = fc = value("HZ");
            else if (key == "GAIN")
                v = gain = value("DB");
            else if (key == "Q")
                v = q = value(nullptr);
            else if (key == "BW" && at < w.size() && upper(w[at]) == "OCT") {
                ++at;
                v = bw = value(nullptr);
            } else
                return refused(lineNumber, "unknown field \"" + std::string(w[at - 1]) + "\"");
            if (!v)
                return refused(lineNumber, "\"" + key + "\" needs a number");
        }
        if (bw) {
            if (!(*bw > 0.0 && *bw <= 10.0))
                return refused(lineNumber, "the bandwidth must lie above 0 and up to 10 octaves");
            const double r = std::pow(2.0, *bw);
            q = std::sqrt(r) / (r - 1.0);
        }

        dsp::EqBandSettings &band = result.bands[index];
        if (type == "NONE") {
            if (state == "ON")
                return refused(lineNumber, "a band switched ON needs a type");
            continue;
        }
        std::uint32_t code = 0;
        bool wantsGain = true, wantsQ = true;
        if (type == "PK" || type == "PEQ")
            code = dsp::EqPeq2;
        else if (type == "LSC" || type == "LS" || type == "LS 12DB")
            code = dsp::EqLowShelf12;
        else if (type == "HSC" || type == "HS" || type == "HS 12DB")
            code = dsp::EqHighShelf12;
        else if (type == "LS 6DB")
            code = dsp::EqLowShelf6, wantsQ = false;
        else if (type == "HS 6DB")
            code = dsp::EqHighShelf6, wantsQ = false;
        else if (type == "LP" || type == "LPQ")
            code = dsp::EqLowPass, wantsGain = false;
        else if (type == "HP" || type == "HPQ")
            code = dsp::EqHighPass, wantsGain = false;
        else if (type == "BP")
            code = dsp::EqBandPass, wantsGain = false;
        else if (type == "NO")
            code = dsp::EqBandStop, wantsGain = false;
        else if (type == "AP")
            code = dsp::EqAllPass2, wantsGain = false;
        else
            return refused(lineNumber, "the filter type \"" + typeText + "\" has no counterpart in the device");
        if (!fc)
            return refused(lineNumber, "the frequency (Fc) is missing");
        if (!(*fc >= preset::kEqFrequencyFacts.min - 0.5 && *fc < preset::kEqFrequencyFacts.max + 0.5))
            return refused(lineNumber, "the frequency must lie " + between(preset::kEqFrequencyFacts, false));
        if (wantsGain && !gain)
            return refused(lineNumber, "the gain is missing");
        if (!wantsGain && gain && *gain != 0.0)
            return refused(lineNumber, "this type has no gain on the device");
        if (gain && !(*gain >= preset::kEqGainFacts.min && *gain <= preset::kEqGainFacts.max))
            return refused(lineNumber, "the gain must lie " + between(preset::kEqGainFacts, true));
        if (!q)
            q = kDefaultQ;
        if (!(*q >= preset::kEqQFacts.min - 1e-6 && *q <= preset::kEqQFacts.max + 1e-6))
            return refused(lineNumber, "Q must lie " + between(preset::kEqQFacts, false));
        band.type = state == "ON" ? code : dsp::EqBypass;
        band.frequencyHz = static_cast<std::int32_t>(std::lround(*fc));
        band.q = wantsQ ? static_cast<float>(*q) : kDefaultQ;
        band.gainDb = wantsGain ? static_cast<float>(*gain) : 0.0f;
    }
    if (std::none_of(named.begin(), named.end(), [](bool b) { return b; }))
        return refused(0, "no \"Filter\" line");
    result.ok = true;
    return result;
}

BandTextWrite writeBandText(std::span<const dsp::EqBandSettings, dsp::kEqBands> bands)
{
    BandTextWrite out;
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const dsp::EqBandSettings &b = bands[i];
        std::string line = "Filter " + std::to_string(i + 1) + ": ";
        const std::string fc = "Fc " + std::to_string(b.frequencyHz) + " Hz";
        const std::string gain = "Gain " + decimals(b.gainDb, 1) + " dB";
        auto qText = [](double q) { return "Q " + decimals(q, 2); };
        switch (b.type) {
        case dsp::EqBypass:
            line += "OFF None";
            break;
        case dsp::EqPeq1:
        case dsp::EqPeq2: {
            // A "PEQ I" cut is the symmetric cut of a wider Q: the same
            // curve, so it travels as that.
            double q = b.q;
            if (b.type == dsp::EqPeq1 && b.gainDb < 0.0f)
                q = b.q * std::pow(10.0, -b.gainDb / 20.0);
            line += "ON PK " + fc + " " + gain + " " + qText(q);
            break;
        }
        case dsp::EqLowShelf6: line += "ON LS 6dB " + fc + " " + gain; break;
        case dsp::EqHighShelf6: line += "ON HS 6dB " + fc + " " + gain; break;
        case dsp::EqLowShelf12: line += "ON LSC " + fc + " " + gain + " " + qText(b.q); break;
        case dsp::EqHighShelf12: line += "ON HSC " + fc + " " + gain + " " + qText(b.q); break;
        case dsp::EqLowPass: line += "ON LP " + fc + " " + qText(b.q); break;
        case dsp::EqHighPass: line += "ON HP " + fc + " " + qText(b.q); break;
        case dsp::EqBandPass: line += "ON BP " + fc + " " + qText(b.q); break;
        case dsp::EqBandStop: line += "ON NO " + fc + " " + qText(b.q); break;
        case dsp::EqAllPass2: line += "ON AP " + fc + " " + qText(b.q); break;
        default:
            out.message = "band " + std::to_string(i + 1) + ": \"" + std::string(dsp::EqBandTypeName(b.type)) +
                          "\" has no counterpart in the equalizer text";
            if (dsp::EqBandTypeName(b.type).empty())
                out.message = "band " + std::to_string(i + 1) + ": type code " + std::to_string(b.type) +
                              " is no band type";
            return out;
        }
        out.text += line + "\n";
    }
    out.ok = true;
    return out;
}

} // namespace zar40::measurement
