// The level panel on a clock the test moves: bars follow a rise at once,
// fall smoothly, and peaks hold before they fall; replies land where the
// device's encoding puts them.
#include "panels_test_support.h"
#include "zar40/ui/panels/ZAR40Static.h"

#include "EventCounter.h"

using namespace zar40::panels;

namespace {

class LevelPanel : public panels_test::PanelTest {
protected:
    LevelPanel()
    {
        panel.setClock([this] { return now; });
    }
    void At(std::int64_t ms)
    {
        now = ms;
        panel.tick();
    }
    std::int64_t now = 0;
    CZAR40Static panel;
};

} // namespace

TEST_F(LevelPanel, BarFallsSmoothlyWhilePeakHolds)
{
    panel.setLevel(2, 204);
    EXPECT_EQ(panel.shownLevel(2), 204.0);
    At(300);
    panel.setLevel(2, 51);
    EXPECT_EQ(panel.shownLevel(2), 204.0); // a fall is drawn, never a jump
    At(600);                               // full scale falls in 1.5 s
    EXPECT_NEAR(panel.shownLevel(2), 204.0 - 51.0, 1e-9);
    EXPECT_EQ(panel.peakLevel(2), 204.0);
    At(1400);
    EXPECT_EQ(panel.shownLevel(2), 51.0); // settles on the report
    EXPECT_EQ(panel.peakLevel(2), 204.0); // still held
    At(1800);                             // held 1.5 s, then falling 300 ms
    EXPECT_NEAR(panel.peakLevel(2), 204.0 - 51.0, 1e-9);
    EXPECT_TRUE(panel.isAnimating());
    At(5000);
    EXPECT_EQ(panel.peakLevel(2), 51.0);
    EXPECT_FALSE(panel.isAnimating()); // nothing left to move: no timer runs
    // A new peak restarts the hold.
    panel.setLevel(2, 255);
    At(6000);
    EXPECT_EQ(panel.peakLevel(2), 255.0);
}

TEST_F(LevelPanel, RepliesLandOnTheirMetersPotsAndLamps)
{
    panel.setLevel(4, 0x11);
    EXPECT_EQ(panel.reportedLevel(4), 0x11);
    EXPECT_EQ(panel.reportedLevel(0), 0);
    EXPECT_EQ(panel.potText(5), QStringLiteral("--- dB"));
    panel.setPot(5, 2);
    EXPECT_EQ(panel.potText(5), QStringLiteral("12.0 dB"));
    panel.setMuteState((1u << 2) | (1u << 8)); // input B and output 6
    EXPECT_FALSE(panel.isMeterMuted(0));
    EXPECT_TRUE(panel.isMeterMuted(1));
    EXPECT_TRUE(panel.isMeterMuted(7));
    panel.clear();
    EXPECT_FALSE(panel.isMeterMuted(1));
    EXPECT_EQ(panel.reportedLevel(4), 0);
}

TEST_F(LevelPanel, KnobsSweepZeroToSixtyAndStopAtTheEnds)
{
    EXPECT_EQ(panel.potFraction(1), -1.0); // nothing read yet
    panel.setPot(1, 0);
    EXPECT_EQ(panel.potText(1), QStringLiteral("0.0 dB"));
    EXPECT_EQ(panel.potFraction(1), 0.0);
    panel.setPot(1, 5);
    EXPECT_DOUBLE_EQ(panel.potFraction(1), 0.5);
    EXPECT_EQ(panel.potText(1), QStringLiteral("30.0 dB"));
    EXPECT_TRUE(panel.isPotInRange(1));
    // Positions the range does not hold: at the end stop, said so.
    panel.setPot(1, 245);
    EXPECT_EQ(panel.potFraction(1), 1.0);
    EXPECT_FALSE(panel.isPotInRange(1));
    EXPECT_EQ(panel.potText(1), QStringLiteral("1470.0 dB\nout of range"));
    panel.setPot(1, static_cast<std::uint32_t>(-2));
    EXPECT_EQ(panel.potFraction(1), 0.0);
    EXPECT_EQ(panel.potText(1), QStringLiteral("-12.0 dB\nout of range"));
    // Another range moves the end stops with it.
    panel.setPotRange(-10, 10);
    EXPECT_TRUE(panel.isPotInRange(1));
    EXPECT_DOUBLE_EQ(panel.potFraction(1), 8.0 / 20.0);
    EXPECT_EQ(panel.potText(1), QStringLiteral("-12.0 dB"));
}

// RemoteWatch runs for hours: a falling bar repaints only the strip of its
// trough it moved through, and a fall of less than a pixel nothing.
TEST_F(LevelPanel, FallsRepaintOnlyWhatMovedByAPixel)
{
    panel.resize(panel.sizeHint());
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    panel.setLevel(3, 255);
    panel.setLevel(3, 0); // the bar falls from full scale, the peak holds
    At(1000);
    QCoreApplication::processEvents();
    vrntest::EventCounter paints(&panel, QEvent::Paint);
    At(1001); // 0.17 of a level step: far below a pixel
    QCoreApplication::processEvents();
    EXPECT_EQ(paints.count(), 0);
    At(1200);
    QCoreApplication::processEvents();
    ASSERT_GT(paints.count(), 0);
    const QRect strip = paints.painted().boundingRect();
    EXPECT_LT(strip.width(), panel.width() / CZAR40Static::kBarCount) << "one bar's trough";
    EXPECT_LT(strip.height(), panel.height() / 2) << "the rows it fell through";
    EXPECT_GT(strip.top(), 0) << "not the mute lamp";
}
