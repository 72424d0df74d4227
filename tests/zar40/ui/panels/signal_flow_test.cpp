// The signal-flow picture: a click where a block or a selector is drawn
// reports that part, the keyboard reaches the same parts, and the record's
// state shows.
#include "panels_test_support.h"
#include "zar40/ui/panels/SignalFlow.h"

#include "EventCounter.h"

#include <QSignalSpy>

using namespace zar40::panels;
namespace preset = zar40::preset;

namespace {

class SignalFlow : public panels_test::PanelTest {
protected:
    // Never shown: the view asks for places before the picture is on screen.
    SignalFlow() { flow.resize(900, 340); }
    // A left click at POS of the picture, delivered to what is drawn there.
    void ClickAt(QPoint pos)
    {
        QWidget *target = flow.childAt(pos);
        ASSERT_NE(target, nullptr) << pos.x() << "," << pos.y();
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, target->mapFrom(&flow, pos));
    }
    CSignalFlow flow;
};

} // namespace

TEST_F(SignalFlow, ClickOnABlockReportsItsKindAndChannel)
{
    QSignalSpy blocks(&flow, &CSignalFlow::blockClicked);
    QSignalSpy info(&flow, &CSignalFlow::infoRequested);
    ClickAt(flow.blockRect(BlockKind::Peq, 7).center());
    ClickAt(flow.blockRect(BlockKind::Gain, preset::kSumme).topLeft() + QPoint(2, 2));
    ClickAt(flow.blockRect(BlockKind::Dynamics, 3).bottomRight() - QPoint(2, 2));
    ASSERT_EQ(blocks.size(), 3);
    EXPECT_EQ(blocks[0][0].value<BlockKind>(), BlockKind::Peq);
    EXPECT_EQ(blocks[0][1].toInt(), 7);
    EXPECT_EQ(blocks[1][0].value<BlockKind>(), BlockKind::Gain);
    EXPECT_EQ(blocks[1][1].toInt(), preset::kSumme);
    EXPECT_EQ(blocks[2][0].value<BlockKind>(), BlockKind::Dynamics);
    EXPECT_EQ(blocks[2][1].toInt(), 3);
    // Inputs have no crossover or dynamics; nothing is drawn for them.
    EXPECT_TRUE(flow.blockRect(BlockKind::Crossover, preset::kInputB).isEmpty());
    ClickAt(flow.infoBlock()->geometry().center());
    EXPECT_EQ(info.size(), 1);
    // No two parts overlap: every drawn part is found where it is drawn.
    for (int ch = 0; ch < preset::kChannelCount; ++ch)
        for (int k = 0; k < kBlockKindCount; ++k)
            if (QAbstractButton *b = flow.block(BlockKind(k), ch)) {
                EXPECT_EQ(flow.childAt(b->geometry().center()), b);
            }
}

TEST_F(SignalFlow, SelectorClickChoosesAnotherSourceOnly)
{
    QSignalSpy routes(&flow, &CSignalFlow::routeChosen);
    ClickAt(flow.selectorRect(6, 2).center()); // output 4, routed from A, to B
    ClickAt(flow.selectorRect(6, 2).center()); // already B
    ClickAt(flow.selectorRect(4, 1).center()); // output 2 is on A+B already
    ASSERT_EQ(routes.size(), 1);
    EXPECT_EQ(routes[0][0].toInt(), 6);
    EXPECT_EQ(routes[0][1].value<std::uint32_t>(), 2u);
    EXPECT_EQ(flow.route(6), 2u);
    EXPECT_TRUE(flow.routeSelector(6, 2)->isChecked());
    EXPECT_FALSE(flow.routeSelector(6, 0)->isChecked());
}

TEST_F(SignalFlow, KeyboardReachesBlocksInSignalOrder)
{
    QSignalSpy blocks(&flow, &CSignalFlow::blockClicked);
    QAbstractButton *gain = flow.block(BlockKind::Gain, 8);
    EXPECT_EQ(gain->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    EXPECT_EQ(gain->accessibleName(), QStringLiteral("OUT 6 Gain"));
    EXPECT_EQ(gain->nextInFocusChain(), flow.block(BlockKind::Delay, 8));
    QTest::keyClick(gain, Qt::Key_Space);
    ASSERT_EQ(blocks.size(), 1);
    EXPECT_EQ(blocks[0][1].toInt(), 8);
}

TEST_F(SignalFlow, RecordShowsMutesBypassesAndRoutesSilently)
{
    QSignalSpy routes(&flow, &CSignalFlow::routeChosen);
    preset::PresetRecord r = preset::startupPreset(0);
    r.outputs[1].MUTE = 1;
    r.outputs[1].ROUTE = 2;
    r.inputs[0].DELAY = 97.0f;
    r.inputs[0].PEQ[4].TYPE = 1;
    r.outputs[2].NOISEGATE.THRESHOLD = -60.0f; // gate on, dynamics off
    flow.setRecord(r);
    EXPECT_EQ(routes.size(), 0);
    EXPECT_EQ(flow.look(BlockKind::Gain, 4), BlockLook::Muted);
    EXPECT_EQ(flow.look(BlockKind::Gain, 3), BlockLook::Active);
    EXPECT_EQ(flow.route(4), 2u);
    EXPECT_EQ(flow.look(BlockKind::Delay, 0), BlockLook::Active);
    EXPECT_EQ(flow.look(BlockKind::Delay, 1), BlockLook::Bypassed);
    EXPECT_EQ(flow.look(BlockKind::Peq, 0), BlockLook::Active);
    EXPECT_EQ(flow.look(BlockKind::Peq, 2), BlockLook::Bypassed);
    EXPECT_EQ(flow.look(BlockKind::Dynamics, 5), BlockLook::Active);
    EXPECT_EQ(flow.look(BlockKind::Crossover, 5), BlockLook::Bypassed);
}

// A fader drag hands the picture a new record on every step: only what
// the picture shows may repaint it, never a gain.
TEST_F(SignalFlow, OnlyWhatItShowsRepaintsThePicture)
{
    preset::PresetRecord r = preset::startupPreset(0);
    flow.setRecord(r);
    flow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flow));
    QCoreApplication::processEvents();
    vrntest::EventCounter paints(&flow, QEvent::Paint);
    r.outputs[0].GAIN = -12.5f;
    r.inputs[0].GAIN = 3.0f;
    flow.setRecord(r);
    QCoreApplication::processEvents();
    EXPECT_EQ(paints.count(), 0);
    // A mute changes the wiring's look; a new source its path.
    r.outputs[2].MUTE = 1;
    flow.setRecord(r);
    QCoreApplication::processEvents();
    EXPECT_GT(paints.count(), 0);
    paints.reset();
    r.outputs[4].ROUTE = (r.outputs[4].ROUTE + 1) % preset::kInputCount;
    flow.setRecord(r);
    QCoreApplication::processEvents();
    EXPECT_GT(paints.count(), 0);
    EXPECT_EQ(flow.route(preset::kFirstOutput + 4), r.outputs[4].ROUTE);
}
