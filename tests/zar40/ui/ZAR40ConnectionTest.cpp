// The editor's connection panel, driven through the plug-in as the host
// loads it, against the real zar40-sim on a pseudo-terminal.
#include "DocView.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "ScriptedUserPrompts.h"
#include "ZARDocument.h"
#include "SimProcess.h"
#include "PluginContract.h"

#include "zar40/preset/record.h"

#include <QComboBox>
#include <QLabel>
#include <QLibrary>
#include <QPointer>
#include <QMdiArea>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using vrntest::SimProcess;

namespace {

// Long enough for a whole preset read on a loaded machine; the waits end as
// soon as their condition holds.
constexpr int kTransferLimitMs = 60000;

class ZAR40ConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prompts.setFailureHandler([](const QString &why) { ADD_FAILURE() << "prompt: " << why.toStdString(); });
        ASSERT_TRUE(library.load()) << library.errorString().toStdString();
        auto entry = reinterpret_cast<DLLDocTemplateFunction>(library.resolve("DLLDocTemplate"));
        ASSERT_NE(entry, nullptr);
        manager = std::make_unique<CMyDocManager>();
        manager->setMdiArea(&area);
        manager->addDocTemplate(entry());
        ASSERT_TRUE(manager->OpenNewDocument(1));
        CDocument *doc = manager->documents().constFirst();
        ASSERT_STREQ(doc->metaObject()->className(), "CZARDocument");
        document = static_cast<CZARDocument *>(doc);
        view = doc->views().constFirst();
        frame = doc->frames().constFirst();
        type = view->findChild<QComboBox *>("connectionType");
        port = view->findChild<QComboBox *>("portCombo");
        netId = view->findChild<QSpinBox *>("netIdSpin");
        connectButton = view->findChild<QPushButton *>("connectButton");
        status = view->findChild<QLabel *>("statusLabel");
        for (QLineEdit *field : view->findChildren<QLineEdit *>())
            if (field->accessibleName() == "Preset name") presetName = field;
        ASSERT_TRUE(type && port && netId && connectButton && status && presetName);
    }
    void TearDown() override
    {
        // Everything made by the plug-in's code goes while it is loaded:
        // the documents, then frames still waiting for their deferred delete.
        manager.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qDeleteAll(area.subWindowList());
        // Objects of the plug-in's classes that the application object owns
        // must go with the library: the application would otherwise delete
        // them after their code was unloaded.
        QList<QPointer<QObject>> ownedByApplication;
        for (QObject *child : QCoreApplication::instance()->children())
            if (QByteArray(child->metaObject()->className()).startsWith("zar40::"))
                ownedByApplication << child;
        library.unload();
        for (const QPointer<QObject> &p : ownedByApplication)
            EXPECT_TRUE(p.isNull()) << "left on the application object after the plug-in was unloaded";
    }

    QString state() const { return view->property("connectionState").toString(); }
    bool waitForState(const QString &wanted, int ms = kTransferLimitMs)
    {
        return QTest::qWaitFor([&] { return state() == wanted; }, ms);
    }
    int visibleWaitWindows() const
    {
        int n = 0;
        for (QWidget *w : view->findChildren<QWidget *>("ZARWaitWindow"))
            n += w->isVisible() ? 1 : 0;
        return n;
    }
    QString waitWindowTitle() const
    {
        for (QWidget *w : view->findChildren<QWidget *>("ZARWaitWindow"))
            if (w->isVisible()) return w->windowTitle();
        return {};
    }
    // Connects to the simulator and waits until its preset has arrived.
    void connectAndRead(const SimProcess &sim)
    {
        port->setEditText(QString::fromStdString(sim.link()));
        connectButton->click();
        ASSERT_EQ(state(), "Connecting");
        ASSERT_TRUE(waitForState("Connected")) << status->text().toStdString();
        EXPECT_FALSE(type->isEnabled());
        EXPECT_FALSE(port->isEnabled());
        EXPECT_EQ(connectButton->text(), "Disconnect");
        // The read starts with the connection and runs with its wait window.
        ASSERT_EQ(visibleWaitWindows(), 1);
        EXPECT_EQ(waitWindowTitle(), "Load Preset");
        ASSERT_TRUE(QTest::qWaitFor([&] { return visibleWaitWindows() == 0; }, kTransferLimitMs));
        EXPECT_TRUE(connectButton->isEnabled());
    }

    QApplication &application = app(); // before the first widget member
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope{prompts};
    QLibrary library{PLUGIN_FILE};
    QMdiArea area;
    std::unique_ptr<CMyDocManager> manager;
    CZARDocument *document = nullptr;
    CView *view = nullptr;
    CMDIChildWnd *frame = nullptr;
    QComboBox *type = nullptr;
    QComboBox *port = nullptr;
    QSpinBox *netId = nullptr;
    QPushButton *connectButton = nullptr;
    QLabel *status = nullptr;
    QLineEdit *presetName = nullptr;
};

TEST_F(ZAR40ConnectionTest, PanelStartsIdleWithTheLimitsOfItsFields)
{
    EXPECT_EQ(state(), "Idle");
    EXPECT_EQ(connectButton->text(), "Connect");
    EXPECT_EQ(type->count(), 2);
    EXPECT_EQ(type->itemText(0), "RS232");
    EXPECT_EQ(type->itemText(1), "CAN");
    EXPECT_TRUE(port->isEditable());
    EXPECT_EQ(netId->minimum(), 1);
    EXPECT_EQ(netId->maximum(), 63);
    netId->setValue(64);
    EXPECT_EQ(netId->value(), 63);
    type->setCurrentIndex(1);
    EXPECT_TRUE(port->isHidden());
    EXPECT_FALSE(netId->isHidden());
    type->setCurrentIndex(0);
    EXPECT_FALSE(port->isHidden());
    EXPECT_TRUE(netId->isHidden());
}

TEST_F(ZAR40ConnectionTest, PortFromTheEnvironmentIsOfferedFirst)
{
    const QString path = QStringLiteral("/tmp/zar40-ui-test.pty");
    qputenv("VRN_ZAR40_PORT", path.toLocal8Bit());
    const bool opened = manager->OpenNewDocument(1);
    qunsetenv("VRN_ZAR40_PORT");
    ASSERT_TRUE(opened);
    CView *second = manager->documents().constLast()->views().constFirst();
    auto *secondPort = second->findChild<QComboBox *>("portCombo");
    ASSERT_NE(secondPort, nullptr);
    EXPECT_EQ(secondPort->currentText(), path);
    EXPECT_EQ(secondPort->findText(path), 0);
}

TEST_F(ZAR40ConnectionTest, ConnectReadsTheUnitsPresetAndDisconnects)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
    // Something the unit does not hold, to see that the read replaced it.
    zar40::preset::setText(document->presets.currentRecord().NAME, "Editor only");
    document->presets.currentRecord().outputs[2].GAIN = -42.0f;

    connectAndRead(sim);
    EXPECT_EQ(state(), "Connected");
    EXPECT_TRUE(prompts.texts().isEmpty());

    const zar40::preset::PresetRecord expected = zar40::preset::startupPreset(0);
    const zar40::preset::PresetRecord &got = document->presets.currentRecord();
    EXPECT_EQ(zar40::preset::textOf(got.NAME), zar40::preset::textOf(expected.NAME));
    EXPECT_EQ(got.outputs[2].GAIN, expected.outputs[2].GAIN);
    // The editor shows what it read.
    EXPECT_EQ(presetName->text().toStdString(), zar40::preset::textOf(expected.NAME));

    connectButton->click();
    ASSERT_TRUE(waitForState("Idle"));
    EXPECT_EQ(status->text(), "Connection closed");
    EXPECT_EQ(connectButton->text(), "Connect");
    EXPECT_TRUE(port->isEnabled());
    EXPECT_TRUE(prompts.texts().isEmpty());
}

TEST_F(ZAR40ConnectionTest, ClosingWhileConnectedDisconnectsFirst)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
    connectAndRead(sim);
    frame->close();
    // The frame waits for the unit's answer to the disconnect.
    EXPECT_EQ(manager->documents().size(), 1);
    EXPECT_EQ(state(), "Disconnecting");
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->documents().isEmpty(); }, kTransferLimitMs));
    EXPECT_TRUE(prompts.texts().isEmpty());
}

TEST_F(ZAR40ConnectionTest, SentPresetIsWhatTheUnitGivesBack)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
    connectAndRead(sim);
    auto *send = view->findChild<QPushButton *>("sendPresetButton");
    ASSERT_NE(send, nullptr);
    ASSERT_TRUE(send->isEnabled());
    zar40::preset::PresetRecord &record = document->presets.currentRecord();
    zar40::preset::setText(record.NAME, "Sent by editor");
    record.outputs[4].GAIN = -7.5f;
    record.outputs[4].MUTE = 1;
    send->click();
    ASSERT_EQ(visibleWaitWindows(), 1);
    EXPECT_EQ(waitWindowTitle(), "Transfer Preset");
    EXPECT_FALSE(send->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return visibleWaitWindows() == 0; }, kTransferLimitMs));
    EXPECT_TRUE(send->isEnabled());

    // What the editor holds now must not decide the outcome: read it back.
    zar40::preset::setText(record.NAME, "Not yet read");
    record.outputs[4].GAIN = 0.0f;
    record.outputs[4].MUTE = 0;
    connectButton->click();
    ASSERT_TRUE(waitForState("Idle"));
    connectAndRead(sim);
    EXPECT_EQ(zar40::preset::textOf(record.NAME), "Sent by editor");
    EXPECT_EQ(record.outputs[4].GAIN, -7.5f);
    EXPECT_EQ(record.outputs[4].MUTE, 1);
    EXPECT_EQ(presetName->text(), "Sent by editor");
    EXPECT_TRUE(prompts.texts().isEmpty());
}

TEST_F(ZAR40ConnectionTest, LostUnitIsReportedAndTheFrameStaysUsable)
{
    SimProcess sim;
    ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
    connectAndRead(sim);
    prompts.answerOk();
    sim.kill();
    ASSERT_TRUE(waitForState("Idle"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompts.pendingAnswers() == 0; }, kTransferLimitMs));
    ASSERT_EQ(prompts.shown().size(), 1);
    EXPECT_EQ(prompts.shown().constFirst().icon, UserPrompts::Icon::Error);
    EXPECT_TRUE(prompts.texts().constFirst().startsWith("Communication ERROR.\n"));
    // The error stays readable after the link has closed.
    EXPECT_NE(status->text(), "Connection closed");
    EXPECT_EQ(connectButton->text(), "Connect");
    EXPECT_TRUE(port->isEnabled());
    // The window closes at once: nothing is linked any more.
    frame->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager->documents().isEmpty(); }, 5000));
}

TEST_F(ZAR40ConnectionTest, MissingPortIsReportedAndLeavesThePanelIdle)
{
    const QString missing = QStringLiteral("/nonexistent/zar40-port");
    prompts.answerOk();
    port->setEditText(missing);
    connectButton->click();
    EXPECT_EQ(prompts.pendingAnswers(), 0);
    ASSERT_EQ(prompts.shown().size(), 1);
    EXPECT_EQ(prompts.shown().constFirst().icon, UserPrompts::Icon::Error);
    EXPECT_TRUE(prompts.texts().constFirst().contains(missing)) << prompts.texts().constFirst().toStdString();
    EXPECT_EQ(state(), "Idle");
    EXPECT_EQ(connectButton->text(), "Connect");
    EXPECT_TRUE(port->isEnabled());
}

TEST_F(ZAR40ConnectionTest, CanWithoutAHostCanWindowStartsNothing)
{
    type->setCurrentIndex(1);
    connectButton->click();
    EXPECT_EQ(state(), "Idle");
    EXPECT_TRUE(prompts.texts().isEmpty());
}

} // namespace
