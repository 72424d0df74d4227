// The calculator panel shows the calculation's lines for its own inputs and
// the output's dynamics, in their colours.
#include "panels_test_support.h"
#include "zar40/ui/panels/CalculatorPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QSpinBox>

using namespace zar40::panels;
namespace dsp = zar40::dsp;
namespace preset = zar40::preset;

class CalculatorPanel : public panels_test::PanelTest {};

TEST_F(CalculatorPanel, CompressorIntoEightOhmsWarnsAboutTheBox)
{
    CCalculatorPanel panel;
    preset::Dynamics d = preset::defaultDynamics();
    d.TYPE = dsp::DynCompressor;
    d.THRESHOLD = 0.0f;
    d.RATIO = 2.0f;
    d.GAIN = 0.0f;
    panel.setDynamics(d);
    panel.impedanceList()->setCurrentIndex(3); // "8"
    panel.balancedBox()->setChecked(true);
    // Box 400 W, amplifier 600 W by default: 596 W is too much for the box.
    const QListWidget *list = panel.messageList();
    ASSERT_EQ(list->count(), 5);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral(" -Maximum RMS output Power: 596 Watts"));
    EXPECT_EQ(list->item(2)->foreground().color(), QColor(204, 51, 0));
    EXPECT_EQ(list->item(4)->foreground().color(), QColor(0, 153, 51));
    EXPECT_EQ(panel.messages(), dsp::speakerMessages(zar40::dsp::DynamicsSettings{dsp::DynCompressor, 0, 0, 2, 0, 0, 0},
                                                     dsp::SpeakerPanel{8.0, 400.0, 600.0, 30.0f, true}));
    panel.boxPowerField()->setValue(600);
    EXPECT_EQ(list->count(), 4);

    d.TYPE = dsp::DynBypass;
    panel.setDynamics(d);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("-CAUTION!!! Compressor/Limiter is disabled"));
}
