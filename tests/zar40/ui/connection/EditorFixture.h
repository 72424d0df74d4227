#pragma once
// One ZAR40 editor opened through the plug-in as the host loads it, with
// scripted prompts, short wait boxes and helpers for the dialogs the
// connection cycle opens.
#include "doc_view.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "plugin_contract.h"
#include "ScriptedUserPrompts.h"
#include "SimProcess.h"
#include "ZARDocument.h"

#include "zar40/preset/record.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// Long enough for a whole preset transfer on a loaded machine; the waits end
// as soon as their condition holds.
constexpr int kTransferLimitMs = 60000;

class EditorFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prompts.setFailureHandler([](const QString &why) { ADD_FAILURE() << "prompt: " << why.toStdString(); });
        ASSERT_NE(plugin.docTemplate, nullptr) << plugin.library.errorString().toStdString();
        ASSERT_TRUE(manager->OpenNewDocument(1));
        CDocument *doc = manager->documents().constFirst();
        ASSERT_STREQ(doc->metaObject()->className(), "CZARDocument");
        document = static_cast<CZARDocument *>(doc);
        view = doc->views().constFirst();
        frame = doc->frames().constFirst();
        // Wait boxes and pauses at a twentieth of their time.
        view->setProperty("waitTimeScale", 0.05);
        type = view->findChild<QComboBox *>("connectionType");
        port = view->findChild<QComboBox *>("portCombo");
        netId = view->findChild<QSpinBox *>("netIdSpin");
        connectButton = view->findChild<QPushButton *>("connectButton");
        presetList = view->findChild<QComboBox *>("presetList");
        storeButton = view->findChild<QPushButton *>("storeButton");
        remoteWatch = view->findChild<QCheckBox *>("remoteWatch");
        status = view->findChild<QLabel *>("statusLabel");
        ASSERT_TRUE(type && port && netId && connectButton && presetList && storeButton && remoteWatch && status);
        // The editor finishes its set-up from the event loop.
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        // The documents, then frames still waiting for their deferred
        // delete. The library itself stays loaded, as in the host, so what
        // its code put on the application object may stay too.
        plugin.closeAll();
    }

    QString state() const { return view->property("connectionState").toString(); }
    bool waitForState(const QString &wanted, int ms = kTransferLimitMs)
    {
        return QTest::qWaitFor([&] { return state() == wanted; }, ms);
    }
    QString pane(const char *name) const
    {
        auto *label = frame->findChild<QLabel *>(name);
        return label ? label->text() : QStringLiteral("<no pane %1>").arg(QLatin1String(name));
    }
    // The menu entry TEXT of the editor's menus.
    QAction *action(const QString &text) const
    {
        for (QMenu *menu : frame->documentMenus())
            for (QAction *a : menu->actions())
                if (a->text() == text) return a;
        return nullptr;
    }
    template <typename T = QDialog>
    T *waitForDialog(const char *name, int ms = kTransferLimitMs)
    {
        T *found = nullptr;
        (void)QTest::qWaitFor(
            [&] {
                for (T *d : view->findChildren<T *>(name))
                    if (d->isVisible()) found = d;
                return found != nullptr;
            },
            ms);
        return found;
    }
    bool transferRunning() const
    {
        for (QWidget *w : view->findChildren<QWidget *>("ZARWaitWindow"))
            if (w->isVisible()) return true;
        return false;
    }
    bool waitBoxShowing() const
    {
        for (QWidget *w : view->findChildren<QWidget *>("CWaitDialog"))
            if (w->isVisible()) return true;
        return false;
    }
    // Every step of the cycle done: no wait box, no transfer, no question due.
    bool waitUntilSettled(int ms = kTransferLimitMs)
    {
        return QTest::qWaitFor(
            [&] { return !transferRunning() && !waitBoxShowing() && prompts.pendingAnswers() == 0; }, ms);
    }
    // Presses Connect and answers the slot choice with NUMBER (1 to 32); the
    // caller has scripted the questions that follow.
    void connectTo(const vrntest::SimProcess &sim, int number)
    {
        port->setEditText(QString::fromStdString(sim.link()));
        connectButton->click();
        ASSERT_EQ(state(), "Connecting");
        auto *dialog = waitForDialog("CSelectPreset");
        ASSERT_NE(dialog, nullptr) << status->text().toStdString();
        EXPECT_EQ(state(), "Connected");
        auto *spin = dialog->findChild<QSpinBox *>("presetNumber");
        ASSERT_NE(spin, nullptr);
        spin->setValue(number);
        dialog->accept();
    }
    // Connects, takes slot NUMBER and reads the unit's preset ("No").
    void connectAndRead(const vrntest::SimProcess &sim, int number = 1)
    {
        prompts.answerNo();
        ASSERT_NO_FATAL_FAILURE(connectTo(sim, number));
        ASSERT_TRUE(waitUntilSettled());
        ASSERT_TRUE(QTest::qWaitFor([&] { return pane("deviceStatePane") == "ZAR modified" && !transferRunning(); },
                                    kTransferLimitMs));
    }
    void disconnectWithoutStoring()
    {
        prompts.answerNo();
        connectButton->click();
        ASSERT_TRUE(waitForState("Idle"));
    }
    zar40::preset::PresetRecord &current() { return document->session().presets().currentRecord(); }
    std::string currentName() { return zar40::preset::textOf(current().NAME); }

    QApplication &application = app(); // before the first widget member
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope{prompts};
    LoadedPlugin plugin{PLUGIN_FILE};
    QMdiArea &area = plugin.area;
    std::unique_ptr<CMyDocManager> &manager = plugin.manager;
    CZARDocument *document = nullptr;
    CView *view = nullptr;
    CMDIChildWnd *frame = nullptr;
    QComboBox *type = nullptr;
    QComboBox *port = nullptr;
    QSpinBox *netId = nullptr;
    QPushButton *connectButton = nullptr;
    QComboBox *presetList = nullptr;
    QPushButton *storeButton = nullptr;
    QCheckBox *remoteWatch = nullptr;
    QLabel *status = nullptr;
};
