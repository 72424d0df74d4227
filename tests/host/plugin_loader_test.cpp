#include "host_test_support.h"

#include "doc_view.h"
#include "EventLog.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "plugin_loader.h"

#include <QRegularExpression>

namespace {

class PluginLoaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testApp();
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(logDir.isValid());
        CEventLog::instance().openPath(logPath());
        CEventLog::instance().setLevel(CEventLog::Errors);
    }
    void TearDown() override
    {
        CEventLog::instance().close();
        CEventLog::instance().setLevel(CEventLog::Nothing);
    }
    QString logPath() const { return logDir.filePath("VRNControl.log"); }
    QStringList logLines() const
    {
        QStringList lines = QString::fromUtf8(readFile(logPath())).split("\r\n");
        lines.removeAll(QString());
        return lines;
    }
    void writeText(const QString &name, const QByteArray &text)
    {
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QStringList names(const QStringList &paths) const
    {
        QStringList n;
        for (const QString &p : paths)
            n << QFileInfo(p).fileName();
        return n;
    }

    QTemporaryDir folder;
    QTemporaryDir logDir;
};

TEST_F(PluginLoaderTest, ScanAcceptsLibrariesWithTheEntryAndLogsFilesThatAreNoLibrary)
{
    installPlugin(folder.path(), "test-plugin-alpha", "good.vpi");
    installPlugin(folder.path(), "test-plugin-noexport", "noexport.vpi");
    installPlugin(folder.path(), "test-plugin-beta", "other.so"); // not *.vpi
    writeText("broken.vpi", "this is no library\n");

    const QStringList accepted = PluginSet::scan(folder.path());
    EXPECT_EQ(names(accepted), QStringList{"good.vpi"});
    EXPECT_TRUE(QFileInfo(accepted.value(0)).isAbsolute());

    // One entry, for broken.vpi only: the library without the entry is skipped silently.
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\tError\tCouldn't load the Plugin broken.vpi!$")
                    .match(lines[0])
                    .hasMatch())
        << lines[0].toStdString();
}

TEST_F(PluginLoaderTest, BrokenPluginEntryAtLevelThreeNamesSourceAndLine)
{
    CEventLog::instance().setLevel(CEventLog::Everything);
    writeText("broken.vpi", QByteArray(4096, '\x7f'));
    EXPECT_TRUE(PluginSet::scan(folder.path()).isEmpty());
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(QRegularExpression("^[^\t]+\tError\tplugin_loader\\.cpp, \\d+\tCouldn't load the Plugin broken\\.vpi!$")
                    .match(lines[0])
                    .hasMatch())
        << lines[0].toStdString();
}

TEST_F(PluginLoaderTest, NoFolderOrEmptyFolderLoadsNothing)
{
    EXPECT_TRUE(PluginSet::scan(folder.filePath("missing")).isEmpty());
    EXPECT_TRUE(PluginSet::scan(folder.path()).isEmpty());
    EXPECT_TRUE(logLines().isEmpty());
}

// Button i belongs to the i-th accepted file in folder order, whichever
// plug-in that is.
TEST_F(PluginLoaderTest, RegistrationFollowsFolderOrderInBothOrders)
{
    for (const bool alphaFirst : {true, false}) {
        QTemporaryDir dir;
        installPlugin(dir.path(), "test-plugin-alpha", alphaFirst ? "a.vpi" : "b.vpi");
        installPlugin(dir.path(), "test-plugin-beta", alphaFirst ? "B.vpi" : "A.vpi");
        PluginSet set;
        set.load(PluginSet::scan(dir.path()));
        ASSERT_EQ(set.count(), 2);
        PluginButtonTable buttons;
        buttons.clear();
        {
            CMyDocManager manager;
            set.registerTemplates(manager, buttons);
            ASSERT_EQ(manager.templateCount(), 2);
            ASSERT_EQ(buttons.count(), 2);
            const QStringList expected = alphaFirst ? QStringList{"Alpha", "Beta"} : QStringList{"Beta", "Alpha"};
            EXPECT_EQ((QStringList{buttons.at(0).name, buttons.at(1).name}), expected);
            EXPECT_EQ(manager.templates()[0]->name(), expected[0]);
            EXPECT_EQ(buttons.at(0).bitmap, &manager.templates()[0]->bitmap());
            // Index 2 opens a document of the second plug-in.
            ASSERT_TRUE(manager.OpenNewDocument(2));
            EXPECT_EQ(manager.documents().size(), 1);
            EXPECT_EQ(manager.documents()[0]->docTemplate()->name(), expected[1]);
            // The manager (and with it the plug-ins' templates and
            // documents) goes before the libraries are unloaded.
        }
        set.unloadAll();
    }
}

TEST_F(PluginLoaderTest, NullTemplateEndsTheButtonTableButLaterTemplatesRegister)
{
    installPlugin(folder.path(), "test-plugin-alpha", "1.vpi");
    installPlugin(folder.path(), "test-plugin-null", "2.vpi");
    installPlugin(folder.path(), "test-plugin-beta", "3.vpi");
    PluginSet set;
    set.load(PluginSet::scan(folder.path()));
    ASSERT_EQ(set.count(), 3);
    PluginButtonTable buttons;
    CMyDocManager manager;
    set.registerTemplates(manager, buttons);
    EXPECT_EQ(manager.templateCount(), 2);
    EXPECT_EQ(buttons.count(), 1);
    EXPECT_EQ(buttons.at(2).name, "Beta");
}

TEST_F(PluginLoaderTest, LibraryThatFailsToLoadAgainIsSkippedNotCalled)
{
    installPlugin(folder.path(), "test-plugin-alpha", "1.vpi");
    installPlugin(folder.path(), "test-plugin-beta", "2.vpi");
    // A probe keeps a library mapped for good, so only a file that no probe
    // of this process has seen can fail to load again: the accepted list is
    // made here, not by a scan.
    const QStringList accepted = {folder.path() + "/1.vpi", folder.path() + "/2.vpi"};
    ASSERT_TRUE(QFile::remove(accepted[0]));

    PluginSet set;
    set.load(accepted);
    ASSERT_EQ(set.count(), 2);
    EXPECT_FALSE(set.at(0).loaded());
    EXPECT_EQ(set.at(0).entry(), nullptr);
    PluginButtonTable buttons;
    CMyDocManager manager;
    set.registerTemplates(manager, buttons);
    ASSERT_EQ(manager.templateCount(), 1);
    EXPECT_EQ(manager.templates()[0]->name(), "Beta");
    EXPECT_EQ(buttons.count(), 0); // entry 0 is empty, so no button shows
}

TEST_F(PluginLoaderTest, AtMostOneHundredPluginsAreAccepted)
{
    for (int i = 0; i < PluginSet::kMaxAccepted + 3; ++i)
        installPlugin(folder.path(), "test-plugin-alpha", QStringLiteral("p%1.vpi").arg(i, 3, 10, QLatin1Char('0')));
    const QStringList accepted = PluginSet::scan(folder.path());
    ASSERT_EQ(accepted.size(), PluginSet::kMaxAccepted);
    EXPECT_EQ(QFileInfo(accepted.last()).fileName(), "p099.vpi");
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains("p100.vpi")) << lines[0].toStdString();
}

TEST(PluginLibrary, RecordLoadsAndUnloads)
{
    testApp();
    PluginLibrary lib;
    EXPECT_TRUE(lib.path().isEmpty());
    EXPECT_FALSE(lib.loaded());
    ASSERT_TRUE(lib.load(testPlugin("test-plugin-noexport")));
    EXPECT_TRUE(lib.loaded());
    EXPECT_EQ(lib.entry(), nullptr); // loaded, but without the entry
    lib.unload();
    EXPECT_TRUE(lib.path().isEmpty());
    EXPECT_FALSE(lib.loaded());
    EXPECT_FALSE(lib.load("/nonexistent/x.vpi"));
    EXPECT_EQ(lib.path(), "/nonexistent/x.vpi");
    EXPECT_EQ(lib.entry(), nullptr);
}

} // namespace
