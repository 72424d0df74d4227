#include "zar40/ui/panels/CalculatorPanel.h"

#include "zar40/model/preset_signal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>

namespace zar40::panels {

namespace {

QSpinBox *powerField(QWidget *parent)
{
    auto *field = new QSpinBox(parent);
    field->setRange(static_cast<int>(dsp::kSpeakerPowerRange.min), static_cast<int>(dsp::kSpeakerPowerRange.max));
    field->setSingleStep(static_cast<int>(dsp::kSpeakerPowerRange.step));
    field->setKeyboardTracking(false);
    field->setAlignment(Qt::AlignRight);
    return field;
}

} // namespace

CCalculatorPanel::CCalculatorPanel(QWidget *parent) : QGroupBox(QStringLiteral("Speaker and Amplifier Data"), parent)
{
    m_impedance = new QComboBox(this);
    for (const auto &entry : dsp::kImpedances)
        m_impedance->addItem(QString::fromUtf8(entry.text.data(), static_cast<qsizetype>(entry.text.size())));
    m_impedance->setCurrentIndex(static_cast<int>(dsp::kImpedanceDefaultIndex));
    m_boxPower = powerField(this);
    m_boxPower->setValue(400);
    m_amplifierPower = powerField(this);
    m_amplifierPower->setValue(600);
    m_amplifierGain = new QDoubleSpinBox(this);
    m_amplifierGain->setDecimals(1);
    m_amplifierGain->setRange(dsp::kAmplifierGainRange.min, dsp::kAmplifierGainRange.max);
    m_amplifierGain->setSingleStep(dsp::kAmplifierGainRange.step);
    m_amplifierGain->setValue(30.0);
    m_amplifierGain->setKeyboardTracking(false);
    m_amplifierGain->setAlignment(Qt::AlignRight);
    m_balanced = new QCheckBox(QStringLiteral("Balanced Signal"), this);
    m_list = new QListWidget(this);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setMinimumWidth(m_list->fontMetrics().horizontalAdvance(QStringLiteral(" -Amplifier Power is greater than your Power needs")) + 24);
    m_list->setAccessibleName(QStringLiteral("Speaker and amplifier checks"));

    auto *grid = new QGridLayout(this);
    auto addRow = [this, grid](int row, const QString &label, QWidget *field, const QString &unit) {
        auto *caption = new QLabel(label, this);
        caption->setBuddy(field);
        field->setAccessibleName(label.trimmed());
        grid->addWidget(caption, row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(new QLabel(unit, this), row, 2);
    };
    addRow(0, QStringLiteral(" Impedance"), m_impedance, QStringLiteral("Ohm"));
    addRow(1, QStringLiteral(" Box Power"), m_boxPower, QStringLiteral("W"));
    addRow(2, QStringLiteral(" Amplifier Power"), m_amplifierPower, QStringLiteral("W"));
    addRow(3, QStringLiteral(" Amplifier Gain"), m_amplifierGain, QStringLiteral("dB"));
    grid->addWidget(m_balanced, 4, 0, 1, 3);
    grid->addWidget(m_list, 0, 3, 5, 1);
    grid->setColumnStretch(3, 1);

    connect(m_impedance, &QComboBox::currentIndexChanged, this, &CCalculatorPanel::recompute);
    connect(m_boxPower, &QSpinBox::valueChanged, this, &CCalculatorPanel::recompute);
    connect(m_amplifierPower, &QSpinBox::valueChanged, this, &CCalculatorPanel::recompute);
    connect(m_amplifierGain, &QDoubleSpinBox::valueChanged, this, &CCalculatorPanel::recompute);
    connect(m_balanced, &QCheckBox::toggled, this, &CCalculatorPanel::recompute);
    recompute();
}

void CCalculatorPanel::setDynamics(const preset::Dynamics &dynamics) { setDynamics(model::toDynamics(dynamics)); }

void CCalculatorPanel::setDynamics(const dsp::DynamicsSettings &dynamics)
{
    m_dynamics = dynamics;
    recompute();
}

dsp::SpeakerPanel CCalculatorPanel::inputs() const
{
    dsp::SpeakerPanel panel;
    const int index = m_impedance->currentIndex();
    if (index >= 0 && index < static_cast<int>(dsp::kImpedances.size()))
        panel.impedanceOhms = dsp::kImpedances[static_cast<std::size_t>(index)].ohms;
    panel.boxPowerW = m_boxPower->value();
    panel.amplifierPowerW = m_amplifierPower->value();
    panel.amplifierGainDb = static_cast<float>(m_amplifierGain->value());
    panel.balanced = m_balanced->isChecked();
    return panel;
}

QColor CCalculatorPanel::colourOf(dsp::MessageLevel level)
{
    return level == dsp::MessageLevel::Ok ? QColor(0, 153, 51) : QColor(204, 51, 0);
}

void CCalculatorPanel::recompute()
{
    m_messages = dsp::speakerMessages(m_dynamics, inputs());
    m_list->clear();
    for (const auto &line : m_messages) {
        auto *item = new QListWidgetItem(QString::fromStdString(line.text), m_list);
        item->setForeground(colourOf(line.level));
    }
}

} // namespace zar40::panels
