// A full paint of each response diagram at 1600 x 900 into an image:
//   cold  - a new size every time: background, frequencies and curves rebuilt;
//   warm  - the same size with new data, the case of a marker being dragged.
#include "zar40/ui/diagrams/diagrams.h"
#include "zar40/dsp/crossover.h"
#include "zar40/dsp/eq_design.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

using namespace zar40::diagrams;
namespace dsp = zar40::dsp;

namespace {

const QSize kSize(1600, 900);
const QSize kOtherSize(1601, 900);

BandRecords BusyBands()
{
    BandRecords b{};
    b[0] = makeBandRecord(dsp::EqPeq1, 60, 1.0f, 6);
    b[1] = makeBandRecord(dsp::EqPeq2, 400, 2.0f, -4);
    b[2] = makeBandRecord(dsp::EqLowShelf12, 150, 0.7f, 3);
    b[3] = makeBandRecord(dsp::EqHighShelf6, 8000, 0.7f, -3);
    b[4] = makeBandRecord(dsp::EqPeq1, 3000, 4.0f, 5);
    return b;
}

// Six outputs shown, all fed from one input (locked and summed), each with
// its bands and two eighth-order filters.
OutputRecords BusyOutputs()
{
    OutputRecords outs{};
    for (int i = 0; i < 6; ++i) {
        outs[i].bands = BusyBands();
        const float f = 100.0f * float(i + 1);
        outs[i].crossover.values = {float(1 + i % 3), f * 4, 8, float(5 + i % 3), f, 8};
        outs[i].name = "Out " + std::to_string(i + 1);
        outs[i].shown = true;
        outs[i].locked = true;
    }
    return outs;
}

std::unique_ptr<ResponseDiagram> Make(DiagramKind kind)
{
    switch (kind) {
    case DiagramKind::EqMagnitude:
    case DiagramKind::EqPhase: {
        std::unique_ptr<EqDiagram> d;
        if (kind == DiagramKind::EqMagnitude)
            d = std::make_unique<CPEQ_Frequenz_Diagramm>();
        else
            d = std::make_unique<CPEQ_Phase_Diagramm>();
        d->setBands(BusyBands());
        return d;
    }
    case DiagramKind::CrossoverMagnitude:
    case DiagramKind::CrossoverPhase: {
        std::unique_ptr<CrossoverDiagram> d;
        if (kind == DiagramKind::CrossoverMagnitude)
            d = std::make_unique<CCross_Magnitude_Diagramm>();
        else
            d = std::make_unique<CCross_Phase_Diagramm>();
        d->setOutputs(BusyOutputs());
        return d;
    }
    case DiagramKind::Dynamics: {
        auto d = std::make_unique<CDynamik_Diagramm>();
        d->setDynamics({-10, 5, 4, 2, 2});
        return d;
    }
    }
    return nullptr;
}

// New data, as one step of a drag brings.
void Nudge(ResponseDiagram &d, int step)
{
    const float delta = float(step % 2 ? 1 : -1);
    if (auto *eq = dynamic_cast<EqDiagram *>(&d)) {
        BandRecords b = eq->bands();
        b[0].frequency += delta;
        eq->setBands(b);
    } else if (auto *xo = dynamic_cast<CrossoverDiagram *>(&d)) {
        OutputRecords o = xo->outputs();
        o[0].crossover.values[1] += delta;
        xo->setOutputs(o);
    } else if (auto *dyn = dynamic_cast<CDynamik_Diagramm *>(&d)) {
        DynamicsRecord r = dyn->dynamics();
        r.threshold += delta;
        dyn->setDynamics(r);
    }
    d.redraw();
}

void Cold(benchmark::State &state, DiagramKind kind)
{
    auto d = Make(kind);
    int i = 0;
    for (auto _ : state) {
        Nudge(*d, i);
        QImage image = d->render(++i % 2 ? kSize : kOtherSize);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void Warm(benchmark::State &state, DiagramKind kind)
{
    auto d = Make(kind);
    d->render(kSize);
    int i = 0;
    for (auto _ : state) {
        Nudge(*d, ++i);
        QImage image = d->render(kSize);
        benchmark::DoNotOptimize(image.constBits());
    }
}

// The same with measurements: the equalizer's channel, or all six outputs,
// 1600 points with phase; what the overlay adds to a drag's repaint.
std::shared_ptr<const zar40::measurement::Measurement> Measured()
{
    auto m = std::make_shared<zar40::measurement::Measurement>();
    for (float f : dsp::logSpacedFrequencies(15.0f, 24000.0f, 1600)) {
        m->frequencyHz.push_back(f);
        m->magnitudeDb.push_back(85.0 + 3.0 * std::sin(std::log(double(f)) * 3.0));
        m->phaseDeg.push_back(std::remainder(-0.01 * double(f), 360.0));
    }
    return m;
}

void WarmMeasured(benchmark::State &state, DiagramKind kind)
{
    auto d = Make(kind);
    const auto m = Measured();
    if (auto *eq = dynamic_cast<EqDiagram *>(d.get()))
        eq->setMeasurement(m, QStringLiteral("m.frd"));
    else if (auto *xo = dynamic_cast<CrossoverDiagram *>(d.get()))
        xo->setMeasurements({m, m, m, m, m, m});
    d->render(kSize);
    int i = 0;
    for (auto _ : state) {
        Nudge(*d, ++i);
        QImage image = d->render(kSize);
        benchmark::DoNotOptimize(image.constBits());
    }
}

} // namespace

BENCHMARK_CAPTURE(Cold, eq_magnitude, DiagramKind::EqMagnitude)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Warm, eq_magnitude, DiagramKind::EqMagnitude)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Cold, eq_phase, DiagramKind::EqPhase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Warm, eq_phase, DiagramKind::EqPhase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Cold, xover_magnitude, DiagramKind::CrossoverMagnitude)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Warm, xover_magnitude, DiagramKind::CrossoverMagnitude)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Cold, xover_phase, DiagramKind::CrossoverPhase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Warm, xover_phase, DiagramKind::CrossoverPhase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WarmMeasured, eq_magnitude, DiagramKind::EqMagnitude)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WarmMeasured, xover_magnitude, DiagramKind::CrossoverMagnitude)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WarmMeasured, xover_phase, DiagramKind::CrossoverPhase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Cold, dynamics, DiagramKind::Dynamics)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Warm, dynamics, DiagramKind::Dynamics)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
