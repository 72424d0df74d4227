#include "zar40/diagrams/from_preset.h"

#include "zar40/model/preset_signal.h"

namespace zar40::diagrams {

BandRecords bandRecordsOf(const preset::PresetRecord &record, int channel)
{
    BandRecords bands{};
    const model::BandSettings settings = model::channelBands(record, channel);
    for (std::size_t i = 0; i < bands.size(); ++i)
        bands[i] = makeBandRecord(settings[i].type, static_cast<float>(settings[i].frequencyHz), settings[i].q,
                                  settings[i].gainDb);
    return bands;
}

OutputRecords outputsOf(const preset::PresetRecord &record, int selected)
{
    OutputRecords outputs{};
    const auto locked = model::resultMembers(record, selected);
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        OutputRecord &out = outputs[o];
        const preset::OutputChannel &channel = record.outputs[o];
        out.bands = bandRecordsOf(record, preset::kFirstOutput + static_cast<int>(o));
        const dsp::CrossoverSettings lp = model::toCrossover(channel.highCut);
        const dsp::CrossoverSettings hp = model::toCrossover(channel.lowCut);
        out.crossover.values = {static_cast<float>(lp.type), static_cast<float>(lp.frequencyHz),
                                static_cast<float>(lp.order), static_cast<float>(hp.type),
                                static_cast<float>(hp.frequencyHz), static_cast<float>(hp.order)};
        out.name = preset::textOf(channel.NAME);
        out.shown = true;
        out.locked = locked[o];
    }
    return outputs;
}

DynamicsRecord dynamicsOf(const preset::PresetRecord &record, int output)
{
    const dsp::DynamicsSettings d = model::toDynamics(record.outputs[static_cast<std::size_t>(output)].DYNAMIC);
    return {d.threshold, d.knee, d.ratio, d.gain, d.type};
}

} // namespace zar40::diagrams
