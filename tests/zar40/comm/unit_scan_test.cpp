// Finding the units on a CAN bus: two zar40-sim on one virtual bus, found by
// the scanner over a CAN device of its own and by `zar40 device ... scan`.
#include "can_test_support.h"

#include "SimProcess.h"

#include "canbus/BusDevice.h"
#include "zar40/comm/UnitScanner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>

#include <gtest/gtest.h>

#include <iostream>

using namespace zar40::comm;
using namespace zar40::comm::test;

namespace {

TEST(UnitScan, FindsExactlyTheUnitsOnTheBusWithTheirIdentity)
{
    const QString bus = freeVirtualBus();
    vrntest::SimProcess three;
    vrntest::SimProcess seventeen;
    ASSERT_TRUE(three.startOnCan(bus.toStdString(), 3, {"--device-name", "Left Stack", "--device-number", "1203"}));
    ASSERT_TRUE(
        seventeen.startOnCan(bus.toStdString(), 17, {"--device-name", "Delay Tower", "--device-number", "1717"}));

    canbus::BusDevice device(*canbus::parseAddress(QStringLiteral("virtualcan:") + bus));
    QString why;
    ASSERT_TRUE(device.openAndWait(&why)) << why.toStdString();
    UnitScanner scanner([&](std::uint32_t id, const zar40::codec::MessageBytes &data) {
        return device.writeFrame(QCanBusFrame(id, QByteArray(reinterpret_cast<const char *>(data.data()), 8)));
    });
    QObject::connect(&device, &canbus::BusDevice::framesReceived, &scanner, [&] {
        for (const QCanBusFrame &f : device.readAllFrames()) {
            const QByteArray p = f.payload();
            scanner.frameReceived(f.frameId(), {reinterpret_cast<const std::uint8_t *>(p.constData()),
                                                static_cast<std::size_t>(p.size())});
        }
    });
    QEventLoop loop;
    QObject::connect(&scanner, &UnitScanner::finished, &loop, &QEventLoop::quit);
    QElapsedTimer took;
    took.start();
    scanner.start();
    loop.exec();
    std::cout << "scan took " << took.elapsed() << " ms\n";

    const QList<FoundUnit> units = scanner.units();
    ASSERT_EQ(units.size(), 2);
    EXPECT_EQ(units[0].netId, 3);
    EXPECT_EQ(units[0].deviceName, "Left Stack");
    EXPECT_EQ(units[0].deviceNumber, 1203u);
    EXPECT_EQ(units[0].currentPreset, 1);
    EXPECT_TRUE(units[0].complete);
    EXPECT_EQ(units[1].netId, 17);
    EXPECT_EQ(units[1].deviceName, "Delay Tower");
    EXPECT_EQ(units[1].deviceNumber, 1717u);
    device.close();

    // The tool says the same, one unit a line.
    QProcess tool;
    const char *bin = std::getenv("VRN_BIN_DIR");
    tool.setProgram(QDir(QString::fromLocal8Bit(bin ? bin : ".")).filePath(QStringLiteral("zar40")));
    tool.setArguments({"device", "--can", QStringLiteral("virtualcan:") + bus, "--quiet", "scan"});
    tool.start();
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const QStringList lines = QString::fromLocal8Bit(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join('|').toStdString();
    EXPECT_TRUE(lines[0].startsWith("Net-ID  3  K001203  \"Left Stack\"  preset 1")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("Net-ID 17  K001717  \"Delay Tower\"")) << lines[1].toStdString();
}

} // namespace
