#include "EventLog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <vector>

namespace {

class EventLogTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath("VRNControl.log"); }

    QByteArray contents() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QList<QByteArray> entries() const
    {
        QList<QByteArray> lines = contents().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};

const QRegularExpression stampRe("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\t");

TEST_F(EventLogTest, EntryFormatsOfLevelOneAndThree)
{
    CEventLog log;
    ASSERT_TRUE(log.openPath(path()));

    log.setLevel(CEventLog::Errors);
    log.begin();
    log.setLine(321);
    log.setSource("/src/host/plugin_loader.cpp");
    log.error("Couldn't load the Plugin %s!", "broken.vpi");

    log.setLevel(CEventLog::Everything);
    log.begin();
    log.setLine(321);
    log.setSource("C:\\src\\host\\plugin_loader.cpp");
    log.error("Couldn't load the Plugin %s!", "broken.vpi");

    const auto lines = entries();
    ASSERT_EQ(lines.size(), 2);
    const QString first = QString::fromUtf8(lines[0]);
    EXPECT_TRUE(stampRe.match(first).hasMatch()) << first.toStdString();
    EXPECT_TRUE(first.endsWith("\tError\tCouldn't load the Plugin broken.vpi!\r")) << first.toStdString();
    EXPECT_EQ(first.count('\t'), 2);

    const QString third = QString::fromUtf8(lines[1]);
    EXPECT_TRUE(stampRe.match(third).hasMatch());
    EXPECT_TRUE(third.endsWith("\tError\tplugin_loader.cpp, 321\tCouldn't load the Plugin broken.vpi!\r"))
        << third.toStdString();
}

TEST_F(EventLogTest, LevelDecidesWhichKindsAreWritten)
{
    CEventLog log;
    ASSERT_TRUE(log.openPath(path()));
    const auto writeAll = [&](int level) {
        log.setLevel(level);
        log.begin();
        log.setSource(__FILE__);
        log.setLine(__LINE__);
        log.error("E%d", level);
        log.begin();
        log.info("I%d", level);
        log.begin();
        log.devInfo("D%d", level);
    };
    for (int level = 0; level <= 3; ++level)
        writeAll(level);

    QStringList seen;
    for (const QByteArray &line : entries())
        seen << QString::fromUtf8(line.split('\t').last()).trimmed();
    EXPECT_EQ(seen, (QStringList{"E1", "E2", "I2", "E3", "I3", "D3"}));
    for (const QByteArray &line : entries()) {
        if (line.endsWith("I2\r")) {
            EXPECT_TRUE(line.contains("\tInfo\t"));
        }
        if (line.endsWith("D3\r")) {
            EXPECT_TRUE(line.contains("\tDevInfo\tevent_log_test.cpp, "));
        }
    }
}

TEST_F(EventLogTest, LongAndMultiLineMessagesOnTheProcessLog)
{
    CEventLog &log = CEventLog::instance();
    log.setLevel(CEventLog::Errors);
    ASSERT_TRUE(log.openPath(path()));
    VRN_LOG_ERROR("Wrong operating system!\r\nCurrent OS: %s\nMinimum OS: Windows 2000", "Linux");
    VRN_LOG_ERROR("%s", std::string(3000, 'x').c_str());
    VRN_LOG_ERROR("%s", (std::string(1023, 'y') + "\xC3\xA4").c_str());
    log.close();

    const auto lines = entries();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith("\tWrong operating system!||Current OS: Linux|Minimum OS: Windows 2000\r"));
    EXPECT_EQ(lines[1].split('\t').last(), QByteArray(1024, 'x') + "\r");
    EXPECT_EQ(lines[2].split('\t').last(), QByteArray(1023, 'y') + "\r");
}

TEST_F(EventLogTest, ReopeningAppendsAndClosedLogDropsEntries)
{
    {
        CEventLog log;
        log.setLevel(CEventLog::Errors);
        ASSERT_TRUE(log.openPath(path()));
        log.begin();
        log.error("first run");
    }
    {
        CEventLog log;
        log.setLevel(CEventLog::Errors);
        ASSERT_TRUE(log.openPath(path()));
        log.begin();
        log.error("second run");
        log.close();
        log.begin();
        log.error("after close");
    }
    CEventLog failing;
    failing.setLevel(CEventLog::Everything);
    EXPECT_FALSE(failing.openPath(dir.filePath("no/such/folder/VRNControl.log")));
    failing.begin();
    failing.error("nowhere");

    const auto lines = entries();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith("first run\r"));
    EXPECT_TRUE(lines[1].endsWith("second run\r"));
}

TEST_F(EventLogTest, KeepsErrnoAndSurvivesWriteWithoutBegin)
{
    CEventLog log;
    log.setLevel(CEventLog::Errors);
    ASSERT_TRUE(log.openPath(path()));
    errno = ENOENT;
    log.begin();
    log.error("x");
    EXPECT_EQ(errno, ENOENT);
    // A caller that forgets begin() must neither deadlock nor unlock a lock it
    // does not hold; the next proper entry still works.
    log.error("without begin");
    log.begin();
    log.error("proper");
    EXPECT_EQ(entries().size(), 3);
}

TEST_F(EventLogTest, EntriesFromManyThreadsStayWholeWithTheirOwnSource)
{
    CEventLog log;
    log.setLevel(CEventLog::Everything);
    ASSERT_TRUE(log.openPath(path()));
    constexpr int threads = 4, perThread = 300;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&log, t] {
            const std::string source = "thread" + std::to_string(t) + ".cpp";
            for (int i = 0; i < perThread; ++i) {
                log.begin();
                log.setLine(i);
                log.setSource(source.c_str());
                log.info("t%d i%d", t, i);
            }
        });
    }
    for (auto &th : pool)
        th.join();

    const auto lines = entries();
    ASSERT_EQ(lines.size(), threads * perThread);
    const QRegularExpression re("^[^\t]+\tInfo\tthread(\\d)\\.cpp, (\\d+)\tt(\\d) i(\\d+)\r$");
    for (const QByteArray &line : lines) {
        const auto m = re.match(QString::fromUtf8(line));
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_EQ(m.captured(1), m.captured(3));
        EXPECT_EQ(m.captured(2), m.captured(4));
    }
}

TEST(EventLogFallback, StateFolderFollowsXdgStateHome)
{
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", "/var/tmp/state-test");
    EXPECT_EQ(CEventLog::fallbackFolder(), "/var/tmp/state-test/VRN-Control");
    qputenv("XDG_STATE_HOME", "relative/is/ignored");
    EXPECT_EQ(CEventLog::fallbackFolder(), QDir::homePath() + "/.local/state/VRN-Control");
    if (saved.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", saved);
}

} // namespace
