#include "zar40/measurement/fit.h"

#include "zar40/measurement/response.h"
#include "zar40/preset/parameter_facts.h"

#include <algorithm>
#include <cmath>
#include <limits>
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
void bandDb(const FitBand &b, const Grid &grid, std::vector<double> &out)
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
        const double p = w > 0.0 ? (1.0 - w) * p0 + w * sectionPower(s1, grid.c1[k], grid.c2[k]) : p0;
        out[k] = 10.0 * std::log10(p);
    }
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
        e[k] = grid.raw[k] + dsp::MagnitudeDb(dsp::cascadeResponse(z[k], chain.data(), chain.size())) -
               grid.target[k];
    return residualFrom(e);
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

class Fitter {
public:
    Fitter(const Grid &grid, std::vector<double> fixedDb, double maxBoost, std::size_t slots)
        : m_grid(grid), m_fixed(std::move(fixedDb)), m_maxBoost(maxBoost), m_bands(slots),
          m_db(slots, std::vector<double>(grid.f.size(), 0.0)), m_active(slots, false)
    {
        m_base.resize(grid.f.size());
        for (std::size_t k = 0; k < m_base.size(); ++k)
            m_base[k] = grid.smooth[k] + m_fixed[k] - grid.target[k];
    }

    // Search: place bands one by one on what is left, tuning all placed
    // ones after each, then weigh the other band types.
    void search(bool peakFirst)
    {
        m_peakFirst = peakFirst;
        for (std::size_t s = 0; s < m_bands.size(); ++s) {
            if (!place(s))
                break;
            optimise({s}, 10);
            optimise(activeSlots(), 6);
        }
        optimise(activeSlots(), 30);
        tryOtherTypes();
    }

    // Refinement of given bands on a finer grid, then the device's steps.
    void refine(const std::vector<FitBand> &bands, const std::vector<bool> &active)
    {
        m_bands = bands;
        m_active = active;
        for (std::size_t s = 0; s < m_bands.size(); ++s)
            if (m_active[s])
                bandDb(m_bands[s], m_grid, m_db[s]);
        optimise(activeSlots(), 10);
        quantise();
    }

    double searchCost() const { return cost(total()); }
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
        for (std::size_t s = 0; s < m_db.size(); ++s)
            if (m_active[s])
                for (std::size_t k = 0; k < t.size(); ++k)
                    t[k] += m_db[s][k];
        return t;
    }

    // Deviation with its mean removed, then per point the effort and the
    // boost excess.
    void residuals(const std::vector<double> &eq, std::vector<double> &r) const
    {
        const std::size_t n = m_base.size();
        r.resize(2 * n);
        double mean = 0.0;
        for (std::size_t k = 0; k < n; ++k)
            mean += m_base[k] + eq[k];
        mean /= double(n);
        for (std::size_t k = 0; k < n; ++k) {
            r[k] = m_base[k] + eq[k] - mean;
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

    // Shapes of candidate bands over the range: every sixth of an octave,
    // five widths, boost and both cut designs, and shelves, each at 6 dB
    // and with its mean removed (the level is free).
    struct Shape {
        FitBand band;
        std::vector<double> db;
        double norm = 0.0;
    };

    void buildShapes()
    {
        const double lo = std::max(kFreqMin, double(m_grid.f.front()));
        const double hi = std::min(kFreqMax, double(m_grid.f.back()));
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
        for (const FitBand &c : candidates) {
            Shape shape;
            shape.band = c;
            bandDb(c, m_grid, shape.db);
            double mean = 0.0;
            for (double v : shape.db)
                mean += v;
            mean /= double(shape.db.size());
            for (double &v : shape.db) {
                v -= mean;
                shape.norm += v * v;
            }
            if (shape.norm > 1e-12)
                m_shapes.push_back(std::move(shape));
        }
    }

    // Puts a band where it removes the most deviation: the candidate shape
    // that, scaled within the gain limits, lowers the squared deviation
    // most. Tuning moves it from there.
    bool place(std::size_t slot)
    {
        return place(slot, m_peakFirst);
    }

    bool place(std::size_t slot, bool nearLargest)
    {
        if (m_shapes.empty())
            buildShapes();
        const std::vector<double> eq = total();
        std::vector<double> r;
        residuals(eq, r);
        const std::size_t n = m_base.size();
        // Near the largest deviation only, when asked: narrow features
        // weigh little in the squared sum but decide the maximum.
        double around = 0.0;
        if (nearLargest) {
            std::size_t worst = 0;
            for (std::size_t k = 0; k < n; ++k)
                if (std::fabs(r[k]) > std::fabs(r[worst]))
                    worst = k;
            around = std::log(double(m_grid.f[worst]));
        }
        double bestGain = 0.0;
        FitBand best;
        for (const Shape &shape : m_shapes) {
            if (nearLargest && !isShelf(shape.band.type) && std::fabs(shape.band.x - around) > std::log(2.0) / 8.0)
                continue;
            double dot = 0.0;
            for (std::size_t k = 0; k < n; ++k)
                dot += r[k] * shape.db[k];
            // r + a * shape is smallest at a = -dot / norm; a must keep the
            // shape's sign, and its gain the limits.
            double a = -dot / shape.norm;
            if (a <= 0.0)
                continue;
            a = std::min(a, (shape.band.g > 0.0 ? m_maxBoost : -kGainMin) / std::fabs(shape.band.g));
            const double gain = -(2.0 * a * dot + a * a * shape.norm);
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
        bandDb(best, m_grid, m_db[slot]);
        return true;
    }

    // Levenberg-Marquardt on the given slots' parameters, kept within the
    // device's ranges after every step.
    void optimise(const std::vector<std::size_t> &slots, int iterations)
    {
        if (slots.empty())
            return;
        const std::size_t p = 3 * slots.size();
        const double steps[3] = {1e-3, 1e-3, 1e-2};
        std::vector<double> eq = total();
        std::vector<double> r, rp, tmp;
        residuals(eq, r);
        double current = 0.0;
        for (double v : r)
            current += v * v;
        double lambda = 1e-2;
        std::vector<double> jac(p * r.size());
        for (int it = 0; it < iterations; ++it) {
            for (std::size_t i = 0; i < slots.size(); ++i) {
                const std::size_t s = slots[i];
                for (int q = 0; q < 3; ++q) {
                    FitBand moved = m_bands[s];
                    double *field = q == 0 ? &moved.x : q == 1 ? &moved.y : &moved.g;
                    *field += steps[q];
                    bandDb(moved, m_grid, tmp);
                    std::vector<double> eqp = eq;
                    for (std::size_t k = 0; k < eqp.size(); ++k)
                        eqp[k] += tmp[k] - m_db[s][k];
                    residuals(eqp, rp);
                    double *col = &jac[(3 * i + q) * r.size()];
                    for (std::size_t k = 0; k < r.size(); ++k)
                        col[k] = (rp[k] - r[k]) / steps[q];
                }
            }
            std::vector<double> jtj(p * p), jtr(p);
            for (std::size_t a = 0; a < p; ++a) {
                const double *ca = &jac[a * r.size()];
                for (std::size_t b = a; b < p; ++b) {
                    const double *cb = &jac[b * r.size()];
                    double s = 0.0;
                    for (std::size_t k = 0; k < r.size(); ++k)
                        s += ca[k] * cb[k];
                    jtj[a * p + b] = jtj[b * p + a] = s;
                }
                double s = 0.0;
                for (std::size_t k = 0; k < r.size(); ++k)
                    s += ca[k] * r[k];
                jtr[a] = -s;
            }
            bool accepted = false;
            for (int attempt = 0; attempt < 8 && !accepted; ++attempt) {
                std::vector<double> a = jtj, delta = jtr;
                for (std::size_t d = 0; d < p; ++d)
                    a[d * p + d] += lambda * jtj[d * p + d] + 1e-9;
                if (!solve(a, delta, p)) {
                    lambda *= 10.0;
                    continue;
                }
                std::vector<FitBand> trial = m_bands;
                std::vector<std::vector<double>> trialDb;
                std::vector<double> eqt = eq;
                for (std::size_t i = 0; i < slots.size(); ++i) {
                    FitBand &b = trial[slots[i]];
                    b.x += delta[3 * i];
                    b.y += delta[3 * i + 1];
                    b.g += delta[3 * i + 2];
                    clampBand(b, m_maxBoost);
                    bandDb(b, m_grid, tmp);
                    for (std::size_t k = 0; k < eqt.size(); ++k)
                        eqt[k] += tmp[k] - m_db[slots[i]][k];
                    trialDb.push_back(tmp);
                }
                const double c = cost(eqt);
                if (c < current) {
                    const double gain = current - c;
                    for (std::size_t i = 0; i < slots.size(); ++i) {
                        m_bands[slots[i]] = trial[slots[i]];
                        m_db[slots[i]] = trialDb[i];
                    }
                    eq = eqt;
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
            const std::vector<double> originalDb = m_db[s];
            double best = cost(total());
            FitBand bestBand = original;
            std::vector<double> bestDb = originalDb;
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
                bandDb(m_bands[s], m_grid, m_db[s]);
                optimise({s}, 10);
                const double c = cost(total());
                if (c < best * (1.0 - 1e-3)) {
                    best = c;
                    bestBand = m_bands[s];
                    bestDb = m_db[s];
                }
            }
            changed = changed || bestBand.type != original.type;
            m_bands[s] = bestBand;
            m_db[s] = bestDb;
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
            bandDb(b, m_grid, m_db[s]);
        }
        std::vector<double> eq = total();
        double current = cost(eq);
        std::vector<double> db, trialEq(eq.size());
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
                        bandDb(trial, m_grid, db);
                        for (std::size_t k = 0; k < eq.size(); ++k)
                            trialEq[k] = eq[k] + db[k] - m_db[s][k];
                        const double c = cost(trialEq);
                        if (c < current) {
                            current = c;
                            m_bands[s] = trial;
                            m_db[s] = db;
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
    std::vector<FitBand> m_bands;
    std::vector<std::vector<double>> m_db;
    std::vector<bool> m_active;
    std::vector<Shape> m_shapes;
    bool m_peakFirst = false;
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
    // Two starts: bands where they remove the most deviation, and bands on
    // the largest deviation first; the better one is refined.
    Fitter byArea(coarse, coarseFixed, maxBoost, free.size());
    byArea.search(false);
    Fitter byPeak(coarse, coarseFixed, maxBoost, free.size());
    byPeak.search(true);
    const Fitter &best = byPeak.searchCost() < byArea.searchCost() ? byPeak : byArea;
    Fitter fitter(grid, fixedDb, maxBoost, free.size());
    fitter.refine(best.bands(), best.active());

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
