#pragma once

#include "../vrn_plugin_api_export.h"

#include <QString>
#include <QtGlobal>

#include <functional>

// The USB-CAN driver layer: the twelve calls the CAN window makes, with the
// records and codes it relies on. Two implementations exist in the host: one
// over QtSerialBus (SocketCAN adapters, the virtual bus) and a fake that tests
// steer. Every call returns 0 on success, otherwise one of the error codes.
namespace ucan {

using Handle = quint8;
using Result = quint8;

enum ResultCode : Result {
    Successful = 0,
    ErrResource = 1,       // a resource could not be created
    ErrMaxModules = 2,     // too many open modules
    ErrHwInUse = 3,        // the module is already in use
    ErrIllVersion = 4,     // module and driver versions do not match
    ErrIllHw = 5,          // no module with that device number is connected
    ErrIllHandle = 6,      // wrong handle
    ErrIllParam = 7,       // wrong parameter
    ErrBusy = 8,           // cannot be done now
    ErrTimeout = 9,        // no answer from the module
    ErrIoFailed = 10,      // a request to the system failed
    ErrDllTxFull = 11,     // the transmit queue is full
    ErrMaxInstances = 12,  // too many applications
    ErrCanNotInit = 13,    // the CAN channel is not initialised
    WarnNoData = 0x40,     // not an error: no frame waiting
};

// The device number that opens whichever module is found first.
constexpr quint8 kAnyModule = 255;

// Events of the event callback.
constexpr quint8 kEventReceive = 2; // frames can be read
constexpr quint8 kEventStatus = 3;  // the CAN status changed
// Events of the connect callback.
constexpr quint8 kEventConnect = 6;    // a module was plugged in
constexpr quint8 kEventDisconnect = 8; // the module was unplugged

// Frame format bits of CanMsg::frameFormat.
constexpr quint8 kFormatStandard = 0x00;
constexpr quint8 kFormatRemote = 0x40;
constexpr quint8 kFormatExtended = 0x80;

// CAN status bits of Status::canStatus, in the controller's terms.
enum CanStatusBit : quint16 {
    StatusTxPending = 0x0001,    // transmit buffer of the controller full
    StatusOverrun = 0x0002,      // receive buffer of the controller full
    StatusBusLight = 0x0004,     // error limit 1 (warning level) exceeded
    StatusBusHeavy = 0x0008,     // error limit 2 (error passive) exceeded
    StatusBusOff = 0x0010,       // the controller went bus-off
    StatusQueueEmpty = 0x0020,   // receive queue empty
    StatusQueueOverrun = 0x0040, // receive queue overrun
    StatusTxBufferFull = 0x0080, // transmit queue full
    StatusRegTest = 0x0100,      // register test failed
    StatusMemTest = 0x0200,      // memory test failed
};

// The bus timing of the ZAR40 bus: 125 kbit/s on a 16 MHz controller.
constexpr quint8 Btr0_125k = 0x03;
constexpr quint8 Btr1_125k = 0x1C;
constexpr quint32 kAcceptAllMask = 0xFFFFFFFFu;
constexpr quint32 kAcceptAllCode = 0;

struct HardwareInfo
{
    quint8 deviceNumber = 0; // the module's device number
    quint8 handle = 0;       // the handle to reset and release the module with
    quint8 mode = 0;
    quint8 btr0 = 0;
    quint8 btr1 = 0;
    quint32 serialNumber = 0;
    quint32 firmwareVersion = 0;
};

struct CanMsg
{
    quint32 id = 0;
    quint8 frameFormat = kFormatStandard;
    quint8 length = 0;
    quint8 data[8] = {};
    quint32 time = 0; // milliseconds, as the driver counts them
};

struct Status
{
    quint16 canStatus = 0;
    quint16 usbStatus = 0;
};

// Called on a thread of the driver. handle is the module's handle.
using EventCallback = std::function<void(Handle handle, quint8 event)>;
using ConnectCallback = std::function<void(quint8 event, quint32 parameter)>;

// The bit rate a pair of bus timing registers gives on a 16 MHz controller
// (clock / (2 * prescaler * bit time in quanta)), rounded down.
VRN_PLUGIN_API quint32 bitrateFromBusTiming(quint8 btr0, quint8 btr1);

// Whether MSG can be written at all: at most 8 data bytes, and an identifier
// that fits its frame format (11 bits, or 29 with kFormatExtended). A refusal
// of a missing or too long message leaves WHY empty; one of an identifier
// says why there.
VRN_PLUGIN_API bool frameFits(const CanMsg *msg, QString *why);

} // namespace ucan

// One USB-CAN module, as the host uses it. Implementations must accept calls
// from the user-interface thread and, for UcanReadCanMsg and UcanGetStatus,
// from inside their own callbacks.
class VRN_PLUGIN_API Ucan
{
public:
    virtual ~Ucan();

    virtual ucan::Result UcanInitHwConnectControl(ucan::ConnectCallback callback) = 0;
    virtual ucan::Result UcanDeinitHwConnectControl() = 0;
    virtual ucan::Result UcanInitHardware(ucan::Handle *handle, quint8 deviceNumber,
                                          ucan::EventCallback callback) = 0;
    virtual ucan::Result UcanGetHardwareInfo(ucan::Handle handle, ucan::HardwareInfo *info) = 0;
    virtual ucan::Result UcanInitCan(ucan::Handle handle, quint8 btr0, quint8 btr1, quint32 acceptanceMask,
                                     quint32 acceptanceCode) = 0;
    virtual ucan::Result UcanSetAcceptance(ucan::Handle handle, quint32 acceptanceMask, quint32 acceptanceCode) = 0;
    virtual ucan::Result UcanWriteCanMsg(ucan::Handle handle, const ucan::CanMsg *msg) = 0;
    virtual ucan::Result UcanReadCanMsg(ucan::Handle handle, ucan::CanMsg *msg) = 0;
    virtual ucan::Result UcanGetStatus(ucan::Handle handle, ucan::Status *status) = 0;
    virtual ucan::Result UcanResetCan(ucan::Handle handle) = 0;
    virtual ucan::Result UcanDeinitCan(ucan::Handle handle) = 0;
    virtual ucan::Result UcanDeinitHardware(ucan::Handle handle) = 0;

    // Why the last failed call failed, in the terms of the system below the
    // driver (for instance "can0 is down"); empty when there is nothing to add
    // to the error code's own text. The CAN window shows it under that text.
    virtual QString lastErrorDetail() const;
};
