#include "host_test_support.h"

#include "About.h"
#include "about_box.h"
#include "host_strings.h"
#include "version.h"

#include <QLabel>
#include <QTest>

namespace {

TEST(HostVersion, TextsOfSplashAboutAndUpdateCheck)
{
    EXPECT_EQ(HostVersion::revisionText(), "Revision 1.5.0");
    EXPECT_EQ(HostVersion::buildText(hostStrings()), "Build r0112");
    EXPECT_EQ(AboutBox::versionNumber(HostVersion::kMajor, HostVersion::kMinor, HostVersion::kPatch), "1.50");
    EXPECT_EQ(HostVersion::aboutBuildNumber(), "r0112");
    EXPECT_EQ(HostVersion::updateComparisonText(), "1.5.00112");
    const StringTable empty;
    EXPECT_EQ(HostVersion::buildText(empty), "Build r0112");
}

TEST(About, TitleAndVersionLineUseTheStringTableWithFallbacks)
{
    testApp();
    StringTable &s = hostStrings();
    EXPECT_EQ(CAbout::titleText(), "About VRN-Control");
    EXPECT_EQ(CAbout::versionLine(), "VRN-Control Version 1.50, Build r0112");
    s.set(HostString::Version, "Ausgabe");
    s.remove(HostString::About);
    s.remove(HostString::Build);
    EXPECT_EQ(CAbout::titleText(), "About VRN-Control");
    EXPECT_EQ(CAbout::versionLine(), "VRN-Control Ausgabe 1.50, Build r0112");
    s.set(HostString::Version, "Version");
    s.set(HostString::About, "About");
    s.set(HostString::Build, "Build");

    CAbout about;
    EXPECT_EQ(about.windowTitle(), "About VRN-Control");
    EXPECT_EQ(about.findChild<QLabel *>("versionLine")->text(), "VRN-Control Version 1.50, Build r0112");
    EXPECT_EQ(about.findChild<QLabel *>("notice")->text(), s.load(HostString::Notice));
    // The link opens through the desktop, not inside the label.
    const QLabel *link = about.findChild<QLabel *>("hyperlink");
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->text().contains("https://www.varnel-tonsysteme.de"));
    EXPECT_FALSE(link->openExternalLinks());
}

TEST(About, RightClickOnTheEmblemTogglesTheLargeBox)
{
    testApp();
    CAbout about;
    about.show();
    const QSize normal = about.size();
    // Outside the emblem nothing happens.
    QTest::mouseClick(&about, Qt::RightButton, {}, QPoint(60, 70));
    EXPECT_FALSE(about.enlarged());
    QTest::mouseClick(&about, Qt::RightButton, {}, CAbout::emblemRect().center());
    EXPECT_TRUE(about.enlarged());
    QTRY_COMPARE(about.size(), normal * 2);
    QTest::mouseClick(&about, Qt::RightButton, {}, CAbout::emblemRect().center());
    QTRY_COMPARE(about.size(), normal);
}

} // namespace
