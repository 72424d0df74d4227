#pragma once

#include "HostOptions.h"
#include "MainFrame.h"
#include "OsDescription.h"
#include "PluginLoader.h"
#include "SingleInstance.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class CMyDocManager;
class SingleInstance;

// The application object: start-up and shut-down in their fixed order.
class CHostApp : public QObject
{
    Q_OBJECT
public:
    // What start-up takes from its surroundings; tests replace parts.
    struct Environment
    {
        std::function<OsCheck()> checkOs = checkOperatingSystem;
        QString instanceName = QStringLiteral("VRN-Control");
        QString logFileName = QStringLiteral("VRNControl.log");
        QString logPath;            // when set, exactly this file
        bool useSplashTimings = true; // false: none, whatever the options say
    };

    explicit CHostApp(const HostOptions &options);
    CHostApp(const HostOptions &options, Environment environment);
    ~CHostApp() override;

    // false: the program ends (the reason was shown and logged).
    bool InitInstance();
    int ExitInstance();

    CMyDocManager *docManager() const { return docManager_.get(); }
    CMainFrame *mainFrame() const { return mainFrame_.get(); }
    const PluginSet &plugins() const { return plugins_; }
    int pluginCount() const { return plugins_.count(); }
    SingleInstance *instance() const { return instance_.get(); }

    static constexpr int RecentFileCount = 4;

signals:
    // The main frame closed: the event loop should end.
    void finished();

private:
    bool fail(const QString &text, bool showBox);
    void actOnCloseRequest();

    HostOptions options_;
    Environment env_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<CMyDocManager> docManager_;
    PluginSet plugins_;
    std::unique_ptr<CMainFrame> mainFrame_;
    std::optional<ControlRequest> pendingClose_;
    bool running_ = false;
};
