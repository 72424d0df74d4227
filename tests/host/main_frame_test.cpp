#include "host_test_support.h"

#include "BitmapButton.h"
#include "can/CanWnd.h"
#include "doc_view.h"
#include "host_strings.h"
#include "MainFrame.h"
#include "MdiTabStrip.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "plugin_loader.h"
#include "window_tree.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

namespace {

class Doc : public CDocument
{
public:
    static inline bool refuse = false;
    bool saveModified() override { return !refuse; }
    // A file named "broken" cannot be read.
    bool onOpenDocument(const QString &path) override { return !path.contains(QStringLiteral("broken")); }
};

// A frame with menus of its own, an Edit menu among them, and an About box
// of its own in a submenu.
class FrameWithMenus : public CMDIChildWnd
{
public:
    static inline int aboutShown = 0;
    FrameWithMenus()
    {
        QAction *about = m_preset.addMenu(QStringLiteral("Info"))->addAction(QStringLiteral("About P"));
        about->setData(57664);
        connect(about, &QAction::triggered, [] { ++aboutShown; });
    }
    QList<QMenu *> documentMenus() override { return {&m_preset, &m_edit}; }

private:
    QMenu m_preset{QStringLiteral("&Preset")};
    QMenu m_edit{QStringLiteral("E&dit")};
};

// A document manager with n plug-ins named P0, P1, ... and their buttons.
struct FakePlugins
{
    CMyDocManager manager;
    PluginButtonTable buttons;

    explicit FakePlugins(int n, bool framesWithMenus = false)
    {
        buttons.clear();
        for (int i = 0; i < n; ++i) {
            auto *t = new CMyMultiDocTemplate(":/none", 129, [] { return new Doc; }, [framesWithMenus]() -> CMDIChildWnd * {
                                                  if (framesWithMenus) return new FrameWithMenus;
                                                  return new CMDIChildWnd;
                                              },
                                              [] { return new CView; });
            t->setName(QStringLiteral("P%1").arg(i));
            t->setDocString(QStringLiteral("\nP%1\nP%1\n\n.p%1\nP.Document\nP Document").arg(i));
            QPixmap pm(16, 15);
            pm.fill(Qt::white);
            t->setBitmap(pm);
            manager.addDocTemplate(t);
            buttons.set(i, &t->bitmap(), t->name());
        }
    }
};

class MainFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testApp();
        Doc::refuse = false;
    }

    std::unique_ptr<CMainFrame> makeFrame(FakePlugins &plugins)
    {
        auto frame = std::make_unique<CMainFrame>(&plugins.manager, plugins.buttons, SplashTimings::none());
        EXPECT_TRUE(frame->create());
        return frame;
    }
    int visibleWindows(CMainFrame &f)
    {
        int n = 0;
        for (QMdiSubWindow *w : f.mdiArea()->subWindowList())
            n += w->isHidden() ? 0 : 1;
        return n;
    }
    QStringList menuTitles(CMainFrame &f)
    {
        QStringList t;
        for (QAction *a : f.menuBar()->actions())
            t << a->text();
        return t;
    }
};

TEST_F(MainFrameTest, ToolbarWithoutPluginsKeepsTenDisabledPlaces)
{
    FakePlugins plugins(0);
    auto frame = makeFrame(plugins);
    EXPECT_EQ(frame->pluginButtonCount(), 0);
    for (int i = 0; i < CMainFrame::kPluginPlaces; ++i) {
        QAction *place = frame->placeAction(i);
        ASSERT_NE(place, nullptr) << i;
        EXPECT_EQ(place->data().toInt(), 11000 + i);
        EXPECT_FALSE(place->isEnabled());
    }
    EXPECT_EQ(frame->splashTexts(), QStringList{"Start VRN-Control"});
}

TEST_F(MainFrameTest, TwoPluginsTakeTheFirstTwoPlacesAndOpenTheirDocuments)
{
    FakePlugins plugins(2);
    auto frame = makeFrame(plugins);
    frame->show();
    ASSERT_EQ(frame->pluginButtonCount(), 2);
    EXPECT_EQ(frame->placeAction(0), nullptr);
    EXPECT_EQ(frame->placeAction(1), nullptr);
    for (int i = 2; i < CMainFrame::kPluginPlaces; ++i)
        EXPECT_NE(frame->placeAction(i), nullptr);

    CBitmapButton *second = frame->pluginButton(1);
    EXPECT_EQ(second->text(), "P1");
    EXPECT_EQ(WindowTree::controlId(second), 10001);
    EXPECT_EQ(WindowTree::childWithControlId(frame.get(), 10000), frame->pluginButton(0));
    EXPECT_EQ(second->height(), 18);
    EXPECT_EQ(second->font().pixelSize(), 14);
    EXPECT_FALSE(second->bitmap().isNull());
    const QColor base = frame->palette().color(QPalette::Button);
    EXPECT_EQ(second->backgroundColor(), CBitmapButton::brightened(base, 30));

    EXPECT_EQ(frame->splashTexts(), (QStringList{"Load P0 Plugin", "Load P1 Plugin", "Start VRN-Control"}));

    QTest::mouseClick(second, Qt::LeftButton);
    QTest::mouseClick(frame->pluginButton(0), Qt::LeftButton);
    QTest::mouseClick(second, Qt::LeftButton);
    const auto docs = plugins.manager.documents();
    ASSERT_EQ(docs.size(), 3);
    EXPECT_EQ(plugins.manager.templates()[0]->documents().size(), 1);
    EXPECT_EQ(plugins.manager.templates()[1]->documents().size(), 2);
    EXPECT_EQ(frame->mdiArea()->subWindowList().size(), 3);
    QTRY_COMPARE(frame->tabStrip()->count(), 3);
}

TEST_F(MainFrameTest, ElevenPluginsGetTenButtons)
{
    FakePlugins plugins(11);
    auto frame = makeFrame(plugins);
    EXPECT_EQ(frame->pluginButtonCount(), CMainFrame::kPluginPlaces);
    for (int i = 0; i < CMainFrame::kPluginPlaces; ++i)
        EXPECT_EQ(frame->placeAction(i), nullptr);
    EXPECT_EQ(WindowTree::childWithControlId(frame.get(), 10010), nullptr);
    EXPECT_EQ(plugins.manager.templateCount(), 11);
    EXPECT_EQ(frame->splashTexts().size(), 11);
}

TEST_F(MainFrameTest, SplashTextsComeFromTheStringTableWithFallbacks)
{
    StringTable &s = hostStrings();
    s.set(HostString::Load, "Lade");
    s.remove(HostString::Plugin);
    s.remove(HostString::StartHost);
    FakePlugins plugins(1);
    auto frame = makeFrame(plugins);
    EXPECT_EQ(frame->splashTexts(), (QStringList{"Lade P0 Plugin", "Start VRN-Control"}));
    s.set(HostString::Load, "Load");
    s.set(HostString::Plugin, "Plugin");
    s.set(HostString::StartHost, "Start VRN-Control");
}

TEST_F(MainFrameTest, MinimumSizeTitleAndMenus)
{
    FakePlugins plugins(1);
    auto frame = makeFrame(plugins);
    frame->resize(400, 300);
    EXPECT_GE(frame->width(), 900);
    EXPECT_GE(frame->height(), 720);
    EXPECT_EQ(frame->windowTitle(), "VRN-Control");
    EXPECT_EQ(menuTitles(*frame), (QStringList{"&File", "&Help"}));
    EXPECT_NE(frame->commandAction(CMainFrame::CheckForUpdates), nullptr);
    EXPECT_TRUE(frame->commandAction(CMainFrame::CheckForUpdates)->isEnabled());

    frame->show();
    ASSERT_TRUE(plugins.manager.OpenNewDocument(1));
    QTRY_COMPARE(frame->windowTitle(), QString("VRN-Control - P01"));
    EXPECT_EQ(menuTitles(*frame), (QStringList{"&File", "&Edit", "&Window", "&Help"}));
}

TEST_F(MainFrameTest, DocumentEditMenuReplacesTheHostPlaceholder)
{
    FakePlugins plugins(1, true);
    auto frame = makeFrame(plugins);
    frame->show();
    ASSERT_TRUE(plugins.manager.OpenNewDocument(1));
    QTRY_COMPARE(menuTitles(*frame), (QStringList{"&File", "&Preset", "E&dit", "&Window", "&Help"}));

    // Help > About goes to the active document's own About first.
    FrameWithMenus::aboutShown = 0;
    frame->commandAction(CMainFrame::AppAbout)->trigger();
    EXPECT_EQ(FrameWithMenus::aboutShown, 1);
}

TEST_F(MainFrameTest, CanWindowIsAnIdleChildWithControlId13000)
{
    FakePlugins plugins(0);
    CanSettings can;
    can.backend = QStringLiteral("virtualcan");
    auto frame = std::make_unique<CMainFrame>(&plugins.manager, plugins.buttons, SplashTimings::none());
    frame->setCanSettings(can);
    ASSERT_TRUE(frame->create());
    CCanWnd *w = CCanWnd::find(frame.get());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w, frame->canWindow());
    EXPECT_EQ(w, qobject_cast<CCanWnd *>(WindowTree::childWithControlId(frame.get(), 13000)));
    // Nothing registered yet, so the bus is not touched.
    EXPECT_FALSE(w->linkStarted());
    EXPECT_EQ(w->clientCount(), 0);
}

TEST_F(MainFrameTest, CloseAnsweredNoKeepsEverythingOpen)
{
    FakePlugins plugins(2);
    auto frame = makeFrame(plugins);
    frame->show();
    plugins.manager.OpenNewDocument(1);
    plugins.manager.OpenNewDocument(2);
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    QSignalSpy closed(frame.get(), &CMainFrame::closed);

    prompts.answerNo();
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(visibleWindows(*frame), 2);
    EXPECT_EQ(plugins.manager.documents().size(), 2);
    ASSERT_EQ(prompts.shown().size(), 1);
    EXPECT_EQ(prompts.shown()[0].text, "Close VRN-Control?");
    EXPECT_EQ(prompts.shown()[0].icon, UserPrompts::Icon::Question);
    EXPECT_EQ(prompts.shown()[0].buttons, UserPrompts::Buttons::YesNo);
}

TEST_F(MainFrameTest, CloseAnsweredYesClosesEveryDocument)
{
    FakePlugins plugins(2);
    auto frame = makeFrame(plugins);
    frame->show();
    for (int i = 0; i < 3; ++i)
        plugins.manager.OpenNewDocument(1 + i % 2);
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    QSignalSpy closed(frame.get(), &CMainFrame::closed);

    prompts.answerYes();
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(visibleWindows(*frame), 0);
    EXPECT_TRUE(plugins.manager.documents().isEmpty());
}

TEST_F(MainFrameTest, DocumentThatRefusesToCloseKeepsTheProgramOpen)
{
    FakePlugins plugins(1);
    auto frame = makeFrame(plugins);
    frame->show();
    plugins.manager.OpenNewDocument(1);
    Doc::refuse = true;
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    QSignalSpy closed(frame.get(), &CMainFrame::closed);
    prompts.answerYes();
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(plugins.manager.documents().size(), 1);
    Doc::refuse = false;
}

TEST_F(MainFrameTest, CloseWithoutQuestionAsksNothingAndLeavesDocumentsToTheShutDown)
{
    FakePlugins plugins(1);
    auto frame = makeFrame(plugins);
    frame->show();
    plugins.manager.OpenNewDocument(1);
    Doc::refuse = true; // not even a refusing document is asked
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    QSignalSpy closed(frame.get(), &CMainFrame::closed);
    frame->closeWithoutQuestion();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(prompts.shown().isEmpty());
    frame.reset(); // destroying the frame takes the document windows along
    EXPECT_TRUE(plugins.manager.documents().isEmpty());
    Doc::refuse = false;
}

TEST_F(MainFrameTest, TabStripFollowsTheDocumentWindows)
{
    FakePlugins plugins(2);
    auto frame = makeFrame(plugins);
    frame->show();
    CMdiTabStrip *tabs = frame->tabStrip();
    EXPECT_EQ(tabs->count(), 0);
    plugins.manager.OpenNewDocument(1);
    plugins.manager.OpenNewDocument(2);
    QTRY_COMPARE(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "P01");
    EXPECT_EQ(tabs->tabText(1), "P11");
    tabs->setCurrentIndex(0);
    EXPECT_EQ(frame->mdiArea()->activeSubWindow(), tabs->windowAt(0));
    tabs->windowAt(0)->close();
    QTRY_COMPARE(tabs->count(), 1);
    EXPECT_EQ(tabs->tabText(0), "P11");
}

TEST_F(MainFrameTest, RecentFilesAreKeptInTheProfileAndAGoneOneLeavesTheList)
{
    QTemporaryDir dir;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("profile"));
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    FakePlugins plugins(1);
    auto frame = makeFrame(plugins);
    EXPECT_FALSE(frame->recentFileActions()[0]->isVisible());

    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        paths << dir.filePath(QStringLiteral("f%1 & co.p0").arg(i));
        QFile f(paths.last());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        ASSERT_NE(plugins.manager.openDocumentFile(paths.last()), nullptr);
    }
    // Four kept, newest first; choosing an open one again moves it up.
    ASSERT_NE(plugins.manager.openDocumentFile(paths[2]), nullptr);
    const QStringList expected{paths[2], paths[4], paths[3], paths[1]};
    EXPECT_EQ(frame->recentFiles(), expected);
    EXPECT_EQ(frame->recentFileActions()[0]->text(), "&1 " + dir.filePath("f2 && co.p0"));
    EXPECT_TRUE(frame->recentFileActions()[3]->isVisible());
    frame.reset();

    // A new frame finds the list in the profile; a file gone since is
    // removed when chosen, with a message naming it.
    auto again = makeFrame(plugins);
    EXPECT_EQ(again->recentFiles(), expected);
    ASSERT_TRUE(QFile::remove(paths[4]));
    prompts.answerOk();
    again->recentFileActions()[1]->trigger();
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts()[0].contains(paths[4]));
    EXPECT_EQ(again->recentFiles(), (QStringList{paths[2], paths[3], paths[1]}));
    EXPECT_FALSE(again->recentFileActions()[3]->isVisible());
    QSettings profile;
    EXPECT_EQ(profile.value("Recent File List/File3").toString(), paths[1]);
    EXPECT_FALSE(profile.contains("Recent File List/File4"));
    // An entry whose file is there opens it.
    again->recentFileActions()[2]->trigger();
    EXPECT_EQ(again->recentFiles().constFirst(), paths[1]);

    // A file a document used by a command of its own joins the list; one
    // that is there but cannot be read leaves it when chosen.
    const QString broken = dir.filePath("broken.p0");
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    plugins.manager.noteFileUsed(broken);
    ASSERT_EQ(again->recentFiles().constFirst(), broken);
    again->recentFileActions()[0]->trigger();
    EXPECT_FALSE(again->recentFiles().contains(broken));
}

} // namespace
