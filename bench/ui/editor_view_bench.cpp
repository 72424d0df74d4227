// From an edit to the repainted editor, at 1600 x 1000 on the offscreen
// platform, through the plug-in as the host loads it:
//   fader_commit - a fader step (key or wheel): record, every control, the
//                  undo step, then the repaint of what changed;
//   fader_drag   - one position of a fader drag (displays only);
//   marker_drag  - one mouse move of an equalizer marker drag in the
//                  magnitude diagram, the diagram repainted.
// Each runs with the page the edit belongs to in view; the fader cases
// also with each diagram page in view, so that a diagram's repaint is in
// the figure when the page shows one.
#include "doc_view.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "ZARDocument.h"

#include "zar40/diagrams/diagram_model.h"

#include <QApplication>
#include <QLibrary>
#include <QMdiArea>
#include <QMouseEvent>
#include <QSlider>
#include <QTabWidget>

#include <benchmark/benchmark.h>

#include <memory>

using namespace zar40::diagrams;

namespace {

struct Editor {
    QLibrary library{PLUGIN_FILE};
    QMdiArea area;
    std::unique_ptr<CMyDocManager> manager;
    CView *view = nullptr;

    bool open()
    {
        if (!library.load()) return false;
        auto entry = reinterpret_cast<DLLDocTemplateFunction>(library.resolve("DLLDocTemplate"));
        if (!entry) return false;
        manager = std::make_unique<CMyDocManager>();
        manager->setMdiArea(&area);
        manager->addDocTemplate(entry());
        if (!manager->OpenNewDocument(1)) return false;
        auto *doc = static_cast<CZARDocument *>(manager->documents().constFirst());
        view = doc->views().constFirst();
        busy(doc->session().presets().currentRecord());
        doc->updateAllViews(nullptr);
        area.resize(1600, 1000);
        area.show();
        manager->documents().constFirst()->frames().constFirst()->showMaximized();
        settle();
        return true;
    }
    // Every band of input A and the outputs on, every crossover side of
    // eighth order, all outputs fed from input A: the diagrams' most work.
    static void busy(zar40::preset::PresetRecord &r)
    {
        const zar40::preset::EqBand bands[] = {
            {1, 1000, 1.0f, 0.0f}, {2, 400, 2.0f, -4.0f}, {4, 150, 0.7f, 3.0f}, {5, 8000, 0.7f, -3.0f},
            {1, 3000, 4.0f, 5.0f}};
        for (int b = 0; b < 5; ++b) {
            r.inputs[0].PEQ[static_cast<std::size_t>(b)] = bands[b];
            for (auto &out : r.outputs) out.PEQ[static_cast<std::size_t>(b)] = bands[b];
        }
        for (std::size_t o = 0; o < r.outputs.size(); ++o) {
            const auto f = static_cast<std::uint32_t>(100 * (o + 1));
            r.outputs[o].ROUTE = 0;
            r.outputs[o].highCut = {static_cast<std::uint32_t>(1 + o % 3), f * 4, 8};
            r.outputs[o].lowCut = {static_cast<std::uint32_t>(5 + o % 3), f, 8};
            r.outputs[o].DYNAMIC = {2, 2.0f, -10.0f, 5.0f, 4.0f, 10.0f, 500.0f};
        }
    }
    // Group and page as a click on the signal-flow picture would leave them.
    void show(int group, int page)
    {
        view->setProperty("editorGroup", group);
        view->findChild<QTabWidget *>("mainTabs")->setCurrentIndex(page);
        settle();
    }
    static void settle()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
};

Editor *g_editor = nullptr;

void FaderStep(benchmark::State &state, int page, bool drag)
{
    Editor &e = *g_editor;
    // The faders' group stays below whatever page is shown.
    e.show(0, 0);
    if (page != 0) {
        // Diagram pages are reachable from the groups that own them; the
        // fader case then edits the output fader seen beside the page.
        e.show(page == 3 ? 4 : 2, page);
    }
    QSlider *slider = e.view->findChild<QWidget *>("fader3")->findChild<QSlider *>();
    slider->setSliderDown(drag);
    int i = 0;
    for (auto _ : state) {
        slider->setValue(500 + (++i % 2 ? 7 : -7));
        Editor::settle();
    }
    slider->setSliderDown(false);
}

void MarkerDrag(benchmark::State &state)
{
    Editor &e = *g_editor;
    e.show(2, 1);
    QWidget *diagram = e.view->findChild<QWidget *>("eqMagnitudeDiagram");
    const Mapping map(DiagramKind::EqMagnitude,
                      plotRectFor(DiagramKind::EqMagnitude, diagram->width(), diagram->height()),
                      windowLimits(DiagramKind::EqMagnitude));
    // Band 1 of input A (a peak filter at 1 kHz, 0 dB) picked up.
    const QPoint at(map.frequencyToX(1000), map.valueToY(0));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), diagram->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(diagram, &press);
    int i = 0;
    for (auto _ : state) {
        const QPointF to(at.x() + (++i % 2 ? 40 : -40), at.y() - 20);
        QMouseEvent move(QEvent::MouseMove, to, diagram->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(diagram, &move);
        Editor::settle();
    }
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), diagram->mapToGlobal(QPointF(at)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(diagram, &release);
    Editor::settle();
}

} // namespace

BENCHMARK_CAPTURE(FaderStep, commit_signalflow, 0, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FaderStep, commit_magnitude, 1, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FaderStep, commit_phase, 2, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FaderStep, commit_dynamik, 3, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FaderStep, drag_signalflow, 0, true)->Unit(benchmark::kMillisecond);
BENCHMARK(MarkerDrag)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    int rc = 0;
    {
        Editor editor;
        if (!editor.open()) {
            std::fprintf(stderr, "bench-editor-view: the plug-in did not open an editor\n");
            return 1;
        }
        g_editor = &editor;
        benchmark::RunSpecifiedBenchmarks();
        g_editor = nullptr;
        editor.manager.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    benchmark::Shutdown();
    return rc;
}
