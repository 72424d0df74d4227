// The NOV view as the host shows it: start page, scan on loopback against
// simulated modules, module pages and their page commands.
#include "NovSimModule.h"
#include "nov_test_support.h"
#include "NovViewFixture.h"

#include "EventLog.h"

#include <QDialog>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

using NOVView = novtest::NovViewFixture;
using novtest::evaluate;

QByteArray loopbackTarget(int portOffset)
{
    return QByteArray(novtest::loopbackBroadcast()) + ':' + QByteArray::number(novtest::testPort(portOffset));
}

TEST_F(NOVView, StartsOfflineOnTheStyledStartPage)
{
    EXPECT_EQ(status("statusAddress"), "Offline");
    EXPECT_EQ(status("statusSerial"), "");
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(frame->findChild<QLabel *>("addressPane")->text(), "Offline");
    EXPECT_EQ(frame->minimumSize(), QSize(900, 700));

    ASSERT_TRUE(waitForPage("qrc:/nov/START.HTM"));
    // The style sheet and the logo come from the plug-in's resources.
    EXPECT_EQ(evaluate(html, "getComputedStyle(document.querySelector('.titelseite')).color").toString(),
              "rgb(130, 130, 130)");
    EXPECT_TRUE(QTest::qWaitFor([&] { return evaluate(html, "document.images[0].naturalWidth").toInt() > 0; }, 10000));

    view->resize(1000, 800);
    EXPECT_EQ(html->geometry(), QRect(10, 50, 970, 740));
    EXPECT_EQ(view->findChild<QLabel *>("logoIcon")->geometry(), QRect(965, 5, 30, 30));
}

TEST_F(NOVView, ScanShowsTheFirstModuleAndObeysItsPageCommands)
{
    auto module = [](const char *http, const char *reply, const char *serial) {
        NovSimModule::Config c;
        c.udpBind = QHostAddress(QString::fromLatin1(novtest::loopbackBroadcast()));
        c.udpPort = novtest::testPort();
        c.httpAddress = QHostAddress(QString::fromLatin1(http));
        c.httpPort = 0;
        c.reply = QString::fromLatin1(reply);
        c.serialNumber = QString::fromLatin1(serial);
        auto m = std::make_unique<NovSimModule>(c);
        EXPECT_TRUE(m->start()) << m->errorString().toStdString();
        return m;
    };
    const QString stageName = "Stage left, upper balcony amplifier rack";
    auto stage = module("127.0.0.2", "AB123 7 {http} x y Stage left, upper balcony amplifier rack", "SN-A");
    auto plain = module("127.0.0.3", "CD456 1 {http} x y ", "SN-B");
    scanOn(loopbackTarget(0));

    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 2; }, 10000));
    EXPECT_TRUE(list->isEnabled());
    EXPECT_EQ(list->currentIndex(), 0);
    const bool stageFirst = list->itemText(0) == stageName;
    // The list is wide enough for the names, and the chosen one is its tool tip.
    EXPECT_GE(list->width(), list->fontMetrics().horizontalAdvance(stageName)) << list->width();
    EXPECT_EQ(list->toolTip(), list->currentText());
    const QString first = stageFirst ? stage->httpAuthority() : plain->httpAuthority();
    EXPECT_EQ(list->itemText(stageFirst ? 1 : 0), plain->httpAuthority());
    EXPECT_EQ(status("statusAddress"), first);
    ASSERT_TRUE(waitForPage("http://" + first + "/novmain.htm"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return status("statusSerial") == (stageFirst ? "SN-A" : "SN-B"); }, 10000));

    // Choosing the other entry shows that module.
    const QString second = stageFirst ? plain->httpAuthority() : stage->httpAuthority();
    list->setCurrentIndex(1);
    ASSERT_TRUE(QMetaObject::invokeMethod(list, "activated", Q_ARG(int, 1)));
    EXPECT_EQ(status("statusAddress"), second);
    ASSERT_TRUE(waitForPage("http://" + second + "/novmain.htm"));

    QSignalSpy beeped(html, SIGNAL(beeped()));
    QSignalSpy commands(html, SIGNAL(appCommand(QString)));
    click("beep"); // APP:Beep: the prefix in any case
    ASSERT_TRUE(QTest::qWaitFor([&] { return commands.count() == 1; }, 10000));
    EXPECT_EQ(beeped.count(), 1);
    click("beep-lower"); // app:beep: the command exactly as written
    click("other");
    ASSERT_TRUE(QTest::qWaitFor([&] { return commands.count() == 3; }, 10000));
    EXPECT_EQ(beeped.count(), 1);
    const auto shown = prompts.shown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].text, "beep");
    EXPECT_EQ(shown[0].title, "Unexpected Command");
    EXPECT_EQ(shown[0].icon, UserPrompts::Icon::Question);
    EXPECT_EQ(shown[1].text, "Other");
    // Page commands are no navigations: the module's page stays.
    EXPECT_EQ(html->url().toString(), "http://" + second + "/novmain.htm");

    click("minimise");
    EXPECT_TRUE(QTest::qWaitFor([&] { return mainWindow.isMinimized(); }, 10000));
}

TEST_F(NOVView, APageAskingForCommandsInALoopGetsOneBoxAndTheRestGoToTheLog)
{
    QTemporaryDir dir;
    CEventLog &log = CEventLog::instance();
    ASSERT_TRUE(log.openPath(dir.filePath("VRNControl.log")));
    log.setLevel(CEventLog::Errors);
    QSignalSpy commands(html, SIGNAL(appCommand(QString)));
    // The box stays open, as a modal one would, until the page has asked 50 times.
    prompts.setWhileMessageOpen([&] { (void)QTest::qWaitFor([&] { return commands.count() >= 50; }, 20000); });
    ASSERT_TRUE(waitForPage("qrc:/nov/START.HTM"));
    evaluate(html, "var n = 0; (function ask() { if (n < 50) { location.href = 'app:Flood' + n++; setTimeout(ask, 10); } })(); true");
    EXPECT_TRUE(QTest::qWaitFor([&] { return commands.count() == 50; }, 20000)) << commands.count();
    prompts.setWhileMessageOpen({});
    log.close();

    ASSERT_EQ(prompts.shown().size(), 1);
    EXPECT_EQ(prompts.shown()[0].text, "Flood0");
    QFile written(dir.filePath("VRNControl.log"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    EXPECT_TRUE(text.contains("not shown while one is open: Flood1\t") || text.contains("not shown while one is open: Flood1\r"))
        << text.left(400).toStdString();
    EXPECT_TRUE(text.contains("29 further Unexpected Commands were not shown")) << text.right(400).toStdString();
}

TEST_F(NOVView, NobodyAnsweringIsOfflineWithTheReason)
{
    QSignalSpy changed(view, SIGNAL(statusChanged()));
    scanOn(loopbackTarget(1));
    EXPECT_EQ(status("statusAddress"), "Scanne");
    ASSERT_TRUE(QTest::qWaitFor([&] { return status("statusAddress") == "Offline"; }, 10000));
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(status("statusSerial"), "");
    EXPECT_TRUE(status("statusMessage").contains("No module answered")) << status("statusMessage").toStdString();
    EXPECT_TRUE(status("statusMessage").contains(QString::number(novtest::testPort(1))));
}

} // namespace

namespace {

TEST_F(NOVView, AboutBoxNamesThePluginAndItsVersion)
{
    ASSERT_TRUE(QMetaObject::invokeMethod(view, "onAbout"));
    QDialog *about = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        about = view->findChild<QDialog *>();
        return about && about->isVisible();
    }, 5000));
    EXPECT_EQ(about->windowTitle(), "About NOV-Plugin");
    EXPECT_EQ(about->findChild<QLabel *>("versionLine")->text(), "NOV-Plugin Version 1.00, Build r0099");
    about->reject();
}

} // namespace
