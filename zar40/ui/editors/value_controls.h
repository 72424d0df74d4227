#pragma once
// The two building blocks of every editor: a slider of a fixed number of
// steps between two limits and a numeric field. Both report an edit twice:
// `changing` on every new value, so that the view can refresh what depends
// on it, and `committed` once the edit is over (the end of a drag, a key or
// wheel step, a typed value confirmed), so that the view writes to the
// device and records one undo step. Setting a value from outside emits
// nothing: the view never hears back what it set itself.
#include "zar40/preset/parameter_facts.h"

#include <QDoubleSpinBox>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QSlider;

namespace zar40::editors {

// "Input A", "Summe", "Input B", "Output 1" ... for a channel index
// (0 input A, 1 Summe, 2 input B, 3..8 outputs 1..6): the start of the
// accessible names of a channel's controls.
QString channelTitle(int channel);

// The wheel changes CONTROL only while it has the focus; otherwise the wheel
// goes on to the parent, so that scrolling the view over an editor does not
// edit (and write to the device) whatever passes under the mouse.
void wheelOnlyWithFocus(QWidget *control);

// A slider whose positions 0..kSteps stand for min..max, with its limits
// printed at the ends and its value beside it.
class CValueSlider : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSteps = 1000;

    struct Scale {
        float min = 0.0f;
        float max = 1.0f;
        int tickCount = 2;
        QString minText; // printed at the min end
        QString maxText; // printed at the max end
        std::function<QString(float)> valueText;
    };

    CValueSlider(Qt::Orientation orientation, Scale scale, QWidget *parent = nullptr);

    // Shows VALUE; the slider stands at the nearest position within the
    // limits, the text shows the value itself. Emits nothing.
    void setValue(float value);
    float value() const { return m_value; }

    float valueAt(int position) const;
    int positionOf(float value) const;
    const Scale &scale() const { return m_scale; }

    // Names the slider for assistive technology (and the widget itself).
    void setControlName(const QString &name);

    QSlider *slider() const { return m_slider; }
    QLabel *valueLabel() const { return m_valueLabel; }

signals:
    void changing(float value);
    void committed(float value);

protected:
    void changeEvent(QEvent *event) override;

private:
    void onSliderValue(int position);
    void showValue();
    void fitValueLabel();

    Scale m_scale;
    QSlider *m_slider = nullptr;
    QLabel *m_valueLabel = nullptr;
    float m_value = 0.0f;
    int m_pressPosition = 0;
    bool m_silent = false;
};

// A numeric field with spin buttons. Typing does not report each keystroke:
// the value counts when it is confirmed (Enter, leaving the field) or
// stepped. A typed value beyond the limits is taken as the nearest limit
// instead of being refused or thrown away.
class CValueSpin : public QDoubleSpinBox
{
    Q_OBJECT
public:
    CValueSpin(double min, double max, double step, int decimals, const QString &suffix, QWidget *parent = nullptr);
    // The range, step, decimals and suffix of a preset field.
    explicit CValueSpin(const preset::ParameterFacts &facts, QWidget *parent = nullptr);

    // Shows VALUE (clamped to the limits); emits nothing.
    void setValueSilently(double value);

    void stepBy(int steps) override;
    QValidator::State validate(QString &text, int &pos) const override;
    void fixup(QString &text) const override;

signals:
    void changing(double value);
    void committed(double value);

private:
    void commitIfChanged();

    double m_committed = 0.0;
    bool m_silent = false;
};

// The text of a preset fact (a label or a suffix).
QString factText(std::string_view text);

} // namespace zar40::editors
