// The NOV plug-in as the host loads it, in a program that does not link the
// browser engine: the engine comes with the first NOV window.
#include "plugin_contract.h"
#include "ScriptedUserPrompts.h"

#include <QLoggingCategory>
#include <QTest>

namespace {

TEST(NOVBrowserModule, TheBrowserEngineComesWithTheFirstWindowAndShowsTheStartPage)
{
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope(prompts);
    // No scan of this program may leave the machine.
    qputenv("VRN_NOV_BROADCAST", "127.0.0.1");
    // Web views drawn as the host draws them (host/GraphicsSetup).
    qputenv("QT_QUICK_BACKEND", "software");
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    app();
    LoadedPlugin plugin(PLUGIN_FILE);
    ASSERT_NE(plugin.docTemplate, nullptr);
    EXPECT_FALSE(browserEngineLoaded());

    ASSERT_TRUE(plugin.manager->OpenNewDocument(1));
    CView *view = plugin.manager->documents().constFirst()->views().constFirst();
    EXPECT_TRUE(browserEngineLoaded());
    QWidget *browser = view->findChild<QWidget *>(QStringLiteral("htmlCtrl"));
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(browser->inherits("QWebEngineView")) << browser->metaObject()->className();
    EXPECT_TRUE(QTest::qWaitFor([&] { return browser->property("title").toString() == QLatin1String("NOV"); }, 30000));
    EXPECT_EQ(browser->property("url").toUrl(), QUrl(QStringLiteral("qrc:/nov/START.HTM")));

    // A second window uses the module already loaded.
    ASSERT_TRUE(plugin.manager->OpenNewDocument(1));
    CView *second = plugin.manager->documents().constLast()->views().constFirst();
    QWidget *secondBrowser = second->findChild<QWidget *>(QStringLiteral("htmlCtrl"));
    ASSERT_NE(secondBrowser, nullptr);
    EXPECT_TRUE(secondBrowser->inherits("QWebEngineView"));
    EXPECT_TRUE(prompts.texts().isEmpty()) << prompts.texts().join('\n').toStdString();
    qunsetenv("VRN_NOV_BROADCAST");
}

} // namespace
