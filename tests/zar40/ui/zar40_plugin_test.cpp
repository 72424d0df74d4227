#include "plugin_contract.h"
#include "ScriptedUserPrompts.h"
#include "ZARDocument.h"

#include "zar40/preset/preset_files.h"

#include <QFile>
#include <QLoggingCategory>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

TEST(ZAR40Plugin, ExportsExactlyTheEntryPoint)
{
    expectOnlyTheEntryPointExported(PLUGIN_FILE);
}

TEST(ZAR40Plugin, TemplateOpensAnEmptyEditorDocument)
{
    expectTemplateOpensEmptyDocuments(
        PLUGIN_FILE, {"ZAR 40", "ZAR40 1", "ZAR40 2", "ZAR40  Document", "CZARDocument", "CZARDocumentView"});
}

TEST(ZAR40Plugin, OpensPresetFilesAndRefusesWhatItCannotRead)
{
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope(prompts);
    prompts.setAcknowledgeNotices(true);
    LoadedPlugin plugin(PLUGIN_FILE);
    ASSERT_NE(plugin.docTemplate, nullptr);
    EXPECT_EQ(plugin.docTemplate->fileExtensions(), (QStringList{"vpx", "vpf"}));

    QTemporaryDir dir;
    const auto write = [&](const char *name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const QString corrupt = write("corrupt.vpx", "<ZAR40_PRESET><unclosed>");
    const QString shortV1 = write("short.vpf", QByteArray(10, '\0'));
    zar40::preset::PresetMemory memory;
    zar40::preset::resetPresetMemory(memory);
    zar40::preset::PresetRecord record = memory.records()[3];
    zar40::preset::setText(record.NAME, "Stage left");
    const QString good = dir.filePath("good.vpx");
    ASSERT_TRUE(zar40::preset::writeXmlPresetFile(record, good.toStdString()));

    EXPECT_EQ(plugin.manager->openDocumentFile(corrupt), nullptr);
    EXPECT_EQ(plugin.manager->openDocumentFile(shortV1), nullptr);
    EXPECT_TRUE(plugin.manager->documents().isEmpty());
    EXPECT_TRUE(plugin.area.subWindowList().isEmpty());
    const QStringList texts = prompts.texts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith(corrupt + "\nCould not load XML-Preset-file!")) << texts[0].toStdString();
    EXPECT_TRUE(texts[1].startsWith(shortV1 + "\nCould not load vpf-Preset-file!")) << texts[1].toStdString();

    CDocument *d = plugin.manager->openDocumentFile(good);
    ASSERT_NE(d, nullptr);
    ASSERT_STREQ(d->metaObject()->className(), "CZARDocument");
    EXPECT_EQ(zar40::preset::textOf(static_cast<CZARDocument *>(d)->session().presets().currentRecord().NAME), "Stage left");
    EXPECT_EQ(d->title(), "good.vpx");
    EXPECT_EQ(prompts.texts().size(), 2);
}

TEST(ZAR40Plugin, TheReportWindowBringsTheBrowserEngineAlongWhenItFirstOpens)
{
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope(prompts);
    app();
    LoadedPlugin plugin(PLUGIN_FILE);
    ASSERT_NE(plugin.docTemplate, nullptr);
    ASSERT_TRUE(plugin.manager->OpenNewDocument(1));
    CView *view = plugin.manager->documents().constFirst()->views().constFirst();
    EXPECT_FALSE(browserEngineLoaded());
    // Web views drawn as the host draws them (host/GraphicsSetup), with no
    // shared OpenGL context, whose absence the engine's context report
    // does not survive.
    qputenv("QT_QUICK_BACKEND", "software");
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));

    // The window is modal: it is looked into from its own event loop.
    QString title, pageTitle;
    QTimer::singleShot(0, [&] {
        QPointer<QWidget> window;
        if (!QTest::qWaitFor([&] { return (window = QApplication::activeModalWidget()) != nullptr; }, 20000))
            return;
        title = window->windowTitle();
        if (QWidget *browser = browserViewIn(window)) {
            if (QTest::qWaitFor(
                    [&] { return browser->property("title").toString() == QLatin1String("HTML Report"); }, 30000))
                pageTitle = browser->property("title").toString();
        }
        window->close();
    });
    ASSERT_TRUE(QMetaObject::invokeMethod(view, "onHtmlReport"));
    EXPECT_EQ(title, "Html-Report");
    EXPECT_EQ(pageTitle, "HTML Report");
    EXPECT_TRUE(browserEngineLoaded());
    EXPECT_TRUE(prompts.texts().isEmpty()) << prompts.texts().join('\n').toStdString();
}

} // namespace
