#pragma once
// What every plug-in library owes the host, checked the same way for each:
// exactly one exported symbol, and a template that opens empty documents of
// the plug-in's own classes. Header-only; the test program defines the
// library path.
#include "test_application.h"
#include "doc_view.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"

#include <QApplication>
#include <QFile>
#include <QLibrary>
#include <QMdiArea>
#include <QProcess>

#include <memory>

#include <gtest/gtest.h>

// A plug-in library as the host loads it: never really unloaded. The types
// a plug-in registers with Qt's meta-type system stay registered with
// pointers into the library, which a library loaded again at another
// address would follow; and a plug-in that pulled in the browser engine
// does not survive being unloaded either.
inline void loadLikeTheHost(QLibrary &library)
{
    library.setLoadHints(QLibrary::PreventUnloadHint);
}

// Whether the browser engine's library is mapped into this process. The
// plug-ins keep it in modules of their own, loaded with the first browser
// window, so a test program that does not link it sees it only then.
inline bool browserEngineLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

// The browser view among WINDOW's children, found by class name: the
// test program need not link the browser engine to see it.
inline QWidget *browserViewIn(QWidget *window)
{
    for (QWidget *child : window->findChildren<QWidget *>())
        if (child->inherits("QWebEngineView")) return child;
    return nullptr;
}

inline QApplication &app() { return vrntest::testApplication("plugin-tests"); }

inline void expectOnlyTheEntryPointExported(const QString &pluginFile)
{
    QProcess nm;
    nm.start("nm", {"-D", "--defined-only", pluginFile});
    ASSERT_TRUE(nm.waitForFinished(10000));
    ASSERT_EQ(nm.exitCode(), 0) << nm.readAllStandardError().toStdString();
    QStringList symbols;
    for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        symbols << line.section(' ', -1);
    EXPECT_EQ(symbols, QStringList{"DLLDocTemplate"});
}

struct ExpectedPlugin
{
    const char *name;          // on the toolbar button
    const char *firstTitle;    // of the first and second untitled document
    const char *secondTitle;
    const char *fileTypeName;  // from the document string
    const char *documentClass;
    const char *viewClass;
};

inline void expectTemplateOpensEmptyDocuments(const QString &pluginFile, const ExpectedPlugin &e)
{
    app();
    QLibrary library(pluginFile);
    loadLikeTheHost(library);
    ASSERT_TRUE(library.load()) << library.errorString().toStdString();
    auto entry = reinterpret_cast<DLLDocTemplateFunction>(library.resolve("DLLDocTemplate"));
    ASSERT_NE(entry, nullptr);
    {
        QMdiArea area;
        CMyDocManager manager;
        manager.setMdiArea(&area);
        CMyMultiDocTemplate *t = entry();
        ASSERT_NE(t, nullptr);
        manager.addDocTemplate(t);
        EXPECT_EQ(t->name(), e.name);
        EXPECT_EQ(t->resourceId(), 129u);
        EXPECT_EQ(t->bitmap().size(), QSize(16, 15));

        ASSERT_TRUE(manager.OpenNewDocument(1));
        ASSERT_TRUE(manager.OpenNewDocument(1));
        const auto docs = manager.documents();
        ASSERT_EQ(docs.size(), 2);
        EXPECT_EQ(docs[0]->title(), e.firstTitle);
        EXPECT_EQ(docs[1]->title(), e.secondTitle);
        EXPECT_EQ(t->docString(CMyMultiDocTemplate::RegFileTypeName), e.fileTypeName);
        EXPECT_STREQ(docs[0]->metaObject()->className(), e.documentClass);
        EXPECT_STREQ(docs[0]->frames().constFirst()->metaObject()->className(), "CChildFrame");
        EXPECT_STREQ(docs[0]->views().constFirst()->metaObject()->className(), e.viewClass);
        EXPECT_EQ(area.subWindowList().size(), 2);
        // The template's icon (resource 129) marks its document frames.
        EXPECT_EQ(t->icon().size(), QSize(32, 32));
        EXPECT_TRUE(docs[0]->frames().constFirst()->testAttribute(Qt::WA_SetWindowIcon));
        // The manager deletes the template and its documents here, while the library is loaded.
    }
    EXPECT_TRUE(library.unload());
}

// A plug-in loaded as the host loads it, its template registered with a
// document manager that puts frames into an area. Everything the plug-in's
// code made goes before the library is unloaded.
struct LoadedPlugin
{
    explicit LoadedPlugin(const QString &pluginFile)
        : library(pluginFile)
    {
        app();
        manager->setMdiArea(&area);
        loadLikeTheHost(library);
        if (!library.load())
            return;
        auto entry = reinterpret_cast<DLLDocTemplateFunction>(library.resolve("DLLDocTemplate"));
        docTemplate = entry ? entry() : nullptr;
        manager->addDocTemplate(docTemplate);
    }
    ~LoadedPlugin()
    {
        closeAll();
        library.unload();
    }
    // The template and its documents, then the frames still waiting for
    // their deferred delete; the library stays loaded.
    void closeAll()
    {
        manager.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qDeleteAll(area.subWindowList());
    }

    QLibrary library;
    QMdiArea area;
    std::unique_ptr<CMyDocManager> manager = std::make_unique<CMyDocManager>();
    CMyMultiDocTemplate *docTemplate = nullptr;
};
