#include "zar40/dsp/speaker_calculator.h"

#include <cmath>
#include <cstdio>

namespace zar40::dsp {

namespace {

constexpr double kDbuReference = 0.775;    // volts at 0 dBu
constexpr double kDbuReferenceSq = 0.600625; // its square

// An unbalanced output delivers 6 dB less than the balanced one.
double unbalancedLoss(const SpeakerPanel &panel)
{
    return panel.balanced ? 0.0 : 6.0;
}

template <typename... Args>
std::string formatted(const char *format, Args... args)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

} // namespace

float maxOutputLevel(const DynamicsSettings &d)
{
    const float level = d.threshold + d.gain + 18.0f / d.ratio;
    return level;
}

double MaxOutputVoltage(const DynamicsSettings &d, const SpeakerPanel &panel)
{
    const double L = maxOutputLevel(d);
    const double V = std::pow(10.0, (L - unbalancedLoss(panel)) / 20.0) * kDbuReference;
    return std::floor(V * 100.0) / 100.0;
}

double MaxOutputPower(const DynamicsSettings &d, const SpeakerPanel &panel)
{
    const float levelAtSpeaker = maxOutputLevel(d) + panel.amplifierGainDb;
    const double exponent = (static_cast<double>(levelAtSpeaker) - unbalancedLoss(panel)) / 10.0;
    return std::floor(std::pow(10.0, exponent) * kDbuReferenceSq / panel.impedanceOhms);
}

std::vector<MessageLine> speakerMessages(const DynamicsSettings &d, const SpeakerPanel &panel)
{
    std::vector<MessageLine> lines;
    if (d.type == DynBypass) {
        lines.push_back({"-CAUTION!!! Compressor/Limiter is disabled", MessageLevel::Caution});
        return lines;
    }
    const double V = MaxOutputVoltage(d, panel);
    const double P = MaxOutputPower(d, panel);
    lines.push_back({formatted(" -ZAR-40 maximum Output Voltage: %.2f Vrms", V), MessageLevel::Ok});
    lines.push_back({formatted(" -Maximum RMS output Power: %.0f Watts", P), MessageLevel::Ok});

    // A power that is not a number fails both checks: the panel must never
    // call an output safe when it cannot tell.
    const double box = std::trunc(panel.boxPowerW);
    if (P <= box) {
        lines.push_back({" -Box Power is greater than your output Power", MessageLevel::Ok});
    } else {
        lines.push_back({" -CAUTION!!! Box Power is lower than your", MessageLevel::Caution});
        lines.push_back({"  your output Power", MessageLevel::Caution});
    }
    const double amplifier = std::trunc(panel.amplifierPowerW);
    if (P <= amplifier) {
        lines.push_back({" -Amplifier Power is greater than your Power needs", MessageLevel::Ok});
    } else {
        lines.push_back({" -CAUTION!!! Amplifier Power is lower than", MessageLevel::Caution});
        lines.push_back({"  your Power needs", MessageLevel::Caution});
    }
    return lines;
}

} // namespace zar40::dsp
