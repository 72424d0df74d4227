// The measurements a window keeps beside its presets, and the fit's result
// as an edit of the current preset.
#include "zar40/editor/EditorSession.h"

#include <QFileInfo>

namespace zar40::editor {

namespace {

bool isChannel(int channel) { return channel >= 0 && channel < preset::kChannelCount; }

} // namespace

void EditorSession::applyFittedBands(int channel, const measurement::Bands &bands)
{
    if (!isChannel(channel)) return;
    edit(EditStep::Done, tr("Fit EQ"), [&](preset::PresetRecord &r) {
        auto &peq = channel < preset::kFirstOutput
                        ? r.inputs[static_cast<std::size_t>(channel)].PEQ
                        : r.outputs[static_cast<std::size_t>(channel - preset::kFirstOutput)].PEQ;
        for (std::size_t b = 0; b < peq.size(); ++b) {
            peq[b].TYPE = bands[b].type;
            peq[b].FREQUENCY = static_cast<std::uint32_t>(std::max(0, bands[b].frequencyHz));
            peq[b].Q = bands[b].q;
            peq[b].GAIN = bands[b].gainDb;
        }
    });
}

const std::optional<EditorSession::ChannelMeasurement> &EditorSession::measurementOf(int channel) const
{
    static const std::optional<ChannelMeasurement> none;
    return isChannel(channel) ? m_measurements[static_cast<std::size_t>(channel)] : none;
}

bool EditorSession::hasMeasurements() const
{
    for (const auto &m : m_measurements)
        if (m) return true;
    return false;
}

QStringList EditorSession::measurementLines() const
{
    static const char *const inputs[] = {"Input A", "Summe", "Input B"};
    QStringList lines;
    for (int c = 0; c < preset::kChannelCount; ++c) {
        const auto &m = m_measurements[static_cast<std::size_t>(c)];
        if (!m) continue;
        const QString channel = c < preset::kFirstOutput ? QString::fromLatin1(inputs[c])
                                                         : QStringLiteral("Output %1").arg(c - preset::kFirstOutput + 1);
        lines << QStringLiteral("%1: %2, %3 points from %4 Hz to %5 Hz, %6")
                     .arg(channel, m->name)
                     .arg(m->data.size())
                     .arg(m->data.frequencyHz.front(), 0, 'g', 6)
                     .arg(m->data.frequencyHz.back(), 0, 'g', 6)
                     .arg(m->data.hasPhase() ? QStringLiteral("magnitude and phase") : QStringLiteral("magnitude only"));
    }
    return lines;
}

bool EditorSession::loadMeasurement(int channel, const QString &path, QString *why)
{
    if (!isChannel(channel)) return false;
    const measurement::ReadResult r = measurement::readMeasurementFile(path.toStdString());
    if (!r.ok) {
        if (why) *why = QString::fromStdString(r.errorText());
        return false;
    }
    setMeasurement(channel, r.measurement, QFileInfo(path).fileName());
    return true;
}

void EditorSession::setMeasurement(int channel, measurement::Measurement data, const QString &name)
{
    if (!isChannel(channel)) return;
    m_measurements[static_cast<std::size_t>(channel)] = ChannelMeasurement{std::move(data), name};
    emit measurementsChanged();
}

void EditorSession::clearMeasurement(int channel)
{
    if (!isChannel(channel) || !m_measurements[static_cast<std::size_t>(channel)]) return;
    m_measurements[static_cast<std::size_t>(channel)].reset();
    emit measurementsChanged();
}

void EditorSession::setNormaliseMeasurements(bool on)
{
    if (on == m_normaliseMeasurements) return;
    m_normaliseMeasurements = on;
    emit measurementsChanged();
}

} // namespace zar40::editor
