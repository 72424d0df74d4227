#include "can_error_mapping.h"
#include "CanSettings.h"

#include "can/Ucan.h"
#include "canbus/netid.h"

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
    EXPECT_EQ(ucan::bitrateFromBusTiming(ucan::Btr0_125k, ucan::Btr1_125k), canbus::kBitrate);
    // The prescaler halves and doubles the rate; the segments set the quanta.
    EXPECT_EQ(ucan::bitrateFromBusTiming(0x01, 0x1C), 250000u);
    EXPECT_EQ(ucan::bitrateFromBusTiming(0x00, 0x1C), 500000u);
    EXPECT_EQ(ucan::bitrateFromBusTiming(0x00, 0x14), 1000000u);
    EXPECT_EQ(ucan::bitrateFromBusTiming(0x31, 0x1C), 10000u);
    // The synchronisation-jump bits of BTR0 and the sampling bit of BTR1 do
    // not change the rate.
    EXPECT_EQ(ucan::bitrateFromBusTiming(0xC3, 0x9C), 125000u);
}

TEST(Frames, OnlyFramesThatFitTheirFormatCanBeWritten)
{
    QString why = QStringLiteral("stale");
    ucan::CanMsg msg;
    msg.length = 8;
    msg.id = 0x7FF;
    EXPECT_TRUE(ucan::frameFits(&msg, &why));
    EXPECT_TRUE(why.isEmpty());
    msg.id = 0x800;
    EXPECT_FALSE(ucan::frameFits(&msg, &why));
    EXPECT_EQ(why, QStringLiteral("The identifier 0x800 does not fit a 11-bit frame."));
    msg.frameFormat = ucan::kFormatExtended;
    EXPECT_TRUE(ucan::frameFits(&msg, nullptr));
    msg.id = 0x20000000;
    EXPECT_FALSE(ucan::frameFits(&msg, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("29-bit")));
    msg.id = 1;
    msg.length = 9;
    EXPECT_FALSE(ucan::frameFits(&msg, &why));
    EXPECT_TRUE(why.isEmpty());
    EXPECT_FALSE(ucan::frameFits(nullptr, &why));
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
