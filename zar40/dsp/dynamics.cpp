#include "zar40/dsp/dynamics.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zar40::dsp {

std::string_view dynamicsTypeName(std::uint32_t type)
{
    static constexpr std::array<std::string_view, 3> names{"Bypass", "Limiter", "Compressor"};
    return type < names.size() ? names[type] : std::string_view{};
}

KneeCurve ComputeKneeCurve(double T, double k, double R)
{
    KneeCurve c;
    if (!(R > 0.0))
        return c;
    c.defined = true;
    c.offset = (1.0 - 1.0 / R) * T;
    c.x0 = T - k;
    c.x2 = T + std::sqrt(std::fabs(2.0 * k * k - k * k / (R * R)));
    c.x1 = ((c.x0 + c.x2) / 2.0 + T) / 2.0;
    c.x3 = c.x2 + 1.0;
    const double y0 = c.x0;
    const double y2 = c.x2 / R + c.offset;
    const double y3 = c.x3 / R + c.offset;
    const double y1 = ((y0 + y2) / 2.0 + T) / 2.0;
    c.c0 = y0;
    if (k == 0.0)
        return c;
    c.c1 = (y1 - y0) / (c.x1 - c.x0);
    const double d21 = (y2 - y1) / (c.x2 - c.x1);
    c.c2 = (d21 - c.c1) / (c.x2 - c.x0);
    c.c3 = (((y3 - y2) / (c.x3 - c.x2) - d21) / (c.x3 - c.x1) - c.c2) / (c.x3 - c.x0);
    return c;
}

double DynamicsOutputLevel(double x, double T, double k, double R, double G, const KneeCurve &c)
{
    if (!c.defined)
        return x + G;
    if (x < T - k)
        return x + G;
    if (x < c.x2) {
        const double d0 = x - c.x0;
        const double d1 = x - c.x1;
        const double d2 = x - c.x2;
        return c.c0 + d0 * c.c1 + d0 * d1 * c.c2 + d0 * d1 * d2 * c.c3 + G;
    }
    return x / R + c.offset + G;
}

double DynamicsOutputLevel(double input, const DynamicsSettings &s)
{
    const KneeCurve curve = ComputeKneeCurve(s.threshold, s.knee, s.ratio);
    return DynamicsOutputLevel(input, s.threshold, s.knee, s.ratio, s.gain, curve);
}

std::vector<CurvePoint> dynamicsCurvePoints(const DynamicsSettings &s, int plotWidth, double inMin, double inMax,
                                            double outMin, double outMax)
{
    std::vector<CurvePoint> points;
    const KneeCurve curve = ComputeKneeCurve(s.threshold, s.knee, s.ratio);
    if (s.type == DynBypass || !curve.defined || plotWidth < 2)
        return points;
    points.reserve(static_cast<std::size_t>(plotWidth - 1));
    for (int i = 0; i <= plotWidth - 2; ++i) {
        const double in = i * (inMax - inMin) / plotWidth + inMin;
        const double out = DynamicsOutputLevel(in, s.threshold, s.knee, s.ratio, s.gain, curve);
        points.push_back({in, std::clamp(out, outMin, outMax)});
    }
    return points;
}

} // namespace zar40::dsp
