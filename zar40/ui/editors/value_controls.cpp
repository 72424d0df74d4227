#include "zar40/ui/editors/value_controls.h"

#include "zar40/preset/channel_names.h"
#include "zar40/preset/record.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

namespace zar40::editors {

QString channelTitle(int channel)
{
    return QString::fromStdString(preset::channelName(channel, preset::ChannelNameForm::Title));
}

namespace {

class WheelGuard : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel || static_cast<QWidget *>(watched)->hasFocus())
            return false;
        // Not accepted, so the application hands it on to the parent.
        event->ignore();
        return true;
    }
};

// A slider that repaints only the stretch of its track the handle left and
// reached when the value changes. The whole slider repainted on every step
// of a drag, and its full-height groove is blended in parallel pieces on
// the raster engine's thread pool.
class TrackSlider : public QSlider
{
public:
    using QSlider::QSlider;

protected:
    void sliderChange(SliderChange change) override
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        // The style colours the whole scale by state (focus, and whether it
        // came by keyboard) that can change without a repaint of its own.
        if (change != SliderValueChange || m_paintedHandle.isNull() || option.state != m_paintedState) {
            QSlider::sliderChange(change);
            return;
        }
        // The handle's shadow and focus frame reach a little past it; the
        // filled part of the groove changes only between the two handles.
        const QRect moved = m_paintedHandle.united(handleRect(option));
        const int reach = 3;
        update(orientation() == Qt::Vertical ? QRect(0, moved.top() - reach, width(), moved.height() + 2 * reach)
                                             : QRect(moved.left() - reach, 0, moved.width() + 2 * reach, height()));
    }

    void paintEvent(QPaintEvent *) override
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        QPainter painter(this);
        // The scale on its own: the style colours it with the focus colour
        // in any paint that first builds its groove picture, and a scale
        // left so by a partial repaint would stay half blue.
        if (tickPosition() != NoTicks) {
            QStyleOptionSlider scale = option;
            scale.subControls = QStyle::SC_SliderTickmarks;
            style()->drawComplexControl(QStyle::CC_Slider, &scale, &painter, this);
        }
        option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
        style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
        m_paintedHandle = handleRect(option);
        m_paintedState = option.state;
    }

    void resizeEvent(QResizeEvent *event) override
    {
        m_paintedHandle = QRect();
        QSlider::resizeEvent(event);
    }

private:
    QRect handleRect(const QStyleOptionSlider &option) const
    {
        return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    }

    QRect m_paintedHandle;
    QStyle::State m_paintedState;
};

} // namespace

void wheelOnlyWithFocus(QWidget *control) { control->installEventFilter(new WheelGuard(control)); }

// ---- CValueSlider ------------------------------------------------------------

CValueSlider::CValueSlider(Qt::Orientation orientation, Scale scale, QWidget *parent)
    : QWidget(parent)
    , m_scale(std::move(scale))
    , m_value(m_scale.min)
{
    m_slider = new TrackSlider(orientation, this);
    m_slider->setRange(0, kSteps);
    m_slider->setSingleStep(1);
    m_slider->setPageStep(kSteps / 10);
    m_slider->setFocusPolicy(Qt::StrongFocus);
    m_slider->setTickPosition(orientation == Qt::Vertical ? QSlider::TicksBothSides : QSlider::TicksBelow);
    m_slider->setTickInterval(kSteps / std::max(1, m_scale.tickCount - 1));
    setFocusProxy(m_slider);
    wheelOnlyWithFocus(m_slider);
    // Opaque, so that a drag step repaints the slider and its value alone
    // instead of every see-through widget behind them up to the view.
    m_slider->setAutoFillBackground(true);

    auto *minLabel = new QLabel(m_scale.minText, this);
    auto *maxLabel = new QLabel(m_scale.maxText, this);
    m_valueLabel = new QLabel(this);
    // Framed, so that the value does not read as one more scale label.
    m_valueLabel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_valueLabel->setAutoFillBackground(true);
    fitValueLabel();

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    if (orientation == Qt::Vertical) {
        maxLabel->setAlignment(Qt::AlignHCenter);
        minLabel->setAlignment(Qt::AlignHCenter);
        m_valueLabel->setAlignment(Qt::AlignHCenter);
        grid->addWidget(maxLabel, 0, 0, Qt::AlignHCenter);
        grid->addWidget(m_slider, 1, 0, Qt::AlignHCenter);
        grid->addWidget(minLabel, 2, 0, Qt::AlignHCenter);
        grid->addWidget(m_valueLabel, 3, 0, Qt::AlignHCenter);
        grid->setRowStretch(1, 1);
    } else {
        m_valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(minLabel, 0, 0);
        grid->addWidget(m_slider, 0, 1);
        grid->addWidget(maxLabel, 0, 2);
        grid->addWidget(m_valueLabel, 0, 3);
        grid->setColumnStretch(1, 1);
    }

    connect(m_slider, &QSlider::valueChanged, this, &CValueSlider::onSliderValue);
    connect(m_slider, &QSlider::sliderPressed, this, [this] { m_pressPosition = m_slider->value(); });
    connect(m_slider, &QSlider::sliderReleased, this, [this] {
        if (m_slider->value() != m_pressPosition)
            emit committed(m_value);
    });
    setValue(m_scale.min);
}

void CValueSlider::fitValueLabel()
{
    // Wide enough for the longest text at either limit, and of a fixed
    // size: a drag changes the text on every step, and a label that may
    // change size sends each step up through every layout to the document
    // area, which then repaints whole (with its scroll bars showing).
    const QFontMetrics fm(m_valueLabel->font());
    const int width = std::max(fm.horizontalAdvance(m_scale.valueText(m_scale.min)),
                               fm.horizontalAdvance(m_scale.valueText(m_scale.max))) +
                      2 * m_valueLabel->frameWidth() + fm.averageCharWidth();
    const QMargins margins = m_valueLabel->contentsMargins();
    const int frame = 2 * (m_valueLabel->frameWidth() + m_valueLabel->margin());
    m_valueLabel->setFixedSize(width + margins.left() + margins.right(),
                               fm.height() + frame + margins.top() + margins.bottom());
}

void CValueSlider::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) fitValueLabel();
}

float CValueSlider::valueAt(int position) const
{
    const int p = std::clamp(position, 0, kSteps);
    return m_scale.min + (m_scale.max - m_scale.min) * static_cast<float>(p) / static_cast<float>(kSteps);
}

int CValueSlider::positionOf(float value) const
{
    if (std::isnan(value))
        return 0;
    const double t = (static_cast<double>(value) - m_scale.min) / (static_cast<double>(m_scale.max) - m_scale.min);
    return static_cast<int>(std::lround(std::clamp(t, 0.0, 1.0) * kSteps));
}

void CValueSlider::setValue(float value)
{
    m_value = value;
    m_silent = true;
    m_slider->setValue(positionOf(value));
    m_silent = false;
    showValue();
}

void CValueSlider::setControlName(const QString &name)
{
    setAccessibleName(name);
    m_slider->setAccessibleName(name);
}

void CValueSlider::onSliderValue(int position)
{
    if (m_silent)
        return;
    m_value = valueAt(position);
    showValue();
    emit changing(m_value);
    // A drag ends with the release; every other move (keys, wheel, a click
    // beside the handle) is a finished edit of its own.
    if (!m_slider->isSliderDown())
        emit committed(m_value);
}

void CValueSlider::showValue()
{
    const QString text = m_scale.valueText(m_value);
    m_valueLabel->setText(text);
    m_slider->setAccessibleDescription(text);
}

// ---- CValueSpin --------------------------------------------------------------

QString factText(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

CValueSpin::CValueSpin(const preset::ParameterFacts &facts, QWidget *parent)
    : CValueSpin(facts.min, facts.max, facts.step, facts.decimals, factText(facts.suffix), parent)
{
}

CValueSpin::CValueSpin(double min, double max, double step, int decimals, const QString &suffix, QWidget *parent)
    : QDoubleSpinBox(parent)
{
    setDecimals(decimals);
    setRange(min, max);
    setSingleStep(step);
    setSuffix(suffix);
    setKeyboardTracking(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setFocusPolicy(Qt::StrongFocus);
    setAccelerated(true);
    wheelOnlyWithFocus(this);
    m_committed = value();
    connect(this, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (!m_silent)
            emit changing(v);
    });
    connect(this, &QAbstractSpinBox::editingFinished, this, &CValueSpin::commitIfChanged);
}

void CValueSpin::setValueSilently(double value)
{
    m_silent = true;
    setValue(std::isnan(value) ? minimum() : value);
    m_silent = false;
    m_committed = this->value();
}

void CValueSpin::stepBy(int steps)
{
    QDoubleSpinBox::stepBy(steps);
    commitIfChanged();
}

void CValueSpin::commitIfChanged()
{
    if (m_silent || value() == m_committed)
        return;
    m_committed = value();
    emit committed(m_committed);
}

namespace {

// The number in a field's text without prefix, suffix and group separators.
bool parseField(const QDoubleSpinBox &spin, QString text, double &out)
{
    if (!spin.suffix().isEmpty() && text.endsWith(spin.suffix()))
        text.chop(spin.suffix().size());
    if (!spin.prefix().isEmpty() && text.startsWith(spin.prefix()))
        text.remove(0, spin.prefix().size());
    text.remove(spin.locale().groupSeparator());
    text = text.trimmed();
    bool ok = false;
    out = spin.locale().toDouble(text, &ok);
    if (!ok)
        out = text.toDouble(&ok);
    return ok && std::isfinite(out);
}

} // namespace

QValidator::State CValueSpin::validate(QString &text, int &pos) const
{
    const QValidator::State state = QDoubleSpinBox::validate(text, pos);
    if (state != QValidator::Invalid)
        return state;
    // A number beyond the limits or with too many decimals may still be
    // typed; fixup() brings it into range when it is confirmed.
    double v = 0.0;
    return parseField(*this, text, v) ? QValidator::Intermediate : QValidator::Invalid;
}

void CValueSpin::fixup(QString &text) const
{
    double v = 0.0;
    if (!parseField(*this, text, v)) {
        QDoubleSpinBox::fixup(text);
        return;
    }
    text = prefix() + textFromValue(std::clamp(v, minimum(), maximum())) + suffix();
}

} // namespace zar40::editors
