#pragma once
// Frequency-response text files as measurement programs export them: one
// point per line, frequency in Hz, magnitude in dB and optionally phase in
// degrees. The reader trusts nothing in the text: every refusal names the
// line that caused it, and the sizes are bounded before anything is kept.
#include "zar40/measurement/text_lines.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zar40::measurement {

inline constexpr std::size_t kMaxPoints = 200000;
inline constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;
// Magnitudes beyond this are no measurement; converting them to linear
// values would overflow.
inline constexpr double kMaxMagnitudeDb = 1000.0;

// Strictly increasing positive frequencies; phaseDeg is empty when the file
// has no phase column, else as long as frequencyHz.
struct Measurement {
    std::vector<double> frequencyHz;
    std::vector<double> magnitudeDb;
    std::vector<double> phaseDeg;

    std::size_t size() const { return frequencyHz.size(); }
    bool hasPhase() const { return !phaseDeg.empty(); }
};

// Why the text was refused, when it was (line, message, errorText()).
struct ReadResult : LineRefusal {
    bool ok = false;
    Measurement measurement;
};

// Points of equal frequency are merged (magnitudes averaged in dB, phases
// as unit vectors) and the rest sorted by frequency.
ReadResult readMeasurement(std::string_view text);

// The extensions accepted: .txt, .frd, .csv, .dat in any letter case.
bool isMeasurementFileName(std::string_view path);

// Refuses other extensions and files above kMaxFileBytes before reading.
ReadResult readMeasurementFile(const std::string &path);

} // namespace zar40::measurement
