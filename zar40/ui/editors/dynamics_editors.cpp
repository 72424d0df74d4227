#include "zar40/ui/editors/dynamics_editors.h"

#include "zar40/model/preset_signal.h"
#include "zar40/preset/parameter_facts.h"
#include "zar40/ui/editors/value_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>

#include <algorithm>

namespace zar40::editors {

namespace {

preset::Dynamics toRecord(const dsp::DynamicsSettings &s)
{
    return {s.type, s.gain, s.threshold, s.knee, s.ratio, s.attack, s.release};
}

// A slider of the panels: ten tick marks, the limits at the ends and the
// value WIDTH characters wide with its decimals and suffix.
CValueSlider *panelSlider(const preset::ParameterFacts &facts, int width, const QString &name, QWidget *parent)
{
    CValueSlider::Scale scale;
    scale.min = facts.min;
    scale.max = facts.max;
    scale.tickCount = 10;
    scale.minText = QString::number(static_cast<double>(facts.min));
    scale.maxText = QString::number(static_cast<double>(facts.max));
    const QString suffix = factText(facts.suffix);
    scale.valueText = [width, decimals = facts.decimals, suffix](float v) {
        return QString::asprintf("%*.*f", width, decimals, static_cast<double>(v)) + suffix;
    };
    auto *s = new CValueSlider(Qt::Horizontal, scale, parent);
    s->setControlName(name);
    return s;
}

CValueSpin *panelSpin(const preset::ParameterFacts &facts, const QString &name, QWidget *parent)
{
    auto *s = new CValueSpin(facts, parent);
    s->setAccessibleName(name);
    return s;
}

QString Label(const preset::ParameterFacts &facts) { return factText(facts.label); }

QCheckBox *makeBypassBox(const QString &name, QWidget *parent)
{
    auto *b = new QCheckBox(QStringLiteral("Bypass"), parent);
    b->setFocusPolicy(Qt::StrongFocus);
    b->setAccessibleName(name);
    return b;
}

} // namespace

// ---- CDynamicsEditor -----------------------------------------------------------

CDynamicsEditor::CDynamicsEditor(int output, QWidget *parent)
    : QGroupBox(QStringLiteral("Dynamik"), parent)
{
    const QString prefix = channelTitle(preset::kFirstOutput + output) + " dynamics ";
    m_bypass = makeBypassBox(prefix + "bypass", this);
    m_type = new QComboBox(this);
    m_type->setFocusPolicy(Qt::StrongFocus);
    wheelOnlyWithFocus(m_type);
    m_type->setAccessibleName(prefix + "type");
    for (std::uint32_t type : {dsp::DynLimiter, dsp::DynCompressor}) {
        const std::string_view name = dsp::dynamicsTypeName(type);
        m_type->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    m_threshold = panelSlider(preset::kDynThresholdFacts, 3, prefix + "threshold", this);
    m_knee = panelSlider(preset::kDynKneeFacts, 2, prefix + "knee", this);
    m_gain = panelSlider(preset::kDynGainFacts, 3, prefix + "gain", this);
    m_ratio = panelSlider(preset::kDynRatioFacts, 3, prefix + "ratio", this);
    m_attack = panelSpin(preset::kDynAttackFacts, prefix + "attack", this);
    m_release = panelSpin(preset::kDynReleaseFacts, prefix + "release", this);

    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(m_bypass);
    form->addRow(QStringLiteral("Typ"), m_type);
    form->addRow(Label(preset::kDynThresholdFacts), m_threshold);
    form->addRow(Label(preset::kDynKneeFacts), m_knee);
    form->addRow(Label(preset::kDynGainFacts), m_gain);
    form->addRow(Label(preset::kDynRatioFacts), m_ratio);
    form->addRow(Label(preset::kDynAttackFacts), m_attack);
    form->addRow(Label(preset::kDynReleaseFacts), m_release);

    connect(m_bypass, &QCheckBox::clicked, this, &CDynamicsEditor::onBypassClicked);
    connect(m_type, &QComboBox::activated, this, &CDynamicsEditor::onTypeChosen);
    using S = dsp::DynamicsSettings;
    const std::pair<CValueSlider *, float S::*> sliders[] = {
        {m_threshold, &S::threshold}, {m_knee, &S::knee}, {m_gain, &S::gain}, {m_ratio, &S::ratio}};
    for (const auto &[slider, field] : sliders) {
        connect(slider, &CValueSlider::changing, this, [this, field](float v) { changeValue(field, v, false); });
        connect(slider, &CValueSlider::committed, this, [this, field](float v) { changeValue(field, v, true); });
    }
    const std::pair<CValueSpin *, float S::*> spins[] = {{m_attack, &S::attack}, {m_release, &S::release}};
    for (const auto &[spin, field] : spins) {
        connect(spin, &CValueSpin::changing, this, [this, field](double v) { changeValue(field, v, false); });
        connect(spin, &CValueSpin::committed, this, [this, field](double v) { changeValue(field, v, true); });
    }
    setDynamics(preset::defaultDynamics());
}

void CDynamicsEditor::setDynamics(const preset::Dynamics &stored)
{
    m_stored = stored;
    m_panel = model::shownDynamics(model::toDynamics(stored));
    showPanel();
}

void CDynamicsEditor::showPanel()
{
    const std::uint32_t type = m_stored.TYPE;
    const bool bypass = type == dsp::DynBypass;
    if (type == dsp::DynLimiter || type == dsp::DynCompressor)
        m_lastPosition = static_cast<int>(type) - 1;
    m_bypass->setChecked(bypass);
    m_type->setCurrentIndex(bypass || type == dsp::DynLimiter || type == dsp::DynCompressor ? m_lastPosition : -1);
    m_threshold->setValue(m_panel.threshold);
    m_knee->setValue(m_panel.knee);
    m_gain->setValue(m_panel.gain);
    m_ratio->setValue(m_panel.ratio);
    m_attack->setValueSilently(m_panel.attack);
    m_release->setValueSilently(m_panel.release);
    for (QWidget *w : std::initializer_list<QWidget *>{m_type, m_threshold, m_knee, m_gain, m_attack, m_release})
        w->setEnabled(!bypass);
    m_ratio->setEnabled(!bypass && type != dsp::DynLimiter);
}

// The stage stored for TYPE from the panel; the panel then shows what the
// rules show for it.
void CDynamicsEditor::store(std::uint32_t type)
{
    m_stored = toRecord(model::storedDynamics(type, m_panel));
    m_panel = model::shownDynamics(model::toDynamics(m_stored));
    showPanel();
    emit dynamicsChanging(m_stored);
    emit dynamicsCommitted(m_stored);
}

void CDynamicsEditor::onBypassClicked(bool bypass)
{
    if (bypass) {
        // Bypass stores what the panel shows in bypass, not the old values.
        m_panel = model::shownDynamics(dsp::DynamicsSettings{});
        store(dsp::DynBypass);
        return;
    }
    onTypeChosen(m_lastPosition);
}

void CDynamicsEditor::onTypeChosen(int position)
{
    const auto type = static_cast<std::uint32_t>(position + 1);
    m_lastPosition = position;
    if (type == m_stored.TYPE)
        return;
    // The ratio a compressor starts from must be one its slider can show:
    // the shown 1.0 of a bypass and the limiter's 1000 are not.
    m_panel.ratio = std::clamp(m_panel.ratio, preset::kDynRatioFacts.min, preset::kDynRatioFacts.max);
    store(type);
}

void CDynamicsEditor::changeValue(float dsp::DynamicsSettings::*field, double value, bool commit)
{
    m_panel.*field = static_cast<float>(value);
    m_stored = toRecord(model::storedDynamics(m_stored.TYPE, m_panel));
    if (commit)
        emit dynamicsCommitted(m_stored);
    else
        emit dynamicsChanging(m_stored);
}

// ---- CNoiseGateEditor ----------------------------------------------------------

CNoiseGateEditor::CNoiseGateEditor(int output, QWidget *parent)
    : QGroupBox(QStringLiteral("Noisegate"), parent)
{
    const QString prefix = channelTitle(preset::kFirstOutput + output) + " noise gate ";
    m_bypass = makeBypassBox(prefix + "bypass", this);
    m_threshold = panelSlider(preset::kGateThresholdFacts, 3, prefix + "threshold", this);
    m_firstTime = panelSpin(preset::kGateCloseTimeFacts, prefix + "CT", this);
    m_secondTime = panelSpin(preset::kGateHoldTimeFacts, prefix + "HT", this);

    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(m_bypass);
    form->addRow(Label(preset::kGateThresholdFacts), m_threshold);
    form->addRow(Label(preset::kGateCloseTimeFacts), m_firstTime);
    form->addRow(Label(preset::kGateHoldTimeFacts), m_secondTime);

    connect(m_bypass, &QCheckBox::clicked, this, [this](bool bypass) {
        m_panel.bypass = bypass;
        m_stored = model::storedNoiseGate(m_panel);
        m_panel = model::noiseGatePanelValues(m_stored);
        showPanel();
        // The times stay as stored, whatever the bypassed panel shows.
        emit noiseGateChanging(m_stored);
        emit noiseGateCommitted(m_stored);
    });
    connect(m_threshold, &CValueSlider::changing, this, [this](float v) {
        m_panel.threshold = v;
        emitStored(false);
    });
    connect(m_threshold, &CValueSlider::committed, this, [this](float v) {
        m_panel.threshold = v;
        emitStored(true);
    });
    for (CValueSpin *spin : {m_firstTime, m_secondTime}) {
        float model::NoiseGatePanel::*field =
            spin == m_firstTime ? &model::NoiseGatePanel::firstTime : &model::NoiseGatePanel::secondTime;
        connect(spin, &CValueSpin::changing, this, [this, field](double v) {
            m_panel.*field = static_cast<float>(v);
            emitStored(false);
        });
        connect(spin, &CValueSpin::committed, this, [this, field](double v) {
            m_panel.*field = static_cast<float>(v);
            emitStored(true);
        });
    }
    setNoiseGate(preset::defaultNoiseGate());
}

void CNoiseGateEditor::setNoiseGate(const preset::NoiseGate &stored)
{
    m_stored = stored;
    m_panel = model::noiseGatePanelValues(stored);
    showPanel();
}

void CNoiseGateEditor::showPanel()
{
    m_bypass->setChecked(m_panel.bypass);
    m_threshold->setValue(m_panel.threshold);
    m_firstTime->setValueSilently(m_panel.firstTime);
    m_secondTime->setValueSilently(m_panel.secondTime);
    for (QWidget *w : std::initializer_list<QWidget *>{m_threshold, m_firstTime, m_secondTime})
        w->setEnabled(!m_panel.bypass);
}

void CNoiseGateEditor::emitStored(bool commit)
{
    m_stored = model::storedNoiseGate(m_panel);
    if (commit)
        emit noiseGateCommitted(m_stored);
    else
        emit noiseGateChanging(m_stored);
}

} // namespace zar40::editors
