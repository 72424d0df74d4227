#pragma once
// Waiting for a child program with a bound, for tests that run the real
// programs: a child still running at the limit is killed, so nothing
// outlives the test and nothing hangs it.
#include <chrono>
#include <csignal>
#include <optional>
#include <sys/wait.h>
#include <thread>

// The exit status, 128 + signal for a killed program, or nothing when it was
// still running after LIMITMS. PID becomes -1 either way.
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
