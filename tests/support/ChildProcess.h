#pragma once
// A program run by a test as a user runs it: stdin on a pipe that stays open
// and silent (a program that reads it waits, and the test's limit catches
// that), stdout and stderr read back by the test. Every wait is bounded and
// a child still running at the end is killed, so nothing outlives a test and
// nothing hangs it.
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

namespace vrntest {

// A program of the build: $VRN_BIN_DIR/NAME.
inline std::filesystem::path binProgram(const std::string &name)
{
    const char *dir = std::getenv("VRN_BIN_DIR");
    return (dir ? std::filesystem::path(dir) : std::filesystem::current_path()) / name;
}

// The exit status, 128 + signal for a killed program, or nothing when it was
// still running after LIMITMS (it is killed then). PID becomes -1 either way.
inline std::optional<int> waitForExit(pid_t &pid, int limitMs)
{
    if (pid <= 0) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    int status = 0;
    pid_t r = 0;
    while ((r = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (r != pid) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
        return std::nullopt;
    }
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class ChildProcess
{
public:
    // Inherit: the child's stderr goes where the test's goes (nothing to
    // read back, and a talkative child can never fill a pipe).
    enum class Stderr { Capture, Inherit };

    ChildProcess(const std::filesystem::path &program, std::vector<std::string> args, Stderr err = Stderr::Capture)
    {
        int in[2], out[2], errPipe[2] = {-1, -1};
        if (pipe(in) != 0 || pipe(out) != 0 || (err == Stderr::Capture && pipe(errPipe) != 0))
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        if (err == Stderr::Capture) posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], errPipe[0], errPipe[1]})
            if (fd >= 0) posix_spawn_file_actions_addclose(&fa, fd);
        args.insert(args.begin(), program.string());
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, program.c_str(), &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        if (errPipe[1] >= 0) close(errPipe[1]);
        m_in = in[1];
        m_out = out[0];
        m_err = errPipe[0];
        if (rc != 0) {
            m_pid = -1;
            closeAll();
            throw std::runtime_error("cannot start " + program.string());
        }
    }
    ~ChildProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        closeAll();
    }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Reads stdout and stderr into out and err until both close (or, with
    // UNTILNEWLINE, until stdout holds a whole line) or LIMITMS pass.
    // Returns false when the limit ran out.
    bool drain(int limitMs, bool untilNewline = false)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        for (;;) {
            if (untilNewline && out.find('\n') != std::string::npos) return true;
            if (m_out < 0 && m_err < 0) return true;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
            if (left <= 0) return false;
            readSome(static_cast<int>(left));
        }
    }

    // The first line of stdout without its newline (empty when none came
    // within LIMITMS); what follows it stays in out.
    std::string readLine(int limitMs)
    {
        drain(limitMs, true);
        const auto nl = out.find('\n');
        if (nl == std::string::npos) return {};
        std::string line = out.substr(0, nl);
        out.erase(0, nl + 1);
        return line;
    }

    // Everything on stderr so far, waiting up to TIMEOUTMS for more.
    const std::string &stderrText(int timeoutMs)
    {
        if (m_err >= 0) {
            pollfd p{m_err, POLLIN, 0};
            while (poll(&p, 1, timeoutMs) > 0) {
                if (!readFrom(m_err, err)) break;
                timeoutMs = 0;
            }
        }
        return err;
    }

    void signal(int sig)
    {
        if (m_pid > 0) kill(m_pid, sig);
    }
    // Exit status after SIG (0: just wait), see waitForExit.
    std::optional<int> stop(int sig, int limitMs)
    {
        if (sig) signal(sig);
        return waitForExit(m_pid, limitMs);
    }
    bool running() const { return m_pid > 0; }

    std::string out, err;

private:
    // False once FD has closed (it is then -1).
    bool readFrom(int &fd, std::string &to)
    {
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            to.append(buf, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) return true;
        close(fd);
        fd = -1;
        return false;
    }
    void readSome(int timeoutMs)
    {
        pollfd p[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (poll(p, 2, timeoutMs) <= 0) return;
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) readFrom(m_out, out);
        if (p[1].revents & (POLLIN | POLLHUP | POLLERR)) readFrom(m_err, err);
    }
    void closeAll()
    {
        for (int *fd : {&m_in, &m_out, &m_err})
            if (*fd >= 0) {
                close(*fd);
                *fd = -1;
            }
    }

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
};

// A program run to its end as a user runs it from a shell: its exit status
// (-1 when it did not end within LIMITMS and was killed), stdout and stderr.
struct ProgramRun {
    int status = -1;
    std::string out, err;
};
inline ProgramRun runProgram(const std::filesystem::path &program, std::vector<std::string> args,
                             int limitMs = 60000)
{
    ChildProcess child(program, std::move(args));
    ProgramRun run;
    child.drain(limitMs);
    run.status = child.stop(0, limitMs).value_or(-1);
    run.out = std::move(child.out);
    run.err = std::move(child.err);
    return run;
}

} // namespace vrntest
