#include "HostApp.h"

#include "EventLog.h"
#include "host_strings.h"
#include "MyDocManager.h"
#include "SingleInstance.h"
#include "user_prompts.h"
#include "window_tree.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

CHostApp::CHostApp(const HostOptions &options)
    : CHostApp(options, Environment())
{
}

CHostApp::CHostApp(const HostOptions &options, Environment environment)
    : m_options(options)
    , m_env(std::move(environment))
{
}

CHostApp::~CHostApp()
{
    ExitInstance();
}

bool CHostApp::fail(const QString &text, bool showBox)
{
    if (showBox)
        UserPrompts::current().exclamation(text);
    VRN_LOG_ERROR("%s", text.toUtf8().constData());
    return false;
}

bool CHostApp::InitInstance()
{
    const StringTable &s = hostStrings();

    // 1. The log before anything else can go wrong.
    CEventLog &log = CEventLog::instance();
    log.setLevel(1);
    if (m_options.logLevel != 1)
        log.setLevel(m_options.logLevel);
    if (m_env.logPath.isEmpty())
        log.open(m_env.logFileName);
    else
        log.openPath(m_env.logPath);

    // 2. The operating system.
    const OsCheck os = m_env.checkOs ? m_env.checkOs() : checkOperatingSystem();
    if (!os.accepted)
        return fail(wrongOsMessage(s, os.description), true);

    // 3./4. Sockets and control hosting need no start-up here.

    // 5. One instance per user.
    m_instance = std::make_unique<SingleInstance>(m_env.instanceName);
    if (!m_instance->acquire()) {
        m_instance.reset();
        return fail(s.load(HostString::SecondInstance), true);
    }

    // 6. Profile: INI files in the user's configuration folder.
    QSettings::setDefaultFormat(QSettings::IniFormat);

    // 7.-9. Plug-ins.
    PluginButtonTable &buttons = pluginButtons();
    buttons.clear();
    m_docManager = std::make_unique<CMyDocManager>();
    const QString folder = m_options.pluginDir.isEmpty() ? PluginSet::defaultFolder() : m_options.pluginDir;
    const QStringList accepted = PluginSet::scan(folder);
    if (!accepted.isEmpty())
        m_plugins.load(accepted);
    m_plugins.registerTemplates(*m_docManager, buttons);

    // Close requests can come while the splash is up; they are acted on
    // once the frame is running.
    connect(m_instance.get(), &SingleInstance::closeRequested, this, [this](ControlRequest r) {
        m_pendingClose = r;
        QMetaObject::invokeMethod(this, &CHostApp::actOnCloseRequest, Qt::QueuedConnection);
    });

    // 10. The main frame.
    const SplashTimings timings =
        (m_options.noSplash || !m_env.useSplashTimings) ? SplashTimings::none() : SplashTimings();
    m_mainFrame = std::make_unique<CMainFrame>(m_docManager.get(), buttons, timings);
    {
        QSettings profile;
        CanSettings can = can_settings::load(profile);
        can_settings::apply(m_options.arguments, can, nullptr); // checked when the options were parsed
        m_mainFrame->setCanSettings(can);
    }
    if (!m_mainFrame->create()) {
        m_mainFrame.reset();
        return fail(QStringLiteral("Couldn't load Mainframe!"), false);
    }
    connect(m_mainFrame.get(), &CMainFrame::closed, this, &CHostApp::finished);

    // 11. No document opens by itself; named files do.
    for (const QString &file : std::as_const(m_options.files)) {
        if (!m_docManager->openDocumentFile(file))
            return fail(QStringLiteral("Couldn't dispatch commands specified on the command line!"), false);
    }

    // 12.
    // Without a window manager "maximized" means nothing: fill the screen.
    if (QScreen *screen = QGuiApplication::primaryScreen())
        m_mainFrame->setGeometry(screen->availableGeometry());
    m_mainFrame->showMaximized();
    m_mainFrame->update();
    m_running = true;
    if (m_pendingClose)
        QMetaObject::invokeMethod(this, &CHostApp::actOnCloseRequest, Qt::QueuedConnection);
    return true;
}

void CHostApp::actOnCloseRequest()
{
    if (!m_running || !m_mainFrame || !m_pendingClose)
        return;
    const ControlRequest r = *m_pendingClose;
    m_pendingClose.reset();
    if (r.closesWithoutQuestion())
        m_mainFrame->closeWithoutQuestion();
    else
        m_mainFrame->close();
}

int CHostApp::ExitInstance()
{
    m_running = false;
    // The frame holds the plug-ins' windows: it goes first.
    if (m_mainFrame) {
        if (WindowTree::mainWindow() == m_mainFrame.get())
            WindowTree::setMainWindow(nullptr);
        m_mainFrame.reset();
    }
    // Templates (the plug-ins' code) go while their libraries are loaded.
    m_docManager.reset();
    m_plugins.unloadAll();
    if (m_instance) {
        m_instance->release();
        m_instance.reset();
    }
    return 0;
}
