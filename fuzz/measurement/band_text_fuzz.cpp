// Band text reader on hostile text. Whatever it accepts lies within the
// device's ranges and survives writing and reading again unchanged.
#include "zar40/measurement/band_text.h"
#include "zar40/preset/parameter_facts.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace zar40::measurement;
namespace dsp = zar40::dsp;
namespace preset = zar40::preset;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const BandTextRead r = readBandText(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!r.ok)
        return 0;
    for (const dsp::EqBandSettings &b : r.bands) {
        if (b.type == dsp::EqBypass)
            continue;
        if (b.frequencyHz < preset::kEqFrequencyFacts.min || b.frequencyHz > preset::kEqFrequencyFacts.max) std::abort();
        if (!(b.gainDb >= preset::kEqGainFacts.min && b.gainDb <= preset::kEqGainFacts.max)) std::abort();
        if (!(b.q >= preset::kEqQFacts.min - 1e-6f && b.q <= preset::kEqQFacts.max + 1e-6f)) std::abort();
    }
    const BandTextWrite w = writeBandText(r.bands);
    if (!w.ok) std::abort();
    const BandTextRead again = readBandText(w.text);
    if (!again.ok) std::abort();
    // An off band's values travel nowhere ("OFF None"); its type does.
    for (std::size_t i = 0; i < r.bands.size(); ++i)
        if (again.bands[i].type != r.bands[i].type ||
            (r.bands[i].type != dsp::EqBypass && again.bands[i].frequencyHz != r.bands[i].frequencyHz))
            std::abort();
    return 0;
}
