// zar40 firmware run as a user runs it, against zar40-sim --bootloader.
#include "ChildProcess.h"
#include "SimProcess.h"
#include "firmware_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace zar40::firmware::test;
using vrntest::ChildProcess;
using vrntest::SimProcess;

namespace {

constexpr int kCommandLimitMs = 120000; // a bound, not a measurement

struct ToolRun {
    std::optional<int> exit;
    std::string err;
};

class FirmwareCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("zar40-fw-cmd-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        writeLines(m_dir / "new.mhx", firmwareLines(50));
    }
    void TearDown() override { fs::remove_all(m_dir); }

    ToolRun run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "firmware");
        ChildProcess child(vrntest::binProgram("zar40"), args);
        const bool drained = child.drain(kCommandLimitMs);
        return ToolRun{child.stop(0, drained ? 5000 : 0), child.err};
    }

    fs::path m_dir;
};

TEST_F(FirmwareCommand, RefusesBeforeTouchingThePortWhenTheLoaderOrFileIsWrong)
{
    const std::string port = (m_dir / "absent.pty").string(), file = (m_dir / "new.mhx").string();
    ToolRun r = run({"--port", port, file, "--no-backup", "--loader", (m_dir / "none.bin").string()});
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.err.find("missing"), std::string::npos) << r.err;

    writeLines(m_dir / "short.bin", {"not a flash loader"});
    r = run({"--port", port, file, "--no-backup", "--loader", (m_dir / "short.bin").string()});
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.err.find("not 9902"), std::string::npos) << r.err;

    // The placeholder has the right size but not the loader's byte sum.
    r = run({"--port", port, file, "--no-backup", "--loader", PLACEHOLDER_LOADER});
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.err.find("byte sum 0x86BB, not 0x4BA4"), std::string::npos) << r.err;

    r = run({"--port", port, (m_dir / "absent.mhx").string(), "--no-backup", "--loader", STANDIN_LOADER});
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.err.find("File Open Error"), std::string::npos) << r.err;

    EXPECT_EQ(run({file, "--loader", STANDIN_LOADER}).exit, 2); // no port
}

// Without --loader the tool looks in the plugin folder beside itself (the
// build has only the stand-in there), not in the folder it was started in.
TEST_F(FirmwareCommand, LooksForTheLoaderBesideTheProgram)
{
    const fs::path expected = fs::canonical(vrntest::binProgram("zar40")).parent_path() / "plugin" / "ZAR40-flashloader.bin";
    if (fs::exists(expected)) GTEST_SKIP() << "a real flash loader lies in the build: " << expected;
    const ToolRun r = run({"--port", (m_dir / "absent.pty").string(), (m_dir / "new.mhx").string(), "--no-backup"});
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.err.find("The flash loader image " + expected.string() + " is missing"), std::string::npos) << r.err;
}

TEST_F(FirmwareCommand, SavesProgramsAndRestoresThePresets)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty({"--bootloader"}));
    const fs::path backup = m_dir / "presets";
    const ToolRun r = run({"--port", sim.link(), (m_dir / "new.mhx").string(), "--reset-presets", "--loader",
                       STANDIN_LOADER, "--byte-spacing", "0", "--backup", backup.string(), "--switch-wait", "0",
                       "--store-wait", "0"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_TRUE(fs::exists(backup / "slot-32.vpx"));
    EXPECT_NE(r.err.find("Flashupdate complete!"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("50 records acknowledged"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Slot 32 restored"), std::string::npos) << r.err;
}

TEST_F(FirmwareCommand, AFailedUpdateEndsWithTheDialogsMessage)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty({"--bootloader", "--fw-nak-record", "2"}));
    const ToolRun r = run({"--port", sim.link(), (m_dir / "new.mhx").string(), "--no-backup", "--loader",
                       STANDIN_LOADER, "--byte-spacing", "0", "--quiet"});
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.err.find("An error occured while updating the ZAR\n"), std::string::npos) << r.err;
}

} // namespace
