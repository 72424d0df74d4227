// Runs "zar40 device" as a user does, against the zar40-sim program on a
// pseudo-terminal. Every run is bounded: a command that hangs (or waits for
// input on stdin) is killed and fails its test instead of stalling the suite.
#include "ChildProcess.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using vrntest::ChildProcess;
using vrntest::SimProcess;

namespace {

// Bounds only; no test measures them.
constexpr int kCommandLimitMs = 20000;
constexpr int kExitLimitMs = 5000;

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
    const std::string open = "<" + name + ">", close = "</" + name + ">";
    const auto from = text.find(open);
    if (from == std::string::npos) return false;
    const auto to = text.find(close, from);
    if (to == std::string::npos || text.find('<', from + open.size()) != to) return false;
    text.replace(from + open.size(), to - from - open.size(), value);
    writeText(file, text);
    return true;
}

// True when LINE is WORD followed by COUNT numbers, each after one blank;
// the rest of the line is left in LINE.
bool takeNumbers(std::string &line, const std::string &word, int count)
{
    if (line.rfind(word, 0) != 0) return false;
    std::size_t at = word.size();
    for (int k = 0; k < count; ++k) {
        if (at >= line.size() || line[at] != ' ') return false;
        const std::size_t digits = line.find_first_not_of("0123456789", at + 1);
        const std::size_t end = digits == std::string::npos ? line.size() : digits;
        if (end == at + 1) return false;
        at = end;
    }
    line.erase(0, at);
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
    std::unique_ptr<SimProcess> simulator(const std::string &name, std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"--pty", path(name).string()});
        auto sim = std::make_unique<SimProcess>(extra, SimProcess::Stderr::Inherit);
        EXPECT_EQ(sim->readyLine(), path(name).string()) << "zar40-sim did not report its link";
        return sim;
    }

    // zar40 device ARGS, without the short waits.
    static Result runRaw(std::vector<std::string> args, int limitMs = kCommandLimitMs)
    {
        args.insert(args.begin(), "device");
        ChildProcess child(vrntest::binProgram("zar40"), args);
        const bool drained = child.drain(limitMs);
        return Result{child.stop(0, drained ? kExitLimitMs : 0), child.out, child.err};
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
    EXPECT_NE(r.out.find("Firmware:      Rev. 1.5\n"), std::string::npos) << r;
}

TEST_F(DeviceCommand, InfoShowsTheRevisionTheUnitReportsButPresetsStayOff)
{
    auto sim = simulator("dev.pty", {"--revision", "1.4"});
    Result r = run("dev.pty", {"info"});
    ASSERT_EQ(r.exit, 0) << r;
    EXPECT_NE(r.out.find("Firmware:      Rev. 1.4 (the editor works only with Rev. 1.5)\n"), std::string::npos) << r;
    r = run("dev.pty", {"read", "--slot", "1", "-o", path("a.vpx").string()});
    EXPECT_EQ(r.exit, 1) << r;
    EXPECT_NE(r.err.find("Your Firmware Version : Rev. 1.4"), std::string::npos) << r;
    EXPECT_FALSE(fs::exists(path("a.vpx")));
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
    std::string first = got[0], second = got[1];
    EXPECT_TRUE(takeNumbers(first, "levels", 8) && first.empty()) << got[0];
    // Every second cycle adds the six pots and the mute state.
    EXPECT_TRUE(takeNumbers(second, "levels", 8) && takeNumbers(second, "  pots", 6) &&
                second.size() == 17 && second.rfind("  mute 0x", 0) == 0 &&
                second.find_first_not_of("0123456789ABCDEF", 9) == std::string::npos)
        << got[1];
}

} // namespace
