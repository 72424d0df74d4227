#pragma once

#include "DocView.h"

#include "zar40/comm/communicationmodul.h"
#include "zar40/comm/remotewatch.h"
#include "zar40/comm/transferui.h"
#include "userpromptsadapter.h"

#include "zar40/model/parameter_writes.h"
#include "zar40/preset/record.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CZARDocument;
namespace zar40::panels {
class CZAR40Static;
}
class QCheckBox;
class QStackedWidget;
class QTabWidget;
class QUndoStack;
namespace zar40::editors {
class CCrossoverEditor;
class CDynamicsEditor;
class CEqChannelEditor;
class CGainSlider;
class CNoiseGateEditor;
} // namespace zar40::editors
namespace zar40::panels {
class CCalculatorPanel;
class CDelayPanel;
class CPresetInfoBox;
class CSignalFlow;
} // namespace zar40::panels
namespace zar40::diagrams {
class CCross_Magnitude_Diagramm;
class CCross_Phase_Diagramm;
class CDynamik_Diagramm;
class CPEQ_Frequenz_Diagramm;
class CPEQ_Phase_Diagramm;
} // namespace zar40::diagrams
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

// The ZAR40 editor's main view: the connection controls on top and, below,
// what the editor knows of the current preset.
class CZARDocumentView : public CView, private zar40::comm::TransferUi
{
    Q_OBJECT
    // Readable through the meta-object so that callers outside the plug-in
    // (tests, the host) see the connection's progress without its symbols.
    Q_PROPERTY(QString connectionState READ connectionStateName NOTIFY connectionStateChanged)
public:
    enum class ConnectionState { Idle, Connecting, Connected, Disconnecting };

    CZARDocumentView();
    ~CZARDocumentView() override;

    CZARDocument *zarDocument() const;
    void onInitialUpdate() override;

    // ---- Connection, device slots and commands (ZARDocumentViewConnection.cpp,
    //      ZARDocumentViewCommands.cpp)

    // Shortens every wait box and pause of the connection cycle (tests); 1.0
    // keeps the documented times.
    Q_PROPERTY(double waitTimeScale READ waitTimeScale WRITE setWaitTimeScale)
    Q_PROPERTY(bool remoteWatch READ isRemoteWatchOn NOTIFY statusChanged)
    // Polling cycles finished since RemoteWatch was last switched on.
    Q_PROPERTY(int remoteWatchCycles READ remoteWatchCycles)

    ConnectionState connectionState() const { return m_connState; }
    QString connectionStateName() const;
    // Whether a link to a unit is up (or being taken down).
    bool isLinked() const;
    // The editor and a unit agree on a slot: the cycle after connecting is done.
    bool isConnected() const { return m_connected; }
    // The frame is closing while linked: asks "Store Preset?" and about
    // unsaved work, then asks the unit to disconnect; the frame closes on the
    // closed notification. false when nothing is linked (close at once).
    bool disconnectForClose();
    // Closing while not linked: offers to save a local-modified preset.
    // false keeps the frame open.
    bool confirmDiscard();
    // A preset transfer is running; the commands wait for it.
    bool isBusy() const;

    double waitTimeScale() const { return m_waitScale; }
    void setWaitTimeScale(double scale) { m_waitScale = scale < 0 ? 0 : scale; }
    bool isRemoteWatchOn() const;
    int remoteWatchCycles() const;

    // The texts of the frame's status panes.
    QString deviceNamePaneText() const;
    QString deviceNumberPaneText() const;
    QString informationPaneText() const;
    QString localStatePaneText() const;
    QString deviceStatePaneText() const;

public Q_SLOTS:
    void onOpenPreset();
    void onSavePreset();
    void onClosePreset();
    void onCopyChannelSetup();
    void onDeviceSettings();
    void onFirmwareUpdate();
    void onHtmlReport();
    // LAYOUT indexes zar40::preset::factoryLayouts().
    void onQuickSetup(int layout);
    void onHelpTopics();
    void onAbout();
    void onStorePreset();

Q_SIGNALS:
    void connectionStateChanged();
    // The frame may close now: the unit has let go of the connection.
    void closeReady();
    // A pane text or the enabled state of a command may have changed.
    void statusChanged();
    // The frame's size for the level panel shown (900 x 770) or hidden.
    void frameSizeWanted(const QSize &size);

private:
    // The group of connection controls, wired to the connection object.
    QWidget *buildConnectionBar();
    // TransferUi
    std::unique_ptr<zar40::comm::WaitWindow> openWaitWindow(const QString &title, int total) override;
    void setEditorEnabled(bool enabled) override;

    void onTypeChanged(int index);
    void onConnectClicked();
    void onPresetChosen(int index);
    void onRemoteWatchToggled(bool on);
    void onFindUnits();
    void onNotification(zar40::comm::CCommunicationmodul::Notification code);
    void onReplied(const zar40::codec::Message &request, const zar40::codec::Message &reply);
    void setConnState(ConnectionState state, const QString &status);
    void fillPorts();
    void fillPresetList();
    // The controls of a unit that is not (or no longer) connected.
    void resetConnectionControls();

    // The cycle after connecting, step by step.
    void onSlotChosen(int slot);
    void reconcileWithDevice();
    void readDevicePreset();
    // Shows a wait box with TEXT for MS (scaled) and runs THEN when it has
    // closed and, if AWAITED is a request code, the unit has answered it. A
    // reset of the connection drops THEN.
    void afterWaitBox(const QString &text, int ms, int awaited, std::function<void()> then);
    void runStepIfReady();
    void stopPolling();
    // The record on screen changed as a whole (read, opened, layout, copy).
    void refreshEverything();
    void setLocalModified(bool modified);
    void setDeviceModified(bool modified);
    // Writes the current preset to the unit when a write is possible now.
    bool transferCurrentPreset();
    bool savePreset();
    int scaled(int ms) const;

    zar40::ui::UserPromptsForComm m_promptsAdapter{this};
    zar40::comm::CCommunicationmodul *m_link = nullptr;
    zar40::comm::CRemoteWatch *m_watch = nullptr;
    ConnectionState m_connState = ConnectionState::Idle;
    bool m_connected = false;
    bool m_closePending = false;
    // The closing sequence has asked about unsaved work already.
    bool m_closeConfirmed = false;
    bool m_failed = false;
    bool m_transferRunning = false;
    double m_waitScale = 1.0;
    // Bumped whenever the link resets; a waiting step of an older link is
    // dropped.
    int m_generation = 0;
    struct PendingStep {
        int generation = 0;
        int awaited = -1; // request code whose reply is still due, or -1
        bool boxOpen = false;
        std::function<void()> then;
    };
    std::optional<PendingStep> m_step;

    QComboBox *m_type = nullptr;
    QLabel *m_portLabel = nullptr;
    QComboBox *m_port = nullptr;
    QLabel *m_netIdLabel = nullptr;
    QSpinBox *m_netId = nullptr;
    QPushButton *m_findUnits = nullptr;
    QPushButton *m_connect = nullptr;
    QComboBox *m_presetList = nullptr;
    QPushButton *m_store = nullptr;
    QPushButton *m_report = nullptr;
    QCheckBox *m_remoteWatch = nullptr;
    zar40::panels::CZAR40Static *m_levelPanel = nullptr;
    QLabel *m_status = nullptr;

    // ---- The editors and what they show (ZARDocumentView.cpp)

    // Which of the six editor groups is shown below the main tabs (0 faders,
    // 1 delay, 2 equalizer, 3 crossover, 4 dynamics, 5 preset information).
    Q_PROPERTY(int editorGroup READ editorGroup WRITE showEditorGroup)
    Q_PROPERTY(bool stereoLink READ isStereoLinked)
public:
    // The plug-in's Edit menu takes its undo and redo actions from here.
    QUndoStack *undoStack() const { return m_undo; }
    int editorGroup() const;
    void showEditorGroup(int group);
    bool isStereoLinked() const;
    // Whether edits reach the unit now: connected and free for writes.
    bool writesGoOut() const;
    void onUpdate(CView *sender, int hint) override;

Q_SIGNALS:
    // Every parameter write handed to the connection, in sending order.
    void parameterWritten(int code, int address, uint value);

private:
    friend class ZarRecordEdit;

    QWidget *buildEditors();
    QWidget *buildFaderBank();
    QWidget *buildDiagramPages();
    void wireEditors();

    // A preset replaced as a whole (read from the unit, opened, laid out):
    // every control shows it again and the undo history of the old one goes.
    void refreshSummary();
    // Every control, diagram and tool tip from the current record.
    void refreshControls();
    void refreshDiagrams();
    void refreshToolTips();
    void refreshLock();
    void updatePageEnabling();

    // One edit of the current record: remember the record before its first
    // change (a drag changes it many times), then make it one undo step that
    // sends WRITES.
    zar40::preset::PresetRecord &beginEdit();
    void commitEdit(const QString &text, const std::vector<zar40::model::ParameterWrite> &writes);
    void commitFieldEdit(const QString &text);
    // Undo and redo: RECORD becomes slot SLOT's record again.
    void restoreRecord(int slot, const zar40::preset::PresetRecord &record,
                       const std::vector<zar40::model::ParameterWrite> &writes);
    void editDone(const std::vector<zar40::model::ParameterWrite> &writes);
    void sendWrites(const std::vector<zar40::model::ParameterWrite> &writes);

    void onFaderChanging(int channel, float gain);
    void onFaderEdit(int channel, zar40::model::FaderChange change, float value);
    void onMuteAll();
    void onStereoLinkToggled(bool on);
    void onDiagramNotification(QWidget *sender, int controlId, int code, int item);
    void onBlockClicked(int kind, int channel);
    void onRouteChosen(int channel, std::uint32_t route);
    void selectionChanged();

    QWidget *m_summary = nullptr; // the editor area below the connection bar
    QUndoStack *m_undo = nullptr;
    std::optional<zar40::preset::PresetRecord> m_editStart;
    bool m_refreshing = false;
    // What the diagrams and the calculator were last given: an edit that
    // leaves it alone (a fader, a name) repaints no curve.
    std::optional<zar40::preset::PresetRecord> m_drawnRecord;
    std::array<int, 5> m_drawnSelection{};

    QTabWidget *m_mainTabs = nullptr;
    QStackedWidget *m_groups = nullptr;
    std::array<zar40::editors::CGainSlider *, zar40::preset::kChannelCount> m_faders{};
    QPushButton *m_muteAll = nullptr;
    QCheckBox *m_stereoLink = nullptr;
    zar40::panels::CDelayPanel *m_delayPanel = nullptr;
    zar40::panels::CCalculatorPanel *m_calculator = nullptr;
    QTabWidget *m_eqTabs = nullptr;
    std::array<zar40::editors::CEqChannelEditor *, zar40::preset::kChannelCount> m_eqEditors{};
    QTabWidget *m_crossoverTabs = nullptr;
    std::array<zar40::editors::CCrossoverEditor *, zar40::preset::kOutputCount> m_crossoverEditors{};
    QTabWidget *m_dynamicsTabs = nullptr;
    std::array<zar40::editors::CDynamicsEditor *, zar40::preset::kOutputCount> m_dynamicsEditors{};
    std::array<zar40::editors::CNoiseGateEditor *, zar40::preset::kOutputCount> m_gateEditors{};
    zar40::panels::CPresetInfoBox *m_infoBox = nullptr;
    zar40::panels::CSignalFlow *m_signalFlow = nullptr;
    QStackedWidget *m_magnitudeStack = nullptr;
    QStackedWidget *m_phaseStack = nullptr;
    zar40::diagrams::CPEQ_Frequenz_Diagramm *m_eqMagnitude = nullptr;
    zar40::diagrams::CPEQ_Phase_Diagramm *m_eqPhase = nullptr;
    zar40::diagrams::CCross_Magnitude_Diagramm *m_crossMagnitude = nullptr;
    zar40::diagrams::CCross_Phase_Diagramm *m_crossPhase = nullptr;
    zar40::diagrams::CDynamik_Diagramm *m_dynamics = nullptr;
};
