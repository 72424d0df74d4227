#pragma once

#include "CanSettings.h"
#include "RecentFiles.h"
#include "update/Updater.h"
#include "can/CanWnd.h"

#include <QFont>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class CBitmapButton;
class CMdiTabStrip;
class CMyDocManager;
class CSplashScreenEx;
class PluginButtonTable;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

// The pauses of the start-up window. Tests and --no-splash use none().
struct SplashTimings
{
    int afterShowMs = 500;
    int perPluginMs = 1000;
    int beforeStartMs = 1000;
    int fadeInMs = 800;
    int fadeOutMs = 200;

    static SplashTimings none() { return {0, 0, 0, 0, 0}; }
};

// The host's main window: document area with a tab strip of the open
// documents, menus, the toolbar with one button per plug-in, status bar.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kPluginPlaces = 10;
    static constexpr int kFirstPlaceCommand = 11000;
    static constexpr int kFirstPluginButtonId = 10000;
    static constexpr int kCanWindowId = 13000;
    static constexpr int kMinimumWidth = 900;
    static constexpr int kMinimumHeight = 720;
    static constexpr int kRecentFileCount = 4;

    // Command ids of the menu entries (kept as the actions' data).
    enum Command {
        CheckForUpdates = 32780,
        AppAbout = 57664,
        AppExit = 57665,
        FileNew = 57600,
        FileOpen = 57601,
        FileClose = 57602,
        FilePrintSetup = 57606,
    };

    CMainFrame(CMyDocManager *docManager, const PluginButtonTable &buttons, const SplashTimings &timings,
               QWidget *parent = nullptr);
    ~CMainFrame() override;

    // Builds the frame in its documented order, with the splash window
    // reporting each step. false when a part could not be made.
    bool create();

    QMdiArea *mdiArea() const { return m_mdiArea; }
    CMdiTabStrip *tabStrip() const { return m_tabStrip; }
    QToolBar *toolBar() const { return m_toolBar; }
    // The plug-in button of plug-in i, or null.
    CBitmapButton *pluginButton(int i) const;
    int pluginButtonCount() const;
    // The place-holder action with command id 11000 + i (null once a plug-in took the place).
    QAction *placeAction(int i) const;
    // The progress texts the splash showed, in order.
    QStringList splashTexts() const { return m_splashTexts; }
    QAction *commandAction(int command) const;

    // The recent-file list, newest first, and its menu entries (hidden
    // while unused); choosing entry i opens its file, or removes it from the
    // list with a message when the file is gone.
    QStringList recentFiles() const { return m_recentFiles.files(); }
    QList<QAction *> recentFileActions() const { return m_recentActions; }
    void openRecentFile(int i);

    // What another program's "close 10 10" does: closes without asking.
    void closeWithoutQuestion();

    // The bus the CAN window drives; set before create().
    void setCanSettings(const CanSettings &settings) { m_canSettings = settings; }
    CCanWnd *canWindow() const { return m_canWindow; }

    // The "Check for Updates..." command: the frame is disabled while the
    // check runs. Does nothing while one runs.
    void startUpdateCheck();
    CUpdater *updater() const { return m_updater; }

    const QFont &buttonFont() const { return m_buttonFont; }
    // The update download dialog while an update runs.
    QWidget *downloadDialog() const { return m_downloadDialog; }

signals:
    void checkForUpdatesRequested();
    // The frame accepted its close: the program may end.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QFont m_buttonFont;
    QPointer<QWidget> m_downloadDialog;
    void wait(int ms);
    void showProgress(CSplashScreenEx &splash, const QString &text, int ms);
    bool createToolBar();
    bool createPluginButton(int i);
    bool createStatusBar();
    void createMenus();
    void setupDocumentArea();
    void updateMenusAndTitle();
    void showAbout();
    // Triggers the action of the active document's menus that carries
    // COMMAND as its data; false when there is none.
    bool routeToActiveDocument(int command);
    void printSetup();
    bool closeAllDocumentWindows();
    void rememberFile(const QString &path);
    void updateRecentFileActions();

    CMyDocManager *m_docManager;
    const PluginButtonTable &m_buttons;
    SplashTimings m_timings;
    QMdiArea *m_mdiArea = nullptr;
    CMdiTabStrip *m_tabStrip = nullptr;
    QToolBar *m_toolBar = nullptr;
    QList<QAction *> m_places;
    QList<CBitmapButton *> m_pluginButtons;
    QStringList m_splashTexts;
    QList<QMenu *> m_frameMenus;      // menu 128: no document open
    QList<QMenu *> m_documentMenus;   // menu 129: a document is open
    QMenu *m_windowMenu = nullptr;
    QList<QAction *> m_commands;
    QPointer<QMdiSubWindow> m_titledWindow;
    bool m_closeWithoutQuestion = false;
    RecentFiles m_recentFiles{kRecentFileCount};
    QList<QAction *> m_recentActions;
    QAction *m_recentSeparator = nullptr;
    CanSettings m_canSettings;
    QPointer<CCanWnd> m_canWindow;
    QPointer<CUpdater> m_updater;
};
