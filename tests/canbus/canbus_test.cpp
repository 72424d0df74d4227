#include "canbus/BusDevice.h"
#include "canbus/address.h"
#include "canbus/interface_diagnosis.h"
#include "canbus/netid.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(NetId, IdentifierIsNetIdTimes32AndEveryUnitOwns32)
{
    EXPECT_EQ(canbus::identifierForNetId(1), 0x020u);
    EXPECT_EQ(canbus::identifierForNetId(3), 0x060u);
    EXPECT_EQ(canbus::netIdForIdentifier(0x060), 3);
    EXPECT_EQ(canbus::netIdForIdentifier(0x07F), 3);
    EXPECT_EQ(canbus::netIdForIdentifier(0x080), 4);
    EXPECT_TRUE(canbus::netIdUsable(63));
    EXPECT_FALSE(canbus::netIdUsable(64));
    EXPECT_FALSE(canbus::netIdUsable(0));
    EXPECT_TRUE(canbus::netIdProblem(63).isEmpty());
    const QString tooFar = canbus::netIdProblem(64);
    EXPECT_TRUE(tooFar.contains("Net-ID 64") && tooFar.contains("0x800") && tooFar.contains("1 to 63"))
        << tooFar.toStdString();
    EXPECT_TRUE(canbus::netIdProblem(0).contains("1 to 63"));
    // Far beyond any identifier: still a plain refusal.
    EXPECT_FALSE(canbus::netIdProblem(1LL << 40).isEmpty());
}

TEST(BusAddress, SplitsAtTheFirstColonAndNeedsBothParts)
{
    const auto tcp = canbus::parseAddress(u"virtualcan:tcp://127.0.0.1:40000/can0");
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->backend, "virtualcan");
    EXPECT_EQ(tcp->interfaceName, "tcp://127.0.0.1:40000/can0");
    EXPECT_EQ(tcp->toString(), "virtualcan:tcp://127.0.0.1:40000/can0");
    EXPECT_TRUE(canbus::parseAddress(u"socketcan:can0")->isSocketCan());
    for (const char *bad : {"can0", "virtualcan:", ":can0", ""})
        EXPECT_FALSE(canbus::parseAddress(QString::fromLatin1(bad))) << bad;
}

class SysClassNet : public testing::Test
{
protected:
    void addInterface(const QString &name, const QByteArray &type, const QByteArray &flags)
    {
        ASSERT_TRUE(QDir(dir.path()).mkpath(name));
        write(name + "/type", type);
        write(name + "/flags", flags);
    }

    void write(const QString &relative, const QByteArray &content)
    {
        QFile f(dir.filePath(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    QTemporaryDir dir;
};

TEST_F(SysClassNet, ReadsPresenceTypeAndUpFlag)
{
    addInterface("can0", "280\n", "0x40081\n"); // up, running
    addInterface("can1", "280\n", "0x80\n");    // down
    addInterface("eth0", "1\n", "0x1003\n");

    const canbus::InterfaceState can0 = canbus::readInterface(dir.path(), "can0");
    EXPECT_TRUE(can0.exists);
    EXPECT_TRUE(can0.isCan);
    EXPECT_TRUE(can0.up);

    const canbus::InterfaceState can1 = canbus::readInterface(dir.path(), "can1");
    EXPECT_TRUE(can1.exists);
    EXPECT_TRUE(can1.isCan);
    EXPECT_FALSE(can1.up);

    const canbus::InterfaceState eth0 = canbus::readInterface(dir.path(), "eth0");
    EXPECT_TRUE(eth0.exists);
    EXPECT_FALSE(eth0.isCan);

    EXPECT_FALSE(canbus::readInterface(dir.path(), "can2").exists);
}

TEST_F(SysClassNet, NamesThatLeaveTheFolderOrAreDamagedNeverExist)
{
    addInterface("can0", "280", "0x1");
    write("type", "280");
    for (const char *name : {"", ".", "..", "../can0", "can0/..", "can 0", "averyveryverylongname"})
        EXPECT_FALSE(canbus::readInterface(dir.path() + "/can0", name).exists) << name;

    addInterface("can3", "garbage", "zz");
    const canbus::InterfaceState garbage = canbus::readInterface(dir.path(), "can3");
    EXPECT_FALSE(garbage.isCan);
    EXPECT_FALSE(garbage.up);
}

TEST(IpDetails, ReadsKindBitrateAndState)
{
    const QByteArray json = R"([{"ifindex":5,"ifname":"can0","flags":["NOARP","UP","LOWER_UP","ECHO"],
        "linkinfo":{"info_kind":"can","info_data":{"ctrlmode":[],"state":"ERROR-ACTIVE","restart_ms":0,
        "bittiming":{"bitrate":250000,"sample_point":"0.875","tq":250,"prop_seg":6,"phase_seg1":7,
        "phase_seg2":2,"sjw":1}}}}])";
    const auto details = canbus::parseIpDetails(json, "can0");
    ASSERT_TRUE(details);
    EXPECT_EQ(details->kind, "can");
    EXPECT_EQ(details->state, "ERROR-ACTIVE");
    ASSERT_TRUE(details->bitrate);
    EXPECT_EQ(*details->bitrate, 250000u);

    const QByteArray vcan = R"([{"ifname":"vcan0","linkinfo":{"info_kind":"vcan"}}])";
    const auto virtualDetails = canbus::parseIpDetails(vcan, "vcan0");
    ASSERT_TRUE(virtualDetails);
    EXPECT_EQ(virtualDetails->kind, "vcan");
    EXPECT_FALSE(virtualDetails->bitrate);
}

TEST(IpDetails, DamagedOrForeignOutputGivesNothingUsable)
{
    EXPECT_FALSE(canbus::parseIpDetails("", "can0"));
    EXPECT_FALSE(canbus::parseIpDetails("Device \"can0\" does not exist.", "can0"));
    EXPECT_FALSE(canbus::parseIpDetails(R"({"ifname":"can0"})", "can0"));
    EXPECT_FALSE(canbus::parseIpDetails(R"([{"ifname":"can1"}])", "can0"));
    EXPECT_FALSE(canbus::parseIpDetails(R"([{"ifname":"can0")", "can0"));
    for (const char *bitrate : {"-125000", "0", "1e12", "125000.5", "\"125000\"", "null", "[]"}) {
        const QByteArray json = QByteArray(R"([{"ifname":"can0","linkinfo":{"info_kind":"can",)")
                                + R"("info_data":{"bittiming":{"bitrate":)" + bitrate + "}}}}]";
        const auto details = canbus::parseIpDetails(json, "can0");
        ASSERT_TRUE(details) << bitrate;
        EXPECT_FALSE(details->bitrate) << bitrate;
    }
}

TEST(Readiness, SaysWhatIsWrongAndHowToFixIt)
{
    canbus::InterfaceState state;
    EXPECT_TRUE(canbus::readinessProblem("can0", state, std::nullopt, 125000).contains("no CAN interface can0"));

    state.exists = true;
    EXPECT_TRUE(canbus::readinessProblem("can0", state, std::nullopt, 125000).contains("not a CAN interface"));

    state.isCan = true;
    const QString down = canbus::readinessProblem("can0", state, std::nullopt, 125000);
    EXPECT_TRUE(down.contains("can0 is down"));
    EXPECT_TRUE(down.contains("ip link set can0 up type can bitrate 125000"));

    state.up = true;
    canbus::LinkDetails details;
    details.kind = "can";
    details.bitrate = 500000;
    const QString wrongRate = canbus::readinessProblem("can0", state, details, 125000);
    EXPECT_TRUE(wrongRate.contains("runs at 500000 bit/s"));
    EXPECT_TRUE(wrongRate.contains("bitrate 125000"));

    details.bitrate = 125000;
    EXPECT_TRUE(canbus::readinessProblem("can0", state, details, 125000).isEmpty());
    // Without ip, or on a virtual interface, the rate cannot be checked.
    EXPECT_TRUE(canbus::readinessProblem("can0", state, std::nullopt, 125000).isEmpty());
    details.bitrate.reset();
    EXPECT_TRUE(canbus::readinessProblem("vcan0", state, details, 125000).isEmpty());
}

TEST_F(SysClassNet, OneCheckPerBusExplainsWhatTheHostAndTheToolWouldSay)
{
    addInterface("can0", "280\n", "0x0\n");
    addInterface("eth0", "1\n", "0x1003\n");
    const canbus::BusAddress can0{"socketcan", "can0"};
    // Opening needs only a CAN interface; carrying frames needs it up.
    EXPECT_TRUE(canbus::interfaceProblem(can0, 0, dir.path()).isEmpty());
    EXPECT_TRUE(canbus::interfaceProblem(can0, canbus::kBitrate, dir.path()).contains("can0 is down"));
    EXPECT_TRUE(canbus::interfaceProblem({"socketcan", "can9"}, 0, dir.path()).contains("no CAN interface can9"));
    EXPECT_TRUE(canbus::interfaceProblem({"socketcan", "eth0"}, 0, dir.path()).contains("not a CAN interface"));
    // The virtual bus has no interface to look at.
    EXPECT_TRUE(canbus::interfaceProblem({"virtualcan", "can9"}, canbus::kBitrate, dir.path()).isEmpty());
}

// A link may close its device from inside one of the device's signals: the
// device must outlive that call, and the link must hear nothing more.
TEST(BusDevice, ALinkLetsItsDeviceGoOnlyOnceBackInTheEventLoop)
{
    int argc = 1;
    char name[] = "canbus-tests";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QObject link;

    QString why;
    EXPECT_EQ(canbus::openUnitBus({"nosuchbackend", "can0"}, 100, &link, &why), nullptr);
    EXPECT_TRUE(why.contains("nosuchbackend")) << why.toStdString();

    canbus::BusDevice *device = new canbus::BusDevice({"virtualcan", "can0"}, {}, &link);
    int heard = 0;
    QObject::connect(device, &canbus::BusDevice::failed, &link, [&] { ++heard; });
    const QPointer<canbus::BusDevice> watch(device);
    canbus::closeAndDeleteLater(device, &link);
    EXPECT_EQ(device, nullptr);
    ASSERT_FALSE(watch.isNull());
    emit watch->failed("late");
    EXPECT_EQ(heard, 0);
    canbus::closeAndDeleteLater(device, &link);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
    // The refused open left nothing behind either.
    EXPECT_TRUE(link.findChildren<canbus::BusDevice *>().isEmpty());
}

} // namespace
