// Measurement text reader on hostile text. Besides not crashing: whatever it
// accepts is sorted, finite, within its limits, and can be interpolated and
// normalised without producing values from nowhere.
#include "zar40/measurement/measurement_file.h"
#include "zar40/measurement/response.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace zar40::measurement;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const ReadResult r = readMeasurement(text);
    if (!r.ok) {
        if (r.message.empty()) std::abort();
        return 0;
    }
    const Measurement &m = r.measurement;
    if (m.size() < 2 || m.size() > kMaxPoints || m.magnitudeDb.size() != m.size()) std::abort();
    if (m.hasPhase() && m.phaseDeg.size() != m.size()) std::abort();
    for (std::size_t i = 0; i < m.size(); ++i) {
        if (!(m.frequencyHz[i] > 0.0) || !std::isfinite(m.frequencyHz[i])) std::abort();
        if (i > 0 && !(m.frequencyHz[i] > m.frequencyHz[i - 1])) std::abort();
        if (!(std::fabs(m.magnitudeDb[i]) <= kMaxMagnitudeDb)) std::abort();
    }
    const float grid[] = {20.0f, 200.0f, 1000.0f, 20000.0f};
    const Curve c = onFrequencies(m, grid, Normalisation::MidBand);
    for (std::size_t k = 0; k < c.magnitudeDb.size(); ++k) {
        const bool inside = grid[k] >= m.frequencyHz.front() && grid[k] <= m.frequencyHz.back();
        if (inside == std::isnan(c.magnitudeDb[k])) std::abort();
    }
    return 0;
}
