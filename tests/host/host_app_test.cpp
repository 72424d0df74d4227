#include "host_test_support.h"

#include "EventLog.h"
#include "HostApp.h"
#include "HostOptions.h"
#include "host_strings.h"
#include "MyDocManager.h"
#include "SingleInstance.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <future>

namespace {

class HostAppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testApp();
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkdir("plugin");
        options.pluginDir = dir.filePath("plugin");
        options.noSplash = true;
    }
    void TearDown() override { CEventLog::instance().close(); }

    CHostApp::Environment environment(const char *what) const
    {
        CHostApp::Environment env;
        env.instanceName = uniqueInstanceName(what);
        env.logPath = dir.filePath("VRNControl.log");
        env.useSplashTimings = false;
        return env;
    }
    QString log() const { return QString::fromUtf8(readFile(dir.filePath("VRNControl.log"))); }

    QTemporaryDir dir;
    HostOptions options;
};

TEST_F(HostAppTest, StartsWithPluginsAndShutsDownInOrder)
{
    installPlugin(options.pluginDir, "test-plugin-alpha", "alpha.vpi");
    installPlugin(options.pluginDir, "test-plugin-beta", "beta.vpi");
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    CHostApp host(options, environment("start"));
    ASSERT_TRUE(host.InitInstance());
    EXPECT_EQ(host.pluginCount(), 2);
    ASSERT_NE(host.mainFrame(), nullptr);
    EXPECT_TRUE(host.mainFrame()->isVisible());
    EXPECT_EQ(host.mainFrame()->pluginButtonCount(), 2);
    // No document opens by itself.
    EXPECT_TRUE(host.docManager()->documents().isEmpty());
    host.docManager()->OpenNewDocument(1);
    host.docManager()->OpenNewDocument(2);
    EXPECT_EQ(host.ExitInstance(), 0);
    EXPECT_EQ(host.mainFrame(), nullptr);
    EXPECT_EQ(host.docManager(), nullptr);
    EXPECT_EQ(host.pluginCount(), 0);
    EXPECT_TRUE(prompts.shown().isEmpty());
    EXPECT_TRUE(log().isEmpty());
}

TEST_F(HostAppTest, SecondInstanceIsRefusedAndTheFirstKeepsRunning)
{
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    CHostApp first(options, environment("second"));
    ASSERT_TRUE(first.InitInstance());

    prompts.answerOk();
    CHostApp second(options, environment("second"));
    EXPECT_FALSE(second.InitInstance());
    EXPECT_EQ(second.mainFrame(), nullptr);
    ASSERT_EQ(prompts.shown().size(), 1);
    EXPECT_EQ(prompts.shown()[0].text, "There is another instance of VRN-Control already running!");
    EXPECT_EQ(prompts.shown()[0].icon, UserPrompts::Icon::Exclamation);
    EXPECT_TRUE(log().contains("\tError\tThere is another instance of VRN-Control already running!\r\n"));

    EXPECT_TRUE(first.mainFrame()->isVisible());
    EXPECT_TRUE(first.instance()->held());
    second.ExitInstance();
    EXPECT_TRUE(first.instance()->held());
}

TEST_F(HostAppTest, RefusedOperatingSystemShowsAndLogsTheMessage)
{
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    prompts.answerOk();
    CHostApp::Environment env = environment("os");
    env.checkOs = [] { return OsCheck{false, "Microsoft Windows 98 SE "}; };
    CHostApp host(options, env);
    EXPECT_FALSE(host.InitInstance());
    const QString expected = "Wrong operating system!\nCurrent OS: Microsoft Windows 98 SE \nMinimum OS: Windows 2000";
    ASSERT_EQ(prompts.texts(), QStringList{expected});
    EXPECT_EQ(prompts.shown()[0].icon, UserPrompts::Icon::Exclamation);
    EXPECT_TRUE(log().contains("\tError\tWrong operating system!|Current OS: Microsoft Windows 98 SE |Minimum OS: Windows 2000\r\n"));
    // Refused before the single-instance check: nothing is held.
    EXPECT_EQ(host.instance(), nullptr);
}

TEST_F(HostAppTest, NamedFileThatCannotOpenIsExplainedLoggedAndEndsStartUp)
{
    installPlugin(options.pluginDir, "test-plugin-alpha", "alpha.vpi");
    const QString file = dir.filePath("nothing.vpx");
    options.files = {file}; // no plug-in reads it
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    prompts.answerOk();
    CHostApp host(options, environment("files"));
    EXPECT_FALSE(host.InitInstance());
    EXPECT_TRUE(log().contains("\tError\tCouldn't dispatch commands specified on the command line!\r\n"));
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts()[0].startsWith("Cannot open \"" + file + "\"")) << prompts.texts()[0].toStdString();
    // Nothing opened in place of the file, and the frame never showed.
    EXPECT_TRUE(host.docManager()->documents().isEmpty());
    EXPECT_FALSE(host.mainFrame() && host.mainFrame()->isVisible());
}

TEST_F(HostAppTest, CloseTenTenOverTheSocketClosesWithoutAsking)
{
    installPlugin(options.pluginDir, "test-plugin-alpha", "alpha.vpi");
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    const CHostApp::Environment env = environment("close");
    CHostApp host(options, env);
    ASSERT_TRUE(host.InitInstance());
    host.docManager()->OpenNewDocument(1);
    bool finished = false;
    QObject::connect(&host, &CHostApp::finished, [&] {
        finished = true;
        host.ExitInstance();
    });

    // The sender waits until the instance is gone, so it runs beside the event loop.
    auto sender = std::async(std::launch::async, [name = env.instanceName] {
        return SingleInstance::sendCloseRequest(name, 5000, 5000);
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 10000));
    EXPECT_EQ(sender.get(), 0);
    EXPECT_TRUE(prompts.shown().isEmpty());
    EXPECT_EQ(host.docManager(), nullptr);
}

TEST_F(HostAppTest, OtherCloseRequestAsksTheQuestion)
{
    TestPrompts prompts;
    ScopedUserPrompts scope(prompts);
    const CHostApp::Environment env = environment("ask");
    CHostApp host(options, env);
    ASSERT_TRUE(host.InitInstance());

    prompts.answerNo();
    QLocalSocket socket;
    socket.connectToServer(host.instance()->socketPath());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write("close 1 1\n");
    QByteArray reply;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        reply += socket.readAll();
        return !prompts.shown().isEmpty();
    }, 5000));
    EXPECT_EQ(prompts.texts(), QStringList{"Close VRN-Control?"});
    EXPECT_TRUE(host.mainFrame()->isVisible());

    QLocalSocket bad;
    bad.connectToServer(host.instance()->socketPath());
    ASSERT_TRUE(bad.waitForConnected(2000));
    bad.write("close 10\n");
    QByteArray badReply;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        badReply += bad.readAll();
        return badReply.contains('\n');
    }, 5000));
    EXPECT_EQ(badReply, "error\n");
    EXPECT_EQ(prompts.shown().size(), 1);
}

TEST(SingleInstance, StaleLockOfAGoneProcessIsTakenOver)
{
    testApp();
    const QString name = uniqueInstanceName("stale");
    SingleInstance probe(name);
    // A lock file left by a process that no longer runs.
    QProcess gone;
    gone.start("sleep", {"0.05"});
    ASSERT_TRUE(gone.waitForStarted(5000));
    const qint64 pid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished(5000));
    {
        QFile lock(probe.lockPath());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + "\nVRN-Control\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    }
    QFile staleSocket(probe.socketPath());
    ASSERT_TRUE(staleSocket.open(QIODevice::WriteOnly));
    staleSocket.close();

    SingleInstance instance(name);
    EXPECT_TRUE(instance.acquire());
    SingleInstance other(name);
    EXPECT_FALSE(other.acquire());
    instance.release();
    EXPECT_TRUE(other.acquire());
    EXPECT_EQ(SingleInstance::sendCloseRequest(uniqueInstanceName("nobody"), 200, 200), 1);
}

TEST(SingleInstance, ClientsThatNeverEndTheirLineAreDropped)
{
    testApp();
    SingleInstance instance(uniqueInstanceName("idle"));
    instance.setClientTimeoutMs(200);
    ASSERT_TRUE(instance.acquire());
    QSignalSpy requests(&instance, &SingleInstance::closeRequested);

    // One that says nothing, one that stops before the line end, one that
    // sends more than any request without a line end.
    QLocalSocket idle, unfinished, endless;
    for (QLocalSocket *s : {&idle, &unfinished, &endless}) {
        s->connectToServer(instance.socketPath());
        ASSERT_TRUE(s->waitForConnected(2000));
    }
    unfinished.write("close 10 10");
    endless.write(QByteArray(300, 'x'));
    QByteArray endlessReply;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        endlessReply += endless.readAll();
        return idle.state() == QLocalSocket::UnconnectedState && unfinished.state() == QLocalSocket::UnconnectedState &&
               endless.state() == QLocalSocket::UnconnectedState;
    }, 10000));
    EXPECT_EQ(endlessReply + endless.readAll(), "error\n");
    EXPECT_TRUE(requests.isEmpty());

    // The next client is served as ever.
    QLocalSocket prompt;
    prompt.connectToServer(instance.socketPath());
    ASSERT_TRUE(prompt.waitForConnected(2000));
    prompt.write("close 1 1\n");
    EXPECT_TRUE(requests.wait(5000));
}

TEST(ControlRequest, ParsesOnlyWellFormedCloseRequests)
{
    const auto r = parseControlRequest("close 10 10");
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->closesWithoutQuestion());
    const auto one = parseControlRequest("close 1 1");
    ASSERT_TRUE(one);
    EXPECT_FALSE(one->closesWithoutQuestion());
    EXPECT_FALSE(parseControlRequest("close 10 9")->closesWithoutQuestion());
    for (const QByteArray &bad : {QByteArray("close"), QByteArray("close 10"), QByteArray("close 10 10 10"),
                                 QByteArray("CLOSE 10 10"), QByteArray("close -10 10"), QByteArray("close 10  10"),
                                 QByteArray("close 0x10 10"), QByteArray("close 99999999999 1"), QByteArray(""),
                                 QByteArray("close 10 10").append(QByteArray(60, ' ')),
                                 QByteArray("close 1\x00 1", 10)})
        EXPECT_FALSE(parseControlRequest(bad)) << bad.toStdString();
}

TEST(HostOptions, ParsesEveryOption)
{
    const HostOptions none = parseHostOptions({"VRN-Control"});
    EXPECT_FALSE(none.exit);
    EXPECT_TRUE(none.pluginDir.isEmpty());
    EXPECT_FALSE(none.noSplash);
    EXPECT_EQ(none.logLevel, 1);

    const HostOptions all = parseHostOptions(
        {"VRN-Control", "--plugin-dir", "/opt/p", "--no-splash", "--log-level", "3", "a.vpx"});
    EXPECT_FALSE(all.exit);
    EXPECT_EQ(all.pluginDir, "/opt/p");
    EXPECT_TRUE(all.noSplash);
    EXPECT_EQ(all.logLevel, 3);
    EXPECT_EQ(all.files, QStringList{"a.vpx"});
    EXPECT_TRUE(parseHostOptions({"VRN-Control", "--close-running"}).closeRunning);

    for (const QStringList &bad : {QStringList{"VRN-Control", "--log-level", "4"},
                                   QStringList{"VRN-Control", "--log-level", "x"},
                                   QStringList{"VRN-Control", "--frobnicate"}}) {
        const HostOptions o = parseHostOptions(bad);
        EXPECT_TRUE(o.exit);
        EXPECT_NE(o.exitCode, 0);
        EXPECT_FALSE(o.message.isEmpty());
    }
    const HostOptions help = parseHostOptions({"VRN-Control", "--help"});
    EXPECT_TRUE(help.exit);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.message.contains("--plugin-dir"));
}

// The real program, started twice and closed from outside.
TEST(HostProgram, SecondStartIsRefusedAndCloseRunningEndsTheFirst)
{
    testApp();
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QTemporaryDir plugins;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(VRN_CONTROL_EXE, {"--no-splash", "--plugin-dir", plugins.path()});
    ASSERT_TRUE(first.waitForStarted(5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(runtime.filePath("VRN-Control")); }, 10000));

    QProcess closer;
    closer.setProcessEnvironment(env);
    closer.start(VRN_CONTROL_EXE, {"--close-running"});
    ASSERT_TRUE(closer.waitForFinished(20000));
    EXPECT_EQ(closer.exitCode(), 0) << closer.readAllStandardError().toStdString();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);

    QProcess nobody;
    nobody.setProcessEnvironment(env);
    nobody.start(VRN_CONTROL_EXE, {"--close-running"});
    ASSERT_TRUE(nobody.waitForFinished(10000));
    EXPECT_EQ(nobody.exitCode(), 1);
}

} // namespace
