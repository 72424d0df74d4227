#include "zar40/measurement/measurement_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <numeric>
#include <optional>

namespace zar40::measurement {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct RawPoint {
    double frequency;
    double magnitude;
    double phase;
    std::size_t line;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Up to four fields of one line. A semicolon anywhere makes it the
// separator, and then a comma is a decimal comma.
struct Fields {
    std::array<std::string_view, 4> tokens{};
    std::size_t count = 0;
    bool decimalComma = false;
};

Fields splitLine(std::string_view line)
{
    Fields f;
    f.decimalComma = line.find(';') != std::string_view::npos;
    auto isSeparator = [&](char c) { return isBlank(c) || (f.decimalComma ? c == ';' : c == ','); };
    std::size_t i = 0;
    while (i < line.size() && f.count < f.tokens.size()) {
        while (i < line.size() && isSeparator(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !isSeparator(line[i]))
            ++i;
        if (i > start)
            f.tokens[f.count++] = line.substr(start, i - start);
    }
    return f;
}

ReadResult failure(std::size_t line, std::string message)
{
    return refusal<ReadResult>(line, std::move(message));
}

std::string extensionOf(std::string_view path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    std::string ext(path.substr(dot));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return ext;
}

} // namespace

ReadResult readMeasurement(std::string_view text)
{
    if (text.size() > kMaxFileBytes)
        return failure(0, "the file is larger than 64 MiB");

    std::vector<RawPoint> points;
    std::optional<bool> withPhase;
    TextLines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const std::size_t lineNumber = lines.number();

        while (!line.empty() && isBlank(line.front()))
            line.remove_prefix(1);
        if (line.empty())
            continue;
        const char first = line.front();
        if (first == '*' || first == '#' || first == ';' || first == '"')
            continue;

        const Fields f = splitLine(line);
        const auto frequency = f.count > 0 ? parseNumber(f.tokens[0], f.decimalComma) : std::nullopt;
        if (!frequency)
            continue; // header or other text
        const auto magnitude = f.count > 1 ? parseNumber(f.tokens[1], f.decimalComma) : std::nullopt;
        if (!magnitude) {
            // Before the first point a line such as "48000 Hz" is header
            // text; amid the points it is a broken point.
            if (points.empty())
                continue;
            return failure(lineNumber, "expected a frequency in Hz and a magnitude in dB");
        }
        std::optional<double> phase;
        if (f.count > 2) {
            phase = parseNumber(f.tokens[2], f.decimalComma);
            if (!phase)
                return failure(lineNumber, "the third field is not a phase in degrees");
        }
        if (!std::isfinite(*frequency) || !std::isfinite(*magnitude) || (phase && !std::isfinite(*phase)))
            return failure(lineNumber, "a value is not a finite number");
        if (*frequency <= 0.0)
            return failure(lineNumber, "the frequency must be above 0 Hz");
        if (std::fabs(*magnitude) > kMaxMagnitudeDb)
            return failure(lineNumber, "the magnitude lies outside -1000 to 1000 dB");
        if (!withPhase)
            withPhase = phase.has_value();
        else if (*withPhase != phase.has_value())
            return failure(lineNumber, *withPhase ? "the phase is missing; the points above have one"
                                                  : "a phase appears; the points above have none");
        if (points.size() == kMaxPoints)
            return failure(lineNumber, "more than 200000 points");
        points.push_back({*frequency, *magnitude, phase.value_or(0.0), lineNumber});
    }
    if (points.empty())
        return failure(0, "no measurement points: no line holds a frequency and a magnitude");

    std::stable_sort(points.begin(), points.end(),
                     [](const RawPoint &a, const RawPoint &b) { return a.frequency < b.frequency; });
    ReadResult r;
    Measurement &m = r.measurement;
    for (std::size_t i = 0; i < points.size();) {
        std::size_t j = i;
        double magnitude = 0.0, re = 0.0, im = 0.0;
        while (j < points.size() && points[j].frequency == points[i].frequency) {
            magnitude += points[j].magnitude;
            re += std::cos(points[j].phase * kPi / 180.0);
            im += std::sin(points[j].phase * kPi / 180.0);
            ++j;
        }
        const double n = static_cast<double>(j - i);
        m.frequencyHz.push_back(points[i].frequency);
        m.magnitudeDb.push_back(magnitude / n);
        if (*withPhase)
            m.phaseDeg.push_back(j - i == 1 ? points[i].phase : std::atan2(im, re) * 180.0 / kPi);
        i = j;
    }
    if (m.size() < 2)
        return failure(points.front().line, "a response needs points at two frequencies at least");
    r.ok = true;
    return r;
}

bool isMeasurementFileName(std::string_view path)
{
    const std::string ext = extensionOf(path);
    return ext == ".txt" || ext == ".frd" || ext == ".csv" || ext == ".dat";
}

ReadResult readMeasurementFile(const std::string &path)
{
    if (!isMeasurementFileName(path))
        return failure(0, "not a measurement file: the name must end in .txt, .frd, .csv or .dat");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return failure(0, "cannot open the file");
    // Read in pieces and stop one byte past the limit, so that a larger
    // file (or a stream whose size cannot be asked) is refused without
    // being kept whole.
    std::string text;
    std::array<char, 1 << 16> chunk{};
    while (in && text.size() <= kMaxFileBytes) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        return failure(0, "cannot read the file");
    if (text.size() > kMaxFileBytes)
        return failure(0, "the file is larger than 64 MiB");
    return readMeasurement(text);
}

} // namespace zar40::measurement
