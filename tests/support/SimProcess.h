#pragma once
// The zar40-sim program as a user runs it, for every test and benchmark that
// needs a unit: on a pseudo-terminal in a folder of its own, as a unit on a
// CAN bus, or with any arguments (its own option tests).
#include "ChildProcess.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vrntest {

// Generous: these only bound a test that would otherwise hang, they are
// never what a test measures.
constexpr int kSimReadyLimitMs = 10000;

class SimProcess
{
public:
    using Stderr = ChildProcess::Stderr;

    SimProcess() = default;
    // Starts zar40-sim with ARGS as they are; readyLine() tells whether and
    // how it came up.
    explicit SimProcess(std::vector<std::string> args, Stderr err = Stderr::Capture) { start(std::move(args), err); }
    ~SimProcess()
    {
        stop();
        if (!m_dir.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_dir, ec);
        }
    }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    void start(std::vector<std::string> args, Stderr err = Stderr::Capture)
    {
        stop();
        m_ready.reset();
        m_child = std::make_unique<ChildProcess>(binProgram("zar40-sim"), std::move(args), err);
    }
    // On a pseudo-terminal whose link lies in a temporary folder of the
    // simulator's own; true once it has printed the link. With
    // Stderr::Capture (and --verbose) a test can read what the unit was
    // asked; it must then read stderrText() often enough to keep the pipe
    // from filling.
    bool startOnPty(std::vector<std::string> args = {}, Stderr err = Stderr::Inherit)
    {
        if (m_dir.empty()) {
            std::string pattern = (std::filesystem::temp_directory_path() / "zar40-sim-XXXXXX").string();
            if (!mkdtemp(pattern.data())) return false;
            m_dir = pattern;
        }
        m_link = (m_dir / "zar40.pty").string();
        args.insert(args.begin(), {"--pty", m_link});
        start(std::move(args), err);
        return readyLine() == m_link;
    }
    // As unit NETID on the virtual CAN bus BUS (virtualcan's interface
    // name); true once it is on the bus.
    bool startOnCan(const std::string &bus, int netId, std::vector<std::string> args = {})
    {
        const std::string id = std::to_string(netId);
        args.insert(args.begin(), {"--can", "virtualcan:" + bus, "--net-id", id});
        start(std::move(args), Stderr::Inherit);
        const std::string line = readyLine();
        return line.size() >= id.size() + 7 && line.compare(line.size() - id.size() - 7, std::string::npos,
                                                            "net-id " + id) == 0;
    }

    // The first line on stdout: the link or the bus, once the unit is ready.
    const std::string &readyLine()
    {
        if (!m_ready) m_ready = m_child ? m_child->readLine(kSimReadyLimitMs) : std::string();
        return *m_ready;
    }
    // The pseudo-terminal's link after startOnPty.
    const std::string &link() const { return m_link; }
    // Its stderr so far (with Stderr::Capture), waiting up to TIMEOUTMS.
    std::string stderrText(int timeoutMs = 200) { return m_child ? m_child->stderrText(timeoutMs) : std::string(); }

    // Exit status after SIG (0: just wait); nothing when it was still
    // running after LIMITMS (it is killed then).
    std::optional<int> stop(int sig, int limitMs = kSimReadyLimitMs)
    {
        return m_child ? m_child->stop(sig, limitMs) : std::nullopt;
    }
    // Ends it as a user would (it removes its link).
    void stop()
    {
        if (m_child && m_child->running()) stop(SIGTERM);
    }
    // As if the cable were pulled: the process dies and its terminal with it.
    void kill() { stop(SIGKILL); }

private:
    std::unique_ptr<ChildProcess> m_child;
    std::optional<std::string> m_ready;
    std::filesystem::path m_dir;
    std::string m_link;
};

} // namespace vrntest
