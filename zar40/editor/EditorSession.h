#pragma once
// The editor of one ZAR40 window without its widgets: the 32 presets and
// the device settings it holds, which slot is current, what the diagrams
// follow, the two modified states, the undo history, and the connection
// cycle with a unit as one state machine. The window shows what is here and
// hands every gesture of its user to one of the operations below; it keeps
// no state of its own, so what it shows cannot disagree with the unit.
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/CommPrompts.h"
#include "zar40/comm/Communicationmodul.h"
#include "zar40/comm/transfer_ui.h"
#include "zar40/measurement/fit.h"
#include "zar40/measurement/measurement_file.h"
#include "zar40/model/channel_copy.h"
#include "zar40/model/editor_rules.h"
#include "zar40/model/parameter_writes.h"
#include "zar40/preset/record.h"
#include "zar40/preset/Result.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QUndoStack;

namespace zar40::comm {
class CRemoteWatch;
}

namespace zar40::editor {

class EditorPrompts;

// What the two crossover diagrams each show besides the locked outputs.
struct CrossoverChoice {
    std::array<bool, preset::kOutputCount> shown{true, true, true, true, true, true};
    bool peq = true;
    bool result = true;
    friend bool operator==(const CrossoverChoice &, const CrossoverChoice &) = default;
};

// The channels the editors and diagrams are looking at.
struct Selection {
    int eqChannel = 0;
    int crossoverOutput = 0;
    int dynamicsOutput = 0;
    CrossoverChoice crossoverMagnitude;
    CrossoverChoice crossoverPhase;
    friend bool operator==(const Selection &, const Selection &) = default;
};

// One line of the preset list.
struct PresetListEntry {
    QString text; // " n NAME", n the slot's number field + 1
    bool locked = false;
    friend bool operator==(const PresetListEntry &, const PresetListEntry &) = default;
};

class EditorSession : public QObject, private comm::CommPrompts, private comm::TransferUi
{
    Q_OBJECT
    Q_PROPERTY(bool localModified READ isLocalModified WRITE setLocalModified NOTIFY modifiedChanged)
    Q_PROPERTY(bool deviceModified READ isDeviceModified WRITE setDeviceModified NOTIFY modifiedChanged)
public:
    // The connection cycle. The order matters: every state from
    // Transferring on comes after the editor and the unit have agreed on a
    // slot, every state from StoringBeforeDisconnect on is on its way out.
    enum class CycleState {
        Idle,                 // no link
        ReadyToClose,         // the unit let go for the window to close
        Linking,              // connect, device id, revision, password
        ChoosingSlot,         // the slot dialog is open
        SwitchingSlot,        // ReqLoadPreset sent, its wait box shown
        Settling,             // the unit's moment after the switch
        AskingDirection,      // "Copy Preset to ZAR?"
        AskingSaveBeforeRead, // "Do you want to save the current preset?"
        Transferring,         // a whole preset on its way
        Connected,            // agreed, free for edits and commands
        ChangingSlot,         // the preset list chose another slot
        Storing,              // "Store Preset"
        WritingSettings,      // the device settings dialog's writes
        AskingStore,          // "Store Preset?" before a disconnect
        AskingStoreForClose,  // ... before the window closes
        AskingSaveForClose,   // "Do you want to save the current preset?" then
        StoringBeforeDisconnect,
        Disconnecting,
        StoringBeforeClose,
        DisconnectingForClose,
    };
    // What a change of the current record means to those who show it.
    enum class RecordChange {
        Changing, // a drag or a typed value in progress: no undo step yet
        Edited,   // an edit finished, or undone or redone
        Replaced, // a different preset as a whole: read, opened, laid out
    };
    enum class EditStep { Changing, Done };
    using DeviceSettings = codec::DeviceSettings;

    explicit EditorSession(QObject *parent = nullptr, comm::CTransactionEngine *engine = nullptr);
    ~EditorSession() override;

    // Not owned; the window that shows this session, or a test's script.
    // Without one every question is answered No and nothing is shown.
    void setPrompts(EditorPrompts *prompts) { m_prompts = prompts; }
    // Wait boxes and pauses of the cycle multiplied by SCALE (tests).
    void setWaitTimeScale(double scale) { m_waitScale = scale < 0 ? 0 : scale; }
    double waitTimeScale() const { return m_waitScale; }

    // ---- What the editor holds ----------------------------------------------
    // The memory itself, for readers (and for tests that set up a preset
    // before a connection). A change made here is shown after
    // currentRecordReplaced().
    preset::PresetMemory &presets() { return m_presets; }
    const preset::PresetMemory &presets() const { return m_presets; }
    const preset::PresetRecord &currentRecord() const { return m_presets.currentRecord(); }
    int currentSlot() const { return m_presets.current(); }
    DeviceSettings &deviceSettings() { return m_deviceSettings; }
    const DeviceSettings &deviceSettings() const { return m_deviceSettings; }
    std::array<PresetListEntry, preset::kPresetCount> presetList() const;

    bool isLocalModified() const { return m_localModified; }
    bool isDeviceModified() const { return m_deviceModified; }
    void setLocalModified(bool modified);
    void setDeviceModified(bool modified);
    bool isLocked() const;
    bool isStereoLinked() const { return m_stereoLink; }
    // Caption of the "Mute All" button: what pressing it does next.
    QString muteAllCaption() const;

    const Selection &selection() const { return m_selection; }
    void setSelection(const Selection &selection);

    QUndoStack *undoStack() const { return m_undo; }

    // ---- Edits of the current preset ----------------------------------------
    // Each finished edit is one undo step and, while connected, one batch of
    // writes to the unit; a Changing step only moves the record along.
    void setFader(int channel, model::FaderChange change, float value, EditStep step = EditStep::Done);
    void muteAll();
    void setStereoLink(bool on);
    void setRoute(int channel, std::uint32_t route);
    void setDelay(int channel, float stored, EditStep step);
    void setBand(int channel, int band, const preset::EqBand &value, EditStep step);
    // A marker drag: frequency and gain of every band of CHANNEL.
    void setBandMarkers(int channel, const std::array<std::pair<std::uint32_t, float>, preset::kBandCount> &markers,
                        EditStep step);
    void setCrossover(int output, model::CrossoverSide side, const preset::CrossoverFilter &filter, EditStep step);
    // A marker drag: the high-cut and low-cut frequency of every output.
    void setCrossoverMarkers(const std::array<std::pair<std::uint32_t, std::uint32_t>, preset::kOutputCount> &markers,
                             EditStep step);
    void setDynamics(int output, const preset::Dynamics &dynamics, EditStep step);
    void setNoiseGate(int output, const preset::NoiseGate &gate, EditStep step);
    void setPresetName(const std::string &name);
    void setAuthor(const std::string &author);
    void setChannelName(int channel, const std::string &name);
    void setLocked(bool locked);
    // The items copied; undoable like any edit.
    int copyChannels(const model::ChannelCopy &copy);

    // The fitted bands of CHANNEL as one edit: one undo step and, while
    // connected, one batch of writes.
    void applyFittedBands(int channel, const measurement::Bands &bands);

    // ---- Measurements ------------------------------------------------------------
    // One measured response per channel, kept with the window for the
    // diagrams and the fit; never part of the preset or its file.
    struct ChannelMeasurement {
        measurement::Measurement data;
        QString name; // the file's name, for the diagrams and the report
    };
    const std::optional<ChannelMeasurement> &measurementOf(int channel) const;
    bool hasMeasurements() const;
    // One line per measurement for the report: channel, file, points,
    // frequency range, whether it has a phase.
    QStringList measurementLines() const;
    // Reads a measurement file for CHANNEL; on failure nothing changes and
    // the text says why (with the line).
    bool loadMeasurement(int channel, const QString &path, QString *why = nullptr);
    void setMeasurement(int channel, measurement::Measurement data, const QString &name);
    void clearMeasurement(int channel);
    // Whether measurements are shown at 0 dB over 200 Hz-2 kHz.
    bool normalisesMeasurements() const { return m_normaliseMeasurements; }
    void setNormaliseMeasurements(bool on);

    // ---- Whole presets ----------------------------------------------------------
    // The current record was replaced from outside (a test, the document's
    // own open): it is shown anew and its undo history goes.
    void currentRecordReplaced();
    // Reads a .vpx or .vpf file (extension as written) into the current
    // preset and, while connected, sends it to the unit. Nothing changes
    // when the file cannot be read; the result says why.
    preset::Result readPresetFile(const QString &path);
    // The same with the reason or the file's notices shown.
    bool openPresetFile(const QString &path);
    bool savePresetFile(const QString &path);
    void applyFactoryLayout(int layout);

    // ---- The unit -------------------------------------------------------------
    CycleState cycleState() const { return m_state; }
    // "Idle", "Connecting", "Connected" or "Disconnecting".
    QString connectionPhase() const;
    // Editor and unit have agreed on a slot (the status panes show the unit).
    bool isConnected() const;
    // A link is up or being taken down.
    bool isLinked() const;
    // A step of the cycle is under way; other commands wait for it.
    bool isBusy() const;
    bool writesGoOut() const;
    QString statusText() const { return m_statusText; }
    void showStatus(const QString &text);

    comm::CCommunicationmodul &link() { return *m_link; }
    const comm::CRemoteWatch &remoteWatch() const { return *m_watch; }
    bool isRemoteWatchOn() const;
    void setRemoteWatch(bool on);

    // Connect pressed while nothing is linked: opens the link of the given
    // kind and starts the cycle. false when nothing was started.
    bool connectToUnit(comm::CCommunicationmodul::ConnectionType type, const QString &port, int netId);
    // Connect pressed while connected ("Disconnect"): "Store Preset?", then
    // the disconnect.
    void disconnectFromUnit();
    // The window is closing while linked: the questions, then the
    // disconnect; closeReady() follows once the unit has let go. false when
    // nothing is linked (close at once).
    bool closeWhileLinked();
    // The preset list chose slot INDEX (0 to 31).
    void chooseSlot(int index);
    void storePreset();
    void writeDeviceSettings(const std::string &name, bool keyboardLock, std::uint32_t password);

signals:
    void currentRecordChanged(zar40::editor::EditorSession::RecordChange change);
    // An entry of the preset list or the selected slot changed.
    void presetListChanged();
    void modifiedChanged();
    void stereoLinkChanged(bool on);
    void selectionChanged();
    void cycleStateChanged(zar40::editor::EditorSession::CycleState state);
    void statusTextChanged(const QString &text);
    void remoteWatchChanged(bool on);
    // The window may close now.
    void closeReady();
    // Every parameter write handed to the connection, in sending order.
    void parameterWritten(int code, int address, uint value);
    // A preset file was opened or saved (for the list of recent files).
    void presetFileUsed(const QString &path);
    // A measurement was loaded or cleared, or the normalisation changed.
    void measurementsChanged();

private:
    friend class RecordEdit;

    // CommPrompts
    void information(const QString &text) override;
    void error(const QString &text) override;
    std::optional<QString> enterPassword() override;
    // TransferUi
    std::unique_ptr<comm::WaitWindow> openWaitWindow(const QString &title, int total) override;
    void setEditorEnabled(bool enabled) override;

    // ---- Edits
    void edit(EditStep step, const QString &text, const std::function<void(preset::PresetRecord &)> &change,
              const std::function<model::WriteBatch(const preset::PresetRecord &, const preset::PresetRecord &)>
                  &writes = {});
    void editDone(const model::WriteBatch &writes);
    void restoreRecord(int slot, const preset::PresetRecord &record, const model::WriteBatch &writes);
    void sendWrites(const model::WriteBatch &writes);
    void replaced();
    void checkPresetList();
    bool transferCurrentPreset();

    // ---- The cycle
    void setState(CycleState state);
    // A callback that runs only while nothing has moved the cycle on since
    // it was made.
    std::function<void()> guarded(std::function<void()> then);
    template <typename Arg>
    std::function<void(Arg)> guarded(std::function<void(Arg)> then);
    // Shows a wait box; the state's next step runs once it has closed and,
    // if AWAITED is a request code, the unit has answered it.
    void waitFor(const QString &text, int ms, int awaited);
    void stepDone();
    int scaled(int ms) const;
    void onNotification(comm::CCommunicationmodul::Notification code);
    void onReplied(const codec::Message &request, const codec::Message &reply);
    void onSlotChosen(int slot);
    void askDirection();
    void readDevicePreset();
    void askSaveThen(std::function<void()> then);
    void startDisconnect(bool store, bool forClose);
    void linkLost(const QString &status, const QString &message);

    preset::PresetMemory m_presets{};
    DeviceSettings m_deviceSettings{};
    bool m_localModified = false;
    bool m_deviceModified = false;
    bool m_stereoLink = false;
    Selection m_selection;
    // What presetListChanged last announced: the entries and the selected slot.
    std::array<PresetListEntry, preset::kPresetCount> m_shownList{};
    int m_shownSlot = 0;
    QUndoStack *m_undo;
    std::optional<preset::PresetRecord> m_editStart;
    std::array<std::optional<ChannelMeasurement>, preset::kChannelCount> m_measurements;
    bool m_normaliseMeasurements = true;

    EditorPrompts *m_prompts = nullptr;
    double m_waitScale = 1.0;
    CycleState m_state = CycleState::Idle;
    // Bumped by every move of the cycle; a callback made before is stale.
    quint64 m_ticket = 0;
    // The wait of the current state: its box still showing, the request
    // code whose reply is still due (or -1).
    bool m_waitBoxOpen = false;
    int m_awaitedReply = -1;
    QString m_statusText;
    // Owned here; deleted in this order before the session's members go.
    comm::CCommunicationmodul *m_link;
    comm::CRemoteWatch *m_watch;
};

} // namespace zar40::editor
