#include "CanErrorMapping.h"
#include "CanInterfaceState.h"
#include "CanSettings.h"

#include "can/Ucan.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// ---------------------------------------------------------------- bus timing

TEST(BusTiming, TheZar40RegistersMean125kbit)
{
    EXPECT_EQ(ucan::bitrateFromBusTiming(ucan::Btr0_125k, ucan::Btr1_125k), 125000u);
    // The prescaler halves and doubles the rate; the segments set the quanta.
    EXPECT_EQ(ucan::bitrateFromBusTiming(0x01, 0x1C), 250000u);
    EXPECT_EQ(ucan::bitrateFromBusTiming(0x00, 0x1C), 500000u);
    EXPECT_EQ(ucan::bitrateFromBusTiming(0x00, 0x14), 1000000u);
    EXPECT_EQ(ucan::bitrateFromBusTiming(0x31, 0x1C), 10000u);
    // The synchronisation-jump bits of BTR0 and the sampling bit of BTR1 do
    // not change the rate.
    EXPECT_EQ(ucan::bitrateFromBusTiming(0xC3, 0x9C), 125000u);
}

// ---------------------------------------------------------------- settings

TEST(CanSettingsTest, ArgumentsOverrideInBothSpellings)
{
    CanSettings s;
    QString error;
    ASSERT_TRUE(can_settings::apply(QStringList{"VRN-Control", "--can-backend", "virtualcan", "file.vpx",
                                                "--can-interface=can1"},
                                    s, &error))
        << error.toStdString();
    EXPECT_EQ(s.backend, "virtualcan");
    EXPECT_EQ(s.interfaceName, "can1");

    // Without the options nothing changes.
    CanSettings unchanged;
    ASSERT_TRUE(can_settings::apply(QStringList{"VRN-Control", "file.vpx"}, unchanged, &error));
    EXPECT_EQ(unchanged.backend, "socketcan");
}

TEST(CanSettingsTest, BadArgumentsAreRefusedAndLeaveTheSettingsAlone)
{
    CanSettings s;
    QString error;
    EXPECT_FALSE(can_settings::apply(QStringList{"x", "--can-interface", "can7", "--can-backend", "peakcan"}, s, &error));
    EXPECT_TRUE(error.contains("peakcan"));
    EXPECT_EQ(s.interfaceName, "can0");
    EXPECT_FALSE(can_settings::apply(QStringList{"x", "--can-backend"}, s, &error));
    EXPECT_TRUE(error.contains("needs a value"));
    EXPECT_FALSE(can_settings::apply(QStringList{"x", "--can-interface="}, s, &error));
    EXPECT_EQ(s.backend, "socketcan");
}

TEST(CanSettingsTest, CommandLineParserOptions)
{
    QCommandLineParser parser;
    can_settings::addOptions(parser);
    ASSERT_TRUE(parser.parse({"VRN-Control", "--can-backend", "virtualcan", "--can-interface", "can1"}));
    CanSettings s;
    QString error;
    ASSERT_TRUE(can_settings::apply(parser, s, &error));
    EXPECT_EQ(s.backend, "virtualcan");
    EXPECT_EQ(s.interfaceName, "can1");

    QCommandLineParser bad;
    can_settings::addOptions(bad);
    ASSERT_TRUE(bad.parse({"VRN-Control", "--can-backend", "serial"}));
    EXPECT_FALSE(can_settings::apply(bad, s, &error));
    EXPECT_EQ(s.backend, "virtualcan");
}

TEST(CanSettingsTest, ProfileRoundTripAndDamagedProfileFallsBack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("host.ini");
    {
        QSettings ini(path, QSettings::IniFormat);
        CanSettings s;
        s.backend = "virtualcan";
        s.interfaceName = "can1";
        can_settings::save(ini, s);
    }
    {
        QSettings ini(path, QSettings::IniFormat);
        const CanSettings s = can_settings::load(ini);
        EXPECT_EQ(s.backend, "virtualcan");
        EXPECT_EQ(s.interfaceName, "can1");
        ini.setValue("CAN/Backend", "nonsense");
    }
    QSettings ini(path, QSettings::IniFormat);
    const CanSettings s = can_settings::load(ini);
    EXPECT_EQ(s.backend, "socketcan");
    EXPECT_EQ(s.interfaceName, "can0");
}

// ---------------------------------------------------------------- interfaces

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

    const CanInterfaceState can0 = can_interface::read(dir.path(), "can0");
    EXPECT_TRUE(can0.exists);
    EXPECT_TRUE(can0.isCan);
    EXPECT_TRUE(can0.up);

    const CanInterfaceState can1 = can_interface::read(dir.path(), "can1");
    EXPECT_TRUE(can1.exists);
    EXPECT_TRUE(can1.isCan);
    EXPECT_FALSE(can1.up);

    const CanInterfaceState eth0 = can_interface::read(dir.path(), "eth0");
    EXPECT_TRUE(eth0.exists);
    EXPECT_FALSE(eth0.isCan);

    EXPECT_FALSE(can_interface::read(dir.path(), "can2").exists);
}

TEST_F(SysClassNet, NamesThatLeaveTheFolderOrAreDamagedNeverExist)
{
    addInterface("can0", "280", "0x1");
    write("type", "280");
    for (const char *name : {"", ".", "..", "../can0", "can0/..", "can 0", "averyveryverylongname"})
        EXPECT_FALSE(can_interface::read(dir.path() + "/can0", name).exists) << name;

    addInterface("can3", "garbage", "zz");
    const CanInterfaceState garbage = can_interface::read(dir.path(), "can3");
    EXPECT_FALSE(garbage.isCan);
    EXPECT_FALSE(garbage.up);
}

TEST(IpDetails, ReadsKindBitrateAndState)
{
    const QByteArray json = R"([{"ifindex":5,"ifname":"can0","flags":["NOARP","UP","LOWER_UP","ECHO"],
        "linkinfo":{"info_kind":"can","info_data":{"ctrlmode":[],"state":"ERROR-ACTIVE","restart_ms":0,
        "bittiming":{"bitrate":250000,"sample_point":"0.875","tq":250,"prop_seg":6,"phase_seg1":7,
        "phase_seg2":2,"sjw":1}}}}])";
    const auto details = can_interface::parseIpDetails(json, "can0");
    ASSERT_TRUE(details);
    EXPECT_EQ(details->kind, "can");
    EXPECT_EQ(details->state, "ERROR-ACTIVE");
    ASSERT_TRUE(details->bitrate);
    EXPECT_EQ(*details->bitrate, 250000u);

    const QByteArray vcan = R"([{"ifname":"vcan0","linkinfo":{"info_kind":"vcan"}}])";
    const auto virtualDetails = can_interface::parseIpDetails(vcan, "vcan0");
    ASSERT_TRUE(virtualDetails);
    EXPECT_EQ(virtualDetails->kind, "vcan");
    EXPECT_FALSE(virtualDetails->bitrate);
}

TEST(IpDetails, DamagedOrForeignOutputGivesNothingUsable)
{
    EXPECT_FALSE(can_interface::parseIpDetails("", "can0"));
    EXPECT_FALSE(can_interface::parseIpDetails("Device \"can0\" does not exist.", "can0"));
    EXPECT_FALSE(can_interface::parseIpDetails(R"({"ifname":"can0"})", "can0"));
    EXPECT_FALSE(can_interface::parseIpDetails(R"([{"ifname":"can1"}])", "can0"));
    EXPECT_FALSE(can_interface::parseIpDetails(R"([{"ifname":"can0")", "can0"));
    for (const char *bitrate : {"-125000", "0", "1e12", "125000.5", "\"125000\"", "null", "[]"}) {
        const QByteArray json = QByteArray(R"([{"ifname":"can0","linkinfo":{"info_kind":"can",)")
                                + R"("info_data":{"bittiming":{"bitrate":)" + bitrate + "}}}}]";
        const auto details = can_interface::parseIpDetails(json, "can0");
        ASSERT_TRUE(details) << bitrate;
        EXPECT_FALSE(details->bitrate) << bitrate;
    }
}

TEST(Readiness, SaysWhatIsWrongAndHowToFixIt)
{
    CanInterfaceState state;
    EXPECT_TRUE(can_interface::readinessProblem("can0", state, std::nullopt, 125000).contains("no CAN interface can0"));

    state.exists = true;
    EXPECT_TRUE(can_interface::readinessProblem("can0", state, std::nullopt, 125000).contains("not a CAN interface"));

    state.isCan = true;
    const QString down = can_interface::readinessProblem("can0", state, std::nullopt, 125000);
    EXPECT_TRUE(down.contains("can0 is down"));
    EXPECT_TRUE(down.contains("ip link set can0 up type can bitrate 125000"));

    state.up = true;
    can_interface::LinkDetails details;
    details.kind = "can";
    details.bitrate = 500000;
    const QString wrongRate = can_interface::readinessProblem("can0", state, details, 125000);
    EXPECT_TRUE(wrongRate.contains("runs at 500000 bit/s"));
    EXPECT_TRUE(wrongRate.contains("bitrate 125000"));

    details.bitrate = 125000;
    EXPECT_TRUE(can_interface::readinessProblem("can0", state, details, 125000).isEmpty());
    // Without ip, or on a virtual interface, the rate cannot be checked.
    EXPECT_TRUE(can_interface::readinessProblem("can0", state, std::nullopt, 125000).isEmpty());
    details.bitrate.reset();
    EXPECT_TRUE(can_interface::readinessProblem("vcan0", state, details, 125000).isEmpty());
}

// ---------------------------------------------------------------- error mapping

QCanBusFrame errorFrame(QCanBusFrame::FrameErrors errors, quint8 controllerByte = 0)
{
    QCanBusFrame frame(QCanBusFrame::ErrorFrame);
    frame.setError(errors);
    frame.setPayload(QByteArray::fromRawData("\0\0\0\0\0\0\0\0", 8));
    QByteArray payload = frame.payload();
    payload[1] = char(controllerByte);
    frame.setPayload(payload);
    return frame;
}

TEST(ErrorMapping, ControllerStatesBecomeStatusBits)
{
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::BusOffError)), ucan::StatusBusOff);
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::ControllerError, 0x20)), ucan::StatusBusHeavy);
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::ControllerError, 0x10)), ucan::StatusBusHeavy);
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::ControllerError, 0x08)), ucan::StatusBusLight);
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::ControllerError, 0x01)), ucan::StatusOverrun);
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::ControllerError, 0x02)), ucan::StatusTxPending);
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::ControllerError | QCanBusFrame::BusOffError, 0x24)),
              ucan::StatusBusOff | ucan::StatusBusHeavy | ucan::StatusBusLight);
    // Back to error-active, protocol violations, missing acknowledge: no state.
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::ControllerError, 0x40)), 0);
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::ProtocolViolationError)), 0);
    EXPECT_EQ(can_errors::statusFromErrorFrame(errorFrame(QCanBusFrame::MissingAcknowledgmentError)), 0);
    EXPECT_EQ(can_errors::statusFromErrorFrame(QCanBusFrame(0x60, QByteArray(8, '\x10'))), 0);

    // A controller error frame cut short carries no state byte.
    QCanBusFrame shortFrame(QCanBusFrame::ErrorFrame);
    shortFrame.setError(QCanBusFrame::ControllerError);
    shortFrame.setPayload(QByteArray(1, '\0'));
    EXPECT_EQ(can_errors::statusFromErrorFrame(shortFrame), 0);
}

} // namespace
