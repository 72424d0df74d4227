#include "cmd_device_scan.h"

#include "command.h"

#include "canbus/BusDevice.h"
#include "zar40/comm/UnitScanner.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <iostream>

namespace zar40tool {

int scanBus(const std::string &address, bool quiet)
{
    const auto parsed = canbus::parseAddress(QString::fromStdString(address));
    if (!parsed) return usageError("device", "--can takes BACKEND:INTERFACE, not '" + address + "'");
    canbus::DeviceOptions options;
    options.bitrate = 0;
    canbus::BusDevice bus(*parsed, options);
    QString why;
    if (!bus.openAndWait(&why)) {
        std::cerr << "zar40 device: " << address << ": " << why.toStdString() << std::endl;
        return ExitDeviceError;
    }
    zar40::comm::UnitScanner scanner([&bus](std::uint32_t id, const zar40::codec::MessageBytes &data) {
        QCanBusFrame frame(id, QByteArray(reinterpret_cast<const char *>(data.data()), static_cast<int>(data.size())));
        return bus.writeFrame(frame);
    });
    QObject::connect(&bus, &canbus::BusDevice::framesReceived, &scanner, [&] {
        for (const QCanBusFrame &f : bus.readAllFrames()) {
            if (f.frameType() != QCanBusFrame::DataFrame || f.hasExtendedFrameFormat()) continue;
            const QByteArray payload = f.payload();
            scanner.frameReceived(f.frameId(), std::span<const std::uint8_t>(
                                                   reinterpret_cast<const std::uint8_t *>(payload.constData()),
                                                   static_cast<std::size_t>(payload.size())));
        }
    });
    QEventLoop loop;
    QObject::connect(&scanner, &zar40::comm::UnitScanner::finished, &loop, &QEventLoop::quit);
    if (!quiet) std::cerr << "Scanning Net-IDs 1 to 63 on " << address << " ..." << std::endl;
    scanner.start();
    loop.exec();
    bus.close();
    const QList<zar40::comm::FoundUnit> units = scanner.units();
    for (const zar40::comm::FoundUnit &u : units)
        std::cout << zar40::comm::describeUnit(u).toStdString() << "\n";
    if (!quiet) std::cerr << units.size() << (units.size() == 1 ? " unit" : " units") << " found" << std::endl;
    std::cout.flush();
    return ExitOk;
}

} // namespace zar40tool
