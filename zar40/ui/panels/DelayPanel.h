#pragma once
// The delay panel: the delays of the three inputs and six outputs in a unit
// of time or distance, distances through the speed of sound at an air
// temperature in °C or °F. The math is zar40-dsp's; the panel keeps the
// stored delays (samples + 1) and shows them in the chosen units.
#include "zar40/preset/record.h"

#include <QWidget>

#include <array>
#include <cstdint>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace zar40::panels {

class CDelayPanel : public QWidget
{
    Q_OBJECT
public:
    explicit CDelayPanel(QWidget *parent = nullptr);

    // The record's DELAY fields in channel-index order. Silent: nothing is
    // emitted, and a field being typed in is overwritten.
    void setDelays(const std::array<float, preset::kChannelCount> &delays);
    void setRecord(const preset::PresetRecord &record);

    // Samples + 1, as the record holds it (a whole number).
    std::int32_t storedDelay(int channel) const;
    // The value a channel's field shows, in its group's unit.
    double shownDelay(int channel) const;
    // The unit of a channel's group: "µs", "ms", "s", "cm", "m", "feet" for
    // the summary texts, and its index (zar40::dsp::DelayUnit).
    QString unitText(int channel) const;
    int unit(int channel) const;

    int inputUnit() const;
    int outputUnit() const;
    void setInputUnit(int unit);
    void setOutputUnit(int unit);

    // The temperature as the conversions use it (°F truncated to °C).
    int celsius() const;
    bool isFahrenheit() const;
    void setFahrenheit(bool fahrenheit);
    void setTemperature(int value); // in the selected unit

    QDoubleSpinBox *delayField(int channel) const;
    QSpinBox *temperatureField() const { return m_temperature; }
    QComboBox *inputUnitList() const { return m_inputUnit; }
    QComboBox *outputUnitList() const { return m_outputUnit; }

public slots:
    // Sends the commit of an edit still waiting for its arrow steps to end.
    void commitPending();

signals:
    // While the user edits a field (each arrow step, each entered value):
    // the view updates the record and the displays.
    void delayChanging(int channel, float stored);
    // The edit is finished (Enter, leaving the field, the end of a run of
    // arrow steps): the view writes it to the device.
    void delayCommitted(int channel, float stored);
    // The unit or the temperature changed: texts that show delays in the
    // panel's units are out of date.
    void displayUnitsChanged();

private:
    void showGroup(bool outputs);
    void showChannel(int channel);
    void onFieldChanged(int channel);
    void onFieldFinished(int channel);
    void onTemperatureUnit(bool fahrenheit);

    std::array<std::int32_t, preset::kChannelCount> m_stored{};
    // What each field showed last: an unchanged field must not be re-read,
    // or a rounded display would change the stored delay.
    std::array<double, preset::kChannelCount> m_shown{};
    std::array<QDoubleSpinBox *, preset::kChannelCount> m_fields{};
    std::array<QLabel *, preset::kChannelCount> m_captions{};
    QComboBox *m_inputUnit = nullptr;
    QComboBox *m_outputUnit = nullptr;
    QRadioButton *m_celsiusButton = nullptr;
    QRadioButton *m_fahrenheitButton = nullptr;
    QSpinBox *m_temperature = nullptr;
    QLabel *m_temperatureCaption = nullptr;
    QTimer *m_commitTimer = nullptr;
    int m_pendingChannel = -1;
    bool m_fahrenheit = false;
    bool m_silent = false;
};

} // namespace zar40::panels
