#include "PtyServer.h"

#include "message_text.h"
#include "zar40/comm/codec/request_codes.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace zar40sim {

namespace codec = zar40::codec;

namespace {

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// A reply's last byte is waited for; a timer wake-up comes some tens of
// microseconds late, so the server wakes this much early for it and waits
// out the rest.
constexpr std::int64_t kLastByteSpinNs = 50000;
constexpr int kHopProbes = 15;
constexpr std::int64_t kProbePauseNs = 2500000;

std::string errnoText(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

PtyServer::PtyServer(DeviceModel &model, PtyOptions options) : m_model(model), m_options(std::move(options)) {}

PtyServer::~PtyServer()
{
    close();
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
}

bool PtyServer::open(std::string &error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0) {
        error = errnoText("posix_openpt");
        return false;
    }
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        error = errnoText("grantpt/unlockpt");
        return false;
    }
    const char *name = ptsname(m_master);
    if (!name) {
        error = errnoText("ptsname");
        return false;
    }
    m_slavePath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0) {
        error = errnoText(name);
        return false;
    }
    // Raw: no echo of the requests back to the editor, no line editing, no
    // translation of 0x0A or 0x0D, every byte passed as it is.
    termios tio{};
    if (tcgetattr(m_slave, &tio) != 0) {
        error = errnoText("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        error = errnoText("tcsetattr");
        return false;
    }
    if (m_options.baud) measureInboundHop();

    const std::string &link = m_options.link;
    struct stat st{};
    if (lstat(link.c_str(), &st) == 0) {
        // Replace a stale link of an earlier run, but never a real file.
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symbolic link";
            return false;
        }
        if (unlink(link.c_str()) != 0) {
            error = errnoText(link.c_str());
            return false;
        }
    }
    if (symlink(m_slavePath.c_str(), link.c_str()) != 0) {
        error = errnoText(link.c_str());
        return false;
    }
    m_linked = true;
    return true;
}

void PtyServer::close()
{
    if (!m_linked) return;
    m_linked = false;
    std::vector<char> target(m_slavePath.size() + 2);
    const ssize_t n = readlink(m_options.link.c_str(), target.data(), target.size());
    if (n == static_cast<ssize_t>(m_slavePath.size()) &&
        std::equal(m_slavePath.begin(), m_slavePath.end(), target.begin()))
        unlink(m_options.link.c_str());
}

void PtyServer::measureInboundHop()
{
    // What a client writes to the slave side reaches us through a kernel
    // worker, tens of microseconds later (more on a busy machine). A real
    // line has no such step: a request's first byte is on the wire when it
    // is written. Probes written to the slave side here, before any client
    // can be there, measure the step; the line then counts a request from
    // that much before it reached us. The quickest probe, and never more
    // than a byte time, so that the line is never faster than the wire.
    // The probes are spread out, each after a pause as long as a paced
    // exchange: back to back they all fell into the same moment, and a
    // busy one (the client starting beside us) made even the quickest
    // several times the step a request meets later; after a pause they
    // also meet the step as a request does, with the processors idle.
    std::int64_t quickest = -1;
    for (int i = 0; i < kHopProbes; ++i) {
        const std::uint8_t probe = 0;
        const timespec pause{0, static_cast<long>(kProbePauseNs)};
        nanosleep(&pause, nullptr);
        const std::int64_t sent = monotonicNs();
        if (write(m_slave, &probe, 1) != 1) break;
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, 200) != 1) break;
        const std::int64_t hop = monotonicNs() - sent;
        if (quickest < 0 || hop < quickest) quickest = hop;
        std::uint8_t drain[16];
        while (read(m_master, drain, sizeof drain) > 0) {
        }
    }
    // Nothing of the probes may be taken for a client's bytes.
    tcflush(m_master, TCIFLUSH);
    m_inboundHopNs = std::clamp<std::int64_t>(quickest, 0, byteNs());
}

std::int64_t PtyServer::byteNs() const
{
    // 8N1: start bit, eight data bits, stop bit.
    return m_options.baud ? 10LL * 1000000000LL / m_options.baud : 0;
}

int PtyServer::run(const volatile std::sig_atomic_t &stop)
{
    // Paced bytes are a byte time (87 us at 115200 baud) apart; the default
    // 50 us timer slack would stretch every reply noticeably.
    if (m_options.baud) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    sigset_t waitMask;
    sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);

    std::uint8_t buf[512];
    while (!stop) {
        const std::int64_t now = monotonicNs();
        pollfd pfd{m_master, POLLIN, 0};
        timespec timeout{};
        timespec *tp = nullptr;
        if (!m_tx.empty()) {
            // Waiting output: wake when the next byte is due, or when the
            // terminal can take more.
            std::int64_t wait = m_tx.front().dueNs - now;
            if (m_tx.front().ends && wait > 0) {
                if (wait > kLastByteSpinNs) {
                    wait -= kLastByteSpinNs;
                } else {
                    while (monotonicNs() < m_tx.front().dueNs) {
                    }
                    wait = 0;
                }
            }
            if (wait <= 0) {
                pfd.events |= POLLOUT; // due but the terminal was full
            } else {
                timeout.tv_sec = static_cast<time_t>(wait / 1000000000);
                timeout.tv_nsec = static_cast<long>(wait % 1000000000);
                tp = &timeout;
            }
        }
        const int r = ppoll(&pfd, 1, tp, &waitMask);
        if (r < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "zar40-sim: %s\n", errnoText("ppoll").c_str());
            return 1;
        }
        if (pfd.revents & POLLIN) {
            const ssize_t n = read(m_master, buf, sizeof buf);
            if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                std::fprintf(stderr, "zar40-sim: %s\n", errnoText("read").c_str());
                return 1;
            }
            const std::int64_t at = monotonicNs();
            // The bytes went on the line when the client wrote them, the
            // terminal's step before now; not before our previous read,
            // which would have found them.
            const std::int64_t sent = std::max(at - m_inboundHopNs, m_lastReadNs);
            m_lastReadNs = at;
            for (ssize_t i = 0; i < n; ++i) {
                // On a real line each byte arrives one byte time after the
                // previous one; the terminal delivers them at once. No reply
                // starts before its request is here, though.
                std::int64_t arrival = at;
                if (m_options.baud) {
                    arrival = std::max(sent, m_rxLineFreeNs) + byteNs();
                    m_rxLineFreeNs = arrival;
                    arrival = std::max(arrival, at);
                }
                BootLoader *loader = m_options.bootLoader;
                // A knock between frames: the user has powered the unit up
                // while the PC knocks, and the boot loader answers.
                if (loader && (loader->active() || (buf[i] == 0x56 && m_assembler.pendingBytes() == 0))) {
                    onBootLoaderByte(buf[i], arrival);
                    continue;
                }
                m_assembler.feed(std::span(&buf[i], 1));
                while (auto frame = m_assembler.next()) onFrame(*frame, arrival);
            }
        } else if (pfd.revents & (POLLHUP | POLLERR)) {
            // Cannot happen while we hold the slave open; avoid spinning anyway.
            timespec pause{0, 20000000};
            nanosleep(&pause, nullptr);
        }
        if (!flushDue(monotonicNs())) return 1;
    }
    return 0;
}

void PtyServer::onFrame(const codec::FrameBytes &frame, std::int64_t completeNs)
{
    const auto request = codec::verifyFrame(frame);
    if (!request) {
        if (m_options.verbose) std::fprintf(stderr, "zar40-sim: frame with bad length bytes ignored\n");
        return;
    }
    const auto reply = m_model.handle(*request);
    if (m_options.verbose)
        std::fprintf(stderr, "%6" PRIu64 "  %s  ->  %s\n", m_model.requestCount(), describeMessage(*request).c_str(),
                     reply ? describeMessage(*reply).c_str() : "(no reply)");
    if (!reply) return;
    const auto bytes = codec::buildFrame(*reply);
    queue(bytes.data(), bytes.size(), completeNs);
}

void PtyServer::onBootLoaderByte(std::uint8_t byte, std::int64_t arrivalNs)
{
    BootLoader &loader = *m_options.bootLoader;
    if (!loader.active()) {
        loader.enter();
        m_assembler.clear();
        if (m_options.verbose) std::fprintf(stderr, "zar40-sim: knock: the boot loader answers\n");
    }
    const auto reply = loader.feed(byte);
    queue(reply.data(), reply.size(), arrivalNs);
    if (loader.takeProgrammingEnded()) {
        // Firmware that came with the preset data area brings the factory presets.
        if (loader.presetsErased())
            for (int slot = 0; slot < DeviceModel::kSlots; ++slot)
                m_model.setSlotRecord(slot, zar40::preset::startupPreset(slot));
        std::printf("firmware programmed: %u records, %u written, sectors", loader.records(), loader.programmedRecords());
        for (int s : loader.erasedSectors()) std::printf(" %d", s);
        std::printf("\n");
        std::fflush(stdout);
    }
}

void PtyServer::queue(const std::uint8_t *bytes, std::size_t n, std::int64_t readyNs)
{
    if (!m_options.baud) {
        for (std::size_t i = 0; i < n; ++i) m_tx.push_back({0, bytes[i]});
        return;
    }
    const std::int64_t start = std::max(readyNs, m_txLineFreeNs);
    for (std::size_t i = 0; i < n; ++i)
        m_tx.push_back({start + static_cast<std::int64_t>(i + 1) * byteNs(), bytes[i], i + 1 == n});
    m_txLineFreeNs = start + static_cast<std::int64_t>(n) * byteNs();
}

bool PtyServer::flushDue(std::int64_t nowNs)
{
    std::uint8_t out[512];
    while (!m_tx.empty()) {
        std::size_t n = 0;
        while (n < m_tx.size() && n < sizeof out && m_tx[n].dueNs <= nowNs) {
            out[n] = m_tx[n].byte;
            ++n;
        }
        if (n == 0) return true;
        const ssize_t w = write(m_master, out, n);
        if (w < 0) {
            if (errno == EAGAIN || errno == EINTR) return true;
            std::fprintf(stderr, "zar40-sim: %s\n", errnoText("write").c_str());
            return false;
        }
        m_tx.erase(m_tx.begin(), m_tx.begin() + w);
    }
    return true;
}

} // namespace zar40sim
