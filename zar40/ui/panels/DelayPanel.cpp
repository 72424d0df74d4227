#include "zar40/ui/panels/DelayPanel.h"

#include "zar40/dsp/delay_units.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace zar40::panels {

namespace dsp = zar40::dsp;

namespace {

bool isOutput(int channel) { return channel >= preset::kFirstOutput; }

// Fine enough that one sample (10.4 µs, 3.6 mm) still shows.
int decimalsOf(int unit)
{
    switch (unit) {
    case dsp::DelayMilliseconds: return 3;
    case dsp::DelaySeconds: return 5;
    case dsp::DelayMetres: return 3;
    default: return 0; // µs, cm and feet are shown truncated to whole numbers
    }
}

QString fieldName(int channel)
{
    return isOutput(channel) ? QStringLiteral("Out%1").arg(channel - preset::kFirstOutput + 1)
                             : QStringLiteral("In%1").arg(channel + 1);
}

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Keeps the panel from reporting the changes it makes itself.
class Silence
{
public:
    explicit Silence(bool &flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~Silence() { m_flag = m_old; }

private:
    bool &m_flag;
    bool m_old;
};

} // namespace

CDelayPanel::CDelayPanel(QWidget *parent) : QWidget(parent)
{
    m_stored.fill(1);
    m_commitTimer = new QTimer(this);
    m_commitTimer->setSingleShot(true);
    // Long enough to span the auto-repeat of a held arrow key or button.
    m_commitTimer->setInterval(600);
    connect(m_commitTimer, &QTimer::timeout, this, &CDelayPanel::commitPending);

    auto *temperatureGroup = new QGroupBox(QStringLiteral(" Temperature "), this);
    m_celsiusButton = new QRadioButton(QStringLiteral("°C"), temperatureGroup);
    m_fahrenheitButton = new QRadioButton(QStringLiteral("°F"), temperatureGroup);
    m_celsiusButton->setChecked(true);
    m_temperatureCaption = new QLabel(QStringLiteral("Temperature [°C]"), temperatureGroup);
    m_temperature = new QSpinBox(temperatureGroup);
    m_temperature->setRange(dsp::kCelsiusMin, dsp::kCelsiusMax);
    m_temperature->setValue(dsp::kCelsiusDefault);
    m_temperature->setKeyboardTracking(false);
    m_temperature->setAccessibleName(m_temperatureCaption->text());
    m_temperatureCaption->setBuddy(m_temperature);
    auto *tl = new QGridLayout(temperatureGroup);
    tl->addWidget(m_celsiusButton, 0, 0);
    tl->addWidget(m_fahrenheitButton, 0, 1);
    tl->addWidget(m_temperatureCaption, 1, 0, 1, 2);
    tl->addWidget(m_temperature, 2, 0, 1, 2);
    tl->setRowStretch(3, 1);

    auto makeGroup = [this](bool outputs) {
        auto *group = new QGroupBox(outputs ? QStringLiteral(" Output ") : QStringLiteral(" Input "), this);
        auto *grid = new QGridLayout(group);
        auto *unitList = new QComboBox(group);
        for (int u = 0; u < dsp::kDelayUnitCount; ++u) unitList->addItem(qs(dsp::delayUnitName(u)));
        unitList->setCurrentIndex(dsp::DelayMilliseconds);
        auto *unitLabel = new QLabel(QStringLiteral("Delay Unit"), group);
        unitLabel->setBuddy(unitList);
        unitList->setAccessibleName(group->title().trimmed() + QStringLiteral(" Delay Unit"));
        grid->addWidget(unitLabel, 0, 0);
        grid->addWidget(unitList, 0, 1);
        const int first = outputs ? preset::kFirstOutput : 0;
        const int last = outputs ? preset::kChannelCount : preset::kInputCount;
        for (int ch = first; ch < last; ++ch) {
            const int row = ch - first + 1;
            auto *name = new QLabel(fieldName(ch), group);
            auto *field = new QDoubleSpinBox(group);
            field->setKeyboardTracking(false);
            field->setAlignment(Qt::AlignRight);
            auto *caption = new QLabel(group);
            name->setBuddy(field);
            grid->addWidget(name, row, 0);
            grid->addWidget(field, row, 1);
            grid->addWidget(caption, row, 2);
            m_fields[static_cast<std::size_t>(ch)] = field;
            m_captions[static_cast<std::size_t>(ch)] = caption;
            connect(field, &QDoubleSpinBox::valueChanged, this, [this, ch] { onFieldChanged(ch); });
            connect(field, &QDoubleSpinBox::editingFinished, this, [this, ch] { onFieldFinished(ch); });
        }
        grid->setRowStretch(last - first + 1, 1);
        connect(unitList, &QComboBox::currentIndexChanged, this, [this, outputs] {
            commitPending();
            showGroup(outputs);
            if (!m_silent) emit displayUnitsChanged();
        });
        return std::pair{group, unitList};
    };
    auto [inputGroup, inputUnit] = makeGroup(false);
    auto [outputGroup, outputUnit] = makeGroup(true);
    m_inputUnit = inputUnit;
    m_outputUnit = outputUnit;

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(temperatureGroup);
    layout->addWidget(inputGroup);
    layout->addWidget(outputGroup, 1);

    connect(m_celsiusButton, &QRadioButton::toggled, this, [this](bool on) {
        if (on) onTemperatureUnit(false);
    });
    connect(m_fahrenheitButton, &QRadioButton::toggled, this, [this](bool on) {
        if (on) onTemperatureUnit(true);
    });
    connect(m_temperature, &QSpinBox::valueChanged, this, [this] {
        if (m_silent) return;
        commitPending();
        showGroup(false);
        showGroup(true);
        emit displayUnitsChanged();
    });

    showGroup(false);
    showGroup(true);
}

void CDelayPanel::setDelays(const std::array<float, preset::kChannelCount> &delays)
{
    // The view echoes every edit back through here. A field whose delay is
    // unchanged keeps its text and its pending commit; one the record
    // changed under an edit loses the edit.
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        const std::int32_t stored = dsp::storedDelayFromField(delays[i]);
        if (stored == m_stored[i]) continue;
        if (ch == m_pendingChannel) {
            m_commitTimer->stop();
            m_pendingChannel = -1;
        }
        m_stored[i] = stored;
        showChannel(ch);
    }
}

void CDelayPanel::setRecord(const preset::PresetRecord &record)
{
    std::array<float, preset::kChannelCount> delays{};
    for (int i = 0; i < preset::kInputCount; ++i) delays[static_cast<std::size_t>(i)] = record.inputs[i].DELAY;
    for (int o = 0; o < preset::kOutputCount; ++o)
        delays[static_cast<std::size_t>(preset::kFirstOutput + o)] = record.outputs[o].DELAY;
    setDelays(delays);
}

std::int32_t CDelayPanel::storedDelay(int channel) const
{
    return (channel >= 0 && channel < preset::kChannelCount) ? m_stored[static_cast<std::size_t>(channel)] : 1;
}

double CDelayPanel::shownDelay(int channel) const
{
    return (channel >= 0 && channel < preset::kChannelCount) ? m_fields[static_cast<std::size_t>(channel)]->value()
                                                            : 0.0;
}

int CDelayPanel::unit(int channel) const { return isOutput(channel) ? outputUnit() : inputUnit(); }
QString CDelayPanel::unitText(int channel) const { return qs(dsp::delayUnitName(unit(channel))); }
int CDelayPanel::inputUnit() const { return m_inputUnit->currentIndex(); }
int CDelayPanel::outputUnit() const { return m_outputUnit->currentIndex(); }
void CDelayPanel::setInputUnit(int unit) { m_inputUnit->setCurrentIndex(unit); }
void CDelayPanel::setOutputUnit(int unit) { m_outputUnit->setCurrentIndex(unit); }

int CDelayPanel::celsius() const
{
    return m_fahrenheit ? dsp::fahrenheitToCelsius(m_temperature->value()) : m_temperature->value();
}

bool CDelayPanel::isFahrenheit() const { return m_fahrenheit; }

void CDelayPanel::setFahrenheit(bool fahrenheit)
{
    (fahrenheit ? m_fahrenheitButton : m_celsiusButton)->setChecked(true);
}

void CDelayPanel::setTemperature(int value) { m_temperature->setValue(value); }

QDoubleSpinBox *CDelayPanel::delayField(int channel) const
{
    return (channel >= 0 && channel < preset::kChannelCount) ? m_fields[static_cast<std::size_t>(channel)] : nullptr;
}

void CDelayPanel::commitPending()
{
    if (m_pendingChannel < 0) return;
    const int ch = m_pendingChannel;
    m_pendingChannel = -1;
    m_commitTimer->stop();
    emit delayCommitted(ch, static_cast<float>(m_stored[static_cast<std::size_t>(ch)]));
}

void CDelayPanel::showGroup(bool outputs)
{
    const int first = outputs ? preset::kFirstOutput : 0;
    const int last = outputs ? preset::kChannelCount : preset::kInputCount;
    for (int ch = first; ch < last; ++ch) showChannel(ch);
}

void CDelayPanel::showChannel(int channel)
{
    Silence silence(m_silent);
    const auto i = static_cast<std::size_t>(channel);
    const int u = unit(channel);
    const int c = celsius();
    QDoubleSpinBox *field = m_fields[i];
    const QString caption = qs(dsp::delayUnitCaption(u));
    m_captions[i]->setText(caption);
    field->setAccessibleName(fieldName(channel) + QLatin1Char(' ') + caption);
    // Limits and step first, then the value, which the field keeps within
    // them.
    const int decimals = decimalsOf(u);
    field->setDecimals(decimals);
    // Cut down, not rounded, to what the field shows: a rounded-up limit
    // would accept a delay past the device's.
    const double scale = std::pow(10.0, decimals);
    field->setRange(0.0, std::floor(dsp::delayFieldMaximum(u, isOutput(channel), c) * scale) / scale);
    field->setSingleStep(dsp::delayUnitStep(u));
    field->setValue(dsp::SamplesToDelay(m_stored[i], u, c));
    m_shown[i] = field->value();
}

void CDelayPanel::onFieldChanged(int channel)
{
    if (m_silent) return;
    const auto i = static_cast<std::size_t>(channel);
    const double value = m_fields[i]->value();
    if (value == m_shown[i]) return;
    if (m_pendingChannel >= 0 && m_pendingChannel != channel) commitPending();
    m_shown[i] = value;
    const std::int32_t stored = dsp::DelayToSamples(value, unit(channel), celsius());
    if (stored == m_stored[i]) return;
    m_stored[i] = stored;
    m_pendingChannel = channel;
    emit delayChanging(channel, static_cast<float>(stored));
    m_commitTimer->start();
}

void CDelayPanel::onFieldFinished(int channel)
{
    if (m_pendingChannel == channel) commitPending();
}

void CDelayPanel::onTemperatureUnit(bool fahrenheit)
{
    if (fahrenheit == m_fahrenheit) return;
    commitPending();
    {
        Silence silence(m_silent);
        const int value = m_temperature->value();
        m_fahrenheit = fahrenheit;
        // Both ranges while the value moves, so that neither clamps it.
        m_temperature->setRange(dsp::kCelsiusMin, dsp::kFahrenheitMax);
        if (fahrenheit) {
            m_temperature->setValue(dsp::celsiusToFahrenheit(value));
            m_temperature->setRange(dsp::kFahrenheitMin, dsp::kFahrenheitMax);
            m_temperatureCaption->setText(QStringLiteral("Temperature [°F]"));
        } else {
            m_temperature->setValue(dsp::fahrenheitToCelsius(value));
            m_temperature->setRange(dsp::kCelsiusMin, dsp::kCelsiusMax);
            m_temperatureCaption->setText(QStringLiteral("Temperature [°C]"));
        }
        m_temperature->setAccessibleName(m_temperatureCaption->text());
    }
    showGroup(false);
    showGroup(true);
    emit displayUnitsChanged();
}

} // namespace zar40::panels
