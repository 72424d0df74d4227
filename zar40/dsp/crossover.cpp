#include "zar40/dsp/crossover.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zar40::dsp {

namespace {

constexpr double kPi = std::numbers::pi;

struct BesselRow {
    std::array<std::complex<double>, 4> pairs; // upper members
    double realPole;                           // 0 for even orders
};

// Rows 1 to 8; row 0 is never read.
constexpr std::array<BesselRow, kCrossoverOrderMax + 1> kBessel{{
    {{}, 0.0},
    {{}, -1.0},
    {{{{-1.10160133, 0.63600982}}}, 0.0},
    {{{{-1.04740916, 0.99926444}}}, -1.3226758},
    {{{{-1.37006717, 0.41024984}, {-0.99520894, 1.25710561}}}, 0.0},
    {{{{-1.38087733, 0.71790959}, {-0.95767653, 1.47112438}}}, -1.5023163},
    {{{{-1.57149042, 0.32089638}, {-1.3818581, 0.97147189}, {-0.93065652, 1.66186327}}}, 0.0},
    {{{{-1.61203254, 0.58923224}, {-1.37890322, 1.19156678}, {-0.90986855, 1.83645134}}}, -1.68436807},
    {{{{-1.75740669, 0.27286554}, {-1.63694018, 0.82279591}, {-1.3738412, 1.38835659}, {-0.8928697, 1.99832582}}},
     0.0},
}};

FilterSection lowPassPair(double W, std::complex<double> pole)
{
    const double r = pole.real();
    const double m = r * r + pole.imag() * pole.imag();
    const double D = 4.0 - 4.0 * W * r + m * W * W;
    const double b0 = m * W * W / D;
    return sectionFromCoefficients(b0, 2.0 * b0, b0, (2.0 * m * W * W - 8.0) / D, (4.0 + 4.0 * W * r + m * W * W) / D);
}

FilterSection lowPassReal(double W, double p)
{
    const double b0 = W * p / (W * p - 2.0);
    return sectionFromCoefficients(b0, b0, 0.0, (W * p + 2.0) / (W * p - 2.0), 0.0);
}

FilterSection highPassPair(double W, std::complex<double> pole)
{
    const double r = pole.real();
    const double m = r * r + pole.imag() * pole.imag();
    const double D = W * W - 4.0 * W * r + 4.0 * m;
    return sectionFromCoefficients(4.0 / D, -8.0 / D, 4.0 / D, (2.0 * W * W - 8.0 * m) / D,
                                   (W * W + 4.0 * W * r + 4.0 * m) / D);
}

FilterSection highPassReal(double W, double p)
{
    const double b0 = 2.0 / (W - 2.0 * p);
    return sectionFromCoefficients(b0, -b0, 0.0, (2.0 * p + W) / (W - 2.0 * p), 0.0);
}

// Pairs first, then the real pole, remaining sections unity. The order is
// already within 0 to 8, so at most four sections are written.
CrossoverSections sectionsFromPoles(const PoleList &poles, bool highPass, double W)
{
    CrossoverSections out;
    out.fill(kUnitySection);
    const std::size_t pairs = poles.count / 2;
    for (std::size_t i = 0; i < pairs; ++i)
        out[i] = highPass ? highPassPair(W, poles.poles[i]) : lowPassPair(W, poles.poles[i]);
    if (poles.count % 2 == 1) {
        const double p = poles.poles[pairs].real();
        out[pairs] = highPass ? highPassReal(W, p) : lowPassReal(W, p);
    }
    return out;
}

} // namespace

std::int32_t effectiveCrossoverOrder(std::int32_t order)
{
    return std::clamp(order, 0, kCrossoverOrderMax);
}

PoleList butterworthPoles(std::int32_t order)
{
    PoleList list;
    if (order < 1 || order > kCrossoverOrderMax)
        return list;
    const auto n = static_cast<std::size_t>(order);
    for (std::size_t k = 1; k <= n; ++k) {
        const double theta = kPi * static_cast<double>(2 * k - 1) / static_cast<double>(2 * n) + kPi / 2.0;
        list.poles[k - 1] = {std::cos(theta), std::sin(theta)};
    }
    if (n % 2 == 1)
        list.poles[n / 2] = {-1.0, 0.0};
    list.count = n;
    return list;
}

PoleList besselPoles(std::int32_t order)
{
    PoleList list;
    if (order < 1 || order > kCrossoverOrderMax)
        return list;
    const auto n = static_cast<std::size_t>(order);
    const BesselRow &row = kBessel[n];
    const std::size_t pairs = n / 2;
    std::size_t at = 0;
    for (std::size_t i = 0; i < pairs; ++i)
        list.poles[at++] = row.pairs[i];
    if (n % 2 == 1)
        list.poles[at++] = {row.realPole, 0.0};
    for (std::size_t i = 0; i < pairs; ++i)
        list.poles[at++] = std::conj(row.pairs[i]);
    list.count = n;
    return list;
}

bool DesignCrossoverSections(std::uint32_t type, std::int32_t frequencyHz, std::int32_t order, CrossoverSections &out)
{
    if (type > kCrossoverTypeMax)
        return false;

    const std::int32_t n = effectiveCrossoverOrder(order);
    const bool highPass = type >= XoHighPassBypass;
    const double K = std::tan(kPi * static_cast<double>(frequencyHz) / kSampleRate);
    const double W = 2.0 * K;

    switch (type) {
    case XoLowPassBypass:
    case XoHighPassBypass:
        out.fill(kUnitySection);
        break;
    case XoLowPassButterworth:
    case XoHighPassButterworth:
        out = sectionsFromPoles(butterworthPoles(n), highPass, W);
        break;
    case XoLowPassLinkwitzRiley:
    case XoHighPassLinkwitzRiley: {
        // The square of the Butterworth filter of half the order, rounded up.
        CrossoverSections half = sectionsFromPoles(butterworthPoles((n + 1) / 2), highPass, W);
        half[2] = half[0];
        half[3] = half[1];
        out = half;
        break;
    }
    case XoLowPassBessel:
        out = sectionsFromPoles(besselPoles(n), false, W);
        break;
    case XoHighPassBessel: {
        const PoleList poles = besselPoles(n);
        CrossoverSections sections = sectionsFromPoles(poles, true, W);
        // The high-pass forms have unity pass-band gain only for poles of
        // modulus 1; the product of all poles restores it (and gives odd
        // orders their inverted polarity well above f).
        if (n >= 2) {
            std::complex<double> product = 1.0;
            for (std::size_t i = 0; i < poles.count; ++i)
                product *= poles.poles[i];
            sections[0].g *= product.real();
        }
        out = sections;
        break;
    }
    }
    return true;
}

std::string_view CrossoverTypeName(std::uint32_t type)
{
    static constexpr std::array<std::string_view, 4> names{"Bypass", "Butterworth", "Linkwitz-Riley", "Bessel"};
    return type <= kCrossoverTypeMax ? names[type % 4] : std::string_view{};
}

bool ChainProblems::any() const
{
    return lowPass.any() || highPass.any() ||
           std::any_of(bands.begin(), bands.end(), [](const PartProblem &p) { return p.any(); });
}

bool isFinite(const FilterSection &s)
{
    return std::isfinite(s.g) && std::isfinite(s.beta1) && std::isfinite(s.beta2) && std::isfinite(s.alpha1) &&
           std::isfinite(s.alpha2);
}

bool designEqSectionOrUnity(const EqBandSettings &b, FilterSection &out, PartProblem *problem)
{
    PartProblem found;
    FilterSection s = kUnitySection;
    found.refused = !DesignEqSection(b.type, b.frequencyHz, b.q, b.gainDb, s);
    if (!isFinite(s)) {
        found.notFinite = true;
        s = kUnitySection;
    }
    out = s;
    if (problem)
        *problem = found;
    return !found.any();
}

EqChain buildEqChain(std::span<const EqBandSettings, kEqBands> bands, ChainProblems *problems)
{
    EqChain chain;
    for (std::size_t i = 0; i < kEqBands; ++i)
        designEqSectionOrUnity(bands[i], chain[i], problems ? &problems->bands[i] : nullptr);
    return chain;
}

namespace {

PartProblem designCrossoverInto(const CrossoverSettings &f, FilterSection *at)
{
    PartProblem found;
    CrossoverSections xo;
    xo.fill(kUnitySection);
    found.refused = !DesignCrossoverSections(f.type, f.frequencyHz, f.order, xo);
    for (FilterSection &s : xo) {
        if (!isFinite(s)) {
            found.notFinite = true;
            s = kUnitySection;
        }
    }
    std::copy(xo.begin(), xo.end(), at);
    return found;
}

} // namespace

OutputChain buildOutputChain(std::span<const EqBandSettings, kEqBands> bands, const CrossoverSettings &lowPass,
                             const CrossoverSettings &highPass, bool withPeq, ChainProblems *problems)
{
    OutputChain chain;
    chain.fill(kUnitySection);
    ChainProblems found;
    if (withPeq) {
        const EqChain eq = buildEqChain(bands, &found);
        std::copy(eq.begin(), eq.end(), chain.begin());
    }
    found.lowPass = designCrossoverInto(lowPass, chain.data() + kEqBands);
    found.highPass = designCrossoverInto(highPass, chain.data() + kEqBands + kCrossoverSections);
    if (problems)
        *problems = found;
    return chain;
}

ResultBuffer buildResultBuffer(std::span<const OutputChain> chains, bool withPeq)
{
    ResultBuffer buffer;
    buffer.fill(kZeroSection);
    const std::size_t used = std::min(chains.size(), kOutputs);
    for (std::size_t c = 0; c < used; ++c) {
        auto at = buffer.begin() + static_cast<std::ptrdiff_t>(c * kOutputChainSections);
        std::copy(chains[c].begin(), chains[c].end(), at);
        if (!withPeq)
            std::fill(at, at + kEqBands, kUnitySection);
    }
    return buffer;
}

} // namespace zar40::dsp
