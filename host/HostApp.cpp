#include "HostApp.h"

#include "EventLog.h"
#include "HostStrings.h"
#include "MyDocManager.h"
#include "SingleInstance.h"
#include "UserPrompts.h"
#include "WindowTree.h"

#include <QCoreApplication>
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

    // 10. The main frame.
    const SplashTimings timings =
        (options_.noSplash || !env_.useSplashTimings) ? SplashTimings::none() : SplashTimings();
    mainFrame_ = std::make_unique<CMainFrame>(docManager_.get(), buttons, timings);
    if (!mainFrame_->create()) {
        mainFrame_.reset();
        return fail(QStringLiteral("Couldn't load Mainframe!"), false);
    }
    connect(mainFrame_.get(), &CMainFrame::closed, this, &CHostApp::finished);
    connect(instance_.get(), &SingleInstance::closeRequested, mainFrame_.get(), [this](ControlRequest r) {
        if (!mainFrame_)
            return;
        if (r.closesWithoutQuestion())
            mainFrame_->closeWithoutQuestion();
        else
            mainFrame_->close();
    });

    // 11. No document opens by itself; named files do.
    for (const QString &file : std::as_const(options_.files)) {
        if (!docManager_->openDocumentFile(file))
            return fail(QStringLiteral("Couldn't dispatch commands specified on the command line!"), false);
    }

    // 12.
    mainFrame_->showMaximized();
    mainFrame_->update();
    return true;
}

int CHostApp::ExitInstance()
{
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
