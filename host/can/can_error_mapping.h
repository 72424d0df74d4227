#pragma once

#include <QCanBusDevice>
#include <QCanBusFrame>

// How what QtSerialBus reports maps onto the CAN status bits of the driver
// layer (ucan::CanStatusBit).
namespace can_errors {

// The status bits an error frame stands for: bus-off, error passive
// (error limit 2), warning level (error limit 1), controller buffer
// overflows. 0 for error frames that carry no controller state (protocol
// violations, missing acknowledge, ...) and for frames that are no error
// frames.
quint16 statusFromErrorFrame(const QCanBusFrame &frame);

// The same for the bus state a backend reports.
quint16 statusFromBusStatus(QCanBusDevice::CanBusStatus status);

// The error frames the driver asks a backend for.
QCanBusFrame::FrameErrors wantedErrorFrames();

} // namespace can_errors
