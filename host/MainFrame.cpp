#include "MainFrame.h"

#include "About.h"
#include "BitmapButton.h"
#include "CanWindowFactory.h"
#include "DocView.h"
#include "HostStrings.h"
#include "MdiTabStrip.h"
#include "MyDocManager.h"
#include "PluginLoader.h"
#include "SplashScreen.h"
#include "UserPrompts.h"
#include "Version.h"
#include "WindowTree.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
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
constexpr int PlaceWidth = 70;
constexpr int PlaceHeight = 24;
constexpr int ButtonHeight = 18;
constexpr int ButtonInsetLeft = 2;
constexpr int ButtonInsetRight = 3;

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
    , docManager_(docManager)
    , buttons_(buttons)
    , timings_(timings)
{
    setObjectName(QStringLiteral("CMainFrame"));
}

CMainFrame::~CMainFrame()
{
    // The document windows belong to plug-ins; they go before the frame's
    // other children and while the plug-ins are loaded.
    if (mdiArea_) {
        const auto windows = mdiArea_->subWindowList();
        for (QMdiSubWindow *w : windows)
            delete w;
    }
    // Then the CAN window, before the frame's remaining children: editors
    // that were still registered have unregistered by now.
    delete canWindow_;
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
    splashTexts_ << text;
    splash.setFieldText(CSplashScreenEx::Progress, text);
    wait(ms);
}

bool CMainFrame::create()
{
    const StringTable &s = hostStrings();
    initHostResources();

    buttonFont = QFont(QStringLiteral("Arial"));
    buttonFont.setPixelSize(14);
    buttonFont.setWeight(QFont::Normal);

    setWindowTitle(s.text(HostString::AppTitle, QStringLiteral("VRN-Control")));
    setMinimumSize(MinimumWidth, MinimumHeight);
    setWindowIcon(QIcon(QStringLiteral(":/host/vrn-control.svg")));
    WindowTree::setMainWindow(this);

    CSplashScreenEx splash(CSplashScreenEx::defaultPicture(), QColor(255, 0, 255), timings_.fadeInMs,
                           timings_.fadeOutMs);
    splash.setFieldText(CSplashScreenEx::Version, HostVersion::revisionText());
    splash.setFieldText(CSplashScreenEx::Build, HostVersion::buildText(s));
    splash.setFieldText(CSplashScreenEx::Company, s.text(HostString::Company, QStringLiteral("Varnel Tonsysteme GmbH")));
    splash.setFieldText(CSplashScreenEx::Notice, s.load(HostString::Notice));
    splash.showSplash();
    wait(timings_.afterShowMs);

    if (!createToolBar())
        return false;

    for (int i = 0; i < buttons_.count(); ++i) {
        // Ten places; further plug-ins are registered but get no button.
        if (i >= PluginPlaces)
            break;
        if (!createPluginButton(i))
            return false;
        const QString text = s.text(HostString::Load, QStringLiteral("Load")) + QLatin1Char(' ') + buttons_.at(i).name
                             + QLatin1Char(' ') + s.text(HostString::Plugin, QStringLiteral("Plugin"));
        showProgress(splash, text, timings_.perPluginMs);
    }
    showProgress(splash, s.text(HostString::StartHost, QStringLiteral("Start VRN-Control")), timings_.beforeStartMs);
    splash.hideSplash();

    if (!createStatusBar())
        return false;
    setupDocumentArea();
    createMenus();

    // The USB-CAN link's window: invisible, control id 13000. The link
    // itself starts only when the first editor registers.
    canWindow_ = createCanWindow(this, canSettings_);

    updateMenusAndTitle();
    return true;
}

bool CMainFrame::createToolBar()
{
    toolBar_ = new QToolBar(tr("Plugins"), this);
    toolBar_->setObjectName(QStringLiteral("toolbar128"));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(16, 15));
    addToolBar(Qt::TopToolBarArea, toolBar_);
    const QIcon blank(blankPlacePicture());
    for (int i = 0; i < PluginPlaces; ++i) {
        if (i > 0)
            toolBar_->addSeparator();
        auto *place = new QAction(blank, QString(), toolBar_);
        place->setData(FirstPlaceCommand + i);
        place->setObjectName(QStringLiteral("place%1").arg(FirstPlaceCommand + i));
        // A place without a plug-in has no command behind it.
        place->setEnabled(false);
        toolBar_->addAction(place);
        places_ << place;
    }
    return true;
}

bool CMainFrame::createPluginButton(int i)
{
    QAction *place = places_.value(i);
    const PluginButtonInfo &info = buttons_.at(i);
    if (!place || !info.bitmap)
        return false;

    auto *holder = new QWidget(toolBar_);
    auto *button = new CBitmapButton(info.name, holder);
    const int id = FirstPluginButtonId + i;
    button->setObjectName(QStringLiteral("plugin%1").arg(id));
    WindowTree::setControlId(button, id);
    button->setFocusPolicy(Qt::TabFocus);
    button->setFont(buttonFont);
    button->setBackgroundColor(CBitmapButton::brightened(button->palette().color(QPalette::Button), 30));
    button->setBitmap(*info.bitmap, Qt::white);
    // 70 pixels a place, wider only where the system's font would cut the name.
    const int width = qMax(PlaceWidth, button->sizeHint().width() + ButtonInsetLeft + ButtonInsetRight);
    holder->setFixedSize(width, PlaceHeight);
    button->setGeometry(ButtonInsetLeft, (PlaceHeight - ButtonHeight) / 2, width - ButtonInsetLeft - ButtonInsetRight,
                        ButtonHeight);
    button->show();
    connect(button, &QPushButton::clicked, this, [this, id] {
        if (docManager_)
            docManager_->OpenNewDocument(id - 9999);
    });

    QAction *widgetAction = toolBar_->insertWidget(place, holder);
    widgetAction->setData(id);
    toolBar_->removeAction(place);
    places_[i] = nullptr;
    delete place;
    pluginButtons_ << button;
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
    mdiArea_ = new QMdiArea(central);
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // The document area's background from the profile; without a picture
    // the workspace grey.
    QSettings profile;
    profile.beginGroup(QStringLiteral("MDIClient"));
    const QString picture = profile.value(QStringLiteral("FileName")).toString();
    QPixmap background;
    if (!picture.isEmpty())
        background.load(picture);
    if (!background.isNull()) {
        mdiArea_->setBackground(QBrush(background));
    } else {
        bool ok = false;
        const uint colorRef = profile.value(QStringLiteral("BkColor")).toUInt(&ok);
        mdiArea_->setBackground(ok ? QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF)
                                   : QColor(171, 171, 171));
    }
    profile.endGroup();

    tabStrip_ = new CMdiTabStrip(mdiArea_, central);
    layout->addWidget(tabStrip_);
    layout->addWidget(mdiArea_, 1);
    setCentralWidget(central);
    if (docManager_)
        docManager_->setMdiArea(mdiArea_);
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, &CMainFrame::updateMenusAndTitle);
}

void CMainFrame::createMenus()
{
    const auto command = [this](const QString &text, int id, auto slot) {
        auto *a = new QAction(text, this);
        a->setData(id);
        connect(a, &QAction::triggered, this, slot);
        commands_ << a;
        return a;
    };
    QAction *exitAction = command(tr("E&xit"), AppExit, [this] { close(); });
    QAction *updates = command(tr("Check for Updates..."), CheckForUpdates, [this] { emit checkForUpdatesRequested(); });
    QAction *about = command(tr("&About VRN-Control..."), AppAbout, [this] { showAbout(); });
    QAction *fileNew = command(tr("&New"), FileNew, [this] {
        if (docManager_)
            docManager_->onFileNew();
    });
    fileNew->setShortcut(QKeySequence::New);
    QAction *fileOpen = command(tr("&Open..."), FileOpen, [this] {
        if (docManager_)
            docManager_->onFileOpen();
    });
    fileOpen->setShortcut(QKeySequence::Open);
    QAction *fileClose = command(tr("&Close"), FileClose, [this] {
        if (QMdiSubWindow *w = mdiArea_->activeSubWindow())
            w->close();
    });
    QAction *printSetupAction = command(tr("P&rint Setup..."), FilePrintSetup, [this] { printSetup(); });

    auto *file = new QMenu(tr("&File"), this);
    file->addAction(exitAction);
    auto *help = new QMenu(tr("&Help"), this);
    help->addAction(updates);
    help->addAction(about);
    frameMenus_ = {file, help};

    auto *docFile = new QMenu(tr("&File"), this);
    docFile->addAction(fileNew);
    docFile->addAction(fileOpen);
    docFile->addAction(fileClose);
    docFile->addSeparator();
    docFile->addAction(printSetupAction);
    docFile->addSeparator();
    docFile->addAction(exitAction);
    auto *edit = new QMenu(tr("&Edit"), this);
    for (const QString &t : {tr("&Undo"), tr("Cu&t"), tr("&Copy"), tr("&Paste")}) {
        // Enabled by a document's own menus when it supports them.
        edit->addAction(t)->setEnabled(false);
    }
    windowMenu_ = new QMenu(tr("&Window"), this);
    connect(windowMenu_, &QMenu::aboutToShow, this, [this] {
        windowMenu_->clear();
        windowMenu_->addAction(tr("&Cascade"), mdiArea_, &QMdiArea::cascadeSubWindows);
        windowMenu_->addAction(tr("&Tile"), mdiArea_, &QMdiArea::tileSubWindows);
        windowMenu_->addSeparator();
        int n = 1;
        for (QMdiSubWindow *w : mdiArea_->subWindowList()) {
            QAction *a = windowMenu_->addAction(QStringLiteral("&%1 %2").arg(n++).arg(w->windowTitle()),
                                                this, [this, w] { mdiArea_->setActiveSubWindow(w); });
            a->setCheckable(true);
            a->setChecked(w == mdiArea_->activeSubWindow());
        }
    });
    auto *docHelp = new QMenu(tr("&Help"), this);
    docHelp->addAction(updates);
    docHelp->addAction(about);
    documentMenus_ = {docFile, edit, windowMenu_, docHelp};
}

QAction *CMainFrame::commandAction(int command) const
{
    for (QAction *a : commands_) {
        if (a->data().toInt() == command)
            return a;
    }
    return nullptr;
}

void CMainFrame::updateMenusAndTitle()
{
    if (!mdiArea_)
        return;
    QMdiSubWindow *active = mdiArea_->activeSubWindow();
    QMenuBar *bar = menuBar();
    bar->clear();
    if (!active) {
        for (QMenu *m : std::as_const(frameMenus_))
            bar->addMenu(m);
    } else {
        bar->addMenu(documentMenus_[0]);
        bar->addMenu(documentMenus_[1]);
        if (auto *frame = qobject_cast<CMDIChildWnd *>(active)) {
            for (QMenu *m : frame->documentMenus())
                bar->addMenu(m);
        }
        bar->addMenu(documentMenus_[2]);
        bar->addMenu(documentMenus_[3]);
    }

    if (titledWindow_)
        disconnect(titledWindow_, &QWidget::windowTitleChanged, this, nullptr);
    titledWindow_ = active;
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
    return pluginButtons_.value(i);
}

int CMainFrame::pluginButtonCount() const
{
    return int(pluginButtons_.size());
}

QAction *CMainFrame::placeAction(int i) const
{
    return places_.value(i);
}

void CMainFrame::closeWithoutQuestion()
{
    closeWithoutQuestion_ = true;
    close();
}

bool CMainFrame::closeAllDocumentWindows()
{
    if (!mdiArea_)
        return true;
    for (;;) {
        QMdiSubWindow *next = mdiArea_->activeSubWindow();
        if (!next || next->isHidden()) {
            next = nullptr;
            for (QMdiSubWindow *w : mdiArea_->subWindowList()) {
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
    if (!closeWithoutQuestion_) {
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
