#include "MainFrame.h"

#include <algorithm>
#include <functional>

#include "About.h"
#include "BitmapButton.h"
#include "can_window_factory.h"
#include "doc_view.h"
#include "host_strings.h"
#include "MdiTabStrip.h"
#include "MyDocManager.h"
#include "plugin_loader.h"
#include "SplashScreenEx.h"
#include "user_prompts.h"
#include "version.h"
#include "update/DownloadDlg.h"
#include "update/Updater.h"
#include "window_tree.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

// The host's resources sit in a static library; name them so they are linked.
static void initHostResources()
{
    Q_INIT_RESOURCE(host);
}

namespace {

// The size of one plug-in place on the toolbar and where its button sits in it.
constexpr int kPlaceWidth = 70;
constexpr int kPlaceHeight = 24;
constexpr int kButtonHeight = 18;
constexpr int kButtonInsetLeft = 2;
constexpr int kButtonInsetRight = 3;

QPixmap blankPlacePicture()
{
    QPixmap pm(16, 15);
    pm.fill(Qt::transparent);
    return pm;
}

} // namespace

CMainFrame::CMainFrame(CMyDocManager *docManager, const PluginButtonTable &buttons, const SplashTimings &timings,
                       QWidget *parent)
    : QMainWindow(parent)
    , m_docManager(docManager)
    , m_buttons(buttons)
    , m_timings(timings)
{
    setObjectName(QStringLiteral("CMainFrame"));
}

CMainFrame::~CMainFrame()
{
    // The document windows belong to plug-ins; they go before the frame's
    // other children and while the plug-ins are loaded.
    if (m_mdiArea) {
        const auto windows = m_mdiArea->subWindowList();
        for (QMdiSubWindow *w : windows)
            delete w;
    }
    // Then the CAN window, before the frame's remaining children: editors
    // that were still registered have unregistered by now.
    delete m_canWindow;
    delete m_downloadDialog;
}

void CMainFrame::wait(int ms)
{
    if (ms <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void CMainFrame::showProgress(CSplashScreenEx &splash, const QString &text, int ms)
{
    m_splashTexts << text;
    splash.setFieldText(CSplashScreenEx::Progress, text);
    wait(ms);
}

bool CMainFrame::create()
{
    const StringTable &s = hostStrings();
    initHostResources();

    m_buttonFont = QFont(QStringLiteral("Arial"));
    m_buttonFont.setPixelSize(14);
    m_buttonFont.setWeight(QFont::Normal);

    setWindowTitle(s.text(HostString::AppTitle, QStringLiteral("VRN-Control")));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    setWindowIcon(QIcon(QStringLiteral(":/host/vrn-control.svg")));
    WindowTree::setMainWindow(this);

    CSplashScreenEx splash(CSplashScreenEx::defaultPicture(), QColor(255, 0, 255), m_timings.fadeInMs,
                           m_timings.fadeOutMs);
    splash.setFieldText(CSplashScreenEx::Version, HostVersion::revisionText());
    splash.setFieldText(CSplashScreenEx::Build, HostVersion::buildText(s));
    splash.setFieldText(CSplashScreenEx::Company, s.text(HostString::Company, QStringLiteral("Varnel Tonsysteme GmbH")));
    splash.setFieldText(CSplashScreenEx::Notice, s.load(HostString::Notice));
    splash.showSplash();
    wait(m_timings.afterShowMs);

    if (!createToolBar())
        return false;

    for (int i = 0; i < m_buttons.count(); ++i) {
        // Ten places; further plug-ins are registered but get no button.
        if (i >= kPluginPlaces)
            break;
        if (!createPluginButton(i))
            return false;
        const QString text = s.text(HostString::Load, QStringLiteral("Load")) + QLatin1Char(' ') + m_buttons.at(i).name
                             + QLatin1Char(' ') + s.text(HostString::Plugin, QStringLiteral("Plugin"));
        showProgress(splash, text, m_timings.perPluginMs);
    }
    showProgress(splash, s.text(HostString::StartHost, QStringLiteral("Start VRN-Control")), m_timings.beforeStartMs);
    splash.hideSplash();

    if (!createStatusBar())
        return false;
    setupDocumentArea();
    createMenus();
    {
        QSettings profile;
        m_recentFiles.load(profile);
    }
    updateRecentFileActions();
    if (m_docManager)
        connect(m_docManager, &CMyDocManager::fileOpened, this, &CMainFrame::rememberFile);

    // The USB-CAN link's window: invisible, control id 13000. The link
    // itself starts only when the first editor registers.
    m_canWindow = createCanWindow(this, m_canSettings);

    updateMenusAndTitle();
    return true;
}

bool CMainFrame::createToolBar()
{
    m_toolBar = new QToolBar(tr("Plugins"), this);
    m_toolBar->setObjectName(QStringLiteral("toolbar128"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(16, 15));
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    const QIcon blank(blankPlacePicture());
    for (int i = 0; i < kPluginPlaces; ++i) {
        if (i > 0)
            m_toolBar->addSeparator();
        auto *place = new QAction(blank, QString(), m_toolBar);
        place->setData(kFirstPlaceCommand + i);
        place->setObjectName(QStringLiteral("place%1").arg(kFirstPlaceCommand + i));
        // A place without a plug-in has no command behind it.
        place->setEnabled(false);
        m_toolBar->addAction(place);
        m_places << place;
    }
    return true;
}

bool CMainFrame::createPluginButton(int i)
{
    QAction *place = m_places.value(i);
    const PluginButtonInfo &info = m_buttons.at(i);
    if (!place || !info.bitmap)
        return false;

    auto *holder = new QWidget(m_toolBar);
    auto *button = new CBitmapButton(info.name, holder);
    const int id = kFirstPluginButtonId + i;
    button->setObjectName(QStringLiteral("plugin%1").arg(id));
    WindowTree::setControlId(button, id);
    button->setFocusPolicy(Qt::TabFocus);
    button->setFont(m_buttonFont);
    button->setBackgroundColor(CBitmapButton::brightened(button->palette().color(QPalette::Button), 30));
    button->setBitmap(*info.bitmap, Qt::white);
    // 70 pixels a place, wider only where the system's font would cut the name.
    const int width = qMax(kPlaceWidth, button->sizeHint().width() + kButtonInsetLeft + kButtonInsetRight);
    holder->setFixedSize(width, kPlaceHeight);
    button->setGeometry(kButtonInsetLeft, (kPlaceHeight - kButtonHeight) / 2, width - kButtonInsetLeft - kButtonInsetRight,
                        kButtonHeight);
    button->show();
    connect(button, &QPushButton::clicked, this, [this, id] {
        if (m_docManager)
            m_docManager->OpenNewDocument(id - 9999);
    });

    QAction *widgetAction = m_toolBar->insertWidget(place, holder);
    widgetAction->setData(id);
    m_toolBar->removeAction(place);
    m_places[i] = nullptr;
    delete place;
    m_pluginButtons << button;
    return true;
}

bool CMainFrame::createStatusBar()
{
    QStatusBar *bar = statusBar();
    if (!bar)
        return false;
    bar->showMessage(tr("Ready"));
    // Lock-key indicators: the platform does not tell lock states, so they
    // are shown as the panes they are and stay dim.
    for (const char *text : {"CAP", "NUM", "SCRL"}) {
        auto *pane = new QLabel(QString::fromLatin1(text), bar);
        pane->setObjectName(QStringLiteral("indicator%1").arg(QString::fromLatin1(text)));
        pane->setEnabled(false);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addPermanentWidget(pane);
    }
    return true;
}

void CMainFrame::setupDocumentArea()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_mdiArea = new QMdiArea(central);
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // The document area's background from the profile; without a picture
    // the workspace grey.
    QSettings profile;
    profile.beginGroup(QStringLiteral("MDIClient"));
    const QString picture = profile.value(QStringLiteral("FileName")).toString();
    QPixmap background;
    if (!picture.isEmpty())
        background.load(picture);
    if (!background.isNull()) {
        m_mdiArea->setBackground(QBrush(background));
    } else {
        bool ok = false;
        const uint colorRef = profile.value(QStringLiteral("BkColor")).toUInt(&ok);
        m_mdiArea->setBackground(ok ? QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF)
                                   : QColor(171, 171, 171));
    }
    profile.endGroup();

    m_tabStrip = new CMdiTabStrip(m_mdiArea, central);
    layout->addWidget(m_tabStrip);
    layout->addWidget(m_mdiArea, 1);
    setCentralWidget(central);
    if (m_docManager)
        m_docManager->setMdiArea(m_mdiArea);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::updateMenusAndTitle);
}

void CMainFrame::createMenus()
{
    const auto command = [this](const QString &text, int id, auto slot) {
        auto *a = new QAction(text, this);
        a->setData(id);
        connect(a, &QAction::triggered, this, slot);
        m_commands << a;
        return a;
    };
    QAction *exitAction = command(tr("E&xit"), AppExit, [this] { close(); });
    QAction *updates = command(tr("Check for Updates..."), CheckForUpdates, [this] {
        emit checkForUpdatesRequested();
        startUpdateCheck();
    });
    // A document that answers About itself (the NOV plug-in's box) does so
    // while it is active; the host's box otherwise.
    QAction *about = command(tr("&About VRN-Control..."), AppAbout, [this] {
        if (!routeToActiveDocument(AppAbout))
            showAbout();
    });
    QAction *fileNew = command(tr("&New"), FileNew, [this] {
        if (m_docManager)
            m_docManager->onFileNew();
    });
    fileNew->setShortcut(QKeySequence::New);
    QAction *fileOpen = command(tr("&Open..."), FileOpen, [this] {
        if (m_docManager)
            m_docManager->onFileOpen();
    });
    fileOpen->setShortcut(QKeySequence::Open);
    QAction *fileClose = command(tr("&Close"), FileClose, [this] {
        if (QMdiSubWindow *w = m_mdiArea->activeSubWindow())
            w->close();
    });
    QAction *printSetupAction = command(tr("P&rint Setup..."), FilePrintSetup, [this] { printSetup(); });

    for (int i = 0; i < kRecentFileCount; ++i) {
        auto *a = new QAction(this);
        a->setVisible(false);
        connect(a, &QAction::triggered, this, [this, i] { openRecentFile(i); });
        m_recentActions << a;
    }
    m_recentSeparator = new QAction(this);
    m_recentSeparator->setSeparator(true);
    m_recentSeparator->setVisible(false);

    auto *file = new QMenu(tr("&File"), this);
    file->addActions(m_recentActions);
    file->addAction(m_recentSeparator);
    file->addAction(exitAction);
    auto *help = new QMenu(tr("&Help"), this);
    help->addAction(updates);
    help->addAction(about);
    m_frameMenus = {file, help};

    auto *docFile = new QMenu(tr("&File"), this);
    docFile->addAction(fileNew);
    docFile->addAction(fileOpen);
    docFile->addAction(fileClose);
    docFile->addSeparator();
    docFile->addAction(printSetupAction);
    docFile->addSeparator();
    docFile->addActions(m_recentActions);
    docFile->addAction(m_recentSeparator);
    docFile->addAction(exitAction);
    auto *edit = new QMenu(tr("&Edit"), this);
    for (const QString &t : {tr("&Undo"), tr("Cu&t"), tr("&Copy"), tr("&Paste")}) {
        // Enabled by a document's own menus when it supports them.
        edit->addAction(t)->setEnabled(false);
    }
    m_windowMenu = new QMenu(tr("&Window"), this);
    connect(m_windowMenu, &QMenu::aboutToShow, this, [this] {
        m_windowMenu->clear();
        m_windowMenu->addAction(tr("&Cascade"), m_mdiArea, &QMdiArea::cascadeSubWindows);
        m_windowMenu->addAction(tr("&Tile"), m_mdiArea, &QMdiArea::tileSubWindows);
        m_windowMenu->addSeparator();
        int n = 1;
        for (QMdiSubWindow *w : m_mdiArea->subWindowList()) {
            QAction *a = m_windowMenu->addAction(QStringLiteral("&%1 %2").arg(n++).arg(w->windowTitle()),
                                                this, [this, w] { m_mdiArea->setActiveSubWindow(w); });
            a->setCheckable(true);
            a->setChecked(w == m_mdiArea->activeSubWindow());
        }
    });
    auto *docHelp = new QMenu(tr("&Help"), this);
    docHelp->addAction(updates);
    docHelp->addAction(about);
    m_documentMenus = {docFile, edit, m_windowMenu, docHelp};
}

bool CMainFrame::routeToActiveDocument(int command)
{
    auto *frame = m_mdiArea ? qobject_cast<CMDIChildWnd *>(m_mdiArea->activeSubWindow()) : nullptr;
    if (!frame)
        return false;
    // The command ids a document's menus carry as their actions' data.
    std::function<QAction *(const QList<QAction *> &)> find = [&](const QList<QAction *> &actions) -> QAction * {
        for (QAction *a : actions) {
            if (a->menu()) {
                if (QAction *inner = find(a->menu()->actions()))
                    return inner;
            } else if (a->data().toInt() == command && a->isEnabled()) {
                return a;
            }
        }
        return nullptr;
    };
    for (QMenu *menu : frame->documentMenus()) {
        if (QAction *a = find(menu->actions())) {
            a->trigger();
            return true;
        }
    }
    return false;
}

QAction *CMainFrame::commandAction(int command) const
{
    for (QAction *a : m_commands) {
        if (a->data().toInt() == command)
            return a;
    }
    return nullptr;
}

void CMainFrame::rememberFile(const QString &path)
{
    m_recentFiles.add(path);
    QSettings profile;
    m_recentFiles.save(profile);
    updateRecentFileActions();
}

void CMainFrame::updateRecentFileActions()
{
    const QStringList files = m_recentFiles.files();
    for (int i = 0; i < m_recentActions.size(); ++i) {
        QAction *a = m_recentActions.at(i);
        a->setVisible(i < files.size());
        if (i < files.size()) {
            // A '&' in a path must not become a shortcut.
            QString shown = QDir::toNativeSeparators(files.at(i));
            shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
            a->setData(files.at(i));
        }
    }
    if (m_recentSeparator)
        m_recentSeparator->setVisible(!files.isEmpty());
}

void CMainFrame::openRecentFile(int i)
{
    const QString path = m_recentFiles.files().value(i);
    if (path.isEmpty())
        return;
    if (!QFileInfo(path).isFile()) {
        m_recentFiles.remove(path);
        QSettings profile;
        m_recentFiles.save(profile);
        updateRecentFileActions();
        UserPrompts::current().exclamation(
            tr("The file \"%1\" no longer exists.\nIt was removed from the list of recent files.")
                .arg(QDir::toNativeSeparators(path)),
            this);
        return;
    }
    // A file that is there but cannot be opened (the reason has been shown)
    // would fail the same way next time.
    if (m_docManager && !m_docManager->openDocumentFile(path)) {
        m_recentFiles.remove(path);
        QSettings profile;
        m_recentFiles.save(profile);
        updateRecentFileActions();
    }
}

void CMainFrame::updateMenusAndTitle()
{
    if (!m_mdiArea)
        return;
    QMdiSubWindow *active = m_mdiArea->activeSubWindow();
    QMenuBar *bar = menuBar();
    bar->clear();
    if (!active) {
        for (QMenu *m : std::as_const(m_frameMenus))
            bar->addMenu(m);
    } else {
        QList<QMenu *> frameMenus;
        if (auto *frame = qobject_cast<CMDIChildWnd *>(active))
            frameMenus = frame->documentMenus();
        // The host's Edit menu is only a placeholder: a document that has
        // an Edit menu of its own shows that one in its place.
        const auto plainTitle = [](const QMenu *m) { return QString(m->title()).remove(QLatin1Char('&')); };
        const bool ownEdit = std::any_of(frameMenus.cbegin(), frameMenus.cend(), [&](const QMenu *m) {
            return plainTitle(m) == plainTitle(m_documentMenus[1]);
        });
        bar->addMenu(m_documentMenus[0]);
        if (!ownEdit)
            bar->addMenu(m_documentMenus[1]);
        for (QMenu *m : std::as_const(frameMenus))
            bar->addMenu(m);
        bar->addMenu(m_documentMenus[2]);
        bar->addMenu(m_documentMenus[3]);
    }

    if (m_titledWindow)
        disconnect(m_titledWindow, &QWidget::windowTitleChanged, this, nullptr);
    m_titledWindow = active;
    const QString app = hostStrings().text(HostString::FrameTitle, QStringLiteral("VRN-Control"));
    if (active) {
        connect(active, &QWidget::windowTitleChanged, this, [this, app](const QString &t) {
            setWindowTitle(app + QStringLiteral(" - ") + t);
        });
        setWindowTitle(app + QStringLiteral(" - ") + active->windowTitle());
    } else {
        setWindowTitle(app);
    }
}

void CMainFrame::startUpdateCheck()
{
    if (m_updater || !isEnabled())
        return;
    // A window of its own rather than a child: disabling the frame would
    // disable its children too.
    auto *dialog = new CDownloadDlg;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_downloadDialog = dialog;
    setEnabled(false);
    dialog->show();
    dialog->move(geometry().center() - dialog->rect().center());

    QSettings profile;
    m_updater = new CUpdater(this, dialog, UpdateSettings::fromProfile(profile), this);
    connect(m_updater, &CUpdater::finished, this, [this](bool handedOver) {
        // Handed over, the updater program closes the host when it is ready.
        if (!handedOver && m_updater)
            m_updater->deleteLater();
    });
    // It did not: a new check may start.
    connect(m_updater, &CUpdater::released, this, [this] {
        if (m_updater)
            m_updater->deleteLater();
    });
    m_updater->start(HostVersion::updateComparisonText());
}

void CMainFrame::showAbout()
{
    CAbout about(this);
    about.exec();
}

void CMainFrame::printSetup()
{
    QPrinter printer;
    QPageSetupDialog dialog(&printer, this);
    dialog.exec();
}

CBitmapButton *CMainFrame::pluginButton(int i) const
{
    return m_pluginButtons.value(i);
}

int CMainFrame::pluginButtonCount() const
{
    return int(m_pluginButtons.size());
}

QAction *CMainFrame::placeAction(int i) const
{
    return m_places.value(i);
}

void CMainFrame::closeWithoutQuestion()
{
    m_closeWithoutQuestion = true;
    close();
}

bool CMainFrame::closeAllDocumentWindows()
{
    if (!m_mdiArea)
        return true;
    for (;;) {
        QMdiSubWindow *next = m_mdiArea->activeSubWindow();
        if (!next || next->isHidden()) {
            next = nullptr;
            for (QMdiSubWindow *w : m_mdiArea->subWindowList()) {
                if (!w->isHidden()) {
                    next = w;
                    break;
                }
            }
        }
        if (!next)
            return true;
        // A window that refuses (e.g. a device that must answer first)
        // keeps the program open rather than being lost.
        if (!next->close())
            return false;
    }
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    if (!m_closeWithoutQuestion) {
        const QString question = hostStrings().text(HostString::CloseQuestion, QStringLiteral("Close VRN-Control?"));
        if (!UserPrompts::current().questionYesNo(question, this)) {
            event->ignore();
            return;
        }
        if (!closeAllDocumentWindows()) {
            event->ignore();
            return;
        }
    }
    event->accept();
    emit closed();
}
