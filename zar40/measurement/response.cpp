#include "zar40/measurement/response.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace zar40::measurement {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double wrapDegrees(double deg)
{
    double w = std::fmod(deg + 180.0, 360.0);
    if (w < 0.0)
        w += 360.0;
    return w - 180.0;
}

std::vector<double> unwrapped(const std::vector<double> &deg)
{
    std::vector<double> out(deg.size());
    double shift = 0.0;
    for (std::size_t i = 0; i < deg.size(); ++i) {
        if (i > 0) {
            const double step = deg[i] - deg[i - 1];
            shift -= 360.0 * std::round(step / 360.0);
        }
        out[i] = deg[i] + shift;
    }
    return out;
}

} // namespace

std::optional<double> normalisationOffset(const Measurement &m)
{
    if (m.size() < 2)
        return std::nullopt;
    const double lo = std::max(kNormaliseLowHz, m.frequencyHz.front());
    const double hi = std::min(kNormaliseHighHz, m.frequencyHz.back());
    if (!(lo < hi))
        return std::nullopt;
    constexpr std::size_t kSamples = 128;
    std::vector<float> grid = dsp::logSpacedFrequencies(static_cast<float>(lo), static_cast<float>(hi), kSamples);
    const Curve c = interpolate(m, grid);
    double sum = 0.0;
    std::size_t n = 0;
    for (double v : c.magnitudeDb)
        if (!std::isnan(v)) {
            sum += v;
            ++n;
        }
    if (n == 0)
        return std::nullopt;
    return -sum / static_cast<double>(n);
}

Curve interpolate(const Measurement &m, std::span<const float> frequencies, double offsetDb)
{
    Curve c;
    c.frequencyHz.assign(frequencies.begin(), frequencies.end());
    c.magnitudeDb.assign(frequencies.size(), kNaN);
    const bool phase = m.hasPhase();
    if (phase)
        c.phaseDeg.assign(frequencies.size(), kNaN);
    if (m.size() == 0)
        return c;
    const std::vector<double> unwrappedPhase = phase ? unwrapped(m.phaseDeg) : std::vector<double>{};

    for (std::size_t k = 0; k < frequencies.size(); ++k) {
        const double f = frequencies[k];
        if (!(f >= m.frequencyHz.front() && f <= m.frequencyHz.back()))
            continue;
        auto upper = std::lower_bound(m.frequencyHz.begin(), m.frequencyHz.end(), f);
        std::size_t j = static_cast<std::size_t>(upper - m.frequencyHz.begin());
        if (m.frequencyHz[j] == f) {
            c.magnitudeDb[k] = m.magnitudeDb[j] + offsetDb;
            if (phase)
                c.phaseDeg[k] = wrapDegrees(unwrappedPhase[j]);
            continue;
        }
        const std::size_t i = j - 1;
        // Ratios, not differences of logarithms: two neighbouring huge
        // frequencies can have equal logarithms but never a ratio of 1.
        const double t = std::log(f / m.frequencyHz[i]) / std::log(m.frequencyHz[j] / m.frequencyHz[i]);
        c.magnitudeDb[k] = m.magnitudeDb[i] + t * (m.magnitudeDb[j] - m.magnitudeDb[i]) + offsetDb;
        if (phase)
            c.phaseDeg[k] = wrapDegrees(unwrappedPhase[i] + t * (unwrappedPhase[j] - unwrappedPhase[i]));
    }
    return c;
}

Curve onFrequencies(const Measurement &m, std::span<const float> frequencies, Normalisation n)
{
    double offset = 0.0;
    if (n == Normalisation::MidBand)
        offset = normalisationOffset(m).value_or(0.0);
    return interpolate(m, frequencies, offset);
}

Curve predict(const Curve &measured, const dsp::FilterSection *sections, std::size_t count)
{
    Curve c = measured;
    const std::vector<dsp::UnitCirclePoint> points = dsp::unitCirclePoints(measured.frequencyHz);
    for (std::size_t k = 0; k < points.size(); ++k) {
        if (std::isnan(c.magnitudeDb[k]))
            continue;
        const std::complex<double> h = dsp::cascadeResponse(points[k], sections, count);
        c.magnitudeDb[k] += dsp::magnitudeDbOf(h);
        if (c.hasPhase())
            c.phaseDeg[k] = wrapDegrees(c.phaseDeg[k] + dsp::phaseDegOf(h));
    }
    return c;
}

Curve predictEq(const Curve &measured, std::span<const dsp::EqBandSettings, dsp::kEqBands> bands)
{
    const dsp::EqChain chain = dsp::buildEqChain(bands);
    return predict(measured, chain.data(), chain.size());
}

Curve predictOutput(const Curve &measured, const dsp::OutputChain &chain)
{
    return predict(measured, chain.data(), chain.size());
}

std::vector<std::complex<double>> complexValues(const Curve &c)
{
    const std::size_t n = c.magnitudeDb.size();
    std::vector<std::complex<double>> out(n, std::complex<double>(kNaN, kNaN));
    if (c.phaseDeg.size() != n)
        return out;
    for (std::size_t k = 0; k < n; ++k)
        if (!std::isnan(c.magnitudeDb[k]) && !std::isnan(c.phaseDeg[k]))
            out[k] = std::polar(std::pow(10.0, c.magnitudeDb[k] / 20.0), c.phaseDeg[k] * kPi / 180.0);
    return out;
}

Curve sumOfComplex(std::span<const float> frequencies, std::span<const std::vector<std::complex<double>> *const> terms)
{
    const std::size_t n = frequencies.size();
    Curve sum;
    sum.frequencyHz.assign(frequencies.begin(), frequencies.end());
    sum.magnitudeDb.assign(n, kNaN);
    sum.phaseDeg.assign(n, kNaN);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> s = 0.0;
        bool all = true;
        for (const std::vector<std::complex<double>> *t : terms) {
            if (k >= t->size() || std::isnan((*t)[k].real())) {
                all = false;
                break;
            }
            s += (*t)[k];
        }
        if (!all)
            continue;
        sum.magnitudeDb[k] = dsp::magnitudeDbOf(s);
        sum.phaseDeg[k] = dsp::phaseDegOf(s);
    }
    return sum;
}

std::optional<Curve> complexSum(std::span<const Curve> predicted)
{
    if (predicted.empty())
        return std::nullopt;
    const std::size_t n = predicted.front().frequencyHz.size();
    for (const Curve &c : predicted)
        if (!c.hasPhase() || c.frequencyHz.size() != n || c.magnitudeDb.size() != n)
            return std::nullopt;
    std::vector<std::vector<std::complex<double>>> values;
    std::vector<const std::vector<std::complex<double>> *> terms;
    values.reserve(predicted.size());
    for (const Curve &c : predicted)
        terms.push_back(&values.emplace_back(complexValues(c)));
    return sumOfComplex(predicted.front().frequencyHz, terms);
}

} // namespace zar40::measurement
