// The delay panel: what a typed delay stores in every unit, how stored
// delays read back, and edits that must not touch the stored value.
#include "panels_test_support.h"
#include "zar40/ui/panels/DelayPanel.h"

#include "zar40/dsp/delay_units.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QSpinBox>

using namespace zar40::panels;
namespace dsp = zar40::dsp;
using panels_test::typeInto;

class DelayPanel : public panels_test::PanelTest {};

namespace {

struct Entry {
    int unit;
    int channel;
    const char *typed;
    std::int32_t stored;
};

class DelayEntry : public panels_test::PanelTest, public ::testing::WithParamInterface<Entry> {};

std::array<float, 9> allDelays(float value)
{
    std::array<float, 9> d;
    d.fill(value);
    return d;
}

} // namespace

TEST_P(DelayEntry, TypedValueStoresTheDocumentedDelayOnce)
{
    const Entry e = GetParam();
    CDelayPanel panel; // 20 °C
    (e.channel < 3 ? panel.inputUnitList() : panel.outputUnitList())->setCurrentIndex(e.unit);
    QSignalSpy changing(&panel, &CDelayPanel::delayChanging);
    QSignalSpy committed(&panel, &CDelayPanel::delayCommitted);
    typeInto(panel.delayField(e.channel), QString::fromLatin1(e.typed));
    ASSERT_EQ(changing.size(), 1);
    ASSERT_EQ(committed.size(), 1);
    EXPECT_EQ(committed[0][0].toInt(), e.channel);
    EXPECT_EQ(committed[0][1].toFloat(), float(e.stored));
    EXPECT_EQ(panel.storedDelay(e.channel), e.stored);
    // Leaving the field again without a change reports nothing.
    typeInto(panel.delayField(e.channel), panel.delayField(e.channel)->text());
    EXPECT_EQ(committed.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Units, DelayEntry,
                         ::testing::Values(Entry{dsp::DelayMicroseconds, 0, "11", 2},
                                           Entry{dsp::DelayMicroseconds, 3, "20", 2},
                                           Entry{dsp::DelayMilliseconds, 1, "1", 97},
                                           Entry{dsp::DelaySeconds, 8, "0.5", 48001},
                                           Entry{dsp::DelayCentimetres, 2, "100", 280},
                                           Entry{dsp::DelayMetres, 4, "1", 280},
                                           Entry{dsp::DelayFeet, 5, "1", 86}));

TEST_F(DelayPanel, StoredDelaysReadBackInEveryUnitWithoutChangingThem)
{
    CDelayPanel panel;
    QSignalSpy changing(&panel, &CDelayPanel::delayChanging);
    QSignalSpy committed(&panel, &CDelayPanel::delayCommitted);
    auto delays = allDelays(97.0f);
    delays[4] = 2.0f; // one sample: 0.0104 ms, shown rounded
    panel.setDelays(delays);
    EXPECT_DOUBLE_EQ(panel.shownDelay(0), 1.0);
    panel.inputUnitList()->setCurrentIndex(dsp::DelayMicroseconds);
    EXPECT_DOUBLE_EQ(panel.shownDelay(0), 1000.0);
    panel.inputUnitList()->setCurrentIndex(dsp::DelaySeconds);
    EXPECT_DOUBLE_EQ(panel.shownDelay(2), 0.001);
    panel.inputUnitList()->setCurrentIndex(dsp::DelayCentimetres);
    EXPECT_DOUBLE_EQ(panel.shownDelay(1), 34.0);
    EXPECT_EQ(panel.delayField(1)->maximum(), 68663.0); // 2 s of sound at 20 °C, whole cm
    // Finishing an untouched field must not re-read its rounded text.
    typeInto(panel.delayField(4), panel.delayField(4)->text());
    EXPECT_EQ(panel.storedDelay(4), 2);
    EXPECT_EQ(changing.size(), 0);
    EXPECT_EQ(committed.size(), 0);
}

TEST_F(DelayPanel, ArrowStepsReportEachChangeAndCommitOnce)
{
    CDelayPanel panel;
    QSignalSpy changing(&panel, &CDelayPanel::delayChanging);
    QSignalSpy committed(&panel, &CDelayPanel::delayCommitted);
    // The view writes each change into the record and shows the record
    // again, as it does after every edit.
    auto echo = [&panel](int channel, float stored) {
        auto delays = allDelays(1.0f);
        delays[static_cast<std::size_t>(channel)] = stored;
        panel.setDelays(delays);
    };
    QObject::connect(&panel, &CDelayPanel::delayChanging, &panel, echo);
    panel.delayField(3)->stepUp();
    panel.delayField(3)->stepUp();
    EXPECT_EQ(changing.size(), 2);
    EXPECT_EQ(committed.size(), 0);
    EXPECT_DOUBLE_EQ(panel.shownDelay(3), 0.2); // steps stay on the step grid
    panel.commitPending();
    ASSERT_EQ(committed.size(), 1);
    EXPECT_EQ(committed[0][1].toFloat(), 20.0f); // 0.2 ms = 19.2 samples
    // A record that changes under an edit (another preset) drops it.
    panel.delayField(3)->stepUp();
    QObject::disconnect(&panel, &CDelayPanel::delayChanging, &panel, nullptr);
    panel.setDelays(allDelays(97.0f));
    panel.commitPending();
    EXPECT_EQ(committed.size(), 1);
    EXPECT_DOUBLE_EQ(panel.shownDelay(3), 1.0);
}

TEST_F(DelayPanel, TemperatureUnitSwitchKeepsTheTemperature)
{
    CDelayPanel panel;
    panel.setFahrenheit(true);
    EXPECT_EQ(panel.temperatureField()->value(), 68);
    panel.setTemperature(69);
    EXPECT_EQ(panel.celsius(), 20);
    panel.setFahrenheit(false);
    panel.setTemperature(-20);
    panel.setFahrenheit(true);
    EXPECT_EQ(panel.temperatureField()->value(), -4);
    panel.setFahrenheit(false);
    EXPECT_EQ(panel.temperatureField()->value(), -20); // not clamped on the way
}
