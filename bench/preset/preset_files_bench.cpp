// Time to read and to write one .vpx preset file, on disk and in memory.
#include "zar40/preset/factory_layouts.h"
#include "zar40/preset/preset_files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace zar40::preset;

namespace {

// A preset with every stage on, so the file is as large as files get.
PresetRecord fullPreset()
{
    PresetRecord r = applyFactoryLayout(startupPreset(4), 4, FactoryLayout::TwoWayStereo);
    for (auto &in : r.inputs)
        for (auto &b : in.PEQ) b.TYPE = 1;
    for (auto &o : r.outputs) {
        for (auto &b : o.PEQ) b.TYPE = 2;
        o.highCut.TYPE = 1;
        o.lowCut.TYPE = 5;
        o.DYNAMIC.TYPE = 1;
        o.NOISEGATE.THRESHOLD = -80.0f;
    }
    return r;
}

std::string benchPath()
{
    return (std::filesystem::temp_directory_path() / ("zar40-bench-" + std::to_string(::getpid()) + ".vpx")).string();
}

void WriteVpxFile(benchmark::State &state)
{
    const PresetRecord r = fullPreset();
    const std::string path = benchPath();
    for (auto _ : state) {
        if (!writeXmlPresetFile(r, path).ok) state.SkipWithError("save failed");
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::remove(path.c_str());
}
BENCHMARK(WriteVpxFile)->Unit(benchmark::kMicrosecond);

void ReadVpxFile(benchmark::State &state)
{
    const std::string path = benchPath();
    writeXmlPresetFile(fullPreset(), path);
    PresetRecord r;
    for (auto _ : state) {
        if (!readXmlPresetFile(path, r).ok) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(r);
    }
    std::remove(path.c_str());
}
BENCHMARK(ReadVpxFile)->Unit(benchmark::kMicrosecond);

void BuildVpxDocument(benchmark::State &state)
{
    const PresetRecord r = fullPreset();
    for (auto _ : state) benchmark::DoNotOptimize(xmlPresetDocument(r));
}
BENCHMARK(BuildVpxDocument)->Unit(benchmark::kMicrosecond);

void ParseVpxDocument(benchmark::State &state)
{
    const std::string doc = xmlPresetDocument(fullPreset());
    PresetRecord r;
    for (auto _ : state) {
        readXmlPreset(doc, r);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(ParseVpxDocument)->Unit(benchmark::kMicrosecond);

} // namespace
