// The "Firmware Update" dialog driven as a user drives it, against
// zar40-sim --bootloader, with the prompts answered from a script.
#include "ScriptedUserPrompts.h"
#include "SimProcess.h"
#include "firmware_files.h"

#include "zar40/comm/event_wait.h"
#include "zar40/ui/firmware/ZAR_FW_UPDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace zar40::firmware;
using namespace zar40::firmware::test;
using zar40::ui::CZAR_FW_UPDlg;
using vrntest::SimProcess;

namespace {

constexpr int kLimitMs = 120000; // a bound, not a measurement

class FirmwareDialog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("zar40-fw-dlg-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        writeLines(m_dir / "new.mhx", firmwareLines(40));
        m_dlg.setFlashLoaderPath(QStringLiteral(STANDIN_LOADER));
        m_dlg.setFile(QString::fromStdString((m_dir / "new.mhx").string()));
        m_dlg.setPresetTransferWaits(0, 0);
        m_dlg.setBackupFolder(QString::fromStdString((m_dir / "presets").string()));
        UpdateTimings t;
        t.knockIntervalMs = 20;
        t.announceDelayMs = 10;
        t.startDelayMs = 10;
        t.imageByteSpacingUs = 0;
        m_dlg.setTimings(t);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    template <typename W> W *control(int id) { return m_dlg.findChild<W *>(QStringLiteral("ctl%1").arg(id)); }

    CFirmwareUpdate::Result program()
    {
        bool ended = false;
        auto result = CFirmwareUpdate::Result::Cancelled;
        auto c = QObject::connect(&m_dlg, &CZAR_FW_UPDlg::updateEnded, [&](CFirmwareUpdate::Result r) {
            ended = true;
            result = r;
        });
        control<QPushButton>(CZAR_FW_UPDlg::IdProgram)->click();
        zar40::comm::runEventsUntil([&] { return ended; }, QDeadlineTimer(kLimitMs));
        QObject::disconnect(c);
        EXPECT_TRUE(ended);
        return result;
    }

    ScriptedUserPrompts m_prompts;
    ScopedUserPrompts m_installed{m_prompts};
    CZAR_FW_UPDlg m_dlg;
    fs::path m_dir;
};

TEST_F(FirmwareDialog, ProgramsWithoutFreezingTheWindowWhileTheLoaderIsPaced)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty({"--bootloader"}));
    m_dlg.setPort(QString::fromStdString(sim.link()));
    // The real spacing of the flash loader's bytes (about ten seconds).
    UpdateTimings t = m_dlg.update().timings();
    t.imageByteSpacingUs = 1000;
    m_dlg.setTimings(t);
    m_dlg.show();

    // A timer of the window's own: it must keep firing while the loader goes out.
    int ticks = 0, ticksWhileSending = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        ++ticks;
        if (m_dlg.update().phase() == CFirmwareUpdate::Phase::LoaderSent) ++ticksWhileSending;
    });
    probe.start(50);
    bool disabledWhileRunning = false;
    QObject::connect(&m_dlg.update(), &CFirmwareUpdate::phaseChanged, [&](CFirmwareUpdate::Phase p) {
        if (p == CFirmwareUpdate::Phase::Erasing) disabledWhileRunning = !m_dlg.controlsEnabled();
    });

    m_prompts.answerNo().answerOk(); // no backup; the instructions
    ASSERT_EQ(program(), CFirmwareUpdate::Result::Success) << m_dlg.logText().toStdString();
    EXPECT_GT(ticksWhileSending, 100); // 9902 bytes of at least 1 ms: about 200 ticks
    EXPECT_TRUE(disabledWhileRunning);
    EXPECT_TRUE(m_dlg.controlsEnabled());
    EXPECT_TRUE(m_dlg.logText().endsWith(QStringLiteral("Flashupdate complete!\nRestart ZAR40!")))
        << m_dlg.logText().toStdString();
    EXPECT_EQ(m_prompts.failures(), 0);
}

TEST_F(FirmwareDialog, SavesThePresetsBeforeAndWritesThemBackAfter)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty({"--bootloader"}));
    m_dlg.setPort(QString::fromStdString(sim.link()));
    control<QCheckBox>(CZAR_FW_UPDlg::IdResetPresets)->setChecked(true);
    m_prompts.answerYes().answerOk().answerYes(); // backup; instructions; restore
    ASSERT_EQ(program(), CFirmwareUpdate::Result::Success) << m_dlg.logText().toStdString();
    EXPECT_TRUE(fs::exists(m_dir / "presets" / "slot-32.vpx"));
    EXPECT_TRUE(m_dlg.logText().endsWith(QStringLiteral("Presets written back."))) << m_dlg.logText().toStdString();
    EXPECT_EQ(m_prompts.failures(), 0);
}

TEST_F(FirmwareDialog, AFailureIsShownAndTheDialogCanStartAgain)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty({"--bootloader", "--fw-nak-record", "5"}));
    m_dlg.setPort(QString::fromStdString(sim.link()));
    m_prompts.answerNo().answerOk().answerOk(); // no backup; instructions; the error
    EXPECT_EQ(program(), CFirmwareUpdate::Result::UpdateError);
    EXPECT_EQ(m_prompts.texts().last(), QLatin1String(kUpdateErrorText));
    EXPECT_TRUE(m_dlg.controlsEnabled());

    // Without the flash loader, or with a wrong one, nothing starts: the log
    // says so at once and Program ZAR says why.
    m_dlg.setFlashLoaderPath(QString::fromStdString((m_dir / "none.bin").string()));
    EXPECT_TRUE(m_dlg.logText().startsWith(QLatin1String("Warning: "))) << m_dlg.logText().toStdString();
    m_prompts.answerOk();
    control<QPushButton>(CZAR_FW_UPDlg::IdProgram)->click();
    EXPECT_TRUE(m_prompts.texts().last().contains(QLatin1String("missing")));
    m_dlg.setFlashLoaderPath(QStringLiteral(PLACEHOLDER_LOADER));
    EXPECT_TRUE(m_dlg.logText().contains(QLatin1String("byte sum 0x86BB, not 0x4BA4"))) << m_dlg.logText().toStdString();
    m_prompts.answerOk();
    control<QPushButton>(CZAR_FW_UPDlg::IdProgram)->click();
    EXPECT_TRUE(m_prompts.texts().last().contains(QLatin1String("byte sum 0x86BB, not 0x4BA4")));
    EXPECT_TRUE(m_dlg.controlsEnabled());

    // Open File asks with the firmware filter.
    m_prompts.answerFile(QString::fromStdString((m_dir / "new.mhx").string()));
    control<QPushButton>(CZAR_FW_UPDlg::IdOpenFile)->click();
    EXPECT_TRUE(m_prompts.shown().last().filter.contains(QLatin1String("*.mhx")));
    EXPECT_EQ(m_prompts.failures(), 0);
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
