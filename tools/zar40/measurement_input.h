#pragma once
// What the measurement commands share: reading a measurement file with its
// line-numbered refusal on stderr, a channel's bands in and out of a
// preset record, and the few argument forms they take.
#include "zar40/measurement/fit.h"
#include "zar40/measurement/measurement_file.h"
#include "zar40/preset/record.h"

#include <optional>
#include <string>

namespace zar40tool {

bool readMeasurementForCommand(const std::string &command, const std::string &path,
                               zar40::measurement::Measurement &m);

zar40::measurement::Bands bandsOf(const zar40::preset::PresetRecord &record, int channel);
void setBands(zar40::preset::PresetRecord &record, int channel, const zar40::measurement::Bands &bands);

// "0".."8"
std::optional<int> parseChannel(const std::string &text);
std::optional<double> parseDouble(const std::string &text);

} // namespace zar40tool
