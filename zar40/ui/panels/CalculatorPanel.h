#pragma once
// "Speaker and Amplifier Data": whether the loudspeaker and the amplifier
// behind the selected output are protected by its limiter or compressor.
// The panel only gathers its inputs and shows zar40-dsp's message lines;
// nothing it holds belongs to the preset.
#include "zar40/dsp/speaker_calculator.h"
#include "zar40/preset/record.h"

#include <QGroupBox>

#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QListWidget;
class QSpinBox;

namespace zar40::panels {

class CCalculatorPanel : public QGroupBox
{
    Q_OBJECT
public:
    explicit CCalculatorPanel(QWidget *parent = nullptr);

    // The selected output's dynamics stage; the list is rebuilt at once.
    void setDynamics(const preset::Dynamics &dynamics);
    void setDynamics(const dsp::DynamicsSettings &dynamics);

    // The panel's own inputs as the calculation takes them.
    dsp::SpeakerPanel inputs() const;
    // The lines shown, in order.
    std::vector<dsp::MessageLine> messages() const { return m_messages; }

    QComboBox *impedanceList() const { return m_impedance; }
    QSpinBox *boxPowerField() const { return m_boxPower; }
    QSpinBox *amplifierPowerField() const { return m_amplifierPower; }
    QDoubleSpinBox *amplifierGainField() const { return m_amplifierGain; }
    QCheckBox *balancedBox() const { return m_balanced; }
    QListWidget *messageList() const { return m_list; }

    static QColor colourOf(dsp::MessageLevel level);

private:
    void recompute();

    dsp::DynamicsSettings m_dynamics;
    std::vector<dsp::MessageLine> m_messages;
    QComboBox *m_impedance = nullptr;
    QSpinBox *m_boxPower = nullptr;
    QSpinBox *m_amplifierPower = nullptr;
    QDoubleSpinBox *m_amplifierGain = nullptr;
    QCheckBox *m_balanced = nullptr;
    QListWidget *m_list = nullptr;
};

} // namespace zar40::panels
