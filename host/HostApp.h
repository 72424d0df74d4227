#pragma once

#include "HostOptions.h"
#include "MainFrame.h"
#include "os_description.h"
#include "plugin_loader.h"
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

    CMyDocManager *docManager() const { return m_docManager.get(); }
    CMainFrame *mainFrame() const { return m_mainFrame.get(); }
    const PluginSet &plugins() const { return m_plugins; }
    int pluginCount() const { return m_plugins.count(); }
    SingleInstance *instance() const { return m_instance.get(); }

    static constexpr int kRecentFileCount = CMainFrame::kRecentFileCount;

signals:
    // The main frame closed: the event loop should end.
    void finished();

private:
    bool fail(const QString &text, bool showBox);
    void actOnCloseRequest();

    HostOptions m_options;
    Environment m_env;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<CMyDocManager> m_docManager;
    PluginSet m_plugins;
    std::unique_ptr<CMainFrame> m_mainFrame;
    std::optional<ControlRequest> m_pendingClose;
    bool m_running = false;
};
