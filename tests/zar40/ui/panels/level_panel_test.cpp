// The level panel on a clock the test moves: bars follow a rise at once,
// fall smoothly, and peaks hold before they fall; replies land where the
// device's encoding puts them.
#include "panels_test_support.h"
#include "zar40/ui/panels/level_panel.h"

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
    panel.setLevelWord(1, 0x11223344u);
    EXPECT_EQ(panel.reportedLevel(4), 0x11);
    EXPECT_EQ(panel.reportedLevel(7), 0x44);
    EXPECT_EQ(panel.reportedLevel(0), 0);
    EXPECT_EQ(panel.potText(5), QStringLiteral("--- dB"));
    panel.setPot(5, 0xFFFFFFFEu); // position -2
    EXPECT_EQ(panel.potText(5), QStringLiteral("-12.0 dB"));
    panel.setPot(0, 3);
    EXPECT_EQ(panel.potText(0), QStringLiteral("18.0 dB"));
    panel.setMuteState((1u << 2) | (1u << 8)); // input B and output 6
    EXPECT_FALSE(panel.isMeterMuted(0));
    EXPECT_TRUE(panel.isMeterMuted(1));
    EXPECT_TRUE(panel.isMeterMuted(7));
    panel.clear();
    EXPECT_FALSE(panel.isMeterMuted(1));
    EXPECT_EQ(panel.reportedLevel(4), 0);
}
