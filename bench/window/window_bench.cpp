// Speed in the window a user runs: the program's own main window on an X
// display (never the offscreen platform), both plug-ins loaded from the
// plug-in folder, an editor connected to zar40-sim over a pseudo-terminal.
// Each row runs in a process of its own, because a browser window, once
// opened, may change how the whole process draws:
//   editor only                  - the editor is the first window opened;
//   browser window opened before - a NOV window is opened and its start
//                                  page loaded, then the editor in front.
// Each row reports start-up to the shown main window (--no-splash),
// resident memory with the editor connected, the process's CPU share over
// the measured seconds with RemoteWatch on (the browser engine's helper
// processes counted apart), and a fader and an equalizer marker dragged
// through real pointer events (XTest) with RemoteWatch still on: CPU per
// mouse move and the time from the event to the repainted frame on the
// display (median, 95th percentile).
//
//   bench-window [--seconds N] [--moves N] [--startups N] [--startup-only]
//
// With --startup-only only the start-ups run (wall and CPU time).
//
// Needs an X display: scripts/bench-window runs it on a private Xvfb when
// there is none.
#include "doc_view.h"
#include "graphics_setup.h"
#include "HostApp.h"
#include "HostOptions.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "ScriptedUserPrompts.h"
#include "SimProcess.h"

#include "zar40/ui/diagrams/ResponseDiagram.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <xcb/xcb.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The process's user and system CPU time apart.
std::pair<double, double> userAndSystemSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return {static_cast<double>(u.ru_utime.tv_sec) + static_cast<double>(u.ru_utime.tv_usec) / 1e6,
            static_cast<double>(u.ru_stime.tv_sec) + static_cast<double>(u.ru_stime.tv_usec) / 1e6};
}

double cpuSeconds()
{
    const auto [user, system] = userAndSystemSeconds();
    return user + system;
}

// The calling thread's CPU time, user and system.
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double residentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0.0;
}

// CPU seconds of the browser engine's helper processes below this one,
// which getrusage does not count while they run.
double descendantCpuSeconds()
{
    std::map<int, int> parent;
    std::map<int, double> cpu;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        if (!isPid) continue;
        // The simulator is a child too, but it stands for the unit.
        std::ifstream comm("/proc/" + entry.toStdString() + "/comm");
        std::string name;
        std::getline(comm, name);
        const bool engine = name.rfind("QtWebEngine", 0) == 0;
        std::ifstream stat("/proc/" + entry.toStdString() + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(text.substr(close + 2));
        std::vector<std::string> f{std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>()};
        if (f.size() < 13) continue;
        // Fields after the name: state, ppid ... utime (12th), stime (13th).
        parent[pid] = std::stoi(f[1]);
        if (engine) cpu[pid] = (std::stod(f[11]) + std::stod(f[12])) / tick;
    }
    double sum = 0.0;
    const int self = static_cast<int>(getpid());
    for (const auto &[pid, seconds] : cpu) {
        for (int p = parent[pid]; p > 1; p = parent.count(p) ? parent[p] : 0)
            if (p == self) {
                sum += seconds;
                break;
            }
    }
    return sum;
}

struct Spread {
    double median = 0, p95 = 0;
};

Spread spreadOf(std::vector<double> v)
{
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const auto at = [&v](double q) { return v[std::min(v.size() - 1, static_cast<std::size_t>(q * (v.size() - 1) + 0.5))]; };
    return {at(0.5), at(0.95)};
}

// Knows when the main window has put a new frame on the display: the end
// of the window's update request (painting and flushing, by raster or by
// GL composition), during a drag followed by a round trip so that the
// server has drawn it. Also counts frames and the time spent making them.
class BenchApp : public QApplication
{
public:
    using QApplication::QApplication;

    QObject *frameWindow = nullptr;  // the main frame's QWidget
    QWidget *moveTarget = nullptr;   // whose repaint is awaited
    qint64 targetPaintNs = 0;        // when it was last painted
    qint64 frameEndNs = 0;           // the end of the last frame
    std::function<void()> onFrame;   // after each frame
    long frames = 0;
    qint64 frameNs = 0;
    // With VRN_BENCH_VERBOSE: which widgets a drag paints, and how often.
    bool tallyPaints = qEnvironmentVariableIsSet("VRN_BENCH_VERBOSE");
    std::map<QString, int> paintsDuringDrag;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && moveTarget) {
            if (receiver == moveTarget) targetPaintNs = monotonicNs();
            if (tallyPaints)
                ++paintsDuringDrag[QStringLiteral("%1 %2 %3").arg(QLatin1String(receiver->metaObject()->className()),
                                                                 receiver->objectName(),
                                                                 receiver->property("text").toString().left(12))];
        }
        const bool frame = event->type() == QEvent::UpdateRequest && frameWindow &&
                           (receiver == frameWindow || receiver == static_cast<QWidget *>(frameWindow)->windowHandle());
        if (!frame || m_depth > 0) return QApplication::notify(receiver, event);
        const qint64 begin = monotonicNs();
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        // Only a drag waits for the server; elsewhere the round trip would
        // be the benchmark's own cost.
        if (moveTarget) roundTrip();
        frameEndNs = monotonicNs();
        frameNs += frameEndNs - begin;
        ++frames;
        if (onFrame) onFrame();
        return result;
    }

private:
    static void roundTrip()
    {
        auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11 || !x11->connection()) return;
        xcb_connection_t *c = x11->connection();
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    int m_depth = 0;
};

BenchApp *benchApp() { return static_cast<BenchApp *>(qApp); }

// Runs the event loop (never a polling loop: the CPU figures count it)
// until DONE holds after a frame or a check every 50 ms, or MS passed.
bool runUntil(const std::function<bool()> &done, int ms)
{
    if (done()) return true;
    QEventLoop loop;
    const auto quitWhenDone = [&] {
        if (done()) loop.quit();
    };
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, quitWhenDone);
    check.start(50);
    benchApp()->onFrame = quitWhenDone;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    benchApp()->onFrame = nullptr;
    return done();
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The pointer, moved and pressed through the X server as a mouse does.
class Pointer
{
public:
    Pointer() : m_display(XOpenDisplay(nullptr)) {}
    ~Pointer()
    {
        if (m_display) XCloseDisplay(m_display);
    }
    bool usable()
    {
        int event = 0, error = 0, major = 0, minor = 0;
        return m_display && XTestQueryExtension(m_display, &event, &error, &major, &minor);
    }
    void moveTo(QPoint global)
    {
        XTestFakeMotionEvent(m_display, -1, global.x(), global.y(), CurrentTime);
        XFlush(m_display);
    }
    void button(bool down)
    {
        XTestFakeButtonEvent(m_display, 1, down ? True : False, CurrentTime);
        XFlush(m_display);
    }

private:
    Display *m_display;
};

// perf record --control=fifo:CTL -D -1 ... with VRN_BENCH_PERF_CTL=CTL
// profiles the measured stretches alone (RemoteWatch and the drags).
void perfControl(const char *command)
{
    const QByteArray fifo = qgetenv("VRN_BENCH_PERF_CTL");
    if (fifo.isEmpty()) return;
    if (FILE *f = std::fopen(fifo.constData(), "w")) {
        std::fprintf(f, "%s\n", command);
        std::fclose(f);
    }
}

struct DragResult {
    double cpuPerMoveMs = 0;
    Spread latencyMs;
    int moves = 0, missed = 0;
};

// Presses at START (global), moves by STEP MOVES times, turning back every
// LEG moves (default: half way), each move waited for until its frame is
// on the display, then releases.
DragResult drag(Pointer &pointer, QWidget *target, QPoint start, QPoint step, int moves, int leg = 0)
{
    if (leg <= 0) leg = moves / 2;
    BenchApp *app = benchApp();
    pointer.moveTo(start);
    runFor(150);
    pointer.button(true);
    runFor(150);
    app->moveTarget = target;
    std::vector<double> latency;
    DragResult r;
    QPoint at = start;
    perfControl("enable");
    const qint64 dragStartNs = monotonicNs();
    const double cpu0 = cpuSeconds(), mainThread0 = threadCpuSeconds();
    const auto [user0, system0] = userAndSystemSeconds();
    for (int i = 0; i < moves; ++i) {
        at += (i / leg) % 2 == 0 ? step : -step;
        const qint64 sent = monotonicNs();
        pointer.moveTo(at);
        // The frame in which the dragged control was painted anew.
        const bool drawn = runUntil([&] { return app->targetPaintNs > sent && app->frameEndNs > app->targetPaintNs; }, 1000);
        if (drawn)
            latency.push_back(double(app->frameEndNs - sent) / 1e6);
        else
            ++r.missed;
        // A hand moves a mouse at about a hundred reports a second.
        runFor(8);
    }
    const double cpu = cpuSeconds() - cpu0, mainThread = threadCpuSeconds() - mainThread0;
    perfControl("disable");
    const auto [user1, system1] = userAndSystemSeconds();
    app->moveTarget = nullptr;
    pointer.button(false);
    runFor(300);
    r.moves = moves;
    r.cpuPerMoveMs = 1000.0 * cpu / moves;
    r.latencyMs = spreadOf(latency);
    if (qEnvironmentVariableIsSet("VRN_BENCH_VERBOSE")) {
        for (double ms : latency) std::fprintf(stderr, "%.1f ", ms);
        std::fprintf(stderr, "\nCPU per move: main thread %.3f ms, user %.3f ms, system %.3f ms", 1000.0 * mainThread / moves,
                     1000.0 * (user1 - user0) / moves, 1000.0 * (system1 - system0) / moves);
        // For perf record -k CLOCK_MONOTONIC ... and perf report --time START,END.
        std::fprintf(stderr, "\ndrag from %.6f to %.6f s (monotonic)", double(dragStartNs) / 1e9, double(monotonicNs()) / 1e9);
        std::fprintf(stderr, "\npainted during the drag:");
        for (const auto &[widget, count] : app->paintsDuringDrag) std::fprintf(stderr, " %s (%d)", qPrintable(widget), count);
        std::fprintf(stderr, "\n");
        app->paintsDuringDrag.clear();
    }
    return r;
}

// The centre of a slider's handle, as its style places it, at POSITION
// (its current one by default).
QPoint sliderHandle(QSlider *slider, std::optional<int> position = std::nullopt)
{
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.subControls = QStyle::SC_None;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = slider->orientation();
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = position.value_or(slider->sliderPosition());
    opt.sliderValue = slider->value();
    opt.singleStep = slider->singleStep();
    opt.pageStep = slider->pageStep();
    opt.tickPosition = slider->tickPosition();
    opt.tickInterval = slider->tickInterval();
    opt.upsideDown = slider->orientation() == Qt::Horizontal
                         ? (slider->invertedAppearance() != (opt.direction == Qt::RightToLeft))
                         : !slider->invertedAppearance();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
    return slider->mapToGlobal(handle.center());
}

// A point of DIAGRAM where a press picks up a marker, found by pressing
// (with synthetic events that never reach the display) across the plot.
std::optional<QPoint> markerPoint(QWidget *diagram)
{
    auto *d = static_cast<zar40::diagrams::ResponseDiagram *>(diagram);
    const zar40::diagrams::PlotRect plot = d->mappingFor(d->size()).plot();
    for (int y = plot.top + 2; y < plot.bottom - 1; y += 2)
        for (int x = plot.left + 2; x < plot.right - 1; x += 2) {
            const QPointF at(x, y);
            QMouseEvent press(QEvent::MouseButtonPress, at, d->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(d, &press);
            const bool hit = d->dragIndex() != zar40::diagrams::kNoMarker;
            QMouseEvent release(QEvent::MouseButtonRelease, at, d->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QCoreApplication::sendEvent(d, &release);
            if (hit) return QPoint(x, y);
        }
    return std::nullopt;
}

bool onScreen(QWidget *widget, QPoint global)
{
    QWidget *under = QApplication::widgetAt(global);
    return under && (under == widget || widget->isAncestorOf(under));
}

void print(const char *key, double value)
{
    std::printf("RESULT %s %.3f\n", key, value);
    std::fflush(stdout);
}

bool g_isChild = false;
vrntest::SimProcess *g_sim = nullptr;

// A failed row ends at once: the windows it left half made are not torn
// down, the simulator is.
int fail(const char *why)
{
    std::fprintf(stderr, "bench-window: %s\n", why);
    std::fflush(stderr);
    if (g_sim) g_sim->stop();
    if (g_isChild) std::_Exit(1);
    return 1;
}

struct ChildOptions {
    bool browser = false;
    bool startupOnly = false;
    int seconds = 20;
    int moves = 120;
    qint64 startNs = 0;
    QString pluginDir;
};

// The index into the manager's template list (OpenNewDocument counts from 1).
int templateIndex(CMyDocManager *manager, const QString &name)
{
    const auto templates = manager->templates();
    for (int i = 0; i < templates.size(); ++i)
        if (templates[i]->name().contains(name, Qt::CaseInsensitive)) return i;
    return -1;
}

void printDrag(const char *what, const DragResult &r)
{
    const std::string k(what);
    print((k + "_cpu_per_move_ms").c_str(), r.cpuPerMoveMs);
    print((k + "_frame_median_ms").c_str(), r.latencyMs.median);
    print((k + "_frame_p95_ms").c_str(), r.latencyMs.p95);
    print((k + "_missed").c_str(), r.missed);
}

int child(int argc, char **argv, const ChildOptions &o)
{
    GraphicsSetup::beforeApplication();
    BenchApp app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VRN-Control-bench"));
    ScriptedUserPrompts prompts;
    prompts.setFailureHandler([](const QString &why) { std::fprintf(stderr, "prompt: %s\n", qPrintable(why)); });
    ScopedUserPrompts scope(prompts);

    HostOptions options;
    options.noSplash = true;
    options.pluginDir = o.pluginDir;
    CHostApp::Environment env;
    env.instanceName = QStringLiteral("VRN-Control-bench-%1").arg(QCoreApplication::applicationPid());
    env.logPath = QDir::temp().filePath(QStringLiteral("VRN-Control-bench.log"));
    CHostApp host(options, env);
    if (!host.InitInstance()) return fail("the host did not start");
    CMainFrame *frame = host.mainFrame();
    QElapsedTimer guard;
    guard.start();
    while (!(frame->windowHandle() && frame->windowHandle()->isExposed()) && guard.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    print("startup_ms", double(monotonicNs() - o.startNs) / 1e6);
    // Wall time on a shared machine waits for other builds; the process's
    // own CPU time (every thread) does not.
    print("startup_cpu_ms", cpuSeconds() * 1e3);
    if (o.startupOnly) {
        host.ExitInstance();
        return 0;
    }
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return fail("not on an X display");
    Pointer pointer;
    if (!pointer.usable()) return fail("the X display has no XTest extension");
    app.frameWindow = frame;
    const QRect screen = frame->screen()->geometry();
    frame->setGeometry(QRect(screen.topLeft(), QSize(std::min(1600, screen.width()), std::min(1000, screen.height()))));
    runFor(300);

    CMyDocManager *manager = host.docManager();
    const int zar = templateIndex(manager, QStringLiteral("ZAR"));
    if (zar < 0) return fail("no ZAR40 plug-in");
    if (o.browser) {
        const int nov = templateIndex(manager, QStringLiteral("NOV"));
        if (nov < 0) return fail("no NOV plug-in");
        QElapsedTimer opened;
        opened.start();
        if (!manager->OpenNewDocument(nov + 1)) return fail("no NOV window");
        QWidget *page = frame->findChild<QWidget *>(QStringLiteral("htmlCtrl"));
        if (!page) return fail("the NOV window has no browser");
        QEventLoop loop;
        QObject::connect(page, SIGNAL(loadFinished(bool)), &loop, SLOT(quit()));
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        print("browser_open_ms", double(opened.elapsed()));
        runFor(1000);
    }

    if (!manager->OpenNewDocument(zar + 1)) return fail("no editor");
    CView *view = nullptr;
    runUntil(
        [&] {
            for (CDocument *doc : manager->documents())
                if (doc->docTemplate() == manager->templates().at(zar) && !doc->views().isEmpty())
                    view = doc->views().constFirst();
            return view != nullptr;
        },
        5000);
    if (!view) return fail("the editor has no view");
    if (qEnvironmentVariableIsEmpty("VRN_BIN_DIR")) qputenv("VRN_BIN_DIR", BIN_DIR);
    vrntest::SimProcess sim;
    g_sim = &sim;
    try {
        if (!sim.startOnPty()) return fail("zar40-sim did not start");
    } catch (const std::exception &e) {
        return fail(e.what());
    }
    view->setProperty("waitTimeScale", 0.05);
    view->findChild<QComboBox *>(QStringLiteral("portCombo"))->setEditText(QString::fromStdString(sim.link()));
    prompts.answerNo(); // "Copy Preset to ZAR?": read the unit
    view->findChild<QPushButton *>(QStringLiteral("connectButton"))->click();
    QDialog *select = nullptr;
    if (!runUntil([&] { return (select = view->findChild<QDialog *>(QStringLiteral("CSelectPreset"))) != nullptr; },
                  20000))
        return fail("no slot question");
    select->accept();
    auto *watch = view->findChild<QCheckBox *>(QStringLiteral("remoteWatch"));
    if (!runUntil([&] { return prompts.pendingAnswers() == 0 && watch->isEnabled(); }, 20000))
        return fail("not connected");
    if (!runUntil(
            [&] {
                auto *wait = view->findChild<QWidget *>(QStringLiteral("ZARWaitWindow"));
                return !wait || !wait->isVisible();
            },
            60000))
        return fail("the preset read did not end");
    runFor(1000);
    print("rss_mb", residentMb());

    // RemoteWatch as the user turns it on, then the event loop alone.
    watch->click();
    runFor(2000);
    const double cpu0 = cpuSeconds(), helpers0 = descendantCpuSeconds();
    const long frames0 = app.frames;
    const qint64 frameNs0 = app.frameNs;
    QElapsedTimer wall;
    wall.start();
    perfControl("enable");
    runFor(o.seconds * 1000);
    perfControl("disable");
    const double elapsed = double(wall.elapsed()) / 1000.0;
    print("remotewatch_cpu_percent", 100.0 * (cpuSeconds() - cpu0) / elapsed);
    print("remotewatch_helpers_cpu_percent", 100.0 * (descendantCpuSeconds() - helpers0) / elapsed);
    print("remotewatch_frames_per_s", double(app.frames - frames0) / elapsed);
    print("remotewatch_ms_per_frame",
          app.frames > frames0 ? double(app.frameNs - frameNs0) / 1e6 / double(app.frames - frames0) : 0.0);

    // The fader of output 1 in the faders' group.
    view->setProperty("editorGroup", 0);
    view->findChild<QTabWidget *>(QStringLiteral("mainTabs"))->setCurrentIndex(0);
    runFor(500);
    QWidget *fader = view->findChild<QWidget *>(QStringLiteral("fader3"));
    QSlider *slider = fader ? fader->findChild<QSlider *>() : nullptr;
    if (!slider) return fail("no fader");
    const QPoint handle = sliderHandle(slider);
    if (!onScreen(slider, handle)) return fail("the fader is not on the screen");
    // Toward the farther end and back, in steps that keep the handle inside
    // its travel: a move past the end changes nothing and draws nothing. A
    // travel shorter than half the moves is gone over more than once.
    const QPoint toMin = sliderHandle(slider, slider->minimum()) - handle;
    const QPoint toMax = sliderHandle(slider, slider->maximum()) - handle;
    const QPoint room = toMin.manhattanLength() > toMax.manhattanLength() ? toMin : toMax;
    const int step = std::clamp(room.manhattanLength() / (o.moves / 2 + 2), 1, 2);
    const QPoint along(room.x() == 0 ? 0 : (room.x() > 0 ? step : -step), room.y() == 0 ? 0 : (room.y() > 0 ? step : -step));
    const int leg = std::clamp(room.manhattanLength() / step - 1, 1, o.moves / 2);
    printDrag("fader", drag(pointer, slider, handle, along, o.moves, leg));

    // An equalizer marker in the magnitude diagram of the PEQ group.
    view->setProperty("editorGroup", 2);
    view->findChild<QTabWidget *>(QStringLiteral("mainTabs"))->setCurrentIndex(1);
    runFor(500);
    // Band 1 of the channel in view taken out of bypass as the user would:
    // a band in bypass has no marker.
    for (QCheckBox *bypass : view->findChildren<QCheckBox *>())
        if (bypass->isVisible() && bypass->accessibleName().endsWith(QLatin1String("band 1 bypass"), Qt::CaseInsensitive)) {
            if (bypass->isChecked()) bypass->click();
            break;
        }
    runFor(300);
    QWidget *diagram = view->findChild<QWidget *>(QStringLiteral("eqMagnitudeDiagram"));
    if (!diagram || !diagram->inherits("zar40::diagrams::ResponseDiagram")) return fail("no magnitude diagram");
    const std::optional<QPoint> marker = markerPoint(diagram);
    if (!marker) return fail("no marker in the magnitude diagram");
    const QPoint at = diagram->mapToGlobal(*marker);
    if (!onScreen(diagram, at)) return fail("the marker is not on the screen");
    printDrag("marker", drag(pointer, diagram, at, QPoint(3, 0), o.moves));

    watch->click();
    prompts.answerNo(); // "Store Preset?"
    view->findChild<QPushButton *>(QStringLiteral("connectButton"))->click();
    runUntil([&] { return view->property("connectionState").toString() == QLatin1String("Idle"); }, 10000);
    app.frameWindow = nullptr;
    frame->closeWithoutQuestion();
    host.ExitInstance();
    return 0;
}

// ---- The parent: one process per row, a table at the end -----------------------

using Results = std::map<std::string, double>;

bool runChild(const QStringList &args, Results &out)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QTemporaryDir runtime;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    // Nothing here scans for modules; should anything, it stays on this machine.
    env.insert(QStringLiteral("VRN_NOV_BROADCAST"), QStringLiteral("127.0.0.1"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList full = args;
    full << QStringLiteral("--start") << QString::number(monotonicNs());
    p.start(QCoreApplication::applicationFilePath(), full);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return false;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() == 3 && f[0] == "RESULT") out[f[1].toStdString()] = f[2].toDouble();
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    ChildOptions o;
    o.pluginDir = QStringLiteral(PLUGIN_DIR);
    bool isChild = false;
    int startups = 7;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--child") isChild = true;
        else if (a == "--browser") o.browser = true;
        else if (a == "--startup-only") o.startupOnly = true;
        else if (a == "--start" && hasValue) o.startNs = std::atoll(argv[++i]);
        else if (a == "--seconds" && hasValue) o.seconds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--moves" && hasValue) o.moves = std::max(2, std::atoi(argv[++i]));
        else if (a == "--startups" && hasValue) startups = std::max(1, std::atoi(argv[++i]));
        else if (a == "--plugin-dir" && hasValue) o.pluginDir = QString::fromLocal8Bit(argv[++i]);
        else {
            std::fprintf(stderr, "usage: bench-window [--seconds N] [--moves N] [--startups N] [--startup-only] [--plugin-dir DIR]\n");
            return 2;
        }
    }
    if (isChild) {
        g_isChild = true;
        return child(argc, argv, o);
    }

    if (qEnvironmentVariableIsEmpty("DISPLAY")) return fail("no X display (scripts/bench-window starts Xvfb)");
    QCoreApplication app(argc, argv);
    const QStringList common{QStringLiteral("--child"), QStringLiteral("--seconds"), QString::number(o.seconds),
                             QStringLiteral("--moves"), QString::number(o.moves), QStringLiteral("--plugin-dir"),
                             o.pluginDir};
    std::vector<double> startup, startupCpu;
    for (int i = 0; i < startups; ++i) {
        Results r;
        if (!runChild(common + QStringList{QStringLiteral("--startup-only")}, r)) return fail("a start-up run failed");
        startup.push_back(r["startup_ms"]);
        startupCpu.push_back(r["startup_cpu_ms"]);
    }
    const Spread s = spreadOf(startup);
    const Spread cpu = spreadOf(startupCpu);
    std::printf("start-up to shown main window (--no-splash), %d runs: median %.1f ms, p95 %.1f ms; "
                "CPU time median %.1f ms, p95 %.1f ms\n",
                startups, s.median, s.p95, cpu.median, cpu.p95);
    if (o.startupOnly) return 0;

    const char *names[] = {"editor only", "browser window opened before"};
    Results rows[2];
    for (int row = 0; row < 2; ++row) {
        QStringList args = common;
        if (row == 1) args << QStringLiteral("--browser");
        if (!runChild(args, rows[row])) return fail("a row failed");
    }
    std::printf("\n%-30s %9s %12s %11s %12s %13s %16s %13s %16s\n", "row", "RSS MB", "RemoteWatch", "(helpers)",
                "frames/s", "fader CPU/mv", "fader frame ms", "marker CPU/mv", "marker frame ms");
    for (int row = 0; row < 2; ++row) {
        Results &r = rows[row];
        char fader[40], marker[40];
        std::snprintf(fader, sizeof fader, "%.1f / %.1f", r["fader_frame_median_ms"], r["fader_frame_p95_ms"]);
        std::snprintf(marker, sizeof marker, "%.1f / %.1f", r["marker_frame_median_ms"], r["marker_frame_p95_ms"]);
        std::printf("%-30s %9.1f %11.2f%% %10.2f%% %12.1f %10.2f ms %16s %10.2f ms %16s\n", names[row], r["rss_mb"],
                    r["remotewatch_cpu_percent"], r["remotewatch_helpers_cpu_percent"], r["remotewatch_frames_per_s"],
                    r["fader_cpu_per_move_ms"], fader, r["marker_cpu_per_move_ms"], marker);
        if (r["fader_missed"] + r["marker_missed"] > 0)
            std::printf("%-30s %.0f fader and %.0f marker moves drew no frame within 1 s\n", "", r["fader_missed"],
                        r["marker_missed"]);
    }
    std::printf("(RemoteWatch over %d s, %d moves per drag, frame times median / 95th percentile; RSS with the "
                "editor connected%s)\n",
                o.seconds, o.moves, ", in the second row after the browser window");
    return 0;
}
