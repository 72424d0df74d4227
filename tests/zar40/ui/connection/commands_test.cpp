// The editor's preset commands without a unit, and the device settings
// dialog against zar40-sim.
#include "EditorFixture.h"

#include "zar40/preset/preset_files.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QUrl>

using vrntest::SimProcess;
namespace zp = zar40::preset;

// Stands in for the desktop's browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

namespace {

using CommandsTest = EditorFixture;

TEST_F(CommandsTest, MenusHoldEveryCommandAndTheThreeWayLayoutsStayDisabled)
{
    for (const char *text : {"Open Preset", "Save Preset", "&Close", "Copy Channel Setup", "Devicesettings",
                             "Firmware Update", "Stereo Bypass", "Mono Bypass", "2 Way Stereo",
                             "2 Way Stereo w. mono Bass", "3 Way Stereo", "3 Way Stereo w. mono Bass", "Help Topics"})
        EXPECT_NE(action(text), nullptr) << text;
    EXPECT_FALSE(action("3 Way Stereo")->isEnabled());
    EXPECT_FALSE(action("3 Way Stereo w. mono Bass")->isEnabled());
    // Device settings need a unit.
    EXPECT_FALSE(action("Devicesettings")->isEnabled());
}

TEST_F(CommandsTest, SavedPresetOpensAgainAndUpperCaseExtensionsAreRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    zp::setText(current().NAME, "Round trip");
    current().outputs[1].GAIN = -3.5f;
    document->session().setProperty("localModified", true);
    const QString path = dir.filePath("round.vpx");
    QSignalSpy recent(manager.get(), &CMyDocManager::fileOpened);
    prompts.answerFile(path);
    action("Save Preset")->trigger();
    EXPECT_EQ(pane("localStatePane"), "Local clean");
    ASSERT_TRUE(QFileInfo(path).isFile());
    // Saved and opened presets join the host's recent files.
    ASSERT_EQ(recent.count(), 1);
    EXPECT_EQ(recent.at(0).at(0).toString(), path);

    zp::setText(current().NAME, "Changed");
    current().outputs[1].GAIN = 0.0f;
    document->session().setProperty("localModified", true);
    // Local changes: the editor asks first.
    prompts.clear();
    prompts.answerYes().answerFile(path);
    action("Open Preset")->trigger();
    EXPECT_EQ(prompts.texts().constFirst(), "Overwrite this Preset?");
    EXPECT_EQ(currentName(), "Round trip");
    EXPECT_EQ(current().outputs[1].GAIN, -3.5f);
    EXPECT_EQ(pane("localStatePane"), "Local clean");
    EXPECT_TRUE(presetList->itemText(0).endsWith("Round trip")) << presetList->itemText(0).toStdString();
    EXPECT_EQ(recent.count(), 2);

    const QString upper = dir.filePath("ROUND.VPX");
    ASSERT_TRUE(QFile::copy(path, upper));
    zp::setText(current().NAME, "Kept");
    prompts.clear();
    prompts.answerFile(upper).answerOk();
    action("Open Preset")->trigger();
    EXPECT_EQ(prompts.texts().last(), "Not a valid VRN-Preset file!");
    EXPECT_EQ(prompts.shown().last().icon, UserPrompts::Icon::Error);
    EXPECT_EQ(currentName(), "Kept");
}

TEST_F(CommandsTest, FailedSaveOrReadIsReportedAndKeepsTheModifiedState)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    document->session().setProperty("localModified", true);
    prompts.answerFile(dir.filePath("missing/folder/p.vpx")).answerOk();
    action("Save Preset")->trigger();
    EXPECT_EQ(prompts.shown().last().icon, UserPrompts::Icon::Error);
    EXPECT_EQ(pane("localStatePane"), "Local modified");

    const QString broken = dir.filePath("broken.vpx");
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<ZAR40_PRESET><unclosed");
    f.close();
    zp::setText(current().NAME, "Kept");
    prompts.answerYes().answerFile(broken).answerOk();
    action("Open Preset")->trigger();
    EXPECT_TRUE(prompts.texts().last().contains(QString::fromLatin1(zp::kXmlLoadError.data()))) << prompts.texts().last().toStdString();
    EXPECT_EQ(currentName(), "Kept");
    EXPECT_EQ(pane("localStatePane"), "Local modified");
}

TEST_F(CommandsTest, QuickSetupNamesThePresetAfterItsSlotAndAsksOverLocalChanges)
{
    ASSERT_TRUE(document->session().presets().setCurrent(5));
    current().outputs[0].MUTE = 1;
    current().number = 17;
    action("2 Way Stereo")->trigger();
    EXPECT_TRUE(prompts.texts().isEmpty());
    EXPECT_EQ(currentName(), "Preset 6");
    EXPECT_EQ(current().number, 0u);
    EXPECT_EQ(zp::textOf(current().outputs[0].NAME), "BASS L");
    // Output 1's mute spreads to every output.
    for (const auto &out : current().outputs)
        EXPECT_EQ(out.MUTE, 1);
    EXPECT_EQ(pane("localStatePane"), "Local clean");

    zp::setText(current().NAME, "Mine");
    document->session().setProperty("localModified", true);
    prompts.answerNo();
    action("Mono Bypass")->trigger();
    EXPECT_EQ(prompts.texts().last(), "Overwrite this Preset?");
    EXPECT_EQ(currentName(), "Mine");
}

TEST_F(CommandsTest, ClosingWithUnsavedWorkAsks)
{
    document->session().setProperty("localModified", true);
    prompts.answerCancel();
    frame->close();
    EXPECT_EQ(prompts.texts(), QStringList{"Do you want to save the current preset?"});
    EXPECT_EQ(manager->documents().size(), 1);
    prompts.answerNo();
    frame->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager->documents().isEmpty(); }, 5000));
}

TEST_F(CommandsTest, HelpTopicsOpensTheGuideBesideThePlugin)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    action("Help Topics")->trigger();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1) << prompts.texts().join('|').toStdString();
    const QString path = catcher.urls.constFirst().toLocalFile();
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(QStringLiteral(PLUGIN_FILE)).absolutePath());
    QFile guide(path);
    ASSERT_TRUE(guide.open(QIODevice::ReadOnly));
    EXPECT_TRUE(guide.readAll().contains("Copy Preset to ZAR?"));
}

TEST_F(CommandsTest, DeviceSettingsAreWrittenToTheUnit)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
    connectAndRead(sim);
    ASSERT_TRUE(action("Devicesettings")->isEnabled());
    action("Devicesettings")->trigger();
    auto *dialog = waitForDialog("CDeviceSettingsDlg", 2000);
    ASSERT_NE(dialog, nullptr);
    auto *name = dialog->findChild<QLineEdit *>("deviceName");
    auto *lock = dialog->findChild<QCheckBox *>("keyboardLock");
    auto *pwd = dialog->findChild<QLineEdit *>("newPassword");
    auto *confirm = dialog->findChild<QLineEdit *>("confirmPassword");
    ASSERT_TRUE(name && lock && pwd && confirm);
    name->clear();
    QTest::keyClicks(name, "Stage<Left>:1");
    EXPECT_EQ(name->text(), "StageLeft1");
    lock->setChecked(true);
    pwd->setText("1234");
    confirm->setText("1243");
    prompts.answerOk();
    dialog->accept();
    EXPECT_EQ(prompts.texts().last(), "The passwords you entered did not match!");
    EXPECT_TRUE(dialog->isVisible());
    confirm->setText("1234");
    dialog->accept();
    ASSERT_TRUE(waitUntilSettled());

    // Read back: the name and lock come with the preset, and the unit now
    // asks for the password.
    disconnectWithoutStoring();
    document->session().deviceSettings() = {};
    document->session().setProperty("localModified", false);
    prompts.answerText("1234");
    connectAndRead(sim);
    EXPECT_EQ(prompts.shown().at(prompts.shown().size() - 2).kind, ScriptedUserPrompts::Kind::TextInput);
    EXPECT_EQ(pane("deviceNamePane"), "StageLeft1");
    EXPECT_EQ(document->session().deviceSettings()[4], 1u);
}

} // namespace

#include "commands_test.moc"
