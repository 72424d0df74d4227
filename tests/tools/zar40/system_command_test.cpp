// Runs "zar40 system" as a user does, against one zar40-sim process that
// simulates a whole rig of units on a virtual CAN bus of the test's own.
#include "ChildProcess.h"
#include "SimProcess.h"
#include "virtual_bus.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace vrntest {
// What a failed expectation prints of a run.
inline std::ostream &operator<<(std::ostream &os, const ProgramRun &r)
{
    return os << "exit " << r.status << "\nstdout:\n" << r.out << "stderr:\n" << r.err;
}
} // namespace vrntest
using vrntest::SimProcess;

namespace {

// Bounds only; no test measures them.
constexpr int kCommandLimitMs = 60000;

using Result = vrntest::ProgramRun;

class SystemCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "zar40-system-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        m_dir = pattern;
        m_bus = "virtualcan:" + vrntest::freeVirtualBus().toStdString();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // The rig: units NETIDS in one simulator process.
    std::unique_ptr<SimProcess> rig(const std::string &netIds, std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"--can", m_bus, "--net-ids", netIds});
        auto sim = std::make_unique<SimProcess>(extra, SimProcess::Stderr::Inherit);
        EXPECT_EQ(sim->readyLine(), m_bus + " net-ids " + netIds);
        return sim;
    }

    Result run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"system", "--can", m_bus, "--quiet", "--timeout", "1000"});
        return vrntest::runProgram(vrntest::binProgram("zar40"), args, kCommandLimitMs);
    }

    // Net-ID -> slot it plays, from a scan.
    std::map<int, int> playedSlots()
    {
        const Result r = run({"scan"});
        std::map<int, int> out;
        // Plain string search: std::regex trips GCC 12's maybe-uninitialized
        // warning in the sanitized build.
        const auto numberAt = [](const std::string &l, std::size_t at) {
            while (at < l.size() && l[at] == ' ') ++at;
            return at < l.size() && std::isdigit(static_cast<unsigned char>(l[at])) ? std::stoi(l.substr(at)) : -1;
        };
        std::istringstream in(r.out);
        for (std::string l; std::getline(in, l);) {
            const std::size_t id = l.find("Net-ID ");
            const std::size_t preset = l.find(" preset ", id == std::string::npos ? 0 : id);
            if (id == std::string::npos || preset == std::string::npos) continue;
            const int netId = numberAt(l, id + 7);
            const int slot = numberAt(l, preset + 8);
            if (netId >= 0 && slot >= 0) out[netId] = slot;
        }
        return out;
    }

    fs::path m_dir;
    std::string m_bus;
};

TEST_F(SystemCommand, ScansAndRecallsAWholeRigOfSixtyThreeUnits)
{
    auto sim = rig("1-63");
    Result r = run({"scan", "--json"});
    ASSERT_EQ(r.status, 0) << r;
    for (const char *expected : {R"("net_id": 1,)", R"("net_id": 63,)", R"("device_name": "ZAR40 Sim 17")",
                                 R"("device_number": 42,)", R"("revision": "1.5")"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    EXPECT_EQ(r.out.find(R"("complete": false)"), std::string::npos) << r.out;

    r = run({"recall", "--slot", "9"});
    ASSERT_EQ(r.status, 0) << r;
    const auto after = playedSlots();
    ASSERT_EQ(after.size(), 63u);
    for (const auto &[id, slot] : after) EXPECT_EQ(slot, 9) << "Net-ID " << id;
}

TEST_F(SystemCommand, OneUnitsFailureIsListedAndTheOthersStillRun)
{
    // Unit 7 answers nothing, so only --units reaches it.
    auto sim = rig("1-63", {"--fault-net-ids", "7", "--drop-every", "1"});
    const Result r = run({"--units", "3,7,20-22", "recall", "--slot", "4"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("Net-ID 7 failed: connecting"), std::string::npos) << r;
    EXPECT_NE(r.err.find("4 of 5 units succeeded"), std::string::npos) << r;
    for (int other : {3, 20, 21, 22}) EXPECT_EQ(r.err.find("Net-ID " + std::to_string(other) + " failed"), std::string::npos);
    const auto after = playedSlots();
    for (const auto &[id, slot] : after) EXPECT_EQ(slot, (id == 3 || (id >= 20 && id <= 22)) ? 4 : 1) << "Net-ID " << id;
}

TEST_F(SystemCommand, RestoreTakesEachUnitFromItsOwnFolder)
{
    // (A whole backup reads every slot twice: some ten thousand exchanges a
    // unit, which is for the benchmarks; the per-unit folders are the same.)
    auto sim = rig("5-6");
    const fs::path dir = m_dir / "rig";
    fs::create_directories(dir / "net-id-06");
    std::ofstream(dir / "net-id-06" / "device-settings.txt") << "# ZAR40 device settings\nname=Delay Tower\n";
    ASSERT_EQ(vrntest::runProgram(vrntest::binProgram("zar40"), {"layout", "2 Way Stereo", "--slot", "2", "-o",
                                                               (dir / "net-id-06" / "slot-02.vpx").string()})
                  .status,
              0);

    // Unit 5 has no folder: it fails alone, unit 6 is restored.
    const Result r = run({"--switch-wait", "0", "--store-wait", "0", "restore", dir.string()});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("Net-ID 5 failed"), std::string::npos) << r;
    EXPECT_NE(r.err.find("1 of 2 units succeeded"), std::string::npos) << r;
    const Result scan = run({"scan"});
    EXPECT_NE(scan.out.find("Net-ID  6  K000006  \"Delay Tower\""), std::string::npos) << scan;
    EXPECT_NE(scan.out.find("Net-ID  5  K000005  \"ZAR40 Sim 5\""), std::string::npos) << scan;
}

TEST_F(SystemCommand, UsageErrorsExitTwo)
{
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"recall"},
             {"recall", "--slot", "33"},
             {"--units", "0-3", "mute"},
             {"--units", "3,3", "mute"},
             {"backup"},
             {"mute", "--json"},
             {"frobnicate"},
             {"store", "--slot", "2"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 2) << r;
    }
}

} // namespace
