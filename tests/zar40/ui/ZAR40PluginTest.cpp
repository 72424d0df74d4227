#include "PluginContract.h"
#include "ScriptedUserPrompts.h"
#include "ZARDocument.h"

#include "zar40/preset/preset_files.h"

#include <QFile>
#include <QTemporaryDir>

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
    zar40::preset::PresetRecord record = memory.records[3];
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

} // namespace
