#include "CanWnd.h"
#include "can_strings.h"

namespace can_strings {

StringTable defaults()
{
    return {
        {kStrModuleConnected, "Module was connected!"},
        {kStrErrorInitHw, "Error InitHw!"},
        {kStrNoModule, "Error! No USB-CANModul found!"},
        {kStrAlreadyConnected, "Error!\nThere is always a connection to this established!"},
        {kStrNotInitialized, "Error! Hardware not initialized!"},
        {4030, "Could not created a resource (memory, Handle, ...)!"},
        {4031, "The maximum number of open modules is exceeded!"},
        {4032, "A module is already in use."},
        {4033, "The software versions of the module and DLL are incompatible!"},
        {4034, "The module with the corresponding device number is not connected!"},
        {4035, "Wrong USB-CAN-Handle handed over to the function!"},
        {4036, "Wrong parameter handed over to the function!"},
        {4037, "Instruction can not be processed at this time!"},
        {4038, "No answer from the module!"},
        {4039, "A request for the driver failed!"},
        {4040, "The message did not fit into the transmission queue!"},
        {4041, "Maximum number of applications is reached!"},
        {4042, "CAN-interface is not yet initialized!"},
        {kStrOtherError, "A Error as ocured!"},
        {4044, "Tx-buffer of the CAN controller is full."},
        {4045, "Rx-buffer of the CAN controller is full."},
        {4046, "Bus error: Error Limit 1 exceeded (refer to SJA1000 manual)"},
        {4047, "Bus error: Error Limit 2 exceeded (refer to SJA1000 manual)"},
        {4048, "Bus error: CAN controller has gone into Bus-Off state."},
        {4049, "RcvQueue is empty."},
        {4050, "RcvQueue overrun."},
        {4051, "Transmit queue is full."},
        {4052, "Register test of the SJA1000 failed."},
        {4053, "Memory test failed."},
        {kStrModuleDisconnected, "Module was disconnected!"},
        {kStrNetIdRange, "Error!\nNet-ID %1 cannot be used on the CAN bus.\n"
                        "Net-IDs run from 1 to 63, so that Net-ID x 32 stays a standard identifier."},
        {kStrIdentifierRange, "Error!\nThe CAN identifier 0x%1 is not a standard identifier "
                             "(0x000 to 0x7FF); the frame was not sent."},
    };
}


} // namespace can_strings

using namespace can_strings;

QString CCanWnd::driverErrorText(const StringTable &strings, quint8 code, const char *fallbackFormat)
{
    const unsigned id = (code >= 1 && code <= 13) ? kStrFirstDriverError + code - 1 : kStrOtherError;
    if (strings.contains(id))
        return strings.load(id);
    return QString::asprintf(fallbackFormat, int(code));
}

QString CCanWnd::statusText(const StringTable &strings, quint16 canStatus)
{
    unsigned id = kStrOtherError;
    for (unsigned bit = 0; bit < 10; ++bit) {
        if (canStatus == (1u << bit))
            id = kStrFirstStatus + bit;
    }
    if (strings.contains(id))
        return strings.load(id);
    return QString::asprintf("CanErrorMessage %i", int(id));
}
