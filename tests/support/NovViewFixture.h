#pragma once
// A NOV document opened through the plug-in as the host opens it, inside a
// main window, with scripted prompts; for the view tests on loopback and in
// a network namespace. The test program defines PLUGIN_FILE.
#include "doc_view.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "plugin_contract.h"
#include "ScriptedUserPrompts.h"
#include "window_tree.h"

#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace novtest {

// Before the application object: what the host does in its main, and the
// plug-in kept loaded for good as the host loads it (the browser engine
// does not survive being unloaded).
inline const bool hostLikeStart = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    static QLibrary plugin(PLUGIN_FILE);
    plugin.setLoadHints(QLibrary::PreventUnloadHint);
    return plugin.load();
}();

inline QVariant evaluate(QWebEngineView *html, const QString &script)
{
    // Shared: the answer may come after the wait has given up.
    auto result = std::make_shared<std::optional<QVariant>>();
    html->page()->runJavaScript(script, [result](const QVariant &v) { *result = v; });
    if (!QTest::qWaitFor([&] { return result->has_value(); }, 10000))
        return {};
    return **result;
}

class NovViewFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(hostLikeStart);
        app();
        prompts.setAcknowledgeNotices(true);
        QLibrary library(PLUGIN_FILE);
        ASSERT_TRUE(library.load());
        auto entry = reinterpret_cast<DLLDocTemplateFunction>(library.resolve("DLLDocTemplate"));
        ASSERT_NE(entry, nullptr);
        mainWindow.setCentralWidget(area);
        mainWindow.resize(1200, 900);
        WindowTree::setMainWindow(&mainWindow);
        mainWindow.show();
        manager = std::make_unique<CMyDocManager>();
        manager->setMdiArea(area);
        manager->addDocTemplate(entry());
        ASSERT_TRUE(manager->OpenNewDocument(1));
        frame = manager->documents().constFirst()->frames().constFirst();
        view = manager->documents().constFirst()->views().constFirst();
        html = view->findChild<QWebEngineView *>("htmlCtrl");
        list = view->findChild<QComboBox *>("moduleList");
        ASSERT_TRUE(html && list);
    }
    void TearDown() override
    {
        manager.reset();
        WindowTree::setMainWindow(nullptr);
        qunsetenv("VRN_NOV_BROADCAST");
    }

    QString status(const char *name) const { return view->property(name).toString(); }
    // Until the browser shows url, completely loaded.
    bool waitForPage(const QString &url)
    {
        return QTest::qWaitFor(
            [&] { return evaluate(html, "document.readyState == 'complete' ? document.URL : ''").toString() == url; },
            20000);
    }
    void click(const char *id)
    {
        evaluate(html, QStringLiteral("document.getElementById('%1').click(); true").arg(QLatin1String(id)));
    }
    // target: "ADDR:PORT", or empty for the saved setting.
    void scanOn(const QByteArray &target)
    {
        if (target.isEmpty())
            qunsetenv("VRN_NOV_BROADCAST");
        else
            qputenv("VRN_NOV_BROADCAST", target);
        ASSERT_TRUE(QMetaObject::invokeMethod(view, "onScan"));
    }

    // The application object before any widget of the fixture.
    QApplication &application = app();
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scoped{prompts};
    QMainWindow mainWindow;
    QMdiArea *area = new QMdiArea;
    std::unique_ptr<CMyDocManager> manager;
    CMDIChildWnd *frame = nullptr;
    CView *view = nullptr;
    QWebEngineView *html = nullptr;
    QComboBox *list = nullptr;
};

} // namespace novtest
