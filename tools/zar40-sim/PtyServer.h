#pragma once
// Serves a DeviceModel on a pseudo-terminal: the editor opens the terminal's
// slave side (through a symbolic link) as if it were the device's RS232 port.
#include "BootLoader.h"
#include "DeviceModel.h"

#include "zar40/comm/codec/message.h"

#include <csignal>
#include <cstdint>
#include <deque>
#include <string>

namespace zar40sim {

struct PtyOptions {
    std::string link;   // symbolic link to the slave side
    unsigned baud = 0;  // 0: unpaced; otherwise bytes take 10 bits each way
    bool verbose = false;
    // Answers a knock with the boot loader (a firmware update).
    BootLoader *bootLoader = nullptr;
};

class PtyServer {
public:
    PtyServer(DeviceModel &model, PtyOptions options);
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    // Creates the terminal in raw mode and the link. False with ERROR set
    // when that fails; nothing is left behind then.
    bool open(std::string &error);
    const std::string &slavePath() const { return m_slavePath; }

    // Serves until STOP becomes non-zero (set from a signal handler; SIGINT
    // and SIGTERM must be blocked by the caller, they are let through only
    // while waiting). Returns 0, or 1 after an I/O error.
    int run(const volatile std::sig_atomic_t &stop);

    // Removes the link if it still points at our terminal.
    void close();

private:
    struct Pending {
        std::int64_t dueNs; // when the byte may be written (0: at once)
        std::uint8_t byte;
        bool ends = false; // the last byte of a reply: the peer waits for it
    };

    void onFrame(const zar40::codec::FrameBytes &frame, std::int64_t completeNs);
    void onBootLoaderByte(std::uint8_t byte, std::int64_t arrivalNs);
    void queue(const std::uint8_t *bytes, std::size_t n, std::int64_t readyNs);
    bool flushDue(std::int64_t nowNs);
    std::int64_t byteNs() const;
    void measureInboundHop();

    DeviceModel &m_model;
    PtyOptions m_options;
    int m_master = -1;
    int m_slave = -1; // held open so that the master never sees a hang-up between clients
    std::string m_slavePath;
    bool m_linked = false;
    zar40::codec::FrameAssembler m_assembler;
    std::deque<Pending> m_tx;
    std::int64_t m_rxLineFreeNs = 0;
    std::int64_t m_txLineFreeNs = 0;
    // How long bytes written to the terminal's slave side take to reach us
    // (the median of a few probes before any client is there).
    std::int64_t m_inboundHopNs = 0;
    std::int64_t m_lastReadNs = 0;
};

} // namespace zar40sim
