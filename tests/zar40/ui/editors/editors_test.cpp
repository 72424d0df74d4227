// The editor controls as a user drives them: drags, keys and typed values
// on real widgets, the records their signals carry, and silence when the
// view sets values.
#include "test_application.h"
#include "zar40/ui/editors/CrossoverEditor.h"
#include "zar40/ui/editors/dynamics_editors.h"
#include "zar40/ui/editors/eq_editors.h"
#include "zar40/ui/editors/GainSlider.h"
#include "zar40/ui/editors/value_controls.h"

#include "EventCounter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace zar40::editors;
namespace preset = zar40::preset;
using zar40::model::CrossoverSide;

namespace {


class Editors : public ::testing::Test {
protected:
    void SetUp() override { vrntest::testApplication("editors_test"); }
};

// Every signal of OBJECT, so that a test can say "nothing at all".
std::vector<std::unique_ptr<QSignalSpy>> spyAll(QObject &object)
{
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    const QMetaObject *mo = object.metaObject();
    for (int i = QWidget::staticMetaObject.methodCount(); i < mo->methodCount(); ++i)
        if (mo->method(i).methodType() == QMetaMethod::Signal)
            spies.push_back(std::make_unique<QSignalSpy>(&object, mo->method(i)));
    return spies;
}

int emitted(const std::vector<std::unique_ptr<QSignalSpy>> &spies)
{
    int n = 0;
    for (const auto &s : spies)
        n += static_cast<int>(s->count());
    return n;
}

// A value typed into a field and confirmed with Enter.
void Type(CValueSpin &field, const QString &text)
{
    field.setFocus();
    field.selectAll();
    QTest::keyClicks(&field, text);
    QTest::keyClick(&field, Qt::Key_Return);
}

void wheel(QWidget &w)
{
    const QPointF at(w.width() / 2.0, w.height() / 2.0);
    QWheelEvent e(at, w.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(&w, &e);
}

template <class T>
T Arg(const QSignalSpy &spy, int call = -1, int arg = 0)
{
    return spy.at(call < 0 ? spy.count() - 1 : call).at(arg).value<T>();
}

bool operator==(const preset::EqBand &a, const preset::EqBand &b)
{
    return a.TYPE == b.TYPE && a.FREQUENCY == b.FREQUENCY && a.Q == b.Q && a.GAIN == b.GAIN;
}

void expectFilter(const preset::CrossoverFilter &f, std::uint32_t type, std::uint32_t frequency, std::uint32_t order)
{
    EXPECT_EQ(f.TYPE, type);
    EXPECT_EQ(f.FREQUENCY, frequency);
    EXPECT_EQ(f.ORDER, order);
}

} // namespace

TEST_F(Editors, FaderDragReportsEveryStepAndCommitsOnce)
{
    CGainSlider fader(3);
    fader.resize(120, 400);
    fader.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fader));
    QSignalSpy changing(&fader, &CGainSlider::gainChanging);
    QSignalSpy committed(&fader, &CGainSlider::gainCommitted);

    QSlider *s = fader.slider();
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.orientation = Qt::Vertical;
    opt.minimum = s->minimum();
    opt.maximum = s->maximum();
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.upsideDown = true; // a vertical slider has its minimum at the bottom
    opt.tickPosition = s->tickPosition();
    opt.tickInterval = s->tickInterval();
    opt.subControls = QStyle::SC_All;
    const QPoint handle = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s).center();
    QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, handle);
    for (int dy = 4; dy <= 40; dy += 4)
        QTest::mouseMove(s, handle + QPoint(0, dy));
    EXPECT_EQ(committed.count(), 0) << "nothing is written while the handle is held";
    QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, handle + QPoint(0, 40));

    EXPECT_GE(changing.count(), 5);
    ASSERT_EQ(committed.count(), 1);
    EXPECT_LT(Arg<float>(committed), 0.0f);
    EXPECT_FLOAT_EQ(Arg<float>(committed), Arg<float>(changing));
    EXPECT_FLOAT_EQ(fader.gain(), Arg<float>(committed));
}

// A drag changes the value text on every step; a text that may change its
// label's size would relayout every level above it, up to the document area
// (which then repaints the whole window).
TEST_F(Editors, FaderValueTextChangesRelayoutNothing)
{
    QWidget bank;
    auto *layout = new QVBoxLayout(&bank);
    auto *fader = new CGainSlider(3, &bank);
    layout->addWidget(fader);
    bank.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bank));
    QTest::qWait(20); // the first layout settles
    const QSize label = fader->valueLabel()->size();
    vrntest::EventCounter relayouts(&bank, QEvent::LayoutRequest);
    for (float gain : {-59.9f, 9.9f, -0.1f, 0.0f, -12.3f}) {
        fader->setGain(gain);
        QCoreApplication::processEvents();
        EXPECT_EQ(fader->valueLabel()->text(), CGainSlider::gainText(gain));
    }
    EXPECT_EQ(relayouts.count(), 0);
    EXPECT_EQ(fader->valueLabel()->size(), label);
    // The longest text still fits.
    const QFontMetrics fm(fader->valueLabel()->font());
    EXPECT_LE(fm.horizontalAdvance(CGainSlider::gainText(-60.0f)), fader->valueLabel()->contentsRect().width());
}

// A step repaints the stretch of track the handle crossed, nothing beside
// the slider, and the partly repainted window looks as if drawn whole.
TEST_F(Editors, FaderStepsRepaintTheHandlesStretchAndLeaveTheWholePicture)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *fader = new CGainSlider(3, &window);
    layout->addWidget(fader);
    window.resize(120, 400);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(20);
    QSlider *slider = fader->slider();
    fader->setGain(-50.0f);
    QCoreApplication::processEvents();
    vrntest::EventCounter sliderPaints(slider, QEvent::Paint), faderPaints(fader, QEvent::Paint);
    // Steps longer than the handle: the old handle must go.
    for (float gain = -44.0f; gain <= 10.0f; gain += 6.0f) {
        sliderPaints.reset();
        fader->setGain(gain);
        QCoreApplication::processEvents();
        ASSERT_EQ(sliderPaints.count(), 1);
        EXPECT_LT(sliderPaints.painted().boundingRect().height(), slider->height() / 4) << gain << " dB";
    }
    EXPECT_EQ(faderPaints.count(), 0) << "the slider is opaque: nothing behind it repaints";
    const auto onScreen = [&] { return window.screen()->grabWindow(window.winId()).toImage(); };
    const QImage stepped = onScreen();
    for (QWidget *w : window.findChildren<QWidget *>()) w->update();
    QCoreApplication::processEvents();
    EXPECT_TRUE(stepped == onScreen());
}

TEST_F(Editors, FaderKeysStepAndCommitEachStep)
{
    CGainSlider fader(0);
    fader.setGain(0.0f);
    QSignalSpy changing(&fader, &CGainSlider::gainChanging);
    QSignalSpy committed(&fader, &CGainSlider::gainCommitted);
    const int start = fader.slider()->value();

    QTest::keyClick(fader.slider(), Qt::Key_Up);
    ASSERT_EQ(committed.count(), 1);
    EXPECT_EQ(changing.count(), 1);
    EXPECT_FLOAT_EQ(Arg<float>(committed), -60.0f + 70.0f * static_cast<float>(start + 1) / 1000.0f);

    QTest::keyClick(fader.slider(), Qt::Key_PageDown);
    EXPECT_EQ(committed.count(), 2);
    EXPECT_EQ(fader.slider()->value(), start + 1 - 100);
    // Down to the end: the fader stops at -60 dB.
    for (int i = 0; i < 12; ++i)
        QTest::keyClick(fader.slider(), Qt::Key_PageDown);
    EXPECT_FLOAT_EQ(fader.gain(), -60.0f);
    EXPECT_EQ(fader.valueLabel()->text(), "-60.0 dB");
}

TEST_F(Editors, FaderShowsValuesSilentlyWithItsButtons)
{
    CGainSlider input(0), sum(1), output(5);
    auto spies = spyAll(output);
    auto sumSpies = spyAll(sum);
    output.setGain(3.0f);
    output.setMuted(true);
    output.setPhaseInverted(true);
    sum.setGain(-200.0f); // a linked mute writes -200 dB
    sum.setMuted(true);
    EXPECT_EQ(emitted(spies) + emitted(sumSpies), 0);

    EXPECT_EQ(output.valueLabel()->text(), " 3.0 dB");
    EXPECT_TRUE(output.isMuted());
    EXPECT_TRUE(output.isPhaseInverted());
    EXPECT_FLOAT_EQ(sum.gain(), -200.0f);
    EXPECT_EQ(sum.slider()->value(), 0);
    EXPECT_EQ(sum.valueLabel()->text(), "-200.0 dB");

    // The sum is an input: a mute button, no polarity.
    EXPECT_EQ(sum.phaseButton(), nullptr);
    EXPECT_EQ(input.phaseButton(), nullptr);
    ASSERT_NE(output.phaseButton(), nullptr);
    EXPECT_EQ(output.phaseButton()->text(), QString::fromUtf8("180°"));
    EXPECT_EQ(input.slider()->accessibleName(), "Input A gain");
    EXPECT_EQ(sum.muteButton()->accessibleName(), "Summe mute");
    EXPECT_EQ(output.phaseButton()->accessibleName(), "Output 3 phase");

    QSignalSpy mute(&output, &CGainSlider::muteToggled);
    QSignalSpy phase(&output, &CGainSlider::phaseToggled);
    output.muteButton()->click();
    output.phaseButton()->click();
    ASSERT_EQ(mute.count(), 1);
    EXPECT_FALSE(Arg<bool>(mute));
    ASSERT_EQ(phase.count(), 1);
    EXPECT_FALSE(Arg<bool>(phase));
}

TEST_F(Editors, SettersOfEveryEditorEmitNothing)
{
    CEqChannelEditor eq(4);
    CCrossoverEditor xo(2);
    CDynamicsEditor dyn(2);
    CNoiseGateEditor gate(2);
    auto spies = spyAll(eq);
    for (QObject *o : std::initializer_list<QObject *>{&xo, &dyn, &gate, eq.bandEditor(0)})
        for (auto &s : spyAll(*o))
            spies.push_back(std::move(s));

    CEqChannelEditor::Bands bands{};
    for (auto &b : bands)
        b = {2, 250, 1.4f, -3.0f};
    eq.setBands(bands);
    eq.setBand(4, {0, 100, 0.7f, 0.0f});
    xo.setFilters({1, 2000, 2}, {6, 80, 4});
    dyn.setDynamics({2, 3.0f, -10.0f, 5.0f, 4.0f, 20.0f, 300.0f});
    gate.setNoiseGate({-50.0f, 5.0f, 30.0f});
    EXPECT_EQ(emitted(spies), 0);
    EXPECT_EQ(eq.bands()[0].FREQUENCY, 250u);
    EXPECT_EQ(eq.bandEditor(4)->band().TYPE, 0u);
}

TEST_F(Editors, BandTypeDecidesTheFieldsAndCommitsTheStoredBand)
{
    CEqChannelEditor eq(0);
    CEqBandEditor *band = eq.bandEditor(1);
    const preset::EqBand start{2, 250, 1.4f, -3.0f}; // PEQ II
    eq.setBand(1, start);
    EXPECT_EQ(band->typeList()->currentText(), " PEQ II");
    EXPECT_TRUE(band->qField()->isEnabled());
    QSignalSpy committed(&eq, &CEqChannelEditor::bandCommitted);

    // The next entry is a 6 dB shelf: it has a gain but no Q.
    QTest::keyClick(band->typeList(), Qt::Key_Down);
    ASSERT_EQ(committed.count(), 1);
    EXPECT_EQ(Arg<int>(committed, 0, 0), 1);
    EXPECT_TRUE((Arg<preset::EqBand>(committed, 0, 1) == preset::EqBand{3, 250, 1.4f, -3.0f}));
    EXPECT_FALSE(band->qField()->isEnabled());
    EXPECT_TRUE(band->gainField()->isEnabled());

    eq.setBand(1, {6, 250, 1.4f, -3.0f}); // HSQ 12dB, then the low-pass: Q, no gain
    QTest::keyClick(band->typeList(), Qt::Key_Down);
    EXPECT_EQ(Arg<preset::EqBand>(committed, -1, 1).TYPE, 7u);
    EXPECT_TRUE(band->qField()->isEnabled());
    EXPECT_FALSE(band->gainField()->isEnabled());

    // Bypass stores code 0 and keeps the fields; clearing it returns to the
    // type the list shows.
    band->bypassBox()->click();
    EXPECT_TRUE((Arg<preset::EqBand>(committed, -1, 1) == preset::EqBand{0, 250, 1.4f, -3.0f}));
    for (QWidget *w : std::initializer_list<QWidget *>{band->typeList(), band->frequencyField(), band->qField()})
        EXPECT_FALSE(w->isEnabled());
    band->bypassBox()->click();
    EXPECT_EQ(Arg<preset::EqBand>(committed, -1, 1).TYPE, 7u);
    EXPECT_EQ(committed.count(), 4);
}

TEST_F(Editors, TypedValuesCountWhenConfirmedAndAreClampedToTheRange)
{
    CEqBandEditor band(0);
    band.setBand({1, 1000, 0.7f, 0.0f});
    band.show();
    QSignalSpy committed(&band, &CEqBandEditor::bandCommitted);

    band.frequencyField()->setFocus();
    band.frequencyField()->selectAll();
    QTest::keyClicks(band.frequencyField(), "50000");
    EXPECT_EQ(committed.count(), 0) << "no write per keystroke";
    QTest::keyClick(band.frequencyField(), Qt::Key_Return);
    ASSERT_EQ(committed.count(), 1);
    EXPECT_EQ(Arg<preset::EqBand>(committed).FREQUENCY, 44000u);

    Type(*band.qField(), "25");
    EXPECT_FLOAT_EQ(Arg<preset::EqBand>(committed).Q, 20.0f);
    Type(*band.gainField(), "-30");
    EXPECT_FLOAT_EQ(Arg<preset::EqBand>(committed).GAIN, -20.0f);
    Type(*band.gainField(), "4.5");
    EXPECT_FLOAT_EQ(Arg<preset::EqBand>(committed).GAIN, 4.5f);
    EXPECT_EQ(committed.count(), 4);
    // Confirming the same value again is no edit.
    QTest::keyClick(band.gainField(), Qt::Key_Return);
    EXPECT_EQ(committed.count(), 4);

    // A step of the spin buttons is an edit of its own.
    QTest::keyClick(band.frequencyField(), Qt::Key_Down);
    EXPECT_EQ(Arg<preset::EqBand>(committed).FREQUENCY, 43999u);
    EXPECT_FLOAT_EQ(Arg<preset::EqBand>(committed).GAIN, 4.5f);
}

TEST_F(Editors, CrossoverBypassAndTypesFollowTheRules)
{
    CCrossoverEditor xo(0);
    // A low cut of type 0 carries a high-cut code: it is on, with no type of
    // its own list. The high cut of type 0 is off.
    xo.setFilters({0, 1000, 4}, {0, 2000, 3});
    auto *low = xo.sideEditor(CrossoverSide::LowCut);
    auto *high = xo.sideEditor(CrossoverSide::HighCut);
    EXPECT_FALSE(low->bypassBox()->isChecked());
    EXPECT_EQ(low->typeList()->currentIndex(), -1);
    EXPECT_TRUE(high->bypassBox()->isChecked());
    EXPECT_FALSE(high->frequencyField()->isEnabled());
    EXPECT_EQ(low->typeList()->itemText(1), "Linkwitz-Riley");

    QSignalSpy committed(&xo, &CCrossoverEditor::filterCommitted);
    low->bypassBox()->click();
    ASSERT_EQ(committed.count(), 1);
    EXPECT_EQ(Arg<CrossoverSide>(committed, 0, 0), CrossoverSide::LowCut);
    expectFilter(Arg<preset::CrossoverFilter>(committed, 0, 1), 4, 1000, 4);
    EXPECT_EQ(low->frequencyField()->value(), 1000.0) << "a bypassed side reads back as 1000 Hz, order 4";
    low->bypassBox()->click();
    expectFilter(Arg<preset::CrossoverFilter>(committed, -1, 1), 5, 1000, 4);

    high->bypassBox()->click();
    expectFilter(Arg<preset::CrossoverFilter>(committed, -1, 1), 1, 1000, 4);
    QTest::keyClick(high->typeList(), Qt::Key_Down);
    expectFilter(Arg<preset::CrossoverFilter>(committed, -1, 1), 2, 1000, 4);
    Type(*high->orderField(), "12");
    expectFilter(Arg<preset::CrossoverFilter>(committed, -1, 1), 2, 1000, 8);
    high->bypassBox()->click();
    expectFilter(Arg<preset::CrossoverFilter>(committed, -1, 1), 0, 1000, 4);
    high->bypassBox()->click(); // back to the Linkwitz-Riley it had
    expectFilter(Arg<preset::CrossoverFilter>(committed, -1, 1), 2, 1000, 4);
    EXPECT_EQ(Arg<CrossoverSide>(committed, -1, 0), CrossoverSide::HighCut);
}

TEST_F(Editors, DynamicsTypesStoreTheirRatiosAndBypassValues)
{
    CDynamicsEditor dyn(0);
    dyn.setDynamics({2, 3.0f, -10.0f, 5.0f, 4.0f, 20.0f, 300.0f}); // compressor
    EXPECT_TRUE(dyn.ratioSlider()->isEnabled());
    EXPECT_EQ(dyn.thresholdSlider()->valueLabel()->text(), "-10 dBu");
    EXPECT_EQ(dyn.ratioSlider()->valueLabel()->text(), "4.0:1");
    QSignalSpy committed(&dyn, &CDynamicsEditor::dynamicsCommitted);
    auto last = [&] { return Arg<preset::Dynamics>(committed); };

    QTest::keyClick(dyn.typeList(), Qt::Key_Up); // limiter
    ASSERT_EQ(committed.count(), 1);
    EXPECT_EQ(last().TYPE, 1u);
    EXPECT_FLOAT_EQ(last().RATIO, 1000.0f);
    EXPECT_FLOAT_EQ(last().THRESHOLD, -10.0f);
    EXPECT_FLOAT_EQ(last().AT, 20.0f);
    EXPECT_FALSE(dyn.ratioSlider()->isEnabled());

    // Back to the compressor: a ratio its slider can hold.
    QTest::keyClick(dyn.typeList(), Qt::Key_Down);
    EXPECT_EQ(last().TYPE, 2u);
    EXPECT_FLOAT_EQ(last().RATIO, 10.0f);

    // A key step on a slider changes that value only.
    QTest::keyClick(dyn.kneeSlider()->slider(), Qt::Key_Up);
    EXPECT_NEAR(last().KNEE, 5.01f, 1e-4);
    EXPECT_FLOAT_EQ(last().THRESHOLD, -10.0f);

    dyn.bypassBox()->click();
    const preset::Dynamics bypass = last();
    EXPECT_EQ(bypass.TYPE, 0u);
    EXPECT_FLOAT_EQ(bypass.RATIO, 1.1f);
    EXPECT_FLOAT_EQ(bypass.THRESHOLD, 0.0f);
    EXPECT_FLOAT_EQ(bypass.KNEE, 0.0f);
    EXPECT_FLOAT_EQ(bypass.GAIN, 0.0f);
    EXPECT_FLOAT_EQ(bypass.AT, 10.0f);
    EXPECT_FLOAT_EQ(bypass.RT, 500.0f);
    EXPECT_EQ(dyn.ratioSlider()->valueLabel()->text(), "1.0:1");
    for (QWidget *w : std::initializer_list<QWidget *>{dyn.typeList(), dyn.thresholdSlider(), dyn.attackField()})
        EXPECT_FALSE(w->isEnabled());

    // Leaving bypass takes the type the list shows, the compressor.
    dyn.bypassBox()->click();
    EXPECT_EQ(last().TYPE, 2u);
    EXPECT_FLOAT_EQ(last().RATIO, 1.1f);

    // A stored bypass shows the bypass values whatever else it holds.
    dyn.setDynamics({0, 5.0f, -30.0f, 2.0f, 1.1f, 1.0f, 2.0f});
    EXPECT_TRUE(dyn.bypassBox()->isChecked());
    EXPECT_FLOAT_EQ(dyn.thresholdSlider()->value(), 0.0f);
    EXPECT_DOUBLE_EQ(dyn.releaseField()->value(), 500.0);
}

TEST_F(Editors, NoiseGateBypassStoresTheOffThresholdAndKeepsTheTimes)
{
    CNoiseGateEditor gate(5);
    gate.setNoiseGate({-200.0f, 50.0f, 20.0f});
    EXPECT_TRUE(gate.bypassBox()->isChecked());
    EXPECT_FLOAT_EQ(gate.thresholdSlider()->value(), -65.0f);
    EXPECT_DOUBLE_EQ(gate.firstTimeField()->value(), 10.0);
    EXPECT_DOUBLE_EQ(gate.secondTimeField()->value(), 500.0);
    EXPECT_FALSE(gate.thresholdSlider()->isEnabled());

    QSignalSpy committed(&gate, &CNoiseGateEditor::noiseGateCommitted);
    auto last = [&] { return Arg<preset::NoiseGate>(committed); };
    gate.bypassBox()->click();
    ASSERT_EQ(committed.count(), 1);
    EXPECT_FLOAT_EQ(last().THRESHOLD, -65.0f);
    EXPECT_FLOAT_EQ(last().CT, 10.0f);
    EXPECT_FLOAT_EQ(last().HT, 500.0f);

    gate.setNoiseGate({-199.0f, 5.0f, 30.0f}); // just above off: on
    EXPECT_FALSE(gate.bypassBox()->isChecked());
    Type(*gate.secondTimeField(), "20000");
    EXPECT_FLOAT_EQ(last().HT, 10000.0f);
    EXPECT_FLOAT_EQ(last().THRESHOLD, -199.0f);
    gate.bypassBox()->click();
    EXPECT_FLOAT_EQ(last().THRESHOLD, -200.0f);
    EXPECT_FLOAT_EQ(last().CT, 5.0f);
    EXPECT_FLOAT_EQ(last().HT, 10000.0f);
    EXPECT_DOUBLE_EQ(gate.secondTimeField()->value(), 500.0);
}

TEST_F(Editors, EveryControlIsNamedReachableAndFollowsTheEditorsEnabling)
{
    CGainSlider fader(8);
    CEqChannelEditor eq(1);
    CCrossoverEditor xo(5);
    CDynamicsEditor dyn(5);
    CNoiseGateEditor gate(5);
    xo.setFilters({1, 2000, 4}, {5, 100, 4});
    dyn.setDynamics({1, 0.0f, -10.0f, 0.0f, 1000.0f, 10.0f, 500.0f});
    gate.setNoiseGate({-50.0f, 1.0f, 10.0f});
    for (QWidget *editor : std::initializer_list<QWidget *>{&fader, &eq, &xo, &dyn, &gate}) {
        int controls = 0;
        for (QWidget *w : editor->findChildren<QWidget *>()) {
            if (!w->inherits("QAbstractSlider") && !w->inherits("QAbstractButton") && !w->inherits("QComboBox") &&
                !w->inherits("QAbstractSpinBox"))
                continue;
            ++controls;
            EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus) << w->metaObject()->className();
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
        }
        EXPECT_GT(controls, 0);
    }
    EXPECT_EQ(xo.sideEditor(CrossoverSide::HighCut)->orderField()->accessibleName(), "Output 6 high cut order");

    // A locked preset disables everything; unlocking keeps the type rules.
    dyn.setEnabled(false);
    EXPECT_FALSE(dyn.bypassBox()->isEnabled());
    EXPECT_FALSE(dyn.thresholdSlider()->slider()->isEnabled());
    dyn.setEnabled(true);
    EXPECT_TRUE(dyn.thresholdSlider()->slider()->isEnabled());
    EXPECT_FALSE(dyn.ratioSlider()->slider()->isEnabled());
    fader.setEnabled(false);
    EXPECT_FALSE(fader.phaseButton()->isEnabled());
}

TEST_F(Editors, WheelEditsOnlyTheFocusedControl)
{
    CEqBandEditor band(0);
    band.setBand({1, 1000, 0.7f, 0.0f});
    band.show();
    band.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&band));
    QSignalSpy committed(&band, &CEqBandEditor::bandCommitted);

    // Scrolling past a field leaves it alone.
    band.typeList()->setFocus();
    wheel(*band.gainField());
    wheel(*band.frequencyField());
    EXPECT_EQ(committed.count(), 0);
    EXPECT_DOUBLE_EQ(band.gainField()->value(), 0.0);

    band.gainField()->setFocus();
    wheel(*band.gainField());
    ASSERT_EQ(committed.count(), 1);
    EXPECT_FLOAT_EQ(Arg<preset::EqBand>(committed).GAIN, 0.1f);
}
