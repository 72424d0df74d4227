#include "zar40/dsp/eq_design.h"

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace zar40::dsp {

namespace {

constexpr double kPi = std::numbers::pi;

struct BandText {
    std::string_view longName;
    std::string_view shortName;
    EqBandUses uses;
};

constexpr std::array<BandText, kEqBandTypeMax + 1> kBands{{
    {"Bypass", "", {false, false, false}},
    {"PEQ I", " PEQ I", {true, true, true}},
    {"PEQ II", " PEQ II", {true, true, true}},
    {"Low Shelf 6dB", " LS 6dB", {true, false, true}},
    {"Low Shelf 12dB", " LSQ 12dB", {true, true, true}},
    {"High Shelf 6dB", " HS 6dB", {true, false, true}},
    {"High Shelf 12dB", " HSQ 12dB", {true, true, true}},
    {"Low Pass", " LP", {true, true, false}},
    {"High Pass", " HP", {true, true, false}},
    {"Band Pass", " BP", {true, true, false}},
    {"Band Stop", " BS", {true, true, false}},
    {"All Pass I", " AP I", {true, false, false}},
    {"All Pass II", " AP II", {true, true, false}},
}};

// The device's firmware forms the exponent G/20 in single precision; the
// drawn curves must show the same rounding.
double dbToLinear(float gainDb)
{
    const float exponent = static_cast<float>(static_cast<double>(gainDb) / 20.0);
    return std::pow(10.0, static_cast<double>(exponent));
}

double inverseDbToLinear(float gainDb)
{
    const float exponent = static_cast<float>(static_cast<double>(gainDb) / 20.0);
    return std::pow(10.0, -static_cast<double>(exponent));
}

} // namespace

bool DesignEqSection(std::uint32_t type, std::int32_t frequencyHz, float q, float gainDb, FilterSection &out)
{
    if (type > kEqBandTypeMax)
        return false;

    const double f = static_cast<double>(frequencyHz);
    const double Q = static_cast<double>(q);
    const double G = static_cast<double>(gainDb);
    const double K = std::tan(kPi * f / kSampleRate);
    const double K2 = K * K;
    const double w0 = 2.0 * kPi * f / kSampleRate;

    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    switch (type) {
    case EqBypass:
        break;
    case EqPeq1:
    case EqPeq2:
        if (type == EqPeq1 || G >= 0.0) {
            const double V = dbToLinear(gainDb);
            const double D = 1.0 + K / Q + K2;
            b0 = (1.0 + V * K / Q + K2) / D;
            b1 = 2.0 * (K2 - 1.0) / D;
            b2 = (1.0 - V * K / Q + K2) / D;
            a1 = 2.0 * (K2 - 1.0) / D;
            a2 = (1.0 - K / Q + K2) / D;
        } else {
            const double Vi = inverseDbToLinear(gainDb);
            const double D = 1.0 + Vi * K / Q + K2;
            b0 = (1.0 + K / Q + K2) / D;
            b1 = 2.0 * (K2 - 1.0) / D;
            b2 = (1.0 - K / Q + K2) / D;
            a1 = 2.0 * (K2 - 1.0) / D;
            a2 = (1.0 - Vi * K / Q + K2) / D;
        }
        break;
    case EqLowShelf6: {
        const double V = dbToLinear(gainDb);
        if (G >= 10.0) {
            b0 = (1.0 + V * K) / (1.0 + K);
            b1 = (V * K - 1.0) / (1.0 + K);
            a1 = (K - 1.0) / (1.0 + K);
        } else {
            b0 = V * (1.0 + K) / (V + K);
            b1 = V * (K - 1.0) / (V + K);
            a1 = (K - V) / (V + K);
        }
        break;
    }
    case EqLowShelf12:
        if (G >= 0.0) {
            const double V = dbToLinear(gainDb);
            const double sV = std::sqrt(V);
            const double D = 1.0 + K / Q + K2;
            b0 = (1.0 + sV * K / Q + V * K2) / D;
            b1 = 2.0 * (V * K2 - 1.0) / D;
            b2 = (1.0 - sV * K / Q + V * K2) / D;
            a1 = 2.0 * (K2 - 1.0) / D;
            a2 = (1.0 - K / Q + K2) / D;
        } else {
            const double Vi = inverseDbToLinear(gainDb);
            const double sVi = std::sqrt(Vi);
            const double D = 1.0 + sVi * K / Q + Vi * K2;
            b0 = (1.0 + K / Q + K2) / D;
            b1 = 2.0 * (K2 - 1.0) / D;
            b2 = (1.0 - K / Q + K2) / D;
            a1 = 2.0 * (Vi * K2 - 1.0) / D;
            a2 = (1.0 - sVi * K / Q + Vi * K2) / D;
        }
        break;
    case EqHighShelf6: {
        const double V = dbToLinear(gainDb);
        if (G >= 10.0) {
            b0 = (K + V) / (1.0 + K);
            b1 = (K - V) / (1.0 + K);
            a1 = (K - 1.0) / (1.0 + K);
        } else {
            b0 = V * (1.0 + K) / (1.0 + V * K);
            b1 = V * (K - 1.0) / (1.0 + V * K);
            a1 = (V * K - 1.0) / (1.0 + V * K);
        }
        break;
    }
    case EqHighShelf12:
        if (G >= 0.0) {
            const double V = dbToLinear(gainDb);
            const double sV = std::sqrt(V);
            const double D = 1.0 + K / Q + K2;
            b0 = (V + sV * K / Q + K2) / D;
            b1 = 2.0 * (K2 - V) / D;
            b2 = (V - sV * K / Q + K2) / D;
            a1 = 2.0 * (K2 - 1.0) / D;
            a2 = (1.0 - K / Q + K2) / D;
        } else {
            const double Vi = inverseDbToLinear(gainDb);
            const double sVi = std::sqrt(Vi);
            const double D = Vi + sVi * K / Q + K2;
            b0 = (1.0 + K / Q + K2) / D;
            b1 = 2.0 * (K2 - 1.0) / D;
            b2 = (1.0 - K / Q + K2) / D;
            const double E = 1.0 + K / (sVi * Q) + K2 / Vi;
            a1 = 2.0 * (K2 / Vi - 1.0) / E;
            a2 = (1.0 - K / (sVi * Q) + K2 / Vi) / E;
        }
        break;
    case EqLowPass:
    case EqHighPass: {
        const double D = 1.0 + K / Q + K2;
        if (type == EqLowPass) {
            b0 = K2 / D;
            b1 = 2.0 * K2 / D;
            b2 = K2 / D;
        } else {
            b0 = 1.0 / D;
            b1 = -2.0 / D;
            b2 = 1.0 / D;
        }
        a1 = 2.0 * (K2 - 1.0) / D;
        a2 = (1.0 - K / Q + K2) / D;
        break;
    }
    case EqBandPass:
    case EqBandStop: {
        const double t = std::tan(w0 / (2.0 * Q));
        const double c = (t - 1.0) / (t + 1.0);
        const double cw = std::cos(w0);
        if (type == EqBandPass) {
            b0 = (1.0 + c) / 2.0;
            b1 = 0.0;
            b2 = -(1.0 + c) / 2.0;
        } else {
            b0 = (1.0 - c) / 2.0;
            b1 = -(1.0 - c) * cw;
            b2 = (1.0 - c) / 2.0;
        }
        a1 = -(1.0 - c) * cw;
        a2 = -c;
        break;
    }
    case EqAllPass1: {
        const double c = (K - 1.0) / (K + 1.0);
        b0 = c;
        b1 = 1.0;
        a1 = c;
        break;
    }
    case EqAllPass2: {
        const double t = std::tan(kPi * f / (kSampleRate * Q));
        const double c = (1.0 - t) / (1.0 + t);
        const double d = -(1.0 + c) * std::cos(w0);
        b0 = c;
        b1 = d;
        b2 = 1.0;
        a1 = d;
        a2 = c;
        break;
    }
    }
    out = sectionFromCoefficients(b0, b1, b2, a1, a2);
    return true;
}

std::string_view EqBandTypeName(std::uint32_t type)
{
    return type <= kEqBandTypeMax ? kBands[type].longName : std::string_view{};
}

std::string_view eqBandShortName(std::uint32_t type)
{
    return type <= kEqBandTypeMax ? kBands[type].shortName : std::string_view{};
}

std::uint32_t eqBandTypeAtListPosition(int position)
{
    return position >= 0 && position < static_cast<int>(kEqBandTypeMax) ? static_cast<std::uint32_t>(position) + 1
                                                                          : EqBypass;
}

int eqBandListPosition(std::uint32_t type)
{
    return type >= 1 && type <= kEqBandTypeMax ? static_cast<int>(type) - 1 : -1;
}

EqBandUses eqBandTypeUses(std::uint32_t type)
{
    return type <= kEqBandTypeMax ? kBands[type].uses : EqBandUses{};
}

std::int32_t truncateFrequency(double frequencyHz)
{
    if (std::isnan(frequencyHz))
        return 0;
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (frequencyHz <= lo)
        return std::numeric_limits<std::int32_t>::min();
    if (frequencyHz >= hi)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(frequencyHz);
}

} // namespace zar40::dsp
