#pragma once
// One fader of the fader bank: a channel's gain from -60 to +10 dB in 1000
// steps, its mute button and, on the outputs, the polarity button "180°".
// The sum channel is an input here: it has a mute flag of its own but no
// polarity in the preset.
#include <QWidget>

class QAbstractButton;
class QLabel;
class QSlider;

namespace zar40::editors {

class CValueSlider;

class CGainSlider : public QWidget
{
    Q_OBJECT
public:
    // CHANNEL is the channel index: 0 input A, 1 Summe, 2 input B, 3..8
    // outputs 1..6.
    explicit CGainSlider(int channel, QWidget *parent = nullptr);

    int channel() const { return m_channel; }
    bool isOutput() const;

    // The setters show a value and emit nothing. A gain beyond the fader's
    // range (the -200 dB of a linked mute) puts the handle at the end and
    // is shown as it is.
    void setGain(float gainDb);
    float gain() const;
    void setMuted(bool muted);
    bool isMuted() const;
    // Ignored on inputs, which have no polarity button.
    void setPhaseInverted(bool inverted);
    bool isPhaseInverted() const;

    // The caption above the fader (the channel's name in the preset).
    void setChannelName(const QString &name);

    QSlider *slider() const;
    QLabel *valueLabel() const;
    QAbstractButton *muteButton() const { return m_mute; }
    // nullptr on inputs.
    QAbstractButton *phaseButton() const { return m_phase; }

    // The value text: "%4.1f" and " dB".
    static QString gainText(float gainDb);

signals:
    // Every position while dragging, and every key or wheel step.
    void gainChanging(float gainDb);
    // Once per finished edit: the end of a drag, or a key, wheel or click
    // step.
    void gainCommitted(float gainDb);
    void muteToggled(bool muted);
    void phaseToggled(bool inverted);

private:
    int m_channel;
    QLabel *m_caption = nullptr;
    CValueSlider *m_slider = nullptr;
    QAbstractButton *m_mute = nullptr;
    QAbstractButton *m_phase = nullptr;
};

} // namespace zar40::editors
