#include "zar40/measurement/fit.h"

#include "zar40/measurement/response.h"
#include "zar40/preset/parameter_facts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

namespace zar40::measurement {

namespace {

constexpr double kFreqMin = preset::kEqFrequencyFacts.min;
constexpr double kFreqMax = preset::kEqFrequencyFacts.max;
constexpr double kQMin = preset::kEqQFacts.min;
constexpr double kQMax = preset::kEqQFacts.max;
constexpr double kGainMin = preset::kEqGainFacts.min;
// How hard the equalizer curve is kept below the boost limit: a dB above it
// weighs as much as this many dB of deviation at one point.
constexpr double kBoostPenalty = 4.0;
// A little weight on the equalizer curve itself: of two settings that fit
// alike it prefers the one that does less, which keeps two broad bands from
// cancelling each other at their limits. It shrinks an exact fit's gains by
// a fraction of a percent.
constexpr double kEffortWeight = 0.05;

// A free band while it is tuned: log frequency, log Q and gain, so that
// steps are relative where the device's scales are.
struct FitBand {
    std::uint32_t type = dsp::EqPeq1;
    double x = 0.0; // ln Hz
    double y = 0.0; // ln Q
    double g = 0.0; // dB
};

bool isPeaking(std::uint32_t type) { return type == dsp::EqPeq1 || type == dsp::EqPeq2; }
bool isShelf(std::uint32_t type) { return type >= dsp::EqLowShelf6 && type <= dsp::EqHighShelf12; }

void clampBand(FitBand &b, double maxBoost)
{
    b.x = std::clamp(b.x, std::log(kFreqMin), std::log(kFreqMax));
    b.y = std::clamp(b.y, std::log(kQMin), std::log(kQMax));
    b.g = std::clamp(b.g, kGainMin, maxBoost);
}

// |H|^2 of a section from its coefficients and cos w, cos 2w: the same
// value as the complex evaluation, at a fraction of the cost.
double sectionPower(const dsp::FilterSection &s, double c1, double c2)
{
    double num;
    if (s.g != 0.0)
        num = s.g * s.g * (1.0 + s.beta1 * s.beta1 + s.beta2 * s.beta2 + 2.0 * s.beta1 * (1.0 + s.beta2) * c1 +
                           2.0 * s.beta2 * c2);
    else
        num = s.beta1 * s.beta1 + s.beta2 * s.beta2 + 2.0 * s.beta1 * s.beta2 * c1;
    const double den = 1.0 + s.alpha1 * s.alpha1 + s.alpha2 * s.alpha2 - 2.0 * s.alpha1 * (1.0 - s.alpha2) * c1 -
                       2.0 * s.alpha2 * c2;
    return num / den;
}

double sectionDb(const dsp::FilterSection &s, double c1, double c2)
{
    return 10.0 * std::log10(sectionPower(s, c1, c2));
}

struct Grid {
    std::vector<float> f;
    std::vector<double> c1, c2; // cos w, cos 2w
    std::vector<double> raw, smooth, target;
};

// The device takes whole hertz. Between two whole frequencies the curve is
// blended from the designs at both, so that the search sees a continuous
// slope; at a whole frequency it is exactly the device's design.
void bandPower(const FitBand &b, const Grid &grid, std::vector<double> &out)
{
    out.resize(grid.f.size());
    const double f = std::exp(b.x);
    const double f0 = std::floor(f);
    const double w = f - f0;
    const float q = static_cast<float>(std::exp(b.y));
    const float g = static_cast<float>(b.g);
    dsp::FilterSection s0, s1;
    dsp::DesignEqSection(b.type, static_cast<std::int32_t>(f0), q, g, s0);
    if (w > 0.0)
        dsp::DesignEqSection(b.type, static_cast<std::int32_t>(f0) + 1, q, g, s1);
    for (std::size_t k = 0; k < out.size(); ++k) {
        const double p0 = sectionPower(s0, grid.c1[k], grid.c2[k]);
        out[k] = w > 0.0 ? (1.0 - w) * p0 + w * sectionPower(s1, grid.c1[k], grid.c2[k]) : p0;
    }
}

// A band's curve on the grid in dB, and as power for the search's slopes.
struct BandCurve {
    std::vector<double> db, power;
};

void bandCurve(const FitBand &b, const Grid &grid, BandCurve &out)
{
    bandPower(b, grid, out.power);
    out.db.resize(out.power.size());
    for (std::size_t k = 0; k < out.db.size(); ++k)
        out.db[k] = 10.0 * std::log10(out.power[k]);
}

// Mean of the measurement over +-1/(2N) octave around each frequency, taken
// on a dense logarithmic grid so that sparse and dense files smooth alike.
std::vector<double> smoothed(const Measurement &m, std::span<const float> f, int fraction)
{
    if (fraction <= 0)
        return interpolate(m, f).magnitudeDb;
    const double half = std::log(2.0) / (2.0 * fraction);
    const double step = half / 8.0;
    const double lo = std::max(std::log(double(f.front())) - half, std::log(m.frequencyHz.front()));
    const double hi = std::min(std::log(double(f.back())) + half, std::log(m.frequencyHz.back()));
    std::vector<double> out(f.size(), std::numeric_limits<double>::quiet_NaN());
    if (!(lo < hi))
        return out;
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>((hi - lo) / step) + 2, 400000);
    std::vector<float> dense(count);
    for (std::size_t i = 0; i < count; ++i)
        dense[i] = static_cast<float>(std::exp(std::min(lo + step * double(i), hi)));
    const Curve c = interpolate(m, dense);
    std::vector<double> sum(count + 1, 0.0);
    std::vector<std::size_t> n(count + 1, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const double v = c.magnitudeDb[i];
        sum[i + 1] = sum[i] + (std::isnan(v) ? 0.0 : v);
        n[i + 1] = n[i] + (std::isnan(v) ? 0 : 1);
    }
    for (std::size_t k = 0; k < f.size(); ++k) {
        const double x = std::log(double(f[k]));
        const double a = std::clamp((x - half - lo) / step, 0.0, double(count));
        const double b = std::clamp((x + half - lo) / step + 1.0, 0.0, double(count));
        const auto ia = static_cast<std::size_t>(std::ceil(a));
        const auto ib = std::max(ia, static_cast<std::size_t>(b));
        if (n[ib] > n[ia])
            out[k] = (sum[ib] - sum[ia]) / double(n[ib] - n[ia]);
    }
    return out;
}

std::optional<std::string> checkOptions(const FitOptions &o)
{
    if (!(o.lowHz > 0.0) || !(o.highHz > o.lowHz) || !(o.highHz <= dsp::kSampleRate / 2.0))
        return "the range must lie between 0 and 48000 Hz with its low end below its high end";
    if (!(o.maxBoostDb >= 0.0 && o.maxBoostDb <= kMaxBoostLimitDb))
        return "the maximum boost must lie between 0 and 12 dB";
    if (o.smoothingFraction < 0 || o.smoothingFraction > kMaxSmoothingFraction)
        return "the smoothing must be 1/1 to 1/48 octave or none";
    if (o.points < kMinFitPoints || o.points > kMaxFitPoints)
        return "the number of points must lie between 16 and 20000";
    if (o.target.kind == TargetKind::Tilt && !(std::fabs(o.target.tiltDbPerDecade) <= 40.0))
        return "the tilt must lie between -40 and 40 dB per decade";
    if (o.target.kind == TargetKind::File && o.target.file.size() < 2)
        return "the target file holds no response";
    return std::nullopt;
}

// The points of the range that both the measurement and the target cover.
std::optional<std::string> buildGrid(const Measurement &m, const FitOptions &o, Grid &grid)
{
    const std::vector<float> all =
        dsp::logSpacedFrequencies(static_cast<float>(o.lowHz), static_cast<float>(o.highHz), o.points);
    const std::vector<double> raw = interpolate(m, all).magnitudeDb;
    const std::vector<double> smooth = smoothed(m, all, o.smoothingFraction);
    std::vector<double> target(all.size(), 0.0);
    if (o.target.kind == TargetKind::Tilt)
        for (std::size_t k = 0; k < all.size(); ++k)
            target[k] = o.target.tiltDbPerDecade * std::log10(double(all[k]) / 1000.0);
    else if (o.target.kind == TargetKind::File)
        target = interpolate(o.target.file, all).magnitudeDb;
    const std::vector<dsp::UnitCirclePoint> z = dsp::unitCirclePoints(all);
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (std::isnan(raw[k]) || std::isnan(smooth[k]) || std::isnan(target[k]))
            continue;
        grid.f.push_back(all[k]);
        grid.c1.push_back(z[k].z1.real());
        grid.c2.push_back(z[k].z2.real());
        grid.raw.push_back(raw[k]);
        grid.smooth.push_back(smooth[k]);
        grid.target.push_back(target[k]);
    }
    if (grid.f.size() < kMinFitPoints)
        return "the measurement (or the target) does not cover the range";
    return std::nullopt;
}

Residual residualFrom(const std::vector<double> &e)
{
    double mean = 0.0;
    for (double v : e)
        mean += v;
    mean /= double(e.size());
    Residual r;
    double sq = 0.0;
    for (double v : e) {
        sq += (v - mean) * (v - mean);
        r.maxDb = std::max(r.maxDb, std::fabs(v - mean));
    }
    r.rmsDb = std::sqrt(sq / double(e.size()));
    return r;
}

// Exact deviation of the unsmoothed measurement with the five bands, using
// the chain evaluation the diagrams use.
Residual exactResidual(const Grid &grid, std::span<const dsp::EqBandSettings, dsp::kEqBands> bands)
{
    const dsp::EqChain chain = dsp::buildEqChain(bands);
    const std::vector<dsp::UnitCirclePoint> z = dsp::unitCirclePoints(grid.f);
    std::vector<double> e(grid.f.size());
    for (std::size_t k = 0; k < e.size(); ++k)
        e[k] = grid.raw[k] + dsp::magnitudeDbOf(dsp::cascadeResponse(z[k], chain.data(), chain.size())) -
               grid.target[k];
    return residualFrom(e);
}

// Four running sums keep the additions from waiting on each other.
double dot(const double *a, const double *b, std::size_t n)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        s0 += a[k] * b[k];
        s1 += a[k + 1] * b[k + 1];
        s2 += a[k + 2] * b[k + 2];
        s3 += a[k + 3] * b[k + 3];
    }
    for (; k < n; ++k)
        s0 += a[k] * b[k];
    return (s0 + s1) + (s2 + s3);
}

// Solves A x = b in place (A n by n, row-major) by elimination with
// partial pivoting; false when A is singular.
bool solve(std::vector<double> &a, std::vector<double> &b, std::size_t n)
{
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t p = c;
        for (std::size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r * n + c]) > std::fabs(a[p * n + c]))
                p = r;
        if (std::fabs(a[p * n + c]) < 1e-300)
            return false;
        if (p != c) {
            for (std::size_t k = 0; k < n; ++k)
                std::swap(a[c * n + k], a[p * n + k]);
            std::swap(b[c], b[p]);
        }
        for (std::size_t r = c + 1; r < n; ++r) {
            const double f = a[r * n + c] / a[c * n + c];
            for (std::size_t k = c; k < n; ++k)
                a[r * n + k] -= f * a[c * n + k];
            b[r] -= f * b[c];
        }
    }
    for (std::size_t c = n; c-- > 0;) {
        double s = b[c];
        for (std::size_t k = c + 1; k < n; ++k)
            s -= a[c * n + k] * b[k];
        b[c] = s / a[c * n + c];
    }
    return true;
}

// Shapes of candidate bands over the range, for placing a band: every sixth
// of an octave, five widths, boost and both cut designs, and shelves, each
// at 6 dB.
struct Shape {
    FitBand band;
    std::vector<double> db;
    double norm = 0.0;        // sum of squares
    double centredNorm = 0.0; // the same with the shape's mean removed
};

std::vector<Shape> candidateShapes(const Grid &grid)
{
    const double lo = std::max(kFreqMin, double(grid.f.front()));
    const double hi = std::min(kFreqMax, double(grid.f.back()));
    std::vector<FitBand> candidates;
    for (double f = lo; f <= hi * 1.0001; f *= std::pow(2.0, 1.0 / 6.0)) {
        for (double q : {0.5, 1.0, 2.0, 4.0, 8.0}) {
            candidates.push_back({dsp::EqPeq1, std::log(f), std::log(q), 6.0});
            candidates.push_back({dsp::EqPeq1, std::log(f), std::log(q), -6.0});
            candidates.push_back({dsp::EqPeq2, std::log(f), std::log(q), -6.0});
        }
        for (std::uint32_t type : {dsp::EqLowShelf12, dsp::EqHighShelf12})
            for (double g : {6.0, -6.0})
                candidates.push_back({type, std::log(f), std::log(0.7), g});
    }
    std::vector<Shape> shapes;
    for (const FitBand &c : candidates) {
        Shape shape;
        shape.band = c;
        BandCurve curve;
        bandCurve(c, grid, curve);
        shape.db = std::move(curve.db);
        double mean = 0.0;
        for (double v : shape.db)
            mean += v;
        mean /= double(shape.db.size());
        for (double v : shape.db) {
            shape.norm += v * v;
            shape.centredNorm += (v - mean) * (v - mean);
        }
        if (shape.centredNorm > 1e-12)
            shapes.push_back(std::move(shape));
    }
    return shapes;
}

class Fitter {
public:
    Fitter(const Grid &grid, std::vector<double> fixedDb, double maxBoost, std::size_t slots,
           const std::vector<Shape> *shapes = nullptr)
        : m_grid(grid), m_fixed(std::move(fixedDb)), m_maxBoost(maxBoost), m_shapes(shapes), m_bands(slots),
          m_curves(slots), m_active(slots, false)
    {
        m_base.resize(grid.f.size());
        for (std::size_t k = 0; k < m_base.size(); ++k)
            m_base[k] = grid.smooth[k] + m_fixed[k] - grid.target[k];
    }

    // Places bands one by one where each removes the most of what is left
    // (or on the largest deviation), tuning all placed ones after each,
    // then weighs the other band types.
    void searchGreedy(bool nearLargest)
    {
        for (std::size_t s = 0; s < m_bands.size(); ++s) {
            if (!place(s, nearLargest))
                break;
            optimise({s}, 10);
            optimise(activeSlots(), 6);
        }
        optimise(activeSlots(), 30);
        tryOtherTypes();
    }

    // Greedy placement goes wrong where features overlap or lean one way:
    // the best single band for the whole deviation is then often a wide
    // band or a shelf that stands in for several features at once (against
    // the mean, every flat stretch looks like a deviation too), and tuning
    // all bands together later cannot split it again. This start places
    // twice as many bands as there are slots, each on what is left as seen
    // from the level most of the response sits at, without tuning between
    // placements; it tunes them together and then takes away the band
    // missed least, one at a time, until as many are left as there are
    // slots.
    void searchByElimination(std::size_t keep)
    {
        for (std::size_t s = 0; s < m_bands.size(); ++s) {
            m_level = commonLevel();
            if (!place(s, false))
                break;
        }
        m_level = std::numeric_limits<double>::quiet_NaN();
        optimise(activeSlots(), 20);
        thin(keep);
        optimise(activeSlots(), 30);
        tryOtherTypes();
    }

    // Where a band sits on the wrong feature, or two share one, tuning
    // cannot move it across to a feature none covers. One more band is put
    // on the largest deviation left (or where it removes the most), all are
    // tuned, and the one missed least goes again; the exchange stays when
    // the bands are better for it.
    void reseed()
    {
        const std::size_t keep = activeSlots().size();
        for (int round = 0; round < 3; ++round) {
            const double before = cost(total());
            const std::vector<FitBand> savedBands = m_bands;
            const std::vector<BandCurve> savedCurves = m_curves;
            const std::vector<bool> savedActive = m_active;
            bool moved = false;
            for (bool nearLargest : {true, false}) {
                m_bands.emplace_back();
                m_curves.emplace_back();
                m_active.push_back(false);
                if (place(m_bands.size() - 1, nearLargest)) {
                    optimise(activeSlots(), 15);
                    thin(keep);
                    if (cost(total()) < before * (1.0 - 1e-3)) {
                        moved = true;
                        break;
                    }
                }
                m_bands = savedBands;
                m_curves = savedCurves;
                m_active = savedActive;
            }
            if (!moved)
                return;
            compact();
        }
    }

    // Takes away the band missed least, tuning the rest after each, until
    // keep are left.
    void thin(std::size_t keep)
    {
        while (activeSlots().size() > keep) {
            double best = std::numeric_limits<double>::infinity();
            std::size_t least = 0;
            for (std::size_t s : activeSlots()) {
                m_active[s] = false;
                const double c = refitCost();
                m_active[s] = true;
                if (c < best) {
                    best = c;
                    least = s;
                }
            }
            m_active[least] = false;
            optimise(activeSlots(), 10);
        }
    }

    // Drops the slots not in use.
    void compact()
    {
        std::vector<FitBand> bands;
        std::vector<BandCurve> curves;
        for (std::size_t s : activeSlots()) {
            bands.push_back(m_bands[s]);
            curves.push_back(std::move(m_curves[s]));
        }
        m_bands = std::move(bands);
        m_curves = std::move(curves);
        m_active.assign(m_bands.size(), true);
    }

    // Refinement of given bands on a finer grid, then the device's steps.
    void refine(const std::vector<FitBand> &bands)
    {
        for (std::size_t s = 0; s < bands.size() && s < m_bands.size(); ++s) {
            m_bands[s] = bands[s];
            m_active[s] = true;
            bandCurve(m_bands[s], m_grid, m_curves[s]);
        }
        optimise(activeSlots(), 10);
        quantise();
    }

    // The squared deviation from the unsmoothed measurement, level free.
    double rawDeviation() const
    {
        const std::vector<double> eq = total();
        const std::size_t n = m_base.size();
        std::vector<double> d(n);
        double mean = 0.0;
        for (std::size_t k = 0; k < n; ++k)
            mean += (d[k] = m_grid.raw[k] + m_fixed[k] + eq[k] - m_grid.target[k]);
        mean /= double(n);
        double sum = 0.0;
        for (double v : d)
            sum += (v - mean) * (v - mean);
        return sum;
    }

    std::vector<FitBand> activeBands() const
    {
        std::vector<FitBand> out;
        for (std::size_t s : activeSlots())
            out.push_back(m_bands[s]);
        return out;
    }

    const std::vector<FitBand> &bands() const { return m_bands; }
    const std::vector<bool> &active() const { return m_active; }

private:
    std::vector<std::size_t> activeSlots() const
    {
        std::vector<std::size_t> out;
        for (std::size_t s = 0; s < m_active.size(); ++s)
            if (m_active[s])
                out.push_back(s);
        return out;
    }

    std::vector<double> total() const
    {
        std::vector<double> t(m_base.size(), 0.0);
        for (std::size_t s = 0; s < m_curves.size(); ++s)
            if (m_active[s])
                for (std::size_t k = 0; k < t.size(); ++k)
                    t[k] += m_curves[s].db[k];
        return t;
    }

    // Deviation from the level (its mean unless a level is set), then per
    // point the effort and the boost excess.
    void residuals(const std::vector<double> &eq, std::vector<double> &r) const
    {
        const std::size_t n = m_base.size();
        r.resize(2 * n);
        double level = m_level;
        if (std::isnan(level)) {
            level = 0.0;
            for (std::size_t k = 0; k < n; ++k)
                level += m_base[k] + eq[k];
            level /= double(n);
        }
        for (std::size_t k = 0; k < n; ++k) {
            r[k] = m_base[k] + eq[k] - level;
            r[n + k] = kEffortWeight * eq[k] + kBoostPenalty * std::max(0.0, m_fixed[k] + eq[k] - m_maxBoost);
        }
    }

    double cost(const std::vector<double> &eq) const
    {
        std::vector<double> r;
        residuals(eq, r);
        double c = 0.0;
        for (double v : r)
            c += v * v;
        return c;
    }

    // The level most of the deviation sits at: the middle of the densest
    // decibel of its values. Where features overlap, the mean lies above
    // or below every flat stretch.
    double commonLevel() const
    {
        const std::vector<double> eq = total();
        std::vector<double> d(m_base.size());
        for (std::size_t k = 0; k < d.size(); ++k)
            d[k] = m_base[k] + eq[k];
        std::sort(d.begin(), d.end());
        std::size_t bestA = 0, bestB = 0;
        for (std::size_t a = 0, b = 0; a < d.size(); ++a) {
            while (b < d.size() && d[b] - d[a] <= 1.0)
                ++b;
            if (b - a > bestB - bestA) {
                bestA = a;
                bestB = b;
            }
        }
        return d[(bestA + bestB - 1) / 2];
    }

    // The squared deviation (level free) with the active bands' gains set
    // anew to fit best, each band's curve taken as proportional to its
    // gain: what the bands can still do without one of them.
    double refitCost() const
    {
        const std::vector<std::size_t> slots = activeSlots();
        const std::size_t p = slots.size(), n = m_base.size();
        auto centred = [n](std::vector<double> v) {
            double mean = 0.0;
            for (double x : v)
                mean += x;
            mean /= double(n);
            for (double &x : v)
                x -= mean;
            return v;
        };
        std::vector<std::vector<double>> cols;
        for (std::size_t s : slots) {
            std::vector<double> c = m_curves[s].db;
            const double g = std::fabs(m_bands[s].g) > 1e-6 ? m_bands[s].g : 1e-6;
            for (double &v : c)
                v /= g;
            cols.push_back(centred(std::move(c)));
        }
        const std::vector<double> b = centred(m_base);
        std::vector<double> a(p * p), x(p);
        for (std::size_t i = 0; i < p; ++i) {
            for (std::size_t j = i; j < p; ++j) {
                double sum = 0.0;
                for (std::size_t k = 0; k < n; ++k)
                    sum += cols[i][k] * cols[j][k];
                a[i * p + j] = a[j * p + i] = sum;
            }
            a[i * p + i] += 1e-9;
            double sum = 0.0;
            for (std::size_t k = 0; k < n; ++k)
                sum += cols[i][k] * b[k];
            x[i] = -sum;
        }
        if (p > 0 && !solve(a, x, p))
            return std::numeric_limits<double>::infinity();
        double c = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            double v = b[k];
            for (std::size_t i = 0; i < p; ++i)
                v += x[i] * cols[i][k];
            c += v * v;
        }
        return c;
    }

    // Puts a band where it removes the most deviation: the candidate shape
    // that, scaled within the gain limits, lowers the squared deviation
    // most; when asked, only near the largest deviation (narrow features
    // weigh little in the squared sum but decide the maximum). Tuning
    // moves it from there.
    bool place(std::size_t slot, bool nearLargest)
    {
        const std::vector<double> eq = total();
        std::vector<double> r;
        residuals(eq, r);
        const std::size_t n = m_base.size();
        double around = 0.0;
        if (nearLargest) {
            std::size_t worst = 0;
            for (std::size_t k = 0; k < n; ++k)
                if (std::fabs(r[k]) > std::fabs(r[worst]))
                    worst = k;
            around = std::log(double(m_grid.f[worst]));
        }
        const bool levelFree = std::isnan(m_level);
        double bestGain = 0.0;
        FitBand best;
        for (const Shape &shape : *m_shapes) {
            if (nearLargest && !isShelf(shape.band.type) && std::fabs(shape.band.x - around) > std::log(2.0) / 8.0)
                continue;
            // With the level free, r has no mean, and this is also the dot
            // product with the centred shape.
            const double along = dot(r.data(), shape.db.data(), n);
            const double norm = levelFree ? shape.centredNorm : shape.norm;
            // r + a * shape is smallest at a = -dot / norm; a must keep the
            // shape's sign, and its gain the limits.
            double a = -along / norm;
            if (a <= 0.0)
                continue;
            a = std::min(a, (shape.band.g > 0.0 ? m_maxBoost : -kGainMin) / std::fabs(shape.band.g));
            const double gain = -(2.0 * a * along + a * a * norm);
            if (gain > bestGain) {
                bestGain = gain;
                best = shape.band;
                best.g *= a;
            }
        }
        if (bestGain <= 1e-9)
            return false;
        clampBand(best, m_maxBoost);
        m_bands[slot] = best;
        m_active[slot] = true;
        bandCurve(best, m_grid, m_curves[slot]);
        return true;
    }

    // Levenberg-Marquardt on the given slots' parameters, kept within the
    // device's ranges after every step. The slopes come from the bands'
    // power ratios, ln(1 + u) taken by its series: the steps are small, and
    // a logarithm per point and parameter would cost most of the fit.
    void optimise(const std::vector<std::size_t> &slots, int iterations)
    {
        if (slots.empty())
            return;
        const std::size_t n = m_base.size();
        const std::size_t p = 3 * slots.size();
        const double steps[3] = {1e-3, 1e-3, 1e-2};
        constexpr double kDbPerNeper = 10.0 / std::numbers::ln10;
        const bool levelFree = std::isnan(m_level);
        std::vector<double> eq = total();
        std::vector<double> r, tmp;
        residuals(eq, r);
        double current = 0.0;
        for (double v : r)
            current += v * v;
        double lambda = 1e-2;
        // Slopes of the band curves in dB per parameter step (column by
        // column), and the same weighed by the squared weight of the
        // second half of the residual plus that of the deviation.
        std::vector<double> slope(p * n), weighed(p * n), means(p), weight(n), rw(n);
        BandCurve trialCurve;
        for (int it = 0; it < iterations; ++it) {
            for (std::size_t k = 0; k < n; ++k)
                weight[k] = kEffortWeight + (m_fixed[k] + eq[k] > m_maxBoost ? kBoostPenalty : 0.0);
            for (std::size_t i = 0; i < slots.size(); ++i) {
                const std::size_t s = slots[i];
                for (int q = 0; q < 3; ++q) {
                    FitBand moved = m_bands[s];
                    double *field = q == 0 ? &moved.x : q == 1 ? &moved.y : &moved.g;
                    *field += steps[q];
                    bandPower(moved, m_grid, tmp);
                    const std::size_t c = 3 * i + q;
                    double *d = &slope[c * n];
                    double *dw = &weighed[c * n];
                    double mean = 0.0;
                    for (std::size_t k = 0; k < n; ++k) {
                        const double u = tmp[k] / m_curves[s].power[k] - 1.0;
                        d[k] = kDbPerNeper * u * (1.0 - u * (0.5 - u / 3.0)) / steps[q];
                        dw[k] = (1.0 + weight[k] * weight[k]) * d[k];
                        mean += d[k];
                    }
                    means[c] = levelFree ? mean / double(n) : 0.0;
                }
            }
            // The deviation's column is the slope less its mean where the
            // level is free, the second half's the slope times the weight:
            // J'J and J'r follow from the slopes alone.
            double rSum = 0.0;
            for (std::size_t k = 0; k < n; ++k) {
                rSum += r[k];
                rw[k] = r[k] + weight[k] * r[n + k];
            }
            std::vector<double> jtj(p * p), jtr(p);
            for (std::size_t a = 0; a < p; ++a) {
                for (std::size_t b = a; b < p; ++b)
                    jtj[a * p + b] = jtj[b * p + a] =
                        dot(&weighed[a * n], &slope[b * n], n) - double(n) * means[a] * means[b];
                jtr[a] = -(dot(&slope[a * n], rw.data(), n) - means[a] * rSum);
            }
            bool accepted = false;
            for (int attempt = 0; attempt < 8 && !accepted; ++attempt) {
                std::vector<double> a = jtj, delta = jtr;
                for (std::size_t k = 0; k < p; ++k)
                    a[k * p + k] += lambda * jtj[k * p + k] + 1e-9;
                if (!solve(a, delta, p)) {
                    lambda *= 10.0;
                    continue;
                }
                std::vector<FitBand> trial = m_bands;
                std::vector<BandCurve> trialCurves;
                std::vector<double> eqt = eq;
                for (std::size_t i = 0; i < slots.size(); ++i) {
                    FitBand &b = trial[slots[i]];
                    b.x += delta[3 * i];
                    b.y += delta[3 * i + 1];
                    b.g += delta[3 * i + 2];
                    clampBand(b, m_maxBoost);
                    bandCurve(b, m_grid, trialCurve);
                    for (std::size_t k = 0; k < n; ++k)
                        eqt[k] += trialCurve.db[k] - m_curves[slots[i]].db[k];
                    trialCurves.push_back(trialCurve);
                }
                const double c = cost(eqt);
                if (c < current) {
                    const double gain = current - c;
                    for (std::size_t i = 0; i < slots.size(); ++i) {
                        m_bands[slots[i]] = trial[slots[i]];
                        m_curves[slots[i]] = std::move(trialCurves[i]);
                    }
                    eq = std::move(eqt);
                    current = c;
                    residuals(eq, r);
                    lambda = std::max(lambda / 3.0, 1e-7);
                    accepted = true;
                    if (gain < 1e-9 * (1.0 + current))
                        return;
                } else {
                    lambda *= 4.0;
                }
            }
            if (!accepted)
                return;
        }
    }

    // The two peaking designs cut differently and a shelf may suit an end
    // better; each slot tries the alternatives alone, and whatever lowers
    // the deviation stays, tuned once more with all the others.
    void tryOtherTypes()
    {
        bool changed = false;
        for (std::size_t s : activeSlots()) {
            const FitBand original = m_bands[s];
            const BandCurve originalCurve = m_curves[s];
            double best = cost(total());
            FitBand bestBand = original;
            BandCurve bestCurve = originalCurve;
            // Shelves only where one can act: toward an end of the range
            // or over a wide span.
            std::vector<std::uint32_t> candidates;
            const double f = std::exp(original.x);
            if (f < 4.0 * m_grid.f.front() || std::exp(original.y) < 1.0)
                candidates.insert(candidates.end(), {dsp::EqLowShelf12, dsp::EqLowShelf6});
            if (f > m_grid.f.back() / 4.0 || std::exp(original.y) < 1.0)
                candidates.insert(candidates.end(), {dsp::EqHighShelf12, dsp::EqHighShelf6});
            if (isPeaking(original.type) && original.g < 0.0)
                candidates.insert(candidates.begin(), original.type == dsp::EqPeq1 ? dsp::EqPeq2 : dsp::EqPeq1);
            else if (!isPeaking(original.type))
                candidates.insert(candidates.begin(), original.g < 0.0 ? dsp::EqPeq2 : dsp::EqPeq1);
            for (std::uint32_t type : candidates) {
                if (type == original.type)
                    continue;
                m_bands[s] = original;
                m_bands[s].type = type;
                if (!isPeaking(type) && isPeaking(original.type))
                    m_bands[s].y = std::log(0.7);
                bandCurve(m_bands[s], m_grid, m_curves[s]);
                optimise({s}, 10);
                const double c = cost(total());
                if (c < best * (1.0 - 1e-3)) {
                    best = c;
                    bestBand = m_bands[s];
                    bestCurve = m_curves[s];
                }
            }
            changed = changed || bestBand.type != original.type;
            m_bands[s] = bestBand;
            m_curves[s] = bestCurve;
        }
        if (changed)
            optimise(activeSlots(), 25);
    }

    // The device takes whole hertz, and the editor shows Q and gain in
    // tenths: round to that, then step each value to its neighbours while
    // that lowers the deviation.
    void quantise()
    {
        for (std::size_t s : activeSlots()) {
            FitBand &b = m_bands[s];
            b.x = std::log(std::round(std::exp(b.x)));
            b.y = std::log(std::max(kQMin, std::round(std::exp(b.y) * 10.0) / 10.0));
            b.g = std::round(b.g * 10.0) / 10.0;
            clampBand(b, m_maxBoost);
            b.g = std::floor(b.g * 10.0 + 1e-9) / 10.0; // never above the limit after rounding
            bandCurve(b, m_grid, m_curves[s]);
        }
        std::vector<double> eq = total();
        double current = cost(eq);
        BandCurve curve;
        std::vector<double> trialEq(eq.size());
        for (int pass = 0; pass < 12; ++pass) {
            bool better = false;
            for (std::size_t s : activeSlots()) {
                for (int q = 0; q < 3; ++q) {
                    for (int dir : {-1, 1}) {
                        FitBand trial = m_bands[s];
                        if (q == 0) {
                            const double f = std::exp(trial.x);
                            const double stepped = f + dir * std::max(1.0, std::round(f * 0.005));
                            trial.x = std::log(std::clamp(stepped, kFreqMin, kFreqMax));
                        } else if (q == 1) {
                            trial.y = std::log(std::clamp(std::round(std::exp(trial.y) * 10.0 + dir) / 10.0, kQMin, kQMax));
                        } else {
                            trial.g = std::round(trial.g * 10.0 + dir) / 10.0;
                            if (trial.g > m_maxBoost + 1e-9 || trial.g < kGainMin - 1e-9)
                                continue;
                        }
                        bandCurve(trial, m_grid, curve);
                        for (std::size_t k = 0; k < eq.size(); ++k)
                            trialEq[k] = eq[k] + curve.db[k] - m_curves[s].db[k];
                        const double c = cost(trialEq);
                        if (c < current) {
                            current = c;
                            m_bands[s] = trial;
                            m_curves[s] = curve;
                            eq = trialEq;
                            better = true;
                        }
                    }
                }
            }
            if (!better)
                break;
        }
    }

    const Grid &m_grid;
    std::vector<double> m_fixed;
    std::vector<double> m_base;
    double m_maxBoost;
    const std::vector<Shape> *m_shapes;
    std::vector<FitBand> m_bands;
    std::vector<BandCurve> m_curves;
    std::vector<bool> m_active;
    // The level deviations are measured from; NaN: their mean, as the
    // residual is.
    double m_level = std::numeric_limits<double>::quiet_NaN();
};

} // namespace

FitOptions defaultFitOptions(std::span<const dsp::EqBandSettings, dsp::kEqBands> bands,
                             const dsp::CrossoverSettings *highCut, const dsp::CrossoverSettings *lowCut)
{
    FitOptions o;
    for (std::size_t b = 0; b < dsp::kEqBands; ++b)
        o.usable[b] = bands[b].type == dsp::EqBypass;
    if (lowCut && lowCut->type != dsp::XoHighPassBypass && lowCut->type <= dsp::kCrossoverTypeMax)
        o.lowHz = std::clamp(double(lowCut->frequencyHz), 20.0, 19000.0);
    if (highCut && highCut->type != dsp::XoLowPassBypass && highCut->type <= dsp::kCrossoverTypeMax)
        o.highHz = std::clamp(double(highCut->frequencyHz), o.lowHz * 1.5, 20000.0);
    return o;
}

FitResult residualOf(const Measurement &m, std::span<const dsp::EqBandSettings, dsp::kEqBands> bands,
                     const FitOptions &options)
{
    FitResult result;
    if (auto problem = checkOptions(options)) {
        result.message = *problem;
        return result;
    }
    Grid grid;
    if (auto problem = buildGrid(m, options, grid)) {
        result.message = *problem;
        return result;
    }
    result.ok = true;
    std::copy(bands.begin(), bands.end(), result.bands.begin());
    result.before = result.after = exactResidual(grid, bands);
    return result;
}

FitResult fitEq(const Measurement &m, std::span<const dsp::EqBandSettings, dsp::kEqBands> current,
                const FitOptions &options)
{
    FitResult result = residualOf(m, current, options);
    if (!result.ok)
        return result;
    std::vector<std::size_t> free;
    for (std::size_t b = 0; b < dsp::kEqBands; ++b)
        if (options.usable[b])
            free.push_back(b);
    if (free.empty()) {
        result.ok = false;
        result.message = "no band is free for the fit";
        return result;
    }
    Grid grid;
    buildGrid(m, options, grid);

    // Bands the fit may not touch are part of what it starts from.
    std::vector<double> fixedDb(grid.f.size(), 0.0);
    for (std::size_t b = 0; b < dsp::kEqBands; ++b) {
        if (options.usable[b])
            continue;
        dsp::FilterSection s;
        if (!dsp::designEqSectionOrUnity(current[b], s))
            continue;
        for (std::size_t k = 0; k < grid.f.size(); ++k)
            fixedDb[k] += sectionDb(s, grid.c1[k], grid.c2[k]);
    }
    const double maxBoost = std::min(options.maxBoostDb, double(preset::kEqGainFacts.max));
    // The search runs on about 24 points per octave, which still resolves
    // the narrowest band the device has; the result is refined on all.
    const double octaves = std::log2(double(grid.f.back()) / double(grid.f.front()));
    const std::size_t every = std::max<std::size_t>(1, grid.f.size() / std::max<std::size_t>(kMinFitPoints, std::size_t(24.0 * octaves)));
    Grid coarse;
    std::vector<double> coarseFixed;
    for (std::size_t k = 0; k < grid.f.size(); k += every) {
        coarse.f.push_back(grid.f[k]);
        coarse.c1.push_back(grid.c1[k]);
        coarse.c2.push_back(grid.c2[k]);
        coarse.raw.push_back(grid.raw[k]);
        coarse.smooth.push_back(grid.smooth[k]);
        coarse.target.push_back(grid.target[k]);
        coarseFixed.push_back(fixedDb[k]);
    }
    // Three starts: bands where they remove the most deviation, bands on
    // the largest deviation first, and more bands than there are, thinned
    // out. The one closest to the unsmoothed measurement, which the result
    // is judged against, gets its bands exchanged where that helps and is
    // refined.
    const std::vector<Shape> shapes = candidateShapes(coarse);
    Fitter byArea(coarse, coarseFixed, maxBoost, free.size(), &shapes);
    byArea.searchGreedy(false);
    Fitter byPeak(coarse, coarseFixed, maxBoost, free.size(), &shapes);
    byPeak.searchGreedy(true);
    Fitter thinned(coarse, coarseFixed, maxBoost, 2 * free.size(), &shapes);
    thinned.searchByElimination(free.size());
    Fitter *best = &byArea;
    double bestDeviation = byArea.rawDeviation();
    for (Fitter *f : {&byPeak, &thinned})
        if (const double d = f->rawDeviation(); d < bestDeviation) {
            best = f;
            bestDeviation = d;
        }
    best->reseed();
    Fitter fitter(grid, fixedDb, maxBoost, free.size());
    fitter.refine(best->activeBands());

    Bands proposed;
    std::copy(current.begin(), current.end(), proposed.begin());
    for (std::size_t i = 0; i < free.size(); ++i) {
        dsp::EqBandSettings &band = proposed[free[i]];
        const FitBand &fb = fitter.bands()[i];
        if (!fitter.active()[i] || std::fabs(fb.g) < 0.05) {
            band.type = dsp::EqBypass;
            continue;
        }
        band.type = fb.type;
        band.frequencyHz = static_cast<std::int32_t>(std::lround(std::exp(fb.x)));
        band.q = static_cast<float>(std::round(std::exp(fb.y) * 10.0) / 10.0);
        band.gainDb = static_cast<float>(std::round(fb.g * 10.0) / 10.0);
    }
    const Residual after = exactResidual(grid, proposed);
    if (after.rmsDb < result.before.rmsDb) {
        result.bands = proposed;
        result.after = after;
        result.improved = true;
    }
    return result;
}

} // namespace zar40::measurement
