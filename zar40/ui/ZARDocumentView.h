#pragma once

#include "doc_view.h"

#include "zar40/editor/EditorPrompts.h"
#include "zar40/editor/EditorSession.h"
#include "zar40/preset/record.h"

#include <QPointer>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class CZARDocument;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSplitter;
class QSpinBox;
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
class CZAR40Static;
} // namespace zar40::panels
namespace zar40::diagrams {
class CCross_Magnitude_Diagramm;
class CCross_Phase_Diagramm;
class CDynamik_Diagramm;
class CPEQ_Frequenz_Diagramm;
class CPEQ_Phase_Diagramm;
} // namespace zar40::diagrams

// The ZAR40 editor's main view: the connection controls on top and, below,
// the editors of the current preset. It shows the document's editor session
// and hands every gesture to it; it holds no editor state of its own. It
// also answers the session's questions with the editor's dialogs.
class CZARDocumentView : public CView, private zar40::editor::EditorPrompts
{
    Q_OBJECT
    // Readable through the meta-object so that callers outside the plug-in
    // (tests, the host) see the connection's progress without its symbols.
    Q_PROPERTY(QString connectionState READ connectionStateName NOTIFY connectionStateChanged)
    // Shortens every wait box and pause of the connection cycle (tests); 1.0
    // keeps the documented times.
    Q_PROPERTY(double waitTimeScale READ waitTimeScale WRITE setWaitTimeScale)
    Q_PROPERTY(bool remoteWatch READ isRemoteWatchOn NOTIFY statusChanged)
    // Polling cycles finished since RemoteWatch was last switched on.
    Q_PROPERTY(int remoteWatchCycles READ remoteWatchCycles)
    // Which of the six editor groups is shown below the main tabs (0 faders,
    // 1 delay, 2 equalizer, 3 crossover, 4 dynamics, 5 preset information).
    Q_PROPERTY(int editorGroup READ editorGroup WRITE showEditorGroup)
    Q_PROPERTY(bool stereoLink READ isStereoLinked)
public:
    // Connects over CAN to NETID as if the user had chosen it and pressed
    // Connect (the units window's "Open Editor").
    void connectOverCan(int netId);
    // Opens the units window of this plug-in.
    void onUnitsWindow();
    CZARDocumentView();
    ~CZARDocumentView() override;

    CZARDocument *zarDocument() const;
    // The session of the document; null before the view is attached and
    // after the document is gone.
    zar40::editor::EditorSession *session() const;
    void onInitialUpdate() override;
    void onUpdate(CView *sender, int hint) override;

    QString connectionStateName() const;
    bool isLinked() const;
    bool isConnected() const;
    bool isBusy() const;
    // The frame is closing while linked: the session's closing questions,
    // then the disconnect; the frame closes on closeReady(). false when
    // nothing is linked (close at once).
    bool disconnectForClose();
    // Closing while not linked: offers to save a local-modified preset.
    // false keeps the frame open.
    bool confirmDiscard();

    double waitTimeScale() const;
    void setWaitTimeScale(double scale);
    bool isRemoteWatchOn() const;
    int remoteWatchCycles() const;
    int editorGroup() const;
    // The channel the measurement commands act on.
    int measurementChannel() const;
    void showEditorGroup(int group);
    bool isStereoLinked() const;
    bool writesGoOut() const;
    // The plug-in's Edit menu takes its undo and redo actions from here.
    QUndoStack *undoStack() const;

    // The texts of the frame's status panes.
    QString deviceNamePaneText() const;
    QString deviceNumberPaneText() const;
    QString informationPaneText() const;
    QString localStatePaneText() const;
    QString deviceStatePaneText() const;

public slots:
    void onOpenPreset();
    void onSavePreset();
    void onClosePreset();
    void onCopyChannelSetup();
    void onDeviceSettings();
    void onFirmwareUpdate();
    void onHtmlReport();
    // Measurements of the channel whose diagrams are shown (the equalizer's
    // channel, or the crossover's output while the crossovers are open).
    void onLoadMeasurement();
    void onClearMeasurement();
    // Measurements drawn at 0 dB over 200 Hz-2 kHz, or as measured.
    void onNormaliseMeasurements(bool on);
    void onFitEq();
    // LAYOUT indexes zar40::preset::factoryLayouts().
    void onQuickSetup(int layout);
    void onHelpTopics();
    void onAbout();
    void onStorePreset();

signals:
    void connectionStateChanged();
    // The frame may close now: the unit has let go of the connection.
    void closeReady();
    // A pane text or the enabled state of a command may have changed.
    void statusChanged();
    // The level panel came into view or went; the frame makes room.
    void levelPanelShown(bool shown);
    // Every parameter write handed to the connection, in sending order.
    void parameterWritten(int code, int address, uint value);
    // A preset file was opened or saved here (the host's recent files).
    void presetFileUsed(const QString &path);

private:
    // ---- EditorPrompts (ZARDocumentViewConnection.cpp)
    void askYesNo(const QString &text, std::function<void(bool)> answered) override;
    void askYesNoCancel(const QString &text, std::function<void(Answer)> answered) override;
    void chooseSlot(int number, std::function<void(std::optional<int>)> answered) override;
    void showWaitBox(const QString &text, int ms, std::function<void()> closed) override;
    void askSaveFileName(std::function<void(const QString &)> answered) override;
    std::optional<QString> enterPassword() override;
    void information(const QString &text) override;
    void error(const QString &text) override;
    std::unique_ptr<zar40::comm::WaitWindow> openTransferWindow(const QString &title, int total) override;

    // ---- Building and binding
    QWidget *buildConnectionBar();
    void buildEditors(); // into m_editorArea
    QWidget *buildFaderBank();
    // The editor group on show gets the height it needs, as far as the
    // picture above it leaves room; for the rest it scrolls.
    void fitEditorGroup();
    bool eventFilter(QObject *watched, QEvent *event) override;
    QWidget *buildDiagramPages();
    void wireConnectionBar();
    void fillPorts();
    void wireEditors();
    // Binds the view to the document's session once the document is there.
    void bindSession();

    // ---- Showing the session
    void showCycleState();
    void showPresetList();
    void showRecord(zar40::editor::EditorSession::RecordChange change);
    void showControls();
    void showDiagrams();
    void showMeasurements();
    void showToolTips();
    void showLock();
    void showSelection();
    void updatePageEnabling();

    // ---- Gestures
    void onTypeChanged(int index);
    void onConnectClicked();

    void onFindUnits();
    void onBlockClicked(int kind, int channel);
    void onDiagramNotification(QWidget *sender, int controlId, int code, int item);
    void onDiagramImageFailed();
    void tabsChanged();
    void crossoverChoiceMade(QObject *diagram);
    // Asks for a file name and saves the current preset there.
    bool savePreset();

    QPointer<zar40::editor::EditorSession> m_session;
    // Brings the tool tips up to date after an edit in progress.
    QTimer m_toolTipTimer;

    QComboBox *m_type = nullptr;
    QLabel *m_portLabel = nullptr;
    QComboBox *m_port = nullptr;
    QLabel *m_netIdLabel = nullptr;
    QSpinBox *m_netId = nullptr;
    QPushButton *m_findUnits = nullptr;
    QPushButton *m_unitsButton = nullptr;
    QPushButton *m_connect = nullptr;
    QComboBox *m_presetList = nullptr;
    QPushButton *m_store = nullptr;
    QPushButton *m_report = nullptr;
    QCheckBox *m_remoteWatch = nullptr;
    zar40::panels::CZAR40Static *m_levelPanel = nullptr;
    QLabel *m_status = nullptr;

    QSplitter *m_editorArea = nullptr; // the editors below the connection bar
    // What the diagrams and the calculator were last given: an edit that
    // leaves it alone (a fader, a name) repaints no curve.
    std::optional<zar40::preset::PresetRecord> m_drawnRecord;
    std::optional<zar40::editor::Selection> m_drawnSelection;
    std::array<int, 2> m_drawnPages{};
    // The session's measurements as the diagrams share them.
    std::array<std::shared_ptr<const zar40::measurement::Measurement>, zar40::preset::kChannelCount> m_measurements{};

    QTabWidget *m_mainTabs = nullptr;
    QStackedWidget *m_groups = nullptr;
    QScrollArea *m_groupScroller = nullptr;
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
    bool m_imageFailurePending = false; // "Can't create Bitmap" is on its way or open
};
