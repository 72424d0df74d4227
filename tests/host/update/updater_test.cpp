#include "test_application.h"
#include "HttpTestServer.h"
#include "ScriptedUserPrompts.h"
#include "MainFrame.h"
#include "MyDocManager.h"
#include "plugin_loader.h"
#include "update/DownloadDlg.h"
#include "update/Updater.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {


const QString Latest = "Current version is the latest version!  No upgrade is required!";

class UpdaterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vrntest::testApplication("host-update-tests");
        ASSERT_TRUE(server.listening());
        ASSERT_TRUE(root.isValid());
        prompts.setFailureHandler([](const QString &why) { ADD_FAILURE() << why.toStdString(); });
        prompts.setAcknowledgeNotices(true);
        settings.baseUrl = server.url("/software/updates/vrncontrol");
        settings.allowHttp = true;
        settings.stepPauseMs = 0;
        settings.stallTimeoutMs = 5000;
        settings.maxDownloadBytes = 4096;
        settings.updateDir = root.filePath("updates");
        settings.isOnline = [] { return true; };
    }

    void serveVersion(const QByteArray &versionFile)
    {
        server.route("/software/updates/vrncontrol/vrn_control_upgrade.txt", {versionFile});
    }

    // Serves a newer version whose updater is program, with its Sha256.
    void serveUpdater(const QByteArray &program)
    {
        serveVersion("Version: \"1.5.00113\"\r\nFilename: \"updater.run\"\r\nSha256: \"" +
                     QCryptographicHash::hash(program, QCryptographicHash::Sha256).toHex() + "\"\r\n");
        server.route("/software/updates/vrncontrol/updater.run", {program});
    }

    // Runs one check to its end; true when the updater was started. The
    // updater stays, for what comes after the hand-over.
    bool check()
    {
        frame.setEnabled(false);
        dialog = new CDownloadDlg;
        updater = std::make_unique<CUpdater>(&frame, dialog, settings);
        QSignalSpy finished(updater.get(), &CUpdater::finished);
        updater->start("1.5.00112");
        EXPECT_TRUE(finished.wait(20000));
        started = updater->startedProgram();
        return !finished.isEmpty() && finished.first().first().toBool();
    }

    // Every file below the test's folder, relative to it.
    QStringList filesWritten() const
    {
        QStringList all;
        QDir base(root.path());
        std::function<void(const QString &)> walk = [&](const QString &dir) {
            for (const QFileInfo &i : QDir(dir).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
                if (i.isDir())
                    walk(i.filePath());
                else
                    all << base.relativeFilePath(i.filePath());
            }
        };
        walk(root.path());
        return all;
    }

    QApplication &application = vrntest::testApplication("host-update-tests"); // before any widget
    HttpTestServer server;
    QTemporaryDir root;
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope{prompts};
    UpdateSettings settings;
    QWidget frame;
    QPointer<CDownloadDlg> dialog;
    std::unique_ptr<CUpdater> updater;
    QString started;
};

TEST_F(UpdaterTest, SameOrOlderVersionNeedsNoUpgradeAndFreesTheFrame)
{
    for (const char *version : {"1.5.00112", "1.10.00001", "1.4.99999"}) {
        prompts.clear();
        serveVersion("Version: \"" + QByteArray(version) + "\"\nFilename: \"updater.run\"\n");
        EXPECT_FALSE(check()) << version;
        EXPECT_EQ(prompts.texts(), QStringList{Latest}) << version;
        EXPECT_EQ(prompts.shown().value(0).title, "Upgrading Software");
        EXPECT_EQ(prompts.shown().value(0).icon, UserPrompts::Icon::Error);
        EXPECT_TRUE(frame.isEnabled());
        QTRY_VERIFY(dialog.isNull());
    }
    EXPECT_TRUE(filesWritten().isEmpty());
    // The version file was fetched through the base address, never the updater.
    EXPECT_FALSE(server.requested().contains("/software/updates/vrncontrol/updater.run"));
}

TEST_F(UpdaterTest, NewerVersionStartsTheUpdaterInItsFolderAndWaitsForItToClose)
{
    const QString marker = root.filePath("updater-ran");
    serveUpdater("#!/bin/sh\necho \"$PWD\" > '" + marker.toUtf8() + "'\n");
    ASSERT_TRUE(check());
    const QString program = QDir(settings.updateDir).filePath("updater.run");
    EXPECT_EQ(started, program);
    EXPECT_TRUE(QFileInfo(program).isExecutable());
    // Handed over: the frame stays disabled, the dialog open, no message.
    EXPECT_FALSE(frame.isEnabled());
    ASSERT_FALSE(dialog.isNull());
    EXPECT_EQ(dialog->status(), "Execute Updater ...");
    EXPECT_TRUE(prompts.texts().isEmpty());

    // This one ends without closing the host: the frame is usable again.
    QSignalSpy released(updater.get(), &CUpdater::released);
    ASSERT_TRUE(released.wait(10000));
    EXPECT_TRUE(frame.isEnabled());
    QTRY_VERIFY(dialog.isNull());
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts()[0].startsWith("The updater \"updater.run\" has ended without closing VRN-Control."))
        << prompts.texts()[0].toStdString();
    QFile ran(marker);
    ASSERT_TRUE(ran.open(QIODevice::ReadOnly));
    EXPECT_EQ(ran.readAll().trimmed(), QDir(settings.updateDir).canonicalPath().toUtf8());
}

TEST_F(UpdaterTest, AnUpdaterThatNeitherClosesTheHostNorEndsIsWaitedForOnlyUntilTheTimeout)
{
    settings.handOverTimeoutMs = 300;
    const QString pidFile = root.filePath("updater.pid");
    serveUpdater("#!/bin/sh\necho $$ > '" + pidFile.toUtf8() + "'\nexec sleep 60\n");
    ASSERT_TRUE(check());
    QSignalSpy released(updater.get(), &CUpdater::released);
    ASSERT_TRUE(released.wait(10000));
    EXPECT_TRUE(frame.isEnabled());
    EXPECT_EQ(prompts.texts().value(0).section('\n', 0, 0),
              "The updater \"updater.run\" has not closed VRN-Control within 0.3 seconds.");
    QTRY_VERIFY(QFile::exists(pidFile));
    QFile pid(pidFile);
    ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
    const qint64 sleeper = pid.readAll().trimmed().toLongLong();
    ASSERT_GT(sleeper, 1);
    ::kill(pid_t(sleeper), SIGTERM);
}

TEST_F(UpdaterTest, UpdaterWithoutTheGivenSha256IsDeletedUnstarted)
{
    const QString marker = root.filePath("updater-ran");
    const QByteArray program = "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n";
    const QByteArray wrongDigest = QCryptographicHash::hash("other", QCryptographicHash::Sha256).toHex();
    server.route("/software/updates/vrncontrol/updater.run", {program});
    serveVersion("Version: \"1.5.00113\"\nFilename: \"updater.run\"\nSha256: \"" + wrongDigest + "\"\n");
    EXPECT_FALSE(check());
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts()[0].contains("does not have the Sha256")) << prompts.texts()[0].toStdString();
    EXPECT_TRUE(frame.isEnabled());
    EXPECT_TRUE(filesWritten().isEmpty()) << filesWritten().join(' ').toStdString();

    // Over http the digest is required, and must be one.
    for (const QByteArray &line : {QByteArray(), QByteArray("Sha256: \"12ab\"\n")}) {
        prompts.clear();
        serveVersion("Version: \"1.5.00113\"\nFilename: \"updater.run\"\n" + line);
        EXPECT_FALSE(check());
        ASSERT_EQ(prompts.texts().size(), 1);
        EXPECT_TRUE(prompts.texts()[0].contains("Sha256")) << prompts.texts()[0].toStdString();
    }
    EXPECT_EQ(server.requested().count("/software/updates/vrncontrol/updater.run"), 1);
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(UpdaterTest, UnsafeUpdaterNamesAreRefusedAndNothingIsWritten)
{
    for (const QByteArray &name : {QByteArray("../evil.run"), root.filePath("abs.run").toUtf8(), QByteArray("ev\x01il.run"),
                                  QByteArray(".profile")}) {
        prompts.clear();
        serveVersion("Version: \"1.5.00113\"\nFilename: \"" + name + "\"\n");
        server.route("/software/updates/vrncontrol/" + QString::fromUtf8(name), {"#!/bin/sh\n"});
        EXPECT_FALSE(check()) << name.constData();
        ASSERT_EQ(prompts.texts().size(), 1);
        EXPECT_TRUE(prompts.texts()[0].contains("which is refused")) << prompts.texts()[0].toStdString();
        EXPECT_TRUE(frame.isEnabled());
    }
    EXPECT_TRUE(filesWritten().isEmpty()) << filesWritten().join(' ').toStdString();
}

TEST_F(UpdaterTest, StalledOrOversizedDownloadsEndWithAMessageAndNoFile)
{
    settings.stallTimeoutMs = 300;
    serveUpdater("");
    server.route("/software/updates/vrncontrol/updater.run", {QByteArray(2000, 'x'), 200, 100});
    EXPECT_FALSE(check());
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts()[0].contains("sent nothing for 0.3 seconds")) << prompts.texts()[0].toStdString();
    EXPECT_TRUE(frame.isEnabled());

    prompts.clear();
    server.route("/software/updates/vrncontrol/updater.run", {QByteArray(5000, 'x')});
    EXPECT_FALSE(check());
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts()[0].contains("larger than 4.0 KByte")) << prompts.texts()[0].toStdString();
    EXPECT_TRUE(filesWritten().isEmpty()) << filesWritten().join(' ').toStdString();

    prompts.clear();
    server.route("/software/updates/vrncontrol/vrn_control_upgrade.txt", {"gone", 404});
    EXPECT_FALSE(check());
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts()[0].startsWith("Cannot download")) << prompts.texts()[0].toStdString();
}

TEST_F(UpdaterTest, OfflineOrPlainHttpWithoutConsentStopsBeforeAnyRequest)
{
    settings.isOnline = [] { return false; };
    settings.baseUrl.setHost("updates.invalid");
    EXPECT_FALSE(check());
    EXPECT_EQ(prompts.texts(), QStringList{"This application must connect to the Internet to be upgraded!"});

    prompts.clear();
    settings.isOnline = [] { return true; };
    settings.allowHttp = false;
    EXPECT_FALSE(check());
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts()[0].contains("AllowHttp")) << prompts.texts()[0].toStdString();
    EXPECT_TRUE(server.requested().isEmpty());
    EXPECT_TRUE(frame.isEnabled());
}

TEST_F(UpdaterTest, DialogShowsTheStepsAndTheFigures)
{
    CDownloadDlg d;
    EXPECT_EQ(d.windowTitle(), "Please wait for Update ...");
    d.setFigures(1536, 1048576, 65000);
    EXPECT_EQ(d.figure("received"), "1.5 KByte");
    EXPECT_EQ(d.figure("size"), "1.0 MByte");
    EXPECT_EQ(d.figure("elapsed"), "00:01:05");
    EXPECT_EQ(d.figure("speed"), "0.0 KB/s");
    d.setFigures(1023, 0, 0);
    EXPECT_EQ(d.figure("received"), "1023 Byte");
    EXPECT_EQ(d.figure("remaining"), "00:00:00");
}

TEST_F(UpdaterTest, HelpCommandRunsTheCheckFromTheProfileAndFreesTheFrame)
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root.filePath("profile"));
    {
        QSettings profile;
        profile.setValue("Update/BaseUrl", settings.baseUrl.toString());
        profile.setValue("Update/AllowHttp", true);
    }
    serveVersion("Version: \"1.5.00112\"\nFilename: \"updater.run\"\n");
    CMyDocManager manager;
    PluginButtonTable buttons;
    buttons.clear();
    CMainFrame mainFrame(&manager, buttons, SplashTimings::none());
    ASSERT_TRUE(mainFrame.create());
    mainFrame.commandAction(CMainFrame::CheckForUpdates)->trigger();
    EXPECT_FALSE(mainFrame.isEnabled());
    ASSERT_NE(mainFrame.downloadDialog(), nullptr);
    EXPECT_EQ(mainFrame.downloadDialog()->windowTitle(), "Please wait for Update ...");
    QTRY_VERIFY_WITH_TIMEOUT(mainFrame.isEnabled(), 10000);
    EXPECT_EQ(prompts.texts(), QStringList{Latest});
    QTRY_VERIFY(mainFrame.downloadDialog() == nullptr);
}

TEST(UpdateSettings, ReadFromTheProfileWithSafeDefaults)
{
    vrntest::testApplication("host-update-tests");
    QTemporaryDir dir;
    QSettings empty(dir.filePath("empty.ini"), QSettings::IniFormat);
    const UpdateSettings d = UpdateSettings::fromProfile(empty);
    EXPECT_EQ(d.baseUrl.scheme(), "https");
    EXPECT_FALSE(d.allowHttp);
    EXPECT_TRUE(d.folder().endsWith("/updates"));

    QSettings profile(dir.filePath("set.ini"), QSettings::IniFormat);
    profile.setValue("Update/BaseUrl", "http://updates.example.lan/vrn");
    profile.setValue("Update/AllowHttp", true);
    profile.setValue("Update/MaxDownloadBytes", 1000);
    profile.setValue("Update/StallTimeoutSeconds", 5);
    const UpdateSettings s = UpdateSettings::fromProfile(profile);
    EXPECT_EQ(s.baseUrl, QUrl("http://updates.example.lan/vrn"));
    EXPECT_TRUE(s.allowHttp);
    EXPECT_EQ(s.maxDownloadBytes, 1000);
    EXPECT_EQ(s.stallTimeoutMs, 5000);
}

} // namespace
