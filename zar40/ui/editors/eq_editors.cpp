#include "zar40/ui/editors/eq_editors.h"

#include "zar40/dsp/eq_design.h"
#include "zar40/ui/editors/value_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>

#include <cmath>

namespace zar40::editors {

namespace dsp = zar40::dsp;

CEqBandEditor::CEqBandEditor(int band, QWidget *parent)
    : QGroupBox(QStringLiteral("Band %1").arg(band + 1), parent)
    , m_index(band)
{
    m_type = new QComboBox(this);
    m_type->setFocusPolicy(Qt::StrongFocus);
    wheelOnlyWithFocus(m_type);
    for (std::uint32_t code = 1; code <= dsp::kEqBandTypeMax; ++code) {
        const std::string_view name = dsp::eqBandShortName(code);
        m_type->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    m_bypass = new QCheckBox(QStringLiteral("Bypass"), this);
    m_bypass->setFocusPolicy(Qt::StrongFocus);
    m_frequency = new CValueSpin(preset::kEqFrequencyFacts, this);
    m_q = new CValueSpin(preset::kEqQFacts, this);
    m_gain = new CValueSpin(preset::kEqGainFacts, this);

    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(m_type);
    form->addRow(m_bypass);
    form->addRow(QStringLiteral("&Freq"), m_frequency);
    form->addRow(QStringLiteral("&Q"), m_q);
    form->addRow(QStringLiteral("&Gain"), m_gain);
    setControlNamePrefix(QStringLiteral("Band %1").arg(band + 1));

    // activated and clicked come from the user only.
    connect(m_type, &QComboBox::activated, this, &CEqBandEditor::onTypeChosen);
    connect(m_bypass, &QCheckBox::clicked, this, &CEqBandEditor::onBypassClicked);
    for (CValueSpin *field : {m_frequency, m_q, m_gain}) {
        connect(field, &CValueSpin::changing, this, [this] { changeField(false); });
        connect(field, &CValueSpin::committed, this, [this] { changeField(true); });
    }
    setBand(preset::defaultEqBand());
}

void CEqBandEditor::setControlNamePrefix(const QString &prefix)
{
    m_type->setAccessibleName(prefix + " type");
    m_bypass->setAccessibleName(prefix + " bypass");
    m_frequency->setAccessibleName(prefix + " frequency");
    m_q->setAccessibleName(prefix + " Q");
    m_gain->setAccessibleName(prefix + " gain");
}

void CEqBandEditor::setBand(const preset::EqBand &band)
{
    m_band = band;
    showBand();
}

void CEqBandEditor::showBand()
{
    const int position = dsp::eqBandListPosition(m_band.TYPE);
    if (position >= 0)
        m_lastPosition = position;
    const bool bypass = m_band.TYPE == preset::kBandOff;
    m_bypass->setChecked(bypass);
    // A bypassed band keeps showing the type it returns to; a code the list
    // does not know shows no type at all.
    m_type->setCurrentIndex(bypass ? m_lastPosition : position);
    m_frequency->setValueSilently(m_band.FREQUENCY);
    m_q->setValueSilently(m_band.Q);
    m_gain->setValueSilently(m_band.GAIN);
    updateEnabling();
}

void CEqBandEditor::updateEnabling()
{
    const bool bypass = m_band.TYPE == preset::kBandOff;
    const dsp::EqBandUses uses = dsp::eqBandTypeUses(m_band.TYPE);
    m_type->setEnabled(!bypass);
    m_frequency->setEnabled(uses.frequency);
    m_q->setEnabled(uses.q);
    m_gain->setEnabled(uses.gain);
}

void CEqBandEditor::onTypeChosen(int position)
{
    const std::uint32_t type = dsp::eqBandTypeAtListPosition(position);
    m_lastPosition = position;
    if (type == m_band.TYPE)
        return;
    m_band.TYPE = type;
    updateEnabling();
    emit bandChanging(m_band);
    emit bandCommitted(m_band);
}

void CEqBandEditor::onBypassClicked(bool bypass)
{
    m_band.TYPE = bypass ? preset::kBandOff : dsp::eqBandTypeAtListPosition(m_lastPosition);
    m_type->setCurrentIndex(m_lastPosition);
    updateEnabling();
    emit bandChanging(m_band);
    emit bandCommitted(m_band);
}

void CEqBandEditor::changeField(bool commit)
{
    auto *field = qobject_cast<CValueSpin *>(sender());
    if (field == m_frequency)
        m_band.FREQUENCY = static_cast<std::uint32_t>(std::lround(field->value()));
    else if (field == m_q)
        m_band.Q = static_cast<float>(field->value());
    else if (field == m_gain)
        m_band.GAIN = static_cast<float>(field->value());
    if (commit)
        emit bandCommitted(m_band);
    else
        emit bandChanging(m_band);
}

// ---- CEqChannelEditor ----------------------------------------------------------

CEqChannelEditor::CEqChannelEditor(int channel, QWidget *parent)
    : QWidget(parent)
    , m_channel(channel)
{
    auto *row = new QHBoxLayout(this);
    for (int i = 0; i < preset::kBandCount; ++i) {
        auto *editor = new CEqBandEditor(i, this);
        editor->setControlNamePrefix(channelTitle(channel) + QStringLiteral(" band %1").arg(i + 1));
        m_editors[static_cast<std::size_t>(i)] = editor;
        row->addWidget(editor);
        connect(editor, &CEqBandEditor::bandChanging, this, [this, i](const preset::EqBand &b) { emit bandChanging(i, b); });
        connect(editor, &CEqBandEditor::bandCommitted, this,
                [this, i](const preset::EqBand &b) { emit bandCommitted(i, b); });
    }
}

void CEqChannelEditor::setBands(const Bands &bands)
{
    for (std::size_t i = 0; i < bands.size(); ++i)
        m_editors[i]->setBand(bands[i]);
}

void CEqChannelEditor::setBand(int band, const preset::EqBand &value)
{
    if (band >= 0 && band < preset::kBandCount)
        m_editors[static_cast<std::size_t>(band)]->setBand(value);
}

CEqChannelEditor::Bands CEqChannelEditor::bands() const
{
    Bands out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = m_editors[i]->band();
    return out;
}

CEqBandEditor *CEqChannelEditor::bandEditor(int band) const
{
    return band >= 0 && band < preset::kBandCount ? m_editors[static_cast<std::size_t>(band)] : nullptr;
}

} // namespace zar40::editors
