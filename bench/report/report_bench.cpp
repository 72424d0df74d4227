// The preset report of a preset with everything switched on:
//   html - the page as it is saved and shown;
//   pdf  - the PDF export: the page laid out on A4 with header and footer,
//          then six pages of diagrams, written to a file.
#include "zar40/ui/report/pages/report_pages.h"

#include "zar40/dsp/eq_design.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace preset = zar40::preset;
namespace dsp = zar40::dsp;
namespace report = zar40::report;

namespace {

preset::PresetRecord FullPreset()
{
    preset::PresetRecord r = preset::defaultPreset();
    preset::setText(r.NAME, "Full House");
    preset::setText(r.AUTHOR, "Bench");
    auto fillBands = [](std::array<preset::EqBand, preset::kBandCount> &bands) {
        bands[0] = {dsp::EqPeq1, 60, 1.0f, 6.0f};
        bands[1] = {dsp::EqPeq2, 400, 2.0f, -4.0f};
        bands[2] = {dsp::EqLowShelf12, 150, 0.7f, 3.0f};
        bands[3] = {dsp::EqHighShelf6, 8000, 0.7f, -3.0f};
        bands[4] = {dsp::EqPeq1, 3000, 4.0f, 5.0f};
    };
    for (auto &in : r.inputs) fillBands(in.PEQ);
    for (std::size_t o = 0; o < r.outputs.size(); ++o) {
        auto &out = r.outputs[o];
        fillBands(out.PEQ);
        const auto f = static_cast<std::uint32_t>(100 * (o + 1));
        out.highCut = {static_cast<std::uint32_t>(1 + o % 3), 4 * f, 8};
        out.lowCut = {static_cast<std::uint32_t>(5 + o % 3), f, 8};
        out.DYNAMIC = {2, 2.0f, -10.0f, 5.0f, 4.0f, 5.0f, 200.0f};
        out.NOISEGATE = {-60.0f, 100.0f, 10.0f};
    }
    return r;
}

void BM_ReportHtml(benchmark::State &state)
{
    const preset::PresetRecord record = FullPreset();
    for (auto _ : state) benchmark::DoNotOptimize(report::reportDocument(record));
}
BENCHMARK(BM_ReportHtml);

void BM_ReportPdf(benchmark::State &state)
{
    const preset::PresetRecord record = FullPreset();
    QTemporaryDir dir;
    zar40::report::PageTexts texts;
    texts.footer = QString::fromStdString(report::reportFooter({2010, 1, 5, 14, 7, 9}));
    int pages = 0;
    for (auto _ : state) {
        const auto written = zar40::report::writeReportPdf(record, dir.filePath("report.pdf"), texts);
        if (!written.ok) {
            state.SkipWithError("the PDF file could not be written");
            break;
        }
        pages = written.pages;
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_ReportPdf)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
