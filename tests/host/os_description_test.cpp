#include "host_strings.h"
#include "os_description.h"

#include <gtest/gtest.h>

namespace {

using R = WindowsVersionRecord;

struct Case
{
    const char *what;
    R record;
    int major;
    const char *description;
};

R nt(unsigned major, unsigned minor, unsigned build, const char *sp, int type, unsigned suite)
{
    R r;
    r.platform = R::WindowsNT;
    r.major = major;
    r.minor = minor;
    r.build = build;
    r.servicePack = QString::fromLatin1(sp);
    r.productType = type;
    r.suiteMask = suite;
    return r;
}

R nine(unsigned minor, const char *sp)
{
    R r;
    r.platform = R::Windows9x;
    r.major = 4;
    r.minor = minor;
    r.build = 0x040A0000 | 2222;
    r.servicePack = QString::fromLatin1(sp);
    return r;
}

class WindowsDescription : public ::testing::TestWithParam<Case>
{
};

TEST_P(WindowsDescription, DescribesTheRecord)
{
    const Case &c = GetParam();
    const OsDescription d = describeWindows(c.record, hostStrings());
    EXPECT_EQ(d.major, c.major) << c.what;
    EXPECT_EQ(d.description.toStdString(), std::string(c.description)) << c.what;
}

R nt4Sp6a()
{
    R r = nt(4, 0, 1381, "Service Pack 6", R::Workstation, 0);
    r.hotfixQ246009 = true;
    return r;
}

R basic(const char *productType)
{
    R r = nt(4, 0, 1381, "Service Pack 5", R::Workstation, 0);
    r.query = R::Query::Basic;
    if (productType)
        r.registryProductType = QString::fromLatin1(productType);
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Records, WindowsDescription,
    ::testing::Values(
        Case{"98 SE", nine(10, " A"), 4, "Microsoft Windows 98 SE "},
        Case{"98", nine(10, " "), 4, "Microsoft Windows 98 "},
        Case{"95 OSR2", nine(0, " B"), 4, "Microsoft Windows 95 OSR2 "},
        Case{"Me", nine(90, ""), 4, "Microsoft Windows Millennium Edition"},
        Case{"NT 4 SP6a", nt4Sp6a(), 4, "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)"},
        Case{"NT 4 SP6 without hotfix", nt(4, 0, 1381, "service pack 6", R::Workstation, 0), 4,
             "Microsoft Windows NT Workstation 4.0 service pack 6 (Build 1381)"},
        Case{"2000 Server", nt(5, 0, 2195, "Service Pack 4", R::Server, 0), 5,
             "Microsoft Windows 2000 Server Service Pack 4 (Build 2195)"},
        Case{"2000 Advanced Server", nt(5, 0, 2195, "", R::DomainController, R::Enterprise), 5,
             "Microsoft Windows 2000 Advanced Server  (Build 2195)"},
        Case{"XP Home", nt(5, 1, 2600, "Service Pack 2", R::Workstation, R::Personal), 5,
             "Microsoft Windows XP Home Edition Service Pack 2 (Build 2600)"},
        Case{"XP Professional", nt(5, 1, 0xF0000A28, "Service Pack 3", R::Workstation, 0x100), 5,
             "Microsoft Windows XP Professional Service Pack 3 (Build 2600)"},
        Case{"Server 2003 Web", nt(5, 2, 3790, "", R::Server, R::Blade), 5,
             "Microsoft Windows Server 2003, Web Edition  (Build 3790)"},
        // The web edition is only the blade suite alone.
        Case{"Server 2003 blade plus terminal", nt(5, 2, 3790, "", R::Server, R::Blade | 0x10), 5,
             "Microsoft Windows Server 2003, Standard Edition  (Build 3790)"},
        Case{"Server 2003 Datacenter", nt(5, 2, 3790, "Service Pack 1", R::Server, R::Datacenter | R::Enterprise), 5,
             "Microsoft Windows Server 2003, Datacenter Edition Service Pack 1 (Build 3790)"},
        Case{"NT 4 Server Enterprise", nt(4, 0, 1381, "Service Pack 3", R::Server, R::Enterprise), 4,
             "Microsoft Windows NT Server 4.0, Enterprise Edition Service Pack 3 (Build 1381)"},
        Case{"basic record, LANMANNT", basic("lanmannt"), 4, "Microsoft Windows NT Server 4.0 Service Pack 5 (Build 1381)"},
        Case{"basic record, unreadable registry", basic(nullptr), 0, ""}));

TEST(OsDescription, RefusedQueryIsOldVersionFromTheStringTable)
{
    R r;
    r.query = R::Query::Refused;
    const OsDescription d = describeWindows(r, hostStrings());
    EXPECT_EQ(d.major, 0);
    EXPECT_EQ(d.description, "Old Version");

    StringTable other{{HostString::OldVersion, "Alte Version"}};
    EXPECT_EQ(describeWindows(r, other).description, "Alte Version");
}

TEST(OsDescription, WrongOsMessageOnWindows98HasThreeLines)
{
    const OsDescription d = describeWindows(nine(10, " A"), hostStrings());
    const QString text = wrongOsMessage(hostStrings(), d.description);
    EXPECT_EQ(text.split('\n'), (QStringList{"Wrong operating system!", "Current OS: Microsoft Windows 98 SE ",
                                             "Minimum OS: Windows 2000"}));
}

TEST(OsDescription, LinuxIsDescribedAndAccepted)
{
    const OsCheck check = checkOperatingSystem();
    EXPECT_TRUE(check.accepted);
    EXPECT_FALSE(check.description.trimmed().isEmpty());
}

} // namespace
