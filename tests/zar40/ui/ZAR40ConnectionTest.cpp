// The editor's connection panel, driven through the plug-in as the host
// loads it, against the real zar40-sim on a pseudo-terminal.
#include "DocView.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "ScriptedUserPrompts.h"
#include "ZARDocument.h"
#include "sim_process.h"
#include "test_app.h"

#include "zar40/preset/record.h"

#include <QComboBox>
#include <QLabel>
#include <QLibrary>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using zar40::comm::test::SimProcess;

namespace {

// Long enough for a whole preset read on a loaded machine; the waits end as
// soon as their condition holds.
constexpr int kTransferLimitMs = 60000;

class ZAR40ConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app();
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
        summary = view->findChild<QPlainTextEdit *>("presetSummary");
        ASSERT_TRUE(type && port && netId && connectButton && status && summary);
    }
    void TearDown() override
    {
        manager.reset(); // deletes the documents while the library is loaded
        library.unload();
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
    // Connects to the simulator and waits until its preset has arrived.
    void connectAndRead(const SimProcess &sim)
    {
        port->setEditText(sim.link());
        connectButton->click();
        ASSERT_EQ(state(), "Connecting");
        ASSERT_TRUE(waitForState("Connected")) << status->text().toStdString();
        EXPECT_FALSE(type->isEnabled());
        EXPECT_FALSE(port->isEnabled());
        EXPECT_EQ(connectButton->text(), "Disconnect");
        // The read starts with the connection and runs with its wait window.
        EXPECT_EQ(visibleWaitWindows(), 1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return visibleWaitWindows() == 0; }, kTransferLimitMs));
        EXPECT_TRUE(connectButton->isEnabled());
    }

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
    QPlainTextEdit *summary = nullptr;
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

TEST_F(ZAR40ConnectionTest, ConnectReadsTheUnitsPresetAndDisconnects)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start()) << "zar40-sim did not start";
    // Something the unit does not hold, to see that the read replaced it.
    zar40::preset::setText(document->presets.currentRecord().NAME, "Only in the editor");
    document->presets.currentRecord().outputs[2].GAIN = -42.0f;

    connectAndRead(sim);
    EXPECT_EQ(state(), "Connected");
    EXPECT_TRUE(prompts.texts().isEmpty());

    const zar40::preset::PresetRecord expected = zar40::preset::startupPreset(0);
    const zar40::preset::PresetRecord &got = document->presets.currentRecord();
    EXPECT_EQ(zar40::preset::textOf(got.NAME), zar40::preset::textOf(expected.NAME));
    EXPECT_EQ(got.outputs[2].GAIN, expected.outputs[2].GAIN);
    const QString text = summary->toPlainText();
    EXPECT_TRUE(text.contains(QString::fromStdString(zar40::preset::textOf(expected.NAME)))) << text.toStdString();
    EXPECT_FALSE(text.contains("Only in the editor"));
    for (const auto &out : expected.outputs)
        EXPECT_TRUE(text.contains(QString::fromStdString(zar40::preset::textOf(out.NAME)))) << text.toStdString();

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
    ASSERT_TRUE(sim.start()) << "zar40-sim did not start";
    connectAndRead(sim);
    frame->close();
    // The frame waits for the unit's answer to the disconnect.
    EXPECT_EQ(manager->documents().size(), 1);
    EXPECT_EQ(state(), "Disconnecting");
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->documents().isEmpty(); }, kTransferLimitMs));
    EXPECT_TRUE(prompts.texts().isEmpty());
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
