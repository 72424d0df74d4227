#include "measurement_input.h"

#include "zar40/model/preset_signal.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace zar40tool {

namespace preset = zar40::preset;

bool readMeasurementForCommand(const std::string &command, const std::string &path,
                               zar40::measurement::Measurement &m)
{
    const zar40::measurement::ReadResult r = zar40::measurement::readMeasurementFile(path);
    if (!r.ok) {
        std::cerr << "zar40 " << command << ": " << path << ": " << r.errorText() << "\n";
        return false;
    }
    m = r.measurement;
    return true;
}

zar40::measurement::Bands bandsOf(const preset::PresetRecord &record, int channel)
{
    return zar40::model::channelBands(record, channel);
}

void setBands(preset::PresetRecord &record, int channel, const zar40::measurement::Bands &bands)
{
    auto &peq = channel < preset::kFirstOutput
                    ? record.inputs.at(static_cast<std::size_t>(channel)).PEQ
                    : record.outputs.at(static_cast<std::size_t>(channel - preset::kFirstOutput)).PEQ;
    for (std::size_t i = 0; i < peq.size(); ++i) {
        peq[i].TYPE = bands[i].type;
        peq[i].FREQUENCY = static_cast<std::uint32_t>(std::max(0, bands[i].frequencyHz));
        peq[i].Q = bands[i].q;
        peq[i].GAIN = bands[i].gainDb;
    }
}

std::optional<int> parseChannel(const std::string &text)
{
    int v = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < 0 || v >= preset::kChannelCount)
        return std::nullopt;
    return v;
}

std::optional<double> parseDouble(const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace zar40tool
