// Runs inside the PC namespace that run-in-netns.sh builds: three simulated
// modules answer the real broadcast on port 8001 from another namespace.
#include "NovViewFixture.h"

#include <QSignalSpy>

namespace {

using NovNetns = novtest::NovViewFixture;

TEST_F(NovNetns, FindsTheModulesAndShowsTheFirstOnesPage)
{
    scanOn({}); // the default: 255.255.255.255:8001
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 2; }, 10000));
    // The late twin of the first module answers within the second; it must not be listed.
    QTest::qWait(1500);
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i);
    entries.sort();
    EXPECT_EQ(entries, (QStringList{"10.0.0.6", "Stage left"}));
    EXPECT_GE(view->property("ownRequestsHeard").toInt(), 1);

    EXPECT_EQ(list->currentIndex(), 0);
    const bool stageFirst = list->itemText(0) == "Stage left";
    EXPECT_EQ(status("statusAddress"), stageFirst ? "10.0.0.5" : "10.0.0.6");
    EXPECT_EQ(status("statusSerial"), stageFirst ? "SN-0005" : "SN-0006");
    ASSERT_TRUE(waitForPage(QStringLiteral("http://%1/novmain.htm").arg(status("statusAddress"))));

    QSignalSpy beeped(html, SIGNAL(beeped()));
    QSignalSpy commands(html, SIGNAL(appCommand(QString)));
    click("beep");
    click("beep-lower");
    ASSERT_TRUE(QTest::qWaitFor([&] { return commands.count() == 2; }, 10000));
    EXPECT_EQ(beeped.count(), 1);
    ASSERT_EQ(prompts.shown().size(), 1);
    EXPECT_EQ(prompts.shown().at(0).title, "Unexpected Command");
    EXPECT_EQ(prompts.shown().at(0).text, "beep");
}

TEST_F(NovNetns, NobodyOnThePortIsOffline)
{
    scanOn("255.255.255.255:8002");
    ASSERT_TRUE(QTest::qWaitFor([&] { return status("statusAddress") == "Offline"; }, 10000));
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(status("statusMessage").contains("10.0.0.255")) << status("statusMessage").toStdString();
}

} // namespace
