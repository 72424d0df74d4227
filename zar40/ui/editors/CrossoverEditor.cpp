#include "zar40/ui/editors/CrossoverEditor.h"

#include "zar40/dsp/crossover.h"
#include "zar40/ui/editors/value_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>

#include <cmath>

namespace zar40::editors {

using model::CrossoverSide;

CCrossoverSideEditor::CCrossoverSideEditor(CrossoverSide side, QWidget *parent)
    : QGroupBox(side == CrossoverSide::LowCut ? QStringLiteral("Low Cut") : QStringLiteral("High Cut"), parent)
    , m_side(side)
{
    m_bypass = new QCheckBox(QStringLiteral("Bypass"), this);
    m_bypass->setFocusPolicy(Qt::StrongFocus);
    m_type = new QComboBox(this);
    m_type->setFocusPolicy(Qt::StrongFocus);
    wheelOnlyWithFocus(m_type);
    for (int p = 0; p < model::kCrossoverListSize; ++p) {
        const std::string_view name = dsp::CrossoverTypeName(model::crossoverTypeAtListPosition(side, p));
        m_type->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    // The crossover's frequencies span the equalizer's range.
    m_frequency = new CValueSpin(preset::kEqFrequencyFacts, this);
    m_order = new CValueSpin(dsp::kCrossoverOrderMin, dsp::kCrossoverOrderMax, 1, 0, QString(), this);

    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(m_bypass);
    form->addRow(QStringLiteral("Typ"), m_type);
    form->addRow(QStringLiteral("Freq"), m_frequency);
    form->addRow(QStringLiteral("Order"), m_order);
    setControlNamePrefix(title());

    connect(m_bypass, &QCheckBox::clicked, this, &CCrossoverSideEditor::onBypassClicked);
    connect(m_type, &QComboBox::activated, this, &CCrossoverSideEditor::onTypeChosen);
    for (CValueSpin *field : {m_frequency, m_order}) {
        connect(field, &CValueSpin::changing, this, [this] { changeField(false); });
        connect(field, &CValueSpin::committed, this, [this] { changeField(true); });
    }
    setFilter(model::bypassedCrossover(side));
}

void CCrossoverSideEditor::setControlNamePrefix(const QString &prefix)
{
    m_bypass->setAccessibleName(prefix + " bypass");
    m_type->setAccessibleName(prefix + " type");
    m_frequency->setAccessibleName(prefix + " frequency");
    m_order->setAccessibleName(prefix + " order");
}

void CCrossoverSideEditor::setFilter(const preset::CrossoverFilter &filter)
{
    m_filter = filter;
    showFilter();
}

void CCrossoverSideEditor::showFilter()
{
    const preset::CrossoverFilter off = model::bypassedCrossover(m_side);
    const bool bypass = m_filter.TYPE == off.TYPE;
    const int position = model::crossoverListPosition(m_side, m_filter.TYPE);
    if (position >= 0)
        m_lastPosition = position;
    m_bypass->setChecked(bypass);
    // A code of the other side (a low cut of type 0 is not off) shows no
    // type; a bypassed side shows the type it returns to.
    m_type->setCurrentIndex(bypass ? m_lastPosition : position);
    m_frequency->setValueSilently(m_filter.FREQUENCY);
    m_order->setValueSilently(m_filter.ORDER);
    m_type->setEnabled(!bypass);
    m_frequency->setEnabled(!bypass);
    m_order->setEnabled(!bypass);
}

void CCrossoverSideEditor::emitBoth()
{
    emit filterChanging(m_filter);
    emit filterCommitted(m_filter);
}

void CCrossoverSideEditor::onBypassClicked(bool bypass)
{
    // Leaving bypass starts from what the fields show: the stored 1000 Hz
    // and order 4 unless the record said otherwise.
    m_filter = model::storedCrossover(m_side, bypass, m_lastPosition,
                                      static_cast<std::uint32_t>(std::lround(m_frequency->value())),
                                      static_cast<std::uint32_t>(std::lround(m_order->value())));
    showFilter();
    emitBoth();
}

void CCrossoverSideEditor::onTypeChosen(int position)
{
    m_lastPosition = position;
    const std::uint32_t type = model::crossoverTypeAtListPosition(m_side, position);
    if (type == m_filter.TYPE)
        return;
    m_filter.TYPE = type;
    emitBoth();
}

void CCrossoverSideEditor::changeField(bool commit)
{
    auto *field = qobject_cast<CValueSpin *>(sender());
    const auto v = static_cast<std::uint32_t>(std::lround(field->value()));
    if (field == m_frequency)
        m_filter.FREQUENCY = v;
    else
        m_filter.ORDER = v;
    if (commit)
        emit filterCommitted(m_filter);
    else
        emit filterChanging(m_filter);
}

// ---- CCrossoverEditor ------------------------------------------------------------

CCrossoverEditor::CCrossoverEditor(int output, QWidget *parent)
    : QWidget(parent)
    , m_output(output)
{
    m_lowCut = new CCrossoverSideEditor(CrossoverSide::LowCut, this);
    m_highCut = new CCrossoverSideEditor(CrossoverSide::HighCut, this);
    const QString title = channelTitle(preset::kFirstOutput + output);
    m_lowCut->setControlNamePrefix(title + " low cut");
    m_highCut->setControlNamePrefix(title + " high cut");
    auto *row = new QHBoxLayout(this);
    row->addWidget(m_lowCut);
    row->addWidget(m_highCut);
    for (CCrossoverSideEditor *e : {m_lowCut, m_highCut}) {
        const CrossoverSide side = e->side();
        connect(e, &CCrossoverSideEditor::filterChanging, this,
                [this, side](const preset::CrossoverFilter &f) { emit filterChanging(side, f); });
        connect(e, &CCrossoverSideEditor::filterCommitted, this,
                [this, side](const preset::CrossoverFilter &f) { emit filterCommitted(side, f); });
    }
}

void CCrossoverEditor::setOutput(const preset::OutputChannel &output) { setFilters(output.highCut, output.lowCut); }

void CCrossoverEditor::setFilters(const preset::CrossoverFilter &highCut, const preset::CrossoverFilter &lowCut)
{
    m_highCut->setFilter(highCut);
    m_lowCut->setFilter(lowCut);
}

void CCrossoverEditor::setFilter(CrossoverSide side, const preset::CrossoverFilter &filter)
{
    sideEditor(side)->setFilter(filter);
}

const preset::CrossoverFilter &CCrossoverEditor::filter(CrossoverSide side) const
{
    return sideEditor(side)->filter();
}

CCrossoverSideEditor *CCrossoverEditor::sideEditor(CrossoverSide side) const
{
    return side == CrossoverSide::LowCut ? m_lowCut : m_highCut;
}

} // namespace zar40::editors
