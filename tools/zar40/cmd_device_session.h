#pragma once
// The device commands' connection: the library's blocking session set up
// from the command line, with progress on stderr.
#include "zar40/comm/DeviceSession.h"
#include "zar40/comm/transfer_ui.h"

#include <memory>
#include <optional>
#include <string>

namespace zar40tool {

// The arguments every command's QCoreApplication is made with: the
// application keeps references to them, so they live as long as the program.
int &toolArgc();
char **toolArgv();

struct DeviceOptions {
    std::string port;            // serial port or device path
    std::optional<std::uint32_t> password;
    int timeoutMs = 6000;        // per transaction, from its turn
    int switchWaitMs = 3500;     // after a slot switch (the editor waits 3000 + 500 ms)
    int storeWaitMs = 6000;      // after storing a slot (the editor's "while saving")
    bool quiet = false;          // no progress on stderr
    // Instead of the port: the CAN bus as "BACKEND:INTERFACE" (a QtSerialBus
    // plug-in and its interface) and the unit's Net-ID, 1 to 63.
    std::string can;
    int netId = 1;
};

class ToolSession : public zar40::comm::DeviceSession
{
public:
    explicit ToolSession(const DeviceOptions &options);
    ~ToolSession();

    // Opens the port or the CAN bus and connects to the unit.
    bool connect();
    std::string errorText() const { return error().toStdString(); }

private:
    DeviceOptions m_options;
    std::unique_ptr<zar40::comm::TransferUi> m_progress;
};

} // namespace zar40tool
