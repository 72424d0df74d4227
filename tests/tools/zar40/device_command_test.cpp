// Runs "zar40 device" as a user does, against the zar40-sim program on a
// pseudo-terminal. Every run is bounded: a command that hangs (or waits for
// input on stdin) is killed and fails its test instead of stalling the suite.
#include "ChildExit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Bounds only; no test measures them.
constexpr int kCommandLimitMs = 20000;
constexpr int kReadyLimitMs = 5000;

fs::path binDir()
{
    const char *dir = std::getenv("VRN_BIN_DIR");
    return dir ? fs::path(dir) : fs::current_path();
}

// A child with its stdin on a pipe that stays open and silent (a command
// that reads stdin waits forever, and the limit catches it), and its stdout
// and stderr on pipes read back by the test.
class Child {
public:
    Child(const fs::path &program, std::vector<std::string> args)
    {
        int in[2], out[2], err[2];
        if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&fa, fd);
        args.insert(args.begin(), program.string());
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, program.c_str(), &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        close(err[1]);
        m_in = in[1];
        m_out = out[0];
        m_err = err[0];
        if (rc != 0) {
            m_pid = -1;
            throw std::runtime_error("cannot start " + program.string());
        }
    }
    ~Child()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        for (int fd : {m_in, m_out, m_err}) close(fd);
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Reads stdout and stderr until both close or LIMITMS pass. Returns
    // false when the limit ran out.
    bool drain(int limitMs, bool untilNewlineOnStdout = false)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
        bool outOpen = m_out >= 0, errOpen = m_err >= 0;
        while (outOpen || errOpen) {
            if (untilNewlineOnStdout && out.find('\n') != std::string::npos) return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            pollfd p[2] = {{outOpen ? m_out : -1, POLLIN, 0}, {errOpen ? m_err : -1, POLLIN, 0}};
            if (poll(p, 2, static_cast<int>(left)) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                char buf[4096];
                const ssize_t n = read(p[i].fd, buf, sizeof buf);
                if (n > 0) (i ? err : out).append(buf, static_cast<std::size_t>(n));
                else (i ? errOpen : outOpen) = false;
            }
        }
        return true;
    }

    // The exit status, or nothing when the child was still running at the
    // deadline (it is killed then).
    std::optional<int> wait(int limitMs) { return waitForExit(m_pid, limitMs); }

    void signal(int sig)
    {
        if (m_pid > 0) kill(m_pid, sig);
    }

    std::string out, err;

private:
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
};

struct Result {
    std::optional<int> exit; // nothing: killed at the limit
    std::string out, err;
};

std::ostream &operator<<(std::ostream &os, const Result &r)
{
    return os << "exit " << (r.exit ? std::to_string(*r.exit) : std::string("none (hung)")) << "\nstdout:\n"
              << r.out << "stderr:\n"
              << r.err;
}

// zar40-sim on a pty link, stopped with SIGTERM at the end.
class Simulator {
public:
    Simulator(const fs::path &link, std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"--pty", link.string()});
        m_child = std::make_unique<Child>(binDir() / "zar40-sim", extra);
        m_child->drain(kReadyLimitMs, true);
        ready = m_child->out.substr(0, m_child->out.find('\n')) == link.string();
    }
    ~Simulator()
    {
        m_child->signal(SIGTERM);
        m_child->wait(kReadyLimitMs);
    }
    bool ready = false;

private:
    std::unique_ptr<Child> m_child;
};

std::string readText(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const fs::path &p, const std::string &text)
{
    std::ofstream(p, std::ios::binary) << text;
}

// Replaces the text of the first element NAME in an XML file.
bool setElement(const fs::path &file, const std::string &name, const std::string &value)
{
    std::string text = readText(file);
    const std::regex element("<" + name + ">[^<]*</" + name + ">");
    std::smatch m;
    if (!std::regex_search(text, m, element)) return false;
    text.replace(static_cast<std::size_t>(m.position(0)), static_cast<std::size_t>(m.length(0)),
                 "<" + name + ">" + value + "</" + name + ">");
    writeText(file, text);
    return true;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

class DeviceCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "zar40-device-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path path(const std::string &name) const { return m_dir / name; }

    // A simulator on link NAME in the test's folder; asserts it came up.
    std::unique_ptr<Simulator> simulator(const std::string &name, std::vector<std::string> extra = {})
    {
        auto sim = std::make_unique<Simulator>(path(name), std::move(extra));
        EXPECT_TRUE(sim->ready) << "zar40-sim did not report its link";
        return sim;
    }

    // zar40 device ARGS, without the short waits.
    static Result runRaw(std::vector<std::string> args, int limitMs = kCommandLimitMs)
    {
        args.insert(args.begin(), "device");
        Child child(binDir() / "zar40", args);
        const bool drained = child.drain(limitMs);
        Result r{child.wait(drained ? kReadyLimitMs : 0), child.out, child.err};
        return r;
    }

    // zar40 device --port LINK with waits short enough for a simulator.
    Result run(const std::string &link, std::vector<std::string> args, int limitMs = kCommandLimitMs)
    {
        std::vector<std::string> all = {"--port", path(link).string(), "--timeout", "3000", "--switch-wait", "0",
                                        "--store-wait", "0"};
        all.insert(all.end(), args.begin(), args.end());
        return runRaw(all, limitMs);
    }

    fs::path m_dir;
};

TEST_F(DeviceCommand, UsageErrorsExitTwoBeforeTouchingAnyPort)
{
    const std::string port = path("absent.pty").string();
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"info"},                                              // no --port
             {"--port", port},                                      // no command
             {"--port", port, "read", "--slot", "0", "-o", "a.vpx"}, // slots count from 1
             {"--port", port, "read", "--slot", "33", "-o", "a.vpx"},
             {"--port", port, "read", "--slot", "x", "-o", "a.vpx"},
             {"--port", port, "read", "--slot", "3"},               // no output file
             {"--port", port, "read", "--slot", "3", "-o", "a.txt"}, // not .vpx
             {"--port", port, "write", "--slot", "3"},              // no file
             {"--port", port, "backup"},                            // no --dir
             {"--port", port, "--timeout", "fast", "info"},
             {"--port", port, "levels", "--cycles", "0"},
             {"--port", port, "frobnicate"},
             {"--port", port, "--bogus", "info"},
         }) {
        const Result r = runRaw(args);
        std::string joined;
        for (const auto &a : args) joined += a + " ";
        EXPECT_EQ(r.exit, 2) << joined << "\n" << r;
        EXPECT_FALSE(r.err.empty()) << joined;
        EXPECT_TRUE(r.out.empty()) << joined;
    }
}

TEST_F(DeviceCommand, MissingPortExitsOneWithTheReason)
{
    const Result r = run("absent.pty", {"info"});
    EXPECT_EQ(r.exit, 1) << r;
    EXPECT_NE(r.err.find("absent.pty"), std::string::npos) << r;
    EXPECT_TRUE(r.out.empty()) << r;
}

TEST_F(DeviceCommand, InfoShowsNameNumberAndRevision)
{
    auto sim = simulator("dev.pty", {"--device-name", "Rack Left", "--device-number", "4711"});
    const Result r = run("dev.pty", {"info"});
    ASSERT_EQ(r.exit, 0) << r;
    EXPECT_NE(r.out.find("Rack Left"), std::string::npos) << r;
    EXPECT_NE(r.out.find("K004711"), std::string::npos) << r;
    EXPECT_NE(r.out.find("1.5"), std::string::npos) << r;
}

TEST_F(DeviceCommand, ReadWriteAndDiffAgreeOnWhatASlotHolds)
{
    auto sim = simulator("dev.pty");
    const fs::path original = path("slot3.vpx"), edited = path("edited.vpx"), back = path("slot7.vpx");

    Result r = run("dev.pty", {"read", "--slot", "3", "-o", original.string()});
    ASSERT_EQ(r.exit, 0) << r;
    ASSERT_TRUE(fs::exists(original));

    // Nothing differs between a slot and the file just read from it.
    r = run("dev.pty", {"diff", original.string(), "--slot", "3"});
    ASSERT_EQ(r.exit, 0) << r;
    EXPECT_TRUE(r.out.empty()) << r;
    EXPECT_NE(r.err.find("no differences"), std::string::npos) << r;

    // An edited preset written to slot 7 comes back as written...
    fs::copy_file(original, edited);
    ASSERT_TRUE(setElement(edited, "NAME", "Edited Slot"));
    ASSERT_TRUE(setElement(edited, "GAIN", "0x0C0400000")); // input A at -3 dB
    r = run("dev.pty", {"write", edited.string(), "--slot", "7"});
    ASSERT_EQ(r.exit, 0) << r;
    r = run("dev.pty", {"read", "--slot", "7", "-o", back.string()});
    ASSERT_EQ(r.exit, 0) << r;
    EXPECT_NE(readText(back).find("Edited Slot"), std::string::npos);
    r = run("dev.pty", {"diff", edited.string(), "--slot", "7"});
    ASSERT_EQ(r.exit, 0) << r;
    EXPECT_TRUE(r.out.empty()) << r;

    // ...diff names exactly the edited fields with both values...
    r = run("dev.pty", {"diff", original.string(), "--slot", "7"});
    ASSERT_EQ(r.exit, 0) << r;
    const auto diffLines = lines(r.out);
    ASSERT_EQ(diffLines.size(), 2u) << r;
    EXPECT_EQ(diffLines[0].rfind("name: ", 0), 0u) << r;
    EXPECT_NE(diffLines[0].find("device \"Edited Slot\""), std::string::npos) << r;
    EXPECT_EQ(diffLines[1], "inputs[0].gain: file 0, device -3") << r;
    EXPECT_NE(r.err.find("2 fields differ"), std::string::npos) << r;

    // ...and the slot it was read from is untouched.
    r = run("dev.pty", {"diff", original.string(), "--slot", "3"});
    ASSERT_EQ(r.exit, 0) << r;
    EXPECT_TRUE(r.out.empty()) << r;
}

TEST_F(DeviceCommand, BackupRestoresIntoAFreshDevice)
{
    const fs::path dir = path("backup"), edited = path("edited.vpx"), check = path("check.vpx");
    {
        auto source = simulator("source.pty", {"--device-name", "Stage Left"});
        Result r = run("source.pty", {"read", "--slot", "12", "-o", edited.string()});
        ASSERT_EQ(r.exit, 0) << r;
        ASSERT_TRUE(setElement(edited, "NAME", "Backed Up"));
        r = run("source.pty", {"write", edited.string(), "--slot", "12"});
        ASSERT_EQ(r.exit, 0) << r;
        r = run("source.pty", {"--quiet", "backup", "--dir", dir.string()}, 60000);
        ASSERT_EQ(r.exit, 0) << r;
    }
    for (int slot = 1; slot <= 32; ++slot) {
        char name[32];
        std::snprintf(name, sizeof name, "slot-%02d.vpx", slot);
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    }
    EXPECT_NE(readText(dir / "slot-12.vpx").find("Backed Up"), std::string::npos);

    auto target = simulator("target.pty");
    // A fresh device does not hold the edited slot yet.
    Result r = run("target.pty", {"diff", edited.string(), "--slot", "12"});
    ASSERT_EQ(r.exit, 0) << r;
    EXPECT_FALSE(r.out.empty()) << r;

    r = run("target.pty", {"--quiet", "restore", "--dir", dir.string()}, 60000);
    ASSERT_EQ(r.exit, 0) << r;
    r = run("target.pty", {"read", "--slot", "12", "-o", check.string()});
    ASSERT_EQ(r.exit, 0) << r;
    r = run("target.pty", {"diff", check.string(), "--slot", "12"});
    EXPECT_TRUE(r.out.empty()) << r;
    r = run("target.pty", {"diff", edited.string(), "--slot", "12"});
    EXPECT_TRUE(r.out.empty()) << r;
    r = run("target.pty", {"diff", (dir / "slot-01.vpx").string(), "--slot", "1"});
    EXPECT_TRUE(r.out.empty()) << r;
    r = run("target.pty", {"info"});
    EXPECT_NE(r.out.find("Stage Left"), std::string::npos) << r;
}

TEST_F(DeviceCommand, PasswordComesFromTheCommandLineOnly)
{
    auto sim = simulator("dev.pty", {"--password", "1234"});

    Result r = run("dev.pty", {"--password", "1234", "info"});
    EXPECT_EQ(r.exit, 0) << r;

    // Refused or missing passwords end the command; stdin is never read
    // (it is an open, silent pipe here, so a prompt would run into the limit).
    r = run("dev.pty", {"--password", "99", "info"});
    EXPECT_EQ(r.exit, 1) << r;
    EXPECT_NE(r.err.find("refused the password"), std::string::npos) << r;
    EXPECT_TRUE(r.out.empty()) << r;

    r = run("dev.pty", {"info"});
    EXPECT_EQ(r.exit, 1) << r;
    EXPECT_NE(r.err.find("--password"), std::string::npos) << r;

    // A refusal leaves the device ready for the next connection.
    r = run("dev.pty", {"--password", "1234", "info"});
    EXPECT_EQ(r.exit, 0) << r;
}

TEST_F(DeviceCommand, SilentDeviceEndsWithExitOneAfterTheTimeout)
{
    // Connects, then stops answering in the middle of the preset read.
    auto sim = simulator("dev.pty", {"--hang-after", "30"});
    const Result r = run("dev.pty", {"--timeout", "300", "read", "--slot", "1", "-o", path("a.vpx").string()});
    EXPECT_EQ(r.exit, 1) << r;
    EXPECT_NE(r.err.find("no answer"), std::string::npos) << r;
    EXPECT_FALSE(fs::exists(path("a.vpx")));
}

TEST_F(DeviceCommand, LevelsPrintsOneLinePerCycle)
{
    auto sim = simulator("dev.pty");
    const Result r = run("dev.pty", {"levels", "--cycles", "2"});
    ASSERT_EQ(r.exit, 0) << r;
    const auto got = lines(r.out);
    ASSERT_EQ(got.size(), 2u) << r;
    const std::regex levels(R"(levels( \d+){8})");
    EXPECT_TRUE(std::regex_match(got[0], levels)) << got[0];
    // Every second cycle adds the six pots and the mute state.
    EXPECT_TRUE(std::regex_match(got[1], std::regex(R"(levels( \d+){8}  pots( \d+){6}  mute 0x[0-9A-F]{8})")))
        << got[1];
}

} // namespace
