#include "DocView.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "test_app.h"

#include <QApplication>
#include <QLibrary>
#include <QMdiArea>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

TEST(ZAR40Plugin, ExportsExactlyTheEntryPoint)
{
    QProcess nm;
    nm.start("nm", {"-D", "--defined-only", PLUGIN_FILE});
    ASSERT_TRUE(nm.waitForFinished(10000));
    ASSERT_EQ(nm.exitCode(), 0) << nm.readAllStandardError().toStdString();
    QStringList symbols;
    for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        symbols << line.section(' ', -1);
    EXPECT_EQ(symbols, QStringList{"DLLDocTemplate"});
}

TEST(ZAR40Plugin, TemplateOpensAnEmptyEditorDocument)
{
    app();
    QLibrary library(PLUGIN_FILE);
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
        EXPECT_EQ(t->name, "ZAR 40");
        EXPECT_EQ(t->resourceId(), 129u);
        EXPECT_EQ(t->bitmap.size(), QSize(16, 15));

        ASSERT_TRUE(manager.OpenNewDocument(1));
        ASSERT_TRUE(manager.OpenNewDocument(1));
        const auto docs = manager.documents();
        ASSERT_EQ(docs.size(), 2);
        EXPECT_EQ(docs[0]->title(), "ZAR40 1");
        EXPECT_EQ(docs[1]->title(), "ZAR40 2");
        EXPECT_EQ(t->docString(CMyMultiDocTemplate::RegFileTypeName), "ZAR40  Document");
        EXPECT_STREQ(docs[0]->metaObject()->className(), "CZARDocument");
        EXPECT_STREQ(docs[0]->frames().constFirst()->metaObject()->className(), "CChildFrame");
        EXPECT_STREQ(docs[0]->views().constFirst()->metaObject()->className(), "CZARDocumentView");
        EXPECT_EQ(area.subWindowList().size(), 2);
        // The manager deletes the template and its documents here, while the library is loaded.
    }
    EXPECT_TRUE(library.unload());
}

} // namespace
