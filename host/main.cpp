#include "graphics_setup.h"
#include "HostApp.h"
#include "HostOptions.h"
#include "SingleInstance.h"

#include <QApplication>

#include <cstdio>

namespace {

void describeApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("VRN-Control"));
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.5.0"));
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const HostOptions options = parseHostOptions(arguments);
    if (options.exit) {
        std::fputs(qPrintable(options.message), options.exitCode ? stderr : stdout);
        return options.exitCode;
    }
    if (options.closeRunning) {
        // No window of its own: works without a display.
        QCoreApplication app(argc, argv);
        describeApplication();
        const int result = SingleInstance::sendCloseRequest();
        if (result == 1)
            std::fputs("VRN-Control is not running.\n", stderr);
        else if (result == 2)
            std::fputs("The running VRN-Control did not close.\n", stderr);
        return result;
    }

    GraphicsSetup::beforeApplication();
    QApplication app(argc, argv);
    describeApplication();
    QApplication::setApplicationDisplayName(QStringLiteral("VRN-Control"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/host/vrn-control.svg")));

    CHostApp host(options);
    QObject::connect(&host, &CHostApp::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    if (!host.InitInstance()) {
        host.ExitInstance();
        return 1;
    }
    const int result = app.exec();
    host.ExitInstance();
    return result;
}
