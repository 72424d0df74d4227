#pragma once
// One connection to a ZAR40 for the device commands: the editor's own
// connection object and transaction queue, driven from a local event loop.
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/message.h"
#include "zar40/preset/record.h"

#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zar40tool {

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

class DeviceSession
{
public:
    explicit DeviceSession(const DeviceOptions &options);
    ~DeviceSession();
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    // Each step returns false with error() set when the device or the line
    // fails; the connection is then shut down.
    bool open();
    bool switchToSlot(int slot);   // 1..32: the device loads that stored preset
    bool storeToSlot(int slot);    // 1..32: the device stores its settings there
    bool readPreset(zar40::preset::PresetRecord &record, zar40::codec::DeviceSettings &settings);
    bool writePreset(const zar40::preset::PresetRecord &record);
    bool readParameter(std::uint16_t address, std::uint32_t &value);
    // Writes several parameters as one batch: ReqWritePreset for all but the
    // last, ReqWritePara for the last.
    bool writeBatch(const std::vector<std::pair<std::uint16_t, std::uint32_t>> &values);
    // One poll exchange (levels, pots, mute state).
    bool poll(std::uint16_t code, std::uint16_t address, std::uint32_t &value);
    bool close();
    // Lets the event loop run for MS milliseconds (or until a stop request).
    void pause(int ms);

    const std::string &error() const { return m_error; }

    // Set from a signal handler to end long-running commands.
    static volatile std::sig_atomic_t stopRequested;

private:
    bool notStopped();

    struct Impl;
    std::unique_ptr<Impl> d;
    std::string m_error;
};

} // namespace zar40tool
