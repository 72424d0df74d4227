#include "graphics_setup.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLoggingCategory>

namespace GraphicsSetup {

namespace {

QtMessageHandler g_nextHandler = nullptr;

// The browser engine, loaded with the plug-ins, asks for a shared OpenGL
// context that the program deliberately does not make; its advice says
// nothing to the user.
void dropSharedContextAdvice(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("Qt WebEngine seems to be initialized from a plugin")))
        return;
    if (g_nextHandler) g_nextHandler(type, context, message);
}

} // namespace

bool webViewsDrawInSoftware()
{
    const QByteArray chosen = qgetenv("QT_QUICK_BACKEND");
    return chosen == "software" || (chosen.isEmpty() && qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND"));
}

void beforeApplication()
{
    // A web view (the NOV pages, the report) drawn with OpenGL turns its
    // whole top-level window into an OpenGL-composited surface, for the
    // rest of the window's life: every repaint of the window, a meter or a
    // fader included, is then composited whole. Where OpenGL is software
    // (no GPU, a virtual X display, a remote desktop) that is a frame of
    // llvmpipe work per repaint, and other windows (file dialogs) can come
    // up black. The pages are static, so the Qt Quick software renderer
    // draws them; the window stays a plain raster window. A user who sets
    // a Qt Quick backend keeps it.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    if (!webViewsDrawInSoftware()) {
        // The browser engine shares its OpenGL contexts with the program's;
        // that must be decided before the application object exists.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        return;
    }
    // Without OpenGL web views no shared context is made at start-up: it
    // would load the OpenGL driver (about 50 MB and a tenth of a second
    // with a software one) in every run.
    g_nextHandler = qInstallMessageHandler(dropSharedContextAdvice);
    // The engine's context report (Qt WebEngine 6.4) reads the shared
    // context without checking that there is one, and crashes.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
}

} // namespace GraphicsSetup
