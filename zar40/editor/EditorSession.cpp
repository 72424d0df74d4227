// The editor's state and every edit of it: one path from a user's gesture
// to the record, the undo history and, while connected, the unit.
#include "EditorSession.h"

#include "EditorPrompts.h"

#include "zar40/comm/RemoteWatch.h"
#include "zar40/preset/factory_layouts.h"
#include "zar40/preset/fields.h"
#include "zar40/preset/preset_files.h"

#include <QFile>
#include <QUndoCommand>
#include <QUndoStack>

namespace zar40::editor {

using model::FaderChange;
using model::WriteBatch;
using preset::PresetRecord;

EditorPrompts::~EditorPrompts() = default;

namespace {

preset::OutputChannel &outputAt(PresetRecord &r, int output) { return r.outputs[static_cast<std::size_t>(output)]; }

std::array<preset::EqBand, preset::kBandCount> *bandsOf(PresetRecord &r, int channel)
{
    if (channel < 0 || channel >= preset::kChannelCount) return nullptr;
    return channel < preset::kInputCount ? &r.inputs[static_cast<std::size_t>(channel)].PEQ
                                         : &outputAt(r, channel - preset::kFirstOutput).PEQ;
}

bool isOutput(int output) { return output >= 0 && output < preset::kOutputCount; }

} // namespace

// One edit of one preset slot: the whole record before and after. The first
// redo only finishes the edit the session has already made and sends its
// own writes (which may differ from a plain field comparison: Stereo-Link
// pairs, the engage rule); later undos and redos send what differs.
class RecordEdit : public QUndoCommand
{
public:
    RecordEdit(EditorSession *session, int slot, const PresetRecord &before, const PresetRecord &after,
               WriteBatch firstWrites, const QString &text)
        : QUndoCommand(text), m_session(session), m_slot(slot), m_before(before), m_after(after),
          m_firstWrites(std::move(firstWrites))
    {
    }
    void redo() override
    {
        if (m_first) {
            m_first = false;
            m_session->editDone(m_firstWrites);
            return;
        }
        m_session->restoreRecord(m_slot, m_after, model::changedFieldWrites(m_before, m_after));
    }
    void undo() override
    {
        m_session->restoreRecord(m_slot, m_before, model::changedFieldWrites(m_after, m_before));
    }

private:
    EditorSession *m_session;
    int m_slot;
    PresetRecord m_before;
    PresetRecord m_after;
    WriteBatch m_firstWrites;
    bool m_first = true;
};

bool EditorSession::isLocked() const { return preset::isLocked(currentRecord().PRESET_FLAGS); }

QString EditorSession::muteAllCaption() const
{
    return model::allOutputsMuted(currentRecord()) ? QStringLiteral("UnMute All") : QStringLiteral("Mute All");
}

std::array<PresetListEntry, preset::kPresetCount> EditorSession::presetList() const
{
    std::array<PresetListEntry, preset::kPresetCount> list;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const PresetRecord &r = m_presets.records()[i];
        list[i].text =
            QStringLiteral(" %1 %2").arg(r.number + 1).arg(QString::fromLatin1(preset::textOf(r.NAME)));
        list[i].locked = preset::isLocked(r.PRESET_FLAGS);
    }
    return list;
}

void EditorSession::checkPresetList()
{
    auto list = presetList();
    if (list == m_shownList && m_presets.current() == m_shownSlot) return;
    m_shownList = std::move(list);
    m_shownSlot = m_presets.current();
    emit presetListChanged();
}

void EditorSession::setLocalModified(bool modified)
{
    if (modified == m_localModified) return;
    m_localModified = modified;
    emit modifiedChanged();
}

void EditorSession::setDeviceModified(bool modified)
{
    if (modified == m_deviceModified) return;
    m_deviceModified = modified;
    emit modifiedChanged();
}

void EditorSession::setSelection(const Selection &selection)
{
    Selection s = selection;
    if (s.eqChannel < 0 || s.eqChannel >= preset::kChannelCount) s.eqChannel = m_selection.eqChannel;
    if (!isOutput(s.crossoverOutput)) s.crossoverOutput = m_selection.crossoverOutput;
    if (!isOutput(s.dynamicsOutput)) s.dynamicsOutput = m_selection.dynamicsOutput;
    if (s == m_selection) return;
    m_selection = s;
    emit selectionChanged();
}

// ---- Edits ----------------------------------------------------------------------

void EditorSession::edit(EditStep step, const QString &text, const std::function<void(PresetRecord &)> &change,
                         const std::function<WriteBatch(const PresetRecord &, const PresetRecord &)> &writes)
{
    PresetRecord &record = m_presets.currentRecord();
    if (!m_editStart) m_editStart = record;
    change(record);
    if (step == EditStep::Changing) {
        emit currentRecordChanged(RecordChange::Changing);
        return;
    }
    const PresetRecord before = *m_editStart;
    m_editStart.reset();
    const WriteBatch batch = writes ? writes(before, record) : model::changedFieldWrites(before, record);
    if (preset::sameFields(before, record) && batch.empty()) {
        // A drag that ended where it began: nothing to undo, but the
        // editors must show the record again.
        emit currentRecordChanged(RecordChange::Edited);
        return;
    }
    m_undo->push(new RecordEdit(this, m_presets.current(), before, record, batch, text));
}

void EditorSession::editDone(const WriteBatch &writes)
{
    setLocalModified(true);
    setDeviceModified(true);
    emit currentRecordChanged(RecordChange::Edited);
    checkPresetList();
    sendWrites(writes);
}

void EditorSession::restoreRecord(int slot, const PresetRecord &record, const WriteBatch &writes)
{
    if (slot < 0 || slot >= preset::kPresetCount) return;
    m_editStart.reset();
    m_presets.records()[static_cast<std::size_t>(slot)] = record;
    if (slot != m_presets.current()) {
        // The unit plays the current slot; another one only changes here.
        setLocalModified(true);
        checkPresetList();
        return;
    }
    editDone(writes);
}

bool EditorSession::writesGoOut() const
{
    return isConnected() && m_state < CycleState::StoringBeforeDisconnect && m_link->acceptsWrites();
}

void EditorSession::sendWrites(const WriteBatch &writes)
{
    if (!writesGoOut()) return;
    for (const model::ParameterWrite &w : writes) {
        m_link->postTransaction(w.code, w.address, w.value);
        emit parameterWritten(w.code, w.address, w.value);
    }
}

void EditorSession::setFader(int channel, FaderChange change, float value, EditStep step)
{
    if (channel < 0 || channel >= preset::kChannelCount) return;
    const bool link = m_stereoLink;
    const QString text = change == FaderChange::Gain ? tr("Gain") : change == FaderChange::Mute ? tr("Mute") : tr("Phase");
    edit(step, text, [&](PresetRecord &r) { model::applyFader(r, channel, change, value, link); },
         [&](const PresetRecord &, const PresetRecord &after) {
             return model::faderWrites(after, channel, change, link);
         });
}

void EditorSession::muteAll()
{
    // The outputs say which way the button goes, as its caption shows.
    const bool mute = !model::allOutputsMuted(currentRecord());
    WriteBatch batch;
    edit(EditStep::Done, mute ? tr("Mute All") : tr("UnMute All"),
         [&](PresetRecord &r) { batch = model::applyMuteAll(r, mute); },
         [&](const PresetRecord &, const PresetRecord &) { return batch; });
}

void EditorSession::setStereoLink(bool on)
{
    if (on == m_stereoLink) return;
    m_stereoLink = on;
    emit stereoLinkChanged(on);
    // Unlinking changes no parameter.
    if (!on) return;
    WriteBatch batch;
    edit(EditStep::Done, tr("Stereo-Link"), [&](PresetRecord &r) { batch = model::applyStereoLinkEngage(r); },
         [&](const PresetRecord &, const PresetRecord &) { return batch; });
}

void EditorSession::setRoute(int channel, std::uint32_t route)
{
    if (channel < preset::kFirstOutput || channel >= preset::kChannelCount) return;
    edit(EditStep::Done, tr("Route"),
         [&](PresetRecord &r) { outputAt(r, channel - preset::kFirstOutput).ROUTE = route; });
}

void EditorSession::setDelay(int channel, float stored, EditStep step)
{
    if (channel < 0 || channel >= preset::kChannelCount) return;
    edit(step, tr("Delay"), [&](PresetRecord &r) {
        if (channel < preset::kInputCount) r.inputs[static_cast<std::size_t>(channel)].DELAY = stored;
        else outputAt(r, channel - preset::kFirstOutput).DELAY = stored;
    });
}

void EditorSession::setBand(int channel, int band, const preset::EqBand &value, EditStep step)
{
    if (!bandsOf(m_presets.currentRecord(), channel) || band < 0 || band >= preset::kBandCount) return;
    edit(step, tr("Equalizer band"),
         [&](PresetRecord &r) { (*bandsOf(r, channel))[static_cast<std::size_t>(band)] = value; });
}

void EditorSession::setBandMarkers(int channel,
                                   const std::array<std::pair<std::uint32_t, float>, preset::kBandCount> &markers,
                                   EditStep step)
{
    if (!bandsOf(m_presets.currentRecord(), channel)) return;
    edit(step, tr("Equalizer band"), [&](PresetRecord &r) {
        auto &bands = *bandsOf(r, channel);
        for (std::size_t b = 0; b < bands.size(); ++b) {
            bands[b].FREQUENCY = markers[b].first;
            bands[b].GAIN = markers[b].second;
        }
    });
}

void EditorSession::setCrossover(int output, model::CrossoverSide side, const preset::CrossoverFilter &filter,
                                 EditStep step)
{
    if (!isOutput(output)) return;
    edit(step, tr("Crossover"), [&](PresetRecord &r) {
        preset::OutputChannel &out = outputAt(r, output);
        (side == model::CrossoverSide::HighCut ? out.highCut : out.lowCut) = filter;
    });
}

void EditorSession::setCrossoverMarkers(
    const std::array<std::pair<std::uint32_t, std::uint32_t>, preset::kOutputCount> &markers, EditStep step)
{
    edit(step, tr("Crossover"), [&](PresetRecord &r) {
        for (int o = 0; o < preset::kOutputCount; ++o) {
            outputAt(r, o).highCut.FREQUENCY = markers[static_cast<std::size_t>(o)].first;
            outputAt(r, o).lowCut.FREQUENCY = markers[static_cast<std::size_t>(o)].second;
        }
    });
}

void EditorSession::setDynamics(int output, const preset::Dynamics &dynamics, EditStep step)
{
    if (!isOutput(output)) return;
    edit(step, tr("Dynamics"), [&](PresetRecord &r) { outputAt(r, output).DYNAMIC = dynamics; });
}

void EditorSession::setNoiseGate(int output, const preset::NoiseGate &gate, EditStep step)
{
    if (!isOutput(output)) return;
    edit(step, tr("Noise gate"), [&](PresetRecord &r) { outputAt(r, output).NOISEGATE = gate; });
}

void EditorSession::setPresetName(const std::string &name)
{
    edit(EditStep::Done, tr("Preset name"), [&](PresetRecord &r) { preset::setText(r.NAME, name); });
}

void EditorSession::setAuthor(const std::string &author)
{
    edit(EditStep::Done, tr("Author"), [&](PresetRecord &r) { preset::setText(r.AUTHOR, author); });
}

void EditorSession::setChannelName(int channel, const std::string &name)
{
    if (channel < 0 || channel >= preset::kChannelCount) return;
    edit(EditStep::Done, tr("Channel name"), [&](PresetRecord &r) {
        if (channel < preset::kInputCount) preset::setText(r.inputs[static_cast<std::size_t>(channel)].NAME, name);
        else preset::setText(outputAt(r, channel - preset::kFirstOutput).NAME, name);
    });
}

void EditorSession::setLocked(bool locked)
{
    edit(EditStep::Done, tr("Lock"),
         [&](PresetRecord &r) { r.PRESET_FLAGS = preset::withLock(r.PRESET_FLAGS, locked); });
}

int EditorSession::copyChannels(const model::ChannelCopy &copy)
{
    if (isBusy()) return 0;
    int copied = 0;
    edit(EditStep::Done, tr("Copy Channel Setup"),
         [&](PresetRecord &r) { copied = model::copyChannels(r, copy); });
    return copied;
}

// ---- Whole presets ----------------------------------------------------------------

void EditorSession::replaced()
{
    m_editStart.reset();
    m_undo->clear();
    emit currentRecordChanged(RecordChange::Replaced);
    checkPresetList();
}

void EditorSession::currentRecordReplaced() { replaced(); }

bool EditorSession::transferCurrentPreset()
{
    if (m_state != CycleState::Connected || !m_link->acceptsWrites()
        || m_link->job() != comm::CCommunicationmodul::Job::None)
        return false;
    setState(CycleState::Transferring);
    m_link->writePreset(currentRecord());
    return true;
}

preset::Result EditorSession::readPresetFile(const QString &path)
{
    if (isBusy()) return preset::Result::failure(tr("The editor is busy with the unit.").toStdString(), {});
    preset::PresetRecord record = currentRecord();
    const preset::Result result = preset::readPresetFile(QFile::encodeName(path).toStdString(), record);
    // Nothing was read: the editor's preset, its modified state and the
    // unit stay as they were.
    if (!result) return result;
    m_presets.currentRecord() = record;
    replaced();
    if (transferCurrentPreset()) setDeviceModified(true);
    setLocalModified(false);
    emit presetFileUsed(path);
    return result;
}

bool EditorSession::openPresetFile(const QString &path)
{
    const preset::Result result = readPresetFile(path);
    if (m_prompts) {
        // A name of another kind needs no more than the refusal itself.
        const bool wrongKind = preset::presetFileKind(QFile::encodeName(path).toStdString())
                               == preset::PresetFileKind::Unknown;
        if (!result) m_prompts->error(QString::fromStdString(wrongKind ? result.message : result.text()));
        for (const std::string &notice : result.notices) m_prompts->information(QString::fromStdString(notice));
    }
    return static_cast<bool>(result);
}

bool EditorSession::savePresetFile(const QString &path)
{
    const preset::Result result = preset::writeXmlPresetFile(currentRecord(), QFile::encodeName(path).toStdString());
    if (!result) {
        if (m_prompts) m_prompts->error(QString::fromStdString(result.text()));
        return false;
    }
    setLocalModified(false);
    emit presetFileUsed(path);
    return true;
}

void EditorSession::applyFactoryLayout(int layout)
{
    const auto layouts = preset::factoryLayouts();
    if (isBusy() || layout < 0 || layout >= static_cast<int>(layouts.size())) return;
    preset::applyFactoryLayout(m_presets, layouts[static_cast<std::size_t>(layout)]);
    replaced();
    transferCurrentPreset();
    setDeviceModified(true);
    setLocalModified(false);
}

} // namespace zar40::editor
