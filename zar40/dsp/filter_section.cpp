#include "zar40/dsp/filter_section.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <numbers>

namespace zar40::dsp {

namespace {

// One evaluation, written once for a single frequency (double) and for
// vectors of frequencies side by side: each lane of a vector goes through
// the operations of a single frequency in the same order, so a curve holds
// the single-frequency values (bit for bit unless a compiler fuses
// multiply-adds in one path and not the other), only several at a time.
// Redrawing the "Result" of a crossover diagram while a marker moves is 78
// sections at every column. A single frequency leaves the floating-point
// unit waiting on one chain of dependent products; several vectors in
// flight keep it busy.
#define VRN_INLINE [[gnu::always_inline]] inline

template <typename V>
struct Point {
    V z1r, z1i, z2r, z2i;
};

// Numerator and denominator of a chain are multiplied up separately and
// divided once at the end: a division per section costs more than the rest
// of the section together. Both products stay far from overflow for the few
// sections of a chain (every denominator factor is at most
// 1 + |alpha1| + |alpha2|).
template <typename V>
struct Fraction {
    V nr, ni, dr, di;
};

template <typename V>
VRN_INLINE void startAtOne(Fraction<V> &f)
{
    f.nr = V{} + 1.0;
    f.ni = V{};
    f.dr = V{} + 1.0;
    f.di = V{};
}

template <typename V>
VRN_INLINE void multiplySection(Fraction<V> &f, const FilterSection &s, const Point<V> &p)
{
    V ar, ai;
    if (s.g != 0.0) {
        ar = s.g * (1.0 + s.beta1 * p.z1r + s.beta2 * p.z2r);
        ai = s.g * (s.beta1 * p.z1i + s.beta2 * p.z2i);
    } else {
        // Unnormalised numerator b1 z^-1 + b2 z^-2 (b0 == 0).
        ar = s.beta1 * p.z1r + s.beta2 * p.z2r;
        ai = s.beta1 * p.z1i + s.beta2 * p.z2i;
    }
    const V br = 1.0 - s.alpha1 * p.z1r - s.alpha2 * p.z2r;
    const V bi = -(s.alpha1 * p.z1i + s.alpha2 * p.z2i);
    const V nr = f.nr * ar - f.ni * ai;
    const V ni = f.nr * ai + f.ni * ar;
    const V dr = f.dr * br - f.di * bi;
    const V di = f.dr * bi + f.di * br;
    f = {nr, ni, dr, di};
}

inline bool divisible(double d2) { return d2 >= DBL_MIN && d2 <= DBL_MAX; }

// A pole exactly on the unit circle (or a non-finite coefficient) is left to
// the library's complex division and its infinities.
inline std::complex<double> quotient(double nr, double ni, double dr, double di)
{
    const double d2 = dr * dr + di * di;
    if (!divisible(d2))
        return std::complex<double>(nr, ni) / std::complex<double>(dr, di);
    return {(nr * dr + ni * di) / d2, (ni * dr - nr * di) / d2};
}

inline std::complex<double> cascade(const UnitCirclePoint &p, const FilterSection *sections, std::size_t count)
{
    const Point<double> q{p.z1.real(), p.z1.imag(), p.z2.real(), p.z2.imag()};
    Fraction<double> f;
    startAtOne(f);
    for (std::size_t i = 0; i < count; ++i)
        multiplySection(f, sections[i], q);
    return quotient(f.nr, f.ni, f.dr, f.di);
}

// One chain at kGroups vectors of columns, which go through its sections
// together. sum receives each column's value, added to what it holds when
// summed, replacing it otherwise (a lone chain is not added to 0, which
// would turn a -0 into +0 and its phase from 180 to 0 degrees).
inline constexpr std::size_t kGroups = 2;

template <typename V>
VRN_INLINE void chainColumns(const Point<V> (&p)[kGroups], const FilterSection *sections, std::size_t count,
                             bool summed, std::complex<double> *sum)
{
    constexpr std::size_t kWidth = sizeof(V) / sizeof(double);
    Fraction<V> f[kGroups];
    for (Fraction<V> &one : f)
        startAtOne(one);
    for (std::size_t i = 0; i < count; ++i) {
        const FilterSection &s = sections[i];
        for (std::size_t g = 0; g < kGroups; ++g)
            multiplySection(f[g], s, p[g]);
    }
    for (std::size_t g = 0; g < kGroups; ++g) {
        const V d2 = f[g].dr * f[g].dr + f[g].di * f[g].di;
        const V re = (f[g].nr * f[g].dr + f[g].ni * f[g].di) / d2;
        const V im = (f[g].ni * f[g].dr - f[g].nr * f[g].di) / d2;
        for (std::size_t k = 0; k < kWidth; ++k) {
            std::complex<double> v(re[k], im[k]);
            if (!divisible(d2[k]))
                v = quotient(f[g].nr[k], f[g].ni[k], f[g].dr[k], f[g].di[k]);
            std::complex<double> &column = sum[g * kWidth + k];
            if (summed)
                column += v;
            else
                column = v;
        }
    }
}

// Evaluates whole blocks of columns from the start and returns how many it
// did; the rest is left to the single-frequency path.
template <typename V>
VRN_INLINE std::size_t blockColumns(std::span<const UnitCirclePoint> points,
                                    std::span<const FilterSection *const> chains, std::size_t sectionsPerChain,
                                    bool summed, std::span<std::complex<double>> values)
{
    constexpr std::size_t kWidth = sizeof(V) / sizeof(double);
    constexpr std::size_t kBlock = kWidth * kGroups;
    const std::size_t n = std::min(points.size(), values.size()) / kBlock * kBlock;
    for (std::size_t i = 0; i < n; i += kBlock) {
        Point<V> p[kGroups];
        for (std::size_t g = 0; g < kGroups; ++g) {
            double lanes[4][kWidth];
            for (std::size_t k = 0; k < kWidth; ++k) {
                const UnitCirclePoint &q = points[i + g * kWidth + k];
                lanes[0][k] = q.z1.real();
                lanes[1][k] = q.z1.imag();
                lanes[2][k] = q.z2.real();
                lanes[3][k] = q.z2.imag();
            }
            std::memcpy(&p[g].z1r, lanes[0], sizeof(V));
            std::memcpy(&p[g].z1i, lanes[1], sizeof(V));
            std::memcpy(&p[g].z2r, lanes[2], sizeof(V));
            std::memcpy(&p[g].z2i, lanes[3], sizeof(V));
        }
        for (std::size_t c = 0; c < chains.size(); ++c)
            chainColumns(p, chains[c], sectionsPerChain, summed || c > 0, &values[i]);
    }
    return n;
}

// Two doubles a vector everywhere; four where the processor has AVX2, which
// is chosen when the program runs.
using Double2 = double __attribute__((vector_size(16)));

std::size_t blockColumnsBaseline(std::span<const UnitCirclePoint> points, std::span<const FilterSection *const> chains,
                                 std::size_t sectionsPerChain, bool summed, std::span<std::complex<double>> values)
{
    return blockColumns<Double2>(points, chains, sectionsPerChain, summed, values);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
using Double4 = double __attribute__((vector_size(32)));

[[gnu::target("avx2")]] std::size_t BlockColumnsAvx2(std::span<const UnitCirclePoint> points,
                                                      std::span<const FilterSection *const> chains,
                                                      std::size_t sectionsPerChain, bool summed,
                                                      std::span<std::complex<double>> values)
{
    return blockColumns<Double4>(points, chains, sectionsPerChain, summed, values);
}
#define VRN_HAVE_AVX2_PATH 1
#endif

std::atomic<CurveLanes> g_lanes{CurveLanes::Widest};

std::size_t blockColumnsHere(std::span<const UnitCirclePoint> points, std::span<const FilterSection *const> chains,
                             std::size_t sectionsPerChain, bool summed, std::span<std::complex<double>> values)
{
    switch (g_lanes.load(std::memory_order_relaxed)) {
    case CurveLanes::One:
        return 0;
    case CurveLanes::Two:
        break;
    case CurveLanes::Widest: {
#ifdef VRN_HAVE_AVX2_PATH
        static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
        if (avx2)
            return BlockColumnsAvx2(points, chains, sectionsPerChain, summed, values);
#endif
        break;
    }
    }
    return blockColumnsBaseline(points, chains, sectionsPerChain, summed, values);
}

// The response of a sum of chains (or of one chain, summed false) at every
// point.
template <typename Convert>
void groupedCurve(std::span<const UnitCirclePoint> points, std::span<const FilterSection *const> chains,
                  std::size_t sectionsPerChain, bool summed, std::span<double> out, Convert convert)
{
    const std::size_t n = std::min(points.size(), out.size());
    std::vector<std::complex<double>> values(n);
    std::size_t i = chains.empty() ? 0 : blockColumnsHere(points, chains, sectionsPerChain, summed, values);
    // The last few columns that fill no block.
    for (; i < n; ++i) {
        for (std::size_t c = 0; c < chains.size(); ++c) {
            const std::complex<double> v = cascade(points[i], chains[c], sectionsPerChain);
            if (summed || c > 0)
                values[i] += v;
            else
                values[i] = v;
        }
    }
    for (i = 0; i < n; ++i)
        out[i] = convert(values[i]);
}

// Empty chain slots of a sum are zero-filled; they add exactly 0 and need
// not be evaluated at every frequency.
bool isEmptyChain(const FilterSection *sections, std::size_t count)
{
    return std::all_of(sections, sections + count, [](const FilterSection &s) { return s == kZeroSection; });
}

template <typename Convert>
void sumCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t sectionsPerChain,
              std::size_t totalSections, std::span<double> out, Convert convert)
{
    std::vector<const FilterSection *> live;
    if (sectionsPerChain != 0) {
        for (std::size_t c = 0; c < totalSections / sectionsPerChain; ++c) {
            const FilterSection *chain = sections + c * sectionsPerChain;
            if (!isEmptyChain(chain, sectionsPerChain))
                live.push_back(chain);
        }
    }
    groupedCurve(points, live, sectionsPerChain, true, out, convert);
}

template <typename Convert>
void cascadeCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t count,
                  std::span<double> out, Convert convert)
{
    const FilterSection *const chain[] = {sections};
    groupedCurve(points, chain, count, false, out, convert);
}

} // namespace

FilterSection sectionFromCoefficients(double b0, double b1, double b2, double a1, double a2)
{
    if (b0 == 0.0)
        return FilterSection{0.0, b1, b2, -a1, -a2};
    return FilterSection{b0, b1 / b0, b2 / b0, -a1, -a2};
}

UnitCirclePoint unitCircleAt(float frequencyHz)
{
    const double w = static_cast<double>(frequencyHz) * (-2.0 * std::numbers::pi) / kSampleRate;
    return UnitCirclePoint{{std::cos(w), std::sin(w)}, {std::cos(2.0 * w), std::sin(2.0 * w)}};
}

std::complex<double> sectionResponse(const FilterSection &s, const UnitCirclePoint &p)
{
    return cascade(p, &s, 1);
}

std::complex<double> cascadeResponse(const UnitCirclePoint &p, const FilterSection *sections, std::size_t count)
{
    return cascade(p, sections, count);
}

std::complex<double> sumResponse(const UnitCirclePoint &p, const FilterSection *sections, std::size_t sectionsPerChain,
                                 std::size_t totalSections)
{
    std::complex<double> sum = 0.0;
    if (sectionsPerChain == 0)
        return sum;
    const std::size_t chains = totalSections / sectionsPerChain;
    for (std::size_t c = 0; c < chains; ++c)
        sum += cascade(p, sections + c * sectionsPerChain, sectionsPerChain);
    return sum;
}

double magnitudeDbOf(std::complex<double> h)
{
    // |h|^2 avoids hypot's cost; it is exact enough wherever it neither
    // underflows nor overflows, and hypot takes over where it would.
    const double n = h.real() * h.real() + h.imag() * h.imag();
    if (n >= DBL_MIN && n <= DBL_MAX)
        return 10.0 * std::log10(n);
    return 20.0 * std::log10(std::abs(h));
}

double phaseDegOf(std::complex<double> h)
{
    return std::arg(h) * 180.0 / std::numbers::pi;
}

double CascadeMagnitude(float frequencyHz, const FilterSection *sections, std::size_t count)
{
    return magnitudeDbOf(cascade(unitCircleAt(frequencyHz), sections, count));
}

double CascadePhase(float frequencyHz, const FilterSection *sections, std::size_t count)
{
    return phaseDegOf(cascade(unitCircleAt(frequencyHz), sections, count));
}

double SumMagnitude(float frequencyHz, const FilterSection *sections, std::size_t sectionsPerChain,
                    std::size_t totalSections)
{
    return magnitudeDbOf(sumResponse(unitCircleAt(frequencyHz), sections, sectionsPerChain, totalSections));
}

double SumPhase(float frequencyHz, const FilterSection *sections, std::size_t sectionsPerChain,
                std::size_t totalSections)
{
    return phaseDegOf(sumResponse(unitCircleAt(frequencyHz), sections, sectionsPerChain, totalSections));
}

std::vector<float> logSpacedFrequencies(float lowHz, float highHz, std::size_t count)
{
    std::vector<float> f(count);
    if (count == 1)
        f[0] = lowHz;
    const double ratio = static_cast<double>(highHz) / static_cast<double>(lowHz);
    for (std::size_t i = 0; count > 1 && i < count; ++i)
        f[i] = static_cast<float>(lowHz * std::pow(ratio, static_cast<double>(i) / static_cast<double>(count - 1)));
    if (count > 1)
        f.back() = highHz;
    return f;
}

std::vector<UnitCirclePoint> unitCirclePoints(std::span<const float> frequenciesHz)
{
    std::vector<UnitCirclePoint> points;
    points.reserve(frequenciesHz.size());
    for (float f : frequenciesHz)
        points.push_back(unitCircleAt(f));
    return points;
}

void cascadeMagnitudeCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t count,
                           std::span<double> out)
{
    cascadeCurve(points, sections, count, out, magnitudeDbOf);
}

void cascadePhaseCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections, std::size_t count,
                       std::span<double> out)
{
    cascadeCurve(points, sections, count, out, phaseDegOf);
}

void sumMagnitudeCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections,
                       std::size_t sectionsPerChain, std::size_t totalSections, std::span<double> out)
{
    sumCurve(points, sections, sectionsPerChain, totalSections, out, magnitudeDbOf);
}

void sumPhaseCurve(std::span<const UnitCirclePoint> points, const FilterSection *sections,
                   std::size_t sectionsPerChain, std::size_t totalSections, std::span<double> out)
{
    sumCurve(points, sections, sectionsPerChain, totalSections, out, phaseDegOf);
}

void setCurveLanes(CurveLanes lanes) { g_lanes.store(lanes, std::memory_order_relaxed); }

} // namespace zar40::dsp
