#include "HostApp.h"

#include "EventLog.h"
#include "HostStrings.h"
#include "MyDocManager.h"
#include "SingleInstance.h"
#include "UserPrompts.h"
#include "WindowTree.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

CHostApp::CHostApp(const HostOptions &options)
    : CHostApp(options, Environment())
{
}

CHostApp::CHostApp(const HostOptions &options, Environment environment)
    : options_(options)
    , env_(std::move(environment))
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
    if (options_.logLevel != 1)
        log.setLevel(options_.logLevel);
    if (env_.logPath.isEmpty())
        log.open(env_.logFileName);
    else
        log.openPath(env_.logPath);

    // 2. The operating system.
    const OsCheck os = env_.checkOs ? env_.checkOs() : checkOperatingSystem();
    if (!os.accepted)
        return fail(wrongOsMessage(s, os.description), true);

    // 3./4. Sockets and control hosting need no start-up here.

    // 5. One instance per user.
    instance_ = std::make_unique<SingleInstance>(env_.instanceName);
    if (!instance_->acquire()) {
        instance_.reset();
        return fail(s.load(HostString::SecondInstance), true);
    }

    // 6. Profile: INI files in the user's configuration folder.
    QSettings::setDefaultFormat(QSettings::IniFormat);

    // 7.-9. Plug-ins.
    PluginButtonTable &buttons = pluginButtons();
    buttons.clear();
    docManager_ = std::make_unique<CMyDocManager>();
    const QString folder = options_.pluginDir.isEmpty() ? PluginSet::defaultFolder() : options_.pluginDir;
    const QStringList accepted = PluginSet::scan(folder);
    if (!accepted.isEmpty())
        plugins_.load(accepted);
    plugins_.registerTemplates(*docManager_, buttons);

    // Close requests can come while the splash is up; they are acted on
    // once the frame is running.
    connect(instance_.get(), &SingleInstance::closeRequested, this, [this](ControlRequest r) {
        pendingClose_ = r;
        QMetaObject::invokeMethod(this, &CHostApp::actOnCloseRequest, Qt::QueuedConnection);
    });

    // 10. The main frame.
    const SplashTimings timings =
        (options_.noSplash || !env_.useSplashTimings) ? SplashTimings::none() : SplashTimings();
    mainFrame_ = std::make_unique<CMainFrame>(docManager_.get(), buttons, timings);
    {
        QSettings profile;
        CanSettings can = can_settings::load(profile);
        can_settings::apply(options_.arguments, can, nullptr); // checked when the options were parsed
        mainFrame_->setCanSettings(can);
    }
    if (!mainFrame_->create()) {
        mainFrame_.reset();
        return fail(QStringLiteral("Couldn't load Mainframe!"), false);
    }
    connect(mainFrame_.get(), &CMainFrame::closed, this, &CHostApp::finished);

    // 11. No document opens by itself; named files do.
    for (const QString &file : std::as_const(options_.files)) {
        if (!docManager_->openDocumentFile(file))
            return fail(QStringLiteral("Couldn't dispatch commands specified on the command line!"), false);
    }

    // 12.
    // Without a window manager "maximized" means nothing: fill the screen.
    if (QScreen *screen = QGuiApplication::primaryScreen())
        mainFrame_->setGeometry(screen->availableGeometry());
    mainFrame_->showMaximized();
    mainFrame_->update();
    running_ = true;
    if (pendingClose_)
        QMetaObject::invokeMethod(this, &CHostApp::actOnCloseRequest, Qt::QueuedConnection);
    return true;
}

void CHostApp::actOnCloseRequest()
{
    if (!running_ || !mainFrame_ || !pendingClose_)
        return;
    const ControlRequest r = *pendingClose_;
    pendingClose_.reset();
    if (r.closesWithoutQuestion())
        mainFrame_->closeWithoutQuestion();
    else
        mainFrame_->close();
}

int CHostApp::ExitInstance()
{
    running_ = false;
    // The frame holds the plug-ins' windows: it goes first.
    if (mainFrame_) {
        if (WindowTree::mainWindow() == mainFrame_.get())
            WindowTree::setMainWindow(nullptr);
        mainFrame_.reset();
    }
    // Templates (the plug-ins' code) go while their libraries are loaded.
    docManager_.reset();
    plugins_.unloadAll();
    if (instance_) {
        instance_->release();
        instance_.reset();
    }
    return 0;
}
