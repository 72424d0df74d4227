#include "can_error_mapping.h"

#include "can/Ucan.h"

namespace {

// Byte 1 of a controller-problem error frame (linux/can/error.h).
constexpr quint8 kCtrlRxOverflow = 0x01;
constexpr quint8 kCtrlTxOverflow = 0x02;
constexpr quint8 kCtrlRxWarning = 0x04;
constexpr quint8 kCtrlTxWarning = 0x08;
constexpr quint8 kCtrlRxPassive = 0x10;
constexpr quint8 kCtrlTxPassive = 0x20;

} // namespace

namespace can_errors {

quint16 statusFromErrorFrame(const QCanBusFrame &frame)
{
    if (frame.frameType() != QCanBusFrame::ErrorFrame)
        return 0;
    quint16 status = 0;
    const QCanBusFrame::FrameErrors errors = frame.error();
    if (errors & QCanBusFrame::BusOffError)
        status |= ucan::StatusBusOff;
    const QByteArray payload = frame.payload();
    if ((errors & QCanBusFrame::ControllerError) && payload.size() > 1) {
        const auto ctrl = quint8(payload.at(1));
        if (ctrl & (kCtrlRxPassive | kCtrlTxPassive))
            status |= ucan::StatusBusHeavy;
        if (ctrl & (kCtrlRxWarning | kCtrlTxWarning))
            status |= ucan::StatusBusLight;
        if (ctrl & kCtrlRxOverflow)
            status |= ucan::StatusOverrun;
        if (ctrl & kCtrlTxOverflow)
            status |= ucan::StatusTxPending;
    }
    return status;
}

quint16 statusFromBusStatus(QCanBusDevice::CanBusStatus status)
{
    switch (status) {
    case QCanBusDevice::CanBusStatus::BusOff:
        return ucan::StatusBusOff;
    case QCanBusDevice::CanBusStatus::Error:
        return ucan::StatusBusHeavy;
    case QCanBusDevice::CanBusStatus::Warning:
        return ucan::StatusBusLight;
    case QCanBusDevice::CanBusStatus::Unknown:
    case QCanBusDevice::CanBusStatus::Good:
        break;
    }
    return 0;
}

QCanBusFrame::FrameErrors wantedErrorFrames()
{
    return QCanBusFrame::ControllerError | QCanBusFrame::BusOffError;
}

} // namespace can_errors
