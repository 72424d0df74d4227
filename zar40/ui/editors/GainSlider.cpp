#include "zar40/ui/editors/GainSlider.h"

#include "zar40/preset/channel_names.h"
#include "zar40/preset/record.h"
#include "zar40/ui/editors/value_controls.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace zar40::editors {

namespace {

QPushButton *makeToggle(const QString &text, const QString &name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setCheckable(true);
    b->setFocusPolicy(Qt::StrongFocus);
    b->setAccessibleName(name);
    return b;
}

QString defaultCaption(int channel)
{
    return QString::fromStdString(preset::channelName(channel, preset::ChannelNameForm::Caption));
}

} // namespace

QString CGainSlider::gainText(float gainDb)
{
    const preset::ParameterFacts &f = preset::kChannelGainFacts;
    return QString::asprintf("%4.*f", f.decimals, static_cast<double>(gainDb)) + factText(f.suffix);
}

CGainSlider::CGainSlider(int channel, QWidget *parent)
    : QWidget(parent)
    , m_channel(channel)
{
    const QString title = channelTitle(channel);
    m_caption = new QLabel(defaultCaption(channel), this);
    m_caption->setAlignment(Qt::AlignHCenter);

    CValueSlider::Scale scale;
    const preset::ParameterFacts &gain = preset::kChannelGainFacts;
    scale.min = gain.min;
    scale.max = gain.max;
    scale.tickCount = 7;
    scale.minText = QString::asprintf("%+.0f", static_cast<double>(gain.min)) + factText(gain.suffix);
    scale.maxText = QString::asprintf("%+.0f", static_cast<double>(gain.max)) + factText(gain.suffix);
    scale.valueText = &CGainSlider::gainText;
    m_slider = new CValueSlider(Qt::Vertical, scale, this);
    m_slider->setControlName(title + " gain");
    m_slider->slider()->setPageStep(100);
    // Tall enough for its seven ticks to be told apart, in text lines so
    // that it grows with the scaling; no taller, or the nine faders no
    // longer fit below the picture in the editor's usual frame.
    m_slider->slider()->setMinimumHeight(m_slider->fontMetrics().height() * 6);
    setFocusProxy(m_slider);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_caption);
    layout->addWidget(m_slider, 1);
    m_mute = makeToggle(QStringLiteral("Mute"), title + " mute", this);
    layout->addWidget(m_mute);
    if (isOutput()) {
        m_phase = makeToggle(QStringLiteral("180°"), title + " phase", this);
        layout->addWidget(m_phase);
        connect(m_phase, &QAbstractButton::clicked, this, &CGainSlider::phaseToggled);
    }

    connect(m_slider, &CValueSlider::changing, this, &CGainSlider::gainChanging);
    connect(m_slider, &CValueSlider::committed, this, &CGainSlider::gainCommitted);
    // clicked, not toggled: only the user's click is an edit.
    connect(m_mute, &QAbstractButton::clicked, this, &CGainSlider::muteToggled);
    setGain(0.0f);
}

bool CGainSlider::isOutput() const { return m_channel >= preset::kFirstOutput; }

void CGainSlider::setGain(float gainDb) { m_slider->setValue(gainDb); }

float CGainSlider::gain() const { return m_slider->value(); }

void CGainSlider::setMuted(bool muted) { m_mute->setChecked(muted); }

bool CGainSlider::isMuted() const { return m_mute->isChecked(); }

void CGainSlider::setPhaseInverted(bool inverted)
{
    if (m_phase)
        m_phase->setChecked(inverted);
}

bool CGainSlider::isPhaseInverted() const { return m_phase && m_phase->isChecked(); }

void CGainSlider::setChannelName(const QString &name) { m_caption->setText(name); }

QSlider *CGainSlider::slider() const { return m_slider->slider(); }

QLabel *CGainSlider::valueLabel() const { return m_slider->valueLabel(); }

} // namespace zar40::editors
