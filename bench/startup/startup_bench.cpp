// Start-up time of VRN-Control to a shown main window, with both plug-ins
// and without the splash pauses: from the moment the process is started
// (exec included) to the main frame's first exposure on screen.
//
// The program starts itself again as the measured process for each run, so
// that every run pays for loading Qt and the plug-ins afresh.
//
//   bench-startup [runs] [plugin folder]
//
// Runs on the platform of QT_QPA_PLATFORM (offscreen when unset and there
// is no display).

#include "graphics_setup.h"
#include "HostApp.h"
#include "HostOptions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The measured process: start the host, wait for the frame to be exposed,
// print the time since the parent's start stamp, end without the question.
int child(int argc, char *argv[], const QString &pluginDir, qint64 startNs)
{
    // As the program itself draws.
    GraphicsSetup::beforeApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VRN-Control-bench"));
    HostOptions options;
    options.noSplash = true;
    options.pluginDir = pluginDir;
    CHostApp::Environment env;
    env.instanceName = QStringLiteral("VRN-Control-bench-%1").arg(QCoreApplication::applicationPid());
    env.logPath = QDir::temp().filePath(QStringLiteral("VRN-Control-bench.log"));
    CHostApp host(options, env);
    if (!host.InitInstance())
        return 2;
    QWindow *window = host.mainFrame()->windowHandle();
    QElapsedTimer guard;
    guard.start();
    while (!(window && window->isExposed()) && guard.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        window = host.mainFrame()->windowHandle();
    }
    const qint64 shownNs = monotonicNs();
    std::printf("%lld %d\n", (long long)(shownNs - startNs), host.mainFrame()->pluginButtonCount());
    std::fflush(stdout);
    host.ExitInstance();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 4 && QByteArray(argv[1]) == "--child")
        return child(argc, argv, QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong());

    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 11;
    const QString pluginDir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(PLUGIN_DIR);
    QCoreApplication app(argc, argv);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains("QT_QPA_PLATFORM") && !env.contains("DISPLAY") && !env.contains("WAYLAND_DISPLAY"))
        env.insert("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    env.insert("XDG_RUNTIME_DIR", runtime.path());

    std::vector<double> ms;
    int buttons = -1;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 start = monotonicNs();
        p.start(QCoreApplication::applicationFilePath(), {"--child", pluginDir, QString::number(start)});
        if (!p.waitForFinished(30000) || p.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed (exit %d)\n", i + 1, p.exitCode());
            return 1;
        }
        const QList<QByteArray> out = p.readAllStandardOutput().trimmed().split(' ');
        ms.push_back(out.value(0).toLongLong() / 1e6);
        buttons = out.value(1).toInt();
        std::printf("run %2d: %7.1f ms\n", i + 1, ms.back());
    }
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.size() % 2 ? sorted[sorted.size() / 2]
                                            : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
    std::printf("start-up to shown main window (--no-splash, %d plug-in buttons, platform %s): median %.1f ms of %d runs "
                "(min %.1f, max %.1f)\n",
                buttons, qPrintable(env.value("QT_QPA_PLATFORM", "default")), median, runs, sorted.front(),
                sorted.back());
    return 0;
}
