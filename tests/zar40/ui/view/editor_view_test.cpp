// The editor view as a user drives it: faders, Mute All, Stereo-Link, the
// lock, a marker drag and undo, with and without a connected unit. What the
// view hands the connection is recorded through its parameterWritten signal.
#include "doc_view.h"
#include "EventCounter.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "plugin_contract.h"
#include "ScriptedUserPrompts.h"
#include "SimProcess.h"
#include "ZARDocument.h"

#include "zar40/diagrams/diagram_model.h"
#include "zar40/preset/record.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <bit>
#include <memory>

namespace {

constexpr int kTransferLimitMs = 60000;

struct Write {
    int code, address;
    std::uint32_t value;
    friend bool operator==(const Write &, const Write &) = default;
};
std::ostream &operator<<(std::ostream &os, const Write &w)
{
    return os << w.code << ':' << w.address << '=' << w.value;
}
std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

class EditorViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prompts.setFailureHandler([](const QString &why) { ADD_FAILURE() << "prompt: " << why.toStdString(); });
        ASSERT_NE(plugin.docTemplate, nullptr) << plugin.library.errorString().toStdString();
        ASSERT_TRUE(manager->OpenNewDocument(1));
        document = static_cast<CZARDocument *>(manager->documents().constFirst());
        view = document->views().constFirst();
        area.resize(1600, 1000);
        area.show();
        document->frames().constFirst()->showMaximized();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
        undo = document->session().undoStack();
        muteAll = view->findChild<QPushButton *>("muteAllButton");
        stereoLink = view->findChild<QCheckBox *>("stereoLinkBox");
        mainTabs = view->findChild<QTabWidget *>("mainTabs");
        ASSERT_TRUE(undo && muteAll && stereoLink && mainTabs);
        writes = std::make_unique<QSignalSpy>(view, SIGNAL(parameterWritten(int, int, uint)));
    }
    void TearDown() override
    {
        writes.reset();
        plugin.closeAll();
        plugin.library.unload();
    }

    QWidget *fader(int channel) const { return view->findChild<QWidget *>(QStringLiteral("fader%1").arg(channel)); }
    QAbstractButton *faderButton(int channel, const QString &text) const
    {
        for (QAbstractButton *b : fader(channel)->findChildren<QAbstractButton *>())
            if (b->text() == text) return b;
        return nullptr;
    }
    QAbstractButton *muteButton(int channel) const { return faderButton(channel, QStringLiteral("Mute")); }
    QSlider *faderSlider(int channel) const { return fader(channel)->findChild<QSlider *>(); }
    zar40::preset::PresetRecord &record() { return document->session().presets().currentRecord(); }
    // A preset put in place as a whole, as a file or a read would.
    void replaceRecord(const zar40::preset::PresetRecord &r)
    {
        record() = r;
        document->updateAllViews(nullptr);
    }

    QList<Write> sent() const
    {
        QList<Write> out;
        for (const QList<QVariant> &args : *writes)
            out << Write{args.at(0).toInt(), args.at(1).toInt(), args.at(2).toUInt()};
        return out;
    }

    // On the unit; its preset replaces the editor's.
    void connectToUnit(vrntest::SimProcess &sim)
    {
        ASSERT_TRUE(sim.startOnPty()) << "zar40-sim did not start";
        view->findChild<QComboBox *>("portCombo")->setEditText(QString::fromStdString(sim.link()));
        view->setProperty("waitTimeScale", 0.05);
        prompts.answerNo(); // "Copy Preset to ZAR?": the unit's preset comes over
        view->findChild<QPushButton *>("connectButton")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->property("connectionState") == "Connected"; },
                                    kTransferLimitMs));
        // The slot the connection starts on: the one the editor shows.
        QDialog *slot = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (slot = view->findChild<QDialog *>("CSelectPreset")) != nullptr; },
                                    kTransferLimitMs));
        slot->accept();
        ASSERT_TRUE(QTest::qWaitFor([&] { return prompts.pendingAnswers() == 0; }, kTransferLimitMs));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                for (QWidget *w : view->findChildren<QWidget *>("ZARWaitWindow"))
                    if (w->isVisible()) return false;
                return true;
            },
            kTransferLimitMs));
        writes->clear();
    }

    // Drags equalizer band BAND of the shown channel from its marker to
    // (frequency, gain) in the magnitude diagram.
    void dragBand(int band, int frequency, int gain)
    {
        using namespace zar40::diagrams;
        QWidget *diagram = view->findChild<QWidget *>("eqMagnitudeDiagram");
        ASSERT_TRUE(diagram && diagram->isVisible());
        const Mapping map(DiagramKind::EqMagnitude,
                          plotRectFor(DiagramKind::EqMagnitude, diagram->width(), diagram->height()),
                          windowLimits(DiagramKind::EqMagnitude));
        const auto &b = record().inputs[0].PEQ[static_cast<std::size_t>(band)];
        const MarkerPoint from =
            bandMarkerPoint(map, makeBandRecord(b.TYPE, static_cast<float>(b.FREQUENCY), b.Q, b.GAIN));
        const QPoint to(map.frequencyToX(frequency), map.valueToY(gain));
        QTest::mousePress(diagram, Qt::LeftButton, {}, QPoint(from.x, from.y));
        QMouseEvent move(QEvent::MouseMove, QPointF(to), diagram->mapToGlobal(QPointF(to)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(diagram, &move);
        QTest::mouseRelease(diagram, Qt::LeftButton, {}, to);
    }
    void showChannelEqualizer()
    {
        view->setProperty("editorGroup", 2);
        mainTabs->setCurrentIndex(1);
        QCoreApplication::processEvents();
    }

    QApplication &application = app(); // before the first widget member
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope{prompts};
    LoadedPlugin plugin{PLUGIN_FILE};
    QMdiArea &area = plugin.area;
    std::unique_ptr<CMyDocManager> &manager = plugin.manager;
    CZARDocument *document = nullptr;
    CView *view = nullptr;
    QUndoStack *undo = nullptr;
    QPushButton *muteAll = nullptr;
    QCheckBox *stereoLink = nullptr;
    QTabWidget *mainTabs = nullptr;
    std::unique_ptr<QSignalSpy> writes;
};

TEST_F(EditorViewTest, OfflineEditsChangeTheRecordAndUndoButSendNothing)
{
    faderSlider(3)->setFocus();
    QTest::keyClick(faderSlider(3), Qt::Key_PageUp);
    const float raised = record().outputs[0].GAIN;
    EXPECT_GT(raised, 0.0f);
    EXPECT_TRUE(document->isModified());
    EXPECT_TRUE(document->session().property("deviceModified").toBool());
    muteButton(8)->click();
    EXPECT_EQ(record().outputs[5].MUTE, 1);
    EXPECT_EQ(undo->count(), 2);

    undo->undo();
    EXPECT_EQ(record().outputs[5].MUTE, 0);
    EXPECT_FALSE(muteButton(8)->isChecked());
    undo->undo();
    EXPECT_EQ(record().outputs[0].GAIN, 0.0f);
    undo->redo();
    EXPECT_EQ(record().outputs[0].GAIN, raised);
    EXPECT_TRUE(sent().isEmpty());
}

// Tool tips list every channel's value: a finished edit shows at once, a
// drag in progress once the hand rests.
TEST_F(EditorViewTest, ToolTipsFollowFinishedEditsAtOnceAndDragsWhenTheyRest)
{
    // The line of output 1 with the gain the record holds now.
    const auto tipLine = [&] {
        return QStringLiteral("Gain  OUT 1 : %1 dB").arg(double(record().outputs[0].GAIN), 0, 'f', 1);
    };
    const QString before = tipLine();
    ASSERT_TRUE(fader(3)->toolTip().contains(before)) << qPrintable(fader(3)->toolTip());
    QSlider *slider = faderSlider(3);
    slider->setSliderDown(true);
    slider->setValue(slider->value() - 100);
    ASSERT_NE(tipLine(), before);
    EXPECT_TRUE(fader(3)->toolTip().contains(before)) << "not rebuilt on every step";
    EXPECT_TRUE(QTest::qWaitFor([&] { return fader(3)->toolTip().contains(tipLine()); }, 2000));
    slider->setSliderDown(false);

    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_TRUE(fader(3)->toolTip().contains(tipLine())) << qPrintable(fader(3)->toolTip());
}

TEST_F(EditorViewTest, LockDisablesEveryEditorButTheLockItself)
{
    auto *lock = view->findChild<QWidget *>("presetInfoBox")->findChild<QCheckBox *>();
    ASSERT_NE(lock, nullptr);
    view->setProperty("editorGroup", 5);
    lock->click();
    EXPECT_TRUE(zar40::preset::isLocked(record().PRESET_FLAGS));
    EXPECT_TRUE(lock->isEnabled());
    for (const char *name : {"fader0", "fader8", "muteAllButton", "stereoLinkBox", "delayPanel"})
        EXPECT_FALSE(view->findChild<QWidget *>(name)->isEnabled()) << name;
    for (const char *tabs : {"eqTabs", "crossoverTabs", "dynamicsTabs"})
        EXPECT_FALSE(view->findChild<QTabWidget *>(tabs)->widget(0)->findChild<QCheckBox *>()->isEnabled()) << tabs;

    lock->click();
    EXPECT_FALSE(zar40::preset::isLocked(record().PRESET_FLAGS));
    EXPECT_TRUE(fader(0)->isEnabled());
    EXPECT_TRUE(view->findChild<QTabWidget *>("dynamicsTabs")->widget(0)->findChild<QCheckBox *>()->isEnabled());

    // A locked preset that arrives as a whole is locked at once.
    zar40::preset::PresetRecord r = record();
    r.PRESET_FLAGS = 0x00010001;
    replaceRecord(r);
    EXPECT_FALSE(fader(4)->isEnabled());
    EXPECT_EQ(undo->count(), 0) << "a replaced preset has no history";
}

TEST_F(EditorViewTest, MarkerDragEditsTheBandOnceAtItsEnd)
{
    zar40::preset::PresetRecord r = record();
    r.inputs[0].PEQ[1] = zar40::preset::EqBand{1, 1000, 1.0f, 0.0f}; // PEQ I
    replaceRecord(r);
    showChannelEqualizer();
    dragBand(1, 200, 6);
    const zar40::preset::EqBand &band = record().inputs[0].PEQ[1];
    EXPECT_NEAR(band.FREQUENCY, 200, 10);
    EXPECT_NEAR(band.GAIN, 6.0f, 1.0f);
    EXPECT_EQ(undo->count(), 1) << "a drag is one step";
    undo->undo();
    EXPECT_EQ(record().inputs[0].PEQ[1].FREQUENCY, 1000u);
}

TEST_F(EditorViewTest, ConnectedEditsSendTheirBatches)
{
    vrntest::SimProcess sim;
    ASSERT_NO_FATAL_FAILURE(connectToUnit(sim));

    // Mute All with outputs 2 and 5 already muted: only the other four, the
    // last with 136.
    muteButton(4)->click();
    muteButton(7)->click();
    EXPECT_EQ(sent(), (QList<Write>{{136, 5900, 1}, {136, 8900, 1}}));
    writes->clear();
    muteAll->click();
    EXPECT_EQ(sent(), (QList<Write>{{152, 4900, 1}, {152, 6900, 1}, {152, 7900, 1}, {136, 9900, 1}}));
    EXPECT_EQ(muteAll->text(), "UnMute All");
    muteAll->click();
    EXPECT_EQ(muteAll->text(), "Mute All");

    // Stereo-Link engaged with output 1 muted and output 2 not.
    muteButton(3)->click();
    writes->clear();
    stereoLink->click();
    EXPECT_EQ(sent(), (QList<Write>{{136, 5300, bits(-200.0f)}}));
    EXPECT_EQ(record().outputs[1].MUTE, 1);
    EXPECT_TRUE(muteButton(4)->isChecked());

    // A linked fader step writes the pair; undo sends the old values back.
    writes->clear();
    const float before = record().inputs[0].GAIN;
    faderSlider(2)->setFocus();
    QTest::keyClick(faderSlider(2), Qt::Key_PageDown);
    const float lowered = record().inputs[2].GAIN;
    ASSERT_LT(lowered, before);
    EXPECT_EQ(sent(), (QList<Write>{{152, 1200, bits(lowered)}, {136, 3200, bits(lowered)}}));
    writes->clear();
    undo->undo();
    EXPECT_EQ(record().inputs[0].GAIN, before);
    EXPECT_EQ(sent(), (QList<Write>{{152, 1200, bits(before)}, {136, 3200, bits(before)}}));

    // A marker drag writes frequency and gain when it ends.
    stereoLink->click();
    zar40::preset::PresetRecord r = record();
    r.inputs[0].PEQ[0] = zar40::preset::EqBand{1, 1000, 1.0f, 0.0f};
    replaceRecord(r);
    showChannelEqualizer();
    writes->clear();
    dragBand(0, 400, -6);
    const zar40::preset::EqBand &band = record().inputs[0].PEQ[0];
    EXPECT_EQ(sent(), (QList<Write>{{152, 1312, band.FREQUENCY}, {136, 1314, bits(band.GAIN)}}));
}

TEST_F(EditorViewTest, WhatTheWindowShowsFollowsTheEditorsState)
{
    // Mute All undone: the caption follows the outputs, and the next press
    // mutes again.
    muteAll->click();
    EXPECT_EQ(muteAll->text(), "UnMute All");
    undo->undo();
    EXPECT_EQ(muteAll->text(), "Mute All");
    muteAll->click();
    EXPECT_EQ(record().outputs[0].MUTE, 1);
    undo->undo();
    for (int ch = 3; ch < 9; ++ch) muteButton(ch)->click();
    EXPECT_EQ(muteAll->text(), "UnMute All");

    // A renamed preset renews its entry in the preset list.
    view->setProperty("editorGroup", 5);
    QLineEdit *name = nullptr;
    for (QLineEdit *field : view->findChildren<QLineEdit *>())
        if (field->accessibleName() == "Preset name") name = field;
    ASSERT_NE(name, nullptr);
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "Renamed");
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(view->findChild<QComboBox *>("presetList")->itemText(0), " 1 Renamed");

    // The crossover phase diagram keeps its own menu choices through edits.
    view->setProperty("editorGroup", 3);
    mainTabs->setCurrentIndex(2);
    QCoreApplication::processEvents();
    QWidget *phase = view->findChild<QWidget *>("crossoverPhaseDiagram");
    ASSERT_NE(phase, nullptr);
    const auto menuOf = [phase] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), phase->mapToGlobal(QPoint(10, 10)));
        QCoreApplication::sendEvent(phase, &event);
        auto *menu = phase->findChild<QMenu *>("Context");
        if (menu) menu->hide();
        return menu;
    };
    const auto action = [&](const QString &text) -> QAction * {
        for (QAction *a : menuOf()->actions())
            if (a->text() == text) return a;
        return nullptr;
    };
    ASSERT_NE(menuOf(), nullptr);
    ASSERT_TRUE(action("PEQ")->isChecked());
    action("PEQ")->trigger();
    action("Result")->trigger();
    faderSlider(3)->setFocus();
    QTest::keyClick(faderSlider(3), Qt::Key_PageUp);
    auto *crossover = view->findChild<QTabWidget *>("crossoverTabs")->widget(0);
    crossover->findChild<QCheckBox *>()->click(); // a crossover edit redraws the curves
    EXPECT_FALSE(action("PEQ")->isChecked());
    EXPECT_FALSE(action("Result")->isChecked());
}

TEST_F(EditorViewTest, AMaximisedEditorStaysMaximisedWhenTheLevelPanelAsksForRoom)
{
    CMDIChildWnd *frame = document->frames().constFirst();
    ASSERT_TRUE(frame->isMaximized());
    QMetaObject::invokeMethod(view, "levelPanelShown", Q_ARG(bool, true));
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->minimumSize(), QSize(900, 770));
    frame->showNormal();
    QMetaObject::invokeMethod(view, "levelPanelShown", Q_ARG(bool, false));
    EXPECT_EQ(frame->size(), QSize(900, 650));
}

TEST_F(EditorViewTest, EveryEditorGroupFitsTheNormalFrameOrScrolls)
{
    document->frames().constFirst()->showNormal();
    auto *groups = view->findChild<QStackedWidget *>("editorGroups");
    auto *scroller = view->findChild<QScrollArea *>("editorGroupScroller");
    auto *area = view->findChild<QSplitter *>("editorArea");
    ASSERT_TRUE(groups && scroller && area);
    const auto settle = [] {
        for (int i = 0; i < 3; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    };
    // A control squeezed below its height lies over its neighbours (a
    // fader's slider over its scale's "-60 dB"). Widths may give: buttons
    // narrow down to their captions.
    for (int group = 0; group < groups->count(); ++group) {
        view->setProperty("editorGroup", group);
        settle();
        EXPECT_LE(scroller->geometry().bottom(), area->rect().bottom()) << "group " << group;
        QWidget *page = groups->currentWidget();
        for (QWidget *w : page->findChildren<QWidget *>()) {
            const int need = std::max(w->minimumSizeHint().height(), w->minimumHeight());
            // A control's own parts (a spin box's line edit) are its style's to place.
            if (!w->isVisibleTo(page) || need <= 0 || w->objectName().startsWith("qt_")) continue;
            EXPECT_GE(w->height(), need) << "group " << group << ": " << w->metaObject()->className() << ' '
                                         << w->objectName().toStdString();
        }
    }
    // What an editor opens with fits the frame as it is.
    view->setProperty("editorGroup", 0);
    settle();
    EXPECT_FALSE(scroller->verticalScrollBar()->isVisible());
    EXPECT_FALSE(scroller->horizontalScrollBar()->isVisible());
}

TEST_F(EditorViewTest, PagesFollowTheEditorGroup)
{
    const auto enabled = [&] {
        QString s;
        for (int i = 0; i < mainTabs->count(); ++i) s += mainTabs->isTabEnabled(i) ? '1' : '0';
        return s;
    };
    const char *expected[] = {"1000", "1000", "1110", "1110", "1001", "1000"};
    for (int group = 0; group < 6; ++group) {
        view->setProperty("editorGroup", group);
        EXPECT_EQ(enabled(), expected[group]) << "group " << group;
    }
    mainTabs->setCurrentIndex(3);
    view->setProperty("editorGroup", 0);
    EXPECT_EQ(mainTabs->currentIndex(), 0) << "a page that goes off gives way to Signalflow";
}

TEST_F(EditorViewTest, TheHoverReadOutRelayoutsNothingAboveItsLabel)
{
    using namespace zar40::diagrams;
    showChannelEqualizer();
    QWidget *diagram = view->findChild<QWidget *>("eqMagnitudeDiagram");
    auto *readOut = view->findChild<QLabel *>("eqMagnitudeDiagramReadOut");
    ASSERT_TRUE(diagram && readOut && diagram->isVisible());
    vrntest::EventCounter holderLayouts(readOut->parentWidget(), QEvent::LayoutRequest);
    const Mapping map(DiagramKind::EqMagnitude,
                      plotRectFor(DiagramKind::EqMagnitude, diagram->width(), diagram->height()),
                      windowLimits(DiagramKind::EqMagnitude));
    // What showing the page set off has settled.
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    holderLayouts.reset();
    // Read-outs of different lengths, then none outside the plot.
    QStringList texts;
    for (const auto &[f, v] : {std::pair{30, 1}, {15000, -5}, {500, 12}}) {
        QTest::mouseMove(diagram, QPoint(map.frequencyToX(f), map.valueToY(v)));
        QCoreApplication::processEvents();
        texts << readOut->text();
    }
    QTest::mouseMove(diagram, QPoint(2, 2));
    QCoreApplication::processEvents();
    EXPECT_TRUE(readOut->text().isEmpty());
    EXPECT_EQ(texts.size(), 3);
    EXPECT_EQ(texts.removeDuplicates(), 0) << texts.join('|').toStdString();
    EXPECT_FALSE(texts.contains(QString())) << texts.join('|').toStdString();
    // Every layout above the label is reached through its holder's.
    EXPECT_EQ(holderLayouts.count(), 0);
}

TEST_F(EditorViewTest, DiagramsThatCannotMakeTheirImageAreReportedOnceAfterThePaint)
{
    QList<QWidget *> diagrams;
    for (const char *name : {"eqMagnitudeDiagram", "eqPhaseDiagram", "dynamicsDiagram"})
        diagrams << view->findChild<QWidget *>(name);
    ASSERT_FALSE(diagrams.contains(nullptr));
    prompts.answerOk();
    // As from inside their paint events: nothing may open there.
    for (QWidget *d : diagrams) QMetaObject::invokeMethod(d, "imageFailed");
    EXPECT_TRUE(prompts.texts().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.texts(), QStringList{"Can't create Bitmap"});
    // A later failure is said again.
    prompts.answerOk();
    QMetaObject::invokeMethod(diagrams.first(), "imageFailed");
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.texts().size(), 2);
}

} // namespace
