#pragma once
// The zar40-sim program run as a user runs it, with its stdout and stderr
// read back by the test. Every wait is bounded, so a silent or stuck
// simulator fails a test instead of hanging it.
#include "ChildExit.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace simtest {

// Generous: these only bound a test that would otherwise hang, they are
// never what a test measures.
constexpr int kReplyTimeoutMs = 5000;

inline std::filesystem::path simProgram()
{
    const char *dir = std::getenv("VRN_BIN_DIR");
    return std::filesystem::path(dir ? dir : ".") / "zar40-sim";
}

inline std::string readAvailable(int fd, int timeoutMs)
{
    std::string out;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) > 0) {
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        timeoutMs = 0;
    }
    return out;
}

class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args)
    {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        posix_spawn_file_actions_addclose(&fa, err[0]);
        const std::string prog = simProgram().string();
        args.insert(args.begin(), prog);
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, prog.c_str(), &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
        if (rc != 0) {
            m_pid = -1;
            throw std::runtime_error("cannot start " + prog);
        }
    }
    ~SimProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_out);
        close(m_err);
    }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // The first stdout line: what to give a client, once the device is ready.
    std::string readyLine()
    {
        std::string line;
        pollfd p{m_out, POLLIN, 0};
        char c;
        while (poll(&p, 1, kReplyTimeoutMs) > 0 && read(m_out, &c, 1) == 1) {
            if (c == '\n') return line;
            line.push_back(c);
        }
        return line;
    }
    std::string stderrText(int timeoutMs = 200)
    {
        m_errText += readAvailable(m_err, timeoutMs);
        return m_errText;
    }

    // Exit status after SIG (0: just wait), 128 + signal for a killed
    // program; nothing when it is still running after TIMEOUTMS (it is
    // killed then, so nothing outlives the test).
    std::optional<int> stop(int sig, int timeoutMs = kReplyTimeoutMs)
    {
        if (m_pid <= 0) return std::nullopt;
        if (sig) kill(m_pid, sig);
        return waitForExit(m_pid, timeoutMs);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_errText;
};

} // namespace simtest
