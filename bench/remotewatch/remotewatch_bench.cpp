// How much of one core the editor spends while RemoteWatch polls levels,
// pots and mute state once a second. Usage:
//   bench-remotewatch [SECONDS]      (default 60)
// The simulator runs as its own process and is not counted.
#include "doc_view.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "ScriptedUserPrompts.h"
#include "SimProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QLibrary>
#include <QMdiArea>
#include <QPushButton>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int fail(const char *why)
{
    std::fprintf(stderr, "bench-remotewatch: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    QApplication app(argc, argv);
    ScriptedUserPrompts prompts;
    prompts.setFailureHandler([](const QString &why) { std::fprintf(stderr, "prompt: %s\n", qPrintable(why)); });
    ScopedUserPrompts scope(prompts);

    vrntest::SimProcess sim;
    if (!sim.startOnPty()) return fail("zar40-sim did not start");
    QLibrary library(QStringLiteral(PLUGIN_FILE));
    if (!library.load()) return fail("the plug-in does not load");
    auto entry = reinterpret_cast<CMyMultiDocTemplate *(*)()>(library.resolve("DLLDocTemplate"));
    QMdiArea area;
    {
        CMyDocManager manager;
        manager.setMdiArea(&area);
        manager.addDocTemplate(entry());
        if (!manager.OpenNewDocument(1)) return fail("no editor");
        CView *view = manager.documents().constFirst()->views().constFirst();
        view->setProperty("waitTimeScale", 0.05);
        view->findChild<QComboBox *>("portCombo")->setEditText(QString::fromStdString(sim.link()));
        prompts.answerNo(); // "Copy Preset to ZAR?": read the unit
        view->findChild<QPushButton *>("connectButton")->click();
        QDialog *select = nullptr;
        if (!waitFor([&] { return (select = view->findChild<QDialog *>("CSelectPreset")) != nullptr; }, 20000))
            return fail("no slot question");
        select->accept();
        auto *watch = view->findChild<QCheckBox *>("remoteWatch");
        if (!waitFor([&] { return prompts.pendingAnswers() == 0 && watch->isEnabled(); }, 20000))
            return fail("not connected");
        // Let the preset read finish before measuring.
        if (!waitFor([&] { return view->findChild<QWidget *>("ZARWaitWindow") == nullptr
                                  || !view->findChild<QWidget *>("ZARWaitWindow")->isVisible(); }, 60000))
            return fail("preset read did not end");
        waitFor([] { return false; }, 500);
        watch->setChecked(true);
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        // The event loop itself, as in the program: nothing here may spin.
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        const int updates = view->property("remoteWatchCycles").toInt();
        const double cpu = cpuSeconds() - cpu0;
        const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
        std::printf("RemoteWatch over %.1f s: %.3f s CPU = %.2f %% of one core, %d polling cycles\n", elapsed, cpu,
                    100.0 * cpu / elapsed, updates);
        watch->setChecked(false);
        prompts.answerNo(); // "Store Preset?"
        view->findChild<QPushButton *>("connectButton")->click();
        waitFor([&] { return view->property("connectionState").toString() == QLatin1String("Idle"); }, 10000);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qDeleteAll(area.subWindowList());
    return 0;
}
