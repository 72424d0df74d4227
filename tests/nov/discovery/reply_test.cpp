#include "nov_reply.h"
#include "NovScanTarget.h"

#include <gtest/gtest.h>

namespace {

struct SplitRow
{
    const char *reply;
    int tokens;
    const char *serial;
    int token1;
    const char *address;
    const char *name;
    const char *shown; // in the module list
};

class SplitReply : public ::testing::TestWithParam<SplitRow>
{
};

TEST_P(SplitReply, FieldsAsWritten)
{
    const SplitRow &r = GetParam();
    NovModule m;
    EXPECT_EQ(NovReply::split(r.reply, m), r.tokens);
    EXPECT_EQ(m.serialNumber, r.serial);
    EXPECT_EQ(m.token1, r.token1);
    EXPECT_EQ(m.address, r.address);
    EXPECT_EQ(m.name, r.name);
    EXPECT_EQ(m.displayName(), r.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SplitReply,
    ::testing::Values(
        SplitRow{"AB123 7 10.0.0.5 x y Stage left", 5, "AB123", 7, "10.0.0.5", "Stage left", "Stage left"},
        // Nothing after the fifth token: listed by its address.
        SplitRow{"AB123 7 10.0.0.5 x y ", 5, "AB123", 7, "10.0.0.5", "", "10.0.0.5"},
        // The fifth token needs its blank; without it the reply has four.
        SplitRow{"AB123 7 10.0.0.5 x y", 4, "AB123", 7, "10.0.0.5", "", "10.0.0.5"},
        // Runs of blanks separate like one; the name keeps its inner blanks and trailing ones.
        SplitRow{"  AB123   7  10.0.0.5 x  y     Front  fill  ", 5, "AB123", 7, "10.0.0.5", "Front  fill  ",
                 "Front  fill  "},
        // A second token that is no number reads as 0; one that starts with digits as them.
        SplitRow{"AB123 seven 10.0.0.5 x y N", 5, "AB123", 0, "10.0.0.5", "N", "N"},
        SplitRow{"AB123 12ab 10.0.0.5 x y N", 5, "AB123", 12, "10.0.0.5", "N", "N"},
        SplitRow{"", 0, "", 0, "", "", ""},
        SplitRow{"AB123", 0, "", 0, "", "", ""}));

TEST(NovReplyText, OwnRequestDuplicateKeyAndLimits)
{
    EXPECT_TRUE(NovReply::isOwnRequest("0 1"));
    EXPECT_FALSE(NovReply::isOwnRequest("0 1 "));
    EXPECT_FALSE(NovReply::isOwnRequest("0 12"));

    EXPECT_EQ(NovReply::duplicateKey("AB123 7 10.0.0.5 x y A"), "AB123");
    EXPECT_EQ(NovReply::duplicateKey("AB1"), "AB1");

    // Only what fits the receive buffer counts, and text ends at a zero byte.
    const QByteArray longReply = "AB123 7 10.0.0.5 x y " + QByteArray(1000, 'n');
    EXPECT_EQ(NovReply::text(longReply).size(), NovReply::kMaxReplyBytes);
    EXPECT_EQ(NovReply::text(QByteArray("AB123 7 10.0.0.5 x y Na\0me", 26)), "AB123 7 10.0.0.5 x y Na");
}

TEST(NovReplyText, NamesInUtf8OrLatin1)
{
    NovModule m;
    NovReply::split("AB123 7 10.0.0.5 x y B\xc3\xbchne", m);
    EXPECT_EQ(m.name, QString::fromUtf8("B\xc3\xbchne"));
    NovReply::split("AB123 7 10.0.0.5 x y B\xfchne", m);
    EXPECT_EQ(m.name, QString::fromUtf8("B\xc3\xbchne"));
}

TEST(NovScanTarget, ParsesAddressAndPort)
{
    const auto t = NovScanTarget::parse("192.168.1.255:8002");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->broadcast.toString(), "192.168.1.255");
    EXPECT_EQ(t->port, 8002);
    EXPECT_EQ(NovScanTarget::parse("10.0.0.255")->port, NovScanTarget::kDefaultPort);
    for (const char *bad : {"", "10.0.0", "1", "0x7f000001", "10.0.0.255:0", "10.0.0.255:65536", "10.0.0.255:x",
                            "::1", "host.example:8001"})
        EXPECT_FALSE(NovScanTarget::parse(bad)) << bad;
}

TEST(NovScanTarget, EnvironmentOverridesTheSetting)
{
    qputenv("VRN_NOV_BROADCAST", "127.255.255.255:41234");
    EXPECT_EQ(NovScanTarget::load().toString(), "127.255.255.255:41234");
    qunsetenv("VRN_NOV_BROADCAST");
}

} // namespace
