// The connection bar of the editor view and the connection cycle behind it:
// connect, agree with the unit on a slot, switch and store slots, watch
// levels, disconnect.
#include "ZARDocumentView.h"

#include "CSelectPreset.h"
#include "CWaitDialog.h"
#include "ZARDocument.h"
#include "ZARWaitWindow.h"
#include "zar40/ui/panels/level_panel.h"

#include "canbus/netid.h"
#include "zar40/comm/can/canwndtransport.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/commctrl.h"
#include "zar40/comm/communicationmodul.h"
#include "zar40/comm/remotewatch.h"
#include "zar40/comm/unitscan.h"

#include "UserPrompts.h"
#include "can/CCanWnd.h"
#include "can/CanMessages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

using zar40::comm::CCommunicationmodul;
using namespace zar40::codec;

namespace {

constexpr const char *kTimeOutText =
    "Communication ERROR.\nPlease verify that the COM-Port select is correct and the ZAR is correct connected.";
constexpr const char *kRefusedText = "Communication ERROR.\nThe connection to the ZAR is refused.";
constexpr const char *kStorePresetQuestion = "Store Preset?";
constexpr const char *kCopyPresetQuestion = "Copy Preset to ZAR?";
constexpr const char *kSaveCurrentQuestion = "Do you want to save the current preset?";
constexpr const char *kWaitChangeText = "Please wait\nwhile change Preset";
constexpr const char *kWaitChangingText = "Please wait\nwhile changing Preset";
constexpr const char *kWaitSavingText = "Please wait\nwhile saving";
constexpr int kChangeWaitMs = 3000;
constexpr int kSaveWaitMs = 6000;
// After the slot switch the unit needs a moment before the first transfer.
constexpr int kSettleMs = 500;
const QSize kEditorFrameSize(900, 650);
const QSize kFrameSizeWatching(900, 770);

// Net-ID 64 would give a CAN identifier outside the 11-bit range, so the
// field stops below it.
using canbus::kMaxNetId;

// A scan of the CAN bus through the host's CAN window: every Net-ID no
// editor uses is registered for the scan's time, so the replies come here.
class CanWindowUnitScan : public QObject
{
public:
    using Done = std::function<void(const QList<zar40::comm::FoundUnit> &found, const QList<int> &inUse)>;

    CanWindowUnitScan(CCanWnd *window, Done done, QObject *parent)
        : QObject(parent)
        , m_window(window)
        , m_done(std::move(done))
        , m_scanner([this](std::uint32_t id, const MessageBytes &data) { return send(id, data); })
    {
        QObject::connect(&m_scanner, &zar40::comm::UnitScanner::finished, this, [this] { finish(); });
    }
    ~CanWindowUnitScan() override { unregisterAll(); }

    void start()
    {
        for (int id = canbus::kMinNetId; id <= canbus::kMaxNetId; ++id) {
            if (m_window->clients[id - 1].canId == 0) {
                CanRequest r;
                r.id = id;
                r.client = this;
                r.clientHwnd = this;
                m_window->request(CAN_REGISTER, r);
            }
            if (m_window->clients[id - 1].client == this) m_registered << id;
            else m_inUse << id;
        }
        m_scanner.setSkipped(m_inUse);
        m_scanner.start();
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != CanNoticeEvent::eventType()) return QObject::event(event);
        const auto *notice = static_cast<const CanNoticeEvent *>(event);
        if (notice->code() == CAN_FRAME_RECEIVED && m_registered.contains(notice->netId()))
            m_scanner.frameReceived(canbus::identifierForNetId(notice->netId()), notice->data());
        return true;
    }

private:
    bool send(std::uint32_t id, const MessageBytes &data)
    {
        if (!m_window) return false;
        CanRequest r;
        r.id = static_cast<int>(id);
        r.client = this;
        r.clientHwnd = this;
        r.data = data.data();
        return m_window->request(CAN_SEND, r) == 1;
    }
    void unregisterAll()
    {
        if (m_window)
            for (int id : std::as_const(m_registered)) {
                CanRequest r;
                r.id = id;
                r.client = this;
                r.clientHwnd = this;
                m_window->request(CAN_UNREGISTER, r);
            }
        m_registered.clear();
    }
    void finish()
    {
        unregisterAll();
        if (m_done) m_done(m_scanner.units(), m_inUse);
        deleteLater();
    }

    QPointer<CCanWnd> m_window;
    Done m_done;
    zar40::comm::UnitScanner m_scanner;
    QList<int> m_registered;
    QList<int> m_inUse;
};

} // namespace

QWidget *CZARDocumentView::buildConnectionBar()
{
    m_link = new CCommunicationmodul(this);
    m_link->setPrompts(&m_promptsAdapter);
    m_link->setTransferUi(this);
    m_link->setCanTransportFactory(zar40::comm::canWindowTransportFactory());
    connect(m_link, &CCommunicationmodul::notification, this, &CZARDocumentView::onNotification);
    connect(m_link, &CCommunicationmodul::replied, this, &CZARDocumentView::onReplied);
    connect(m_link, &CCommunicationmodul::presetWritten, this, [this] { Q_EMIT statusChanged(); });
    m_watch = new zar40::comm::CRemoteWatch(m_link, this);

    auto *connectionGroup = new QGroupBox(tr("Connection"), this);
    m_type = new QComboBox(connectionGroup);
    m_type->setObjectName(QStringLiteral("connectionType"));
    m_type->addItems({QStringLiteral("RS232"), QStringLiteral("CAN")});

    m_portLabel = new QLabel(tr("ComPort"), connectionGroup);
    m_port = new QComboBox(connectionGroup);
    m_port->setObjectName(QStringLiteral("portCombo"));
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_port->setMinimumContentsLength(20);
    m_portLabel->setBuddy(m_port);
    fillPorts();

    m_netIdLabel = new QLabel(tr("Net-ID"), connectionGroup);
    m_netId = new QSpinBox(connectionGroup);
    m_netId->setObjectName(QStringLiteral("netIdSpin"));
    m_netId->setRange(1, kMaxNetId);
    m_netId->setValue(1);
    m_netIdLabel->setBuddy(m_netId);

    m_findUnits = new QPushButton(tr("Find units"), connectionGroup);
    m_findUnits->setObjectName(QStringLiteral("findUnitsButton"));
    m_findUnits->setToolTip(tr("List the units on the CAN bus and pick one"));

    m_connect = new QPushButton(tr("Connect"), connectionGroup);
    m_connect->setObjectName(QStringLiteral("connectButton"));

    auto *conn = new QHBoxLayout(connectionGroup);
    conn->addWidget(m_type);
    conn->addWidget(m_portLabel);
    conn->addWidget(m_port, 1);
    conn->addWidget(m_netIdLabel);
    conn->addWidget(m_netId);
    conn->addWidget(m_findUnits);
    conn->addWidget(m_connect);

    auto *presetGroup = new QGroupBox(tr("Preset"), this);
    m_presetList = new QComboBox(presetGroup);
    m_presetList->setObjectName(QStringLiteral("presetList"));
    m_presetList->setMinimumContentsLength(22);
    m_store = new QPushButton(tr("Store Preset"), presetGroup);
    m_store->setObjectName(QStringLiteral("storeButton"));
    m_report = new QPushButton(tr("Html-Report"), presetGroup);
    m_report->setObjectName(QStringLiteral("reportButton"));
    m_remoteWatch = new QCheckBox(tr("RemoteWatch"), presetGroup);
    m_remoteWatch->setObjectName(QStringLiteral("remoteWatch"));
    auto *presetRow = new QHBoxLayout(presetGroup);
    presetRow->addWidget(m_presetList, 1);
    presetRow->addWidget(m_store);
    presetRow->addWidget(m_report);
    presetRow->addWidget(m_remoteWatch);

    m_levelPanel = new zar40::panels::CZAR40Static(this);
    m_levelPanel->setObjectName(QStringLiteral("levelPanel"));
    m_levelPanel->hide();
    connect(m_watch, &zar40::comm::CRemoteWatch::levelsChanged, this, [this] {
        for (int i = 0; i < zar40::comm::CRemoteWatch::kLevelCount; ++i)
            m_levelPanel->setLevel(i, m_watch->levels()[static_cast<std::size_t>(i)]);
    });
    connect(m_watch, &zar40::comm::CRemoteWatch::potsChanged, this, [this] {
        for (int i = 0; i < zar40::comm::CRemoteWatch::kPotCount; ++i)
            m_levelPanel->setPot(i, m_watch->pots()[static_cast<std::size_t>(i)]);
    });
    connect(m_watch, &zar40::comm::CRemoteWatch::muteStateChanged, m_levelPanel,
            &zar40::panels::CZAR40Static::setMuteState);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->hide(); // shown in the frame's information pane

    auto *connectionBar = new QWidget(this);
    connectionBar->setObjectName(QStringLiteral("connectionBar"));
    auto *groups = new QHBoxLayout;
    groups->setContentsMargins(0, 0, 0, 0);
    groups->addWidget(connectionGroup, 1);
    groups->addWidget(presetGroup, 1);
    auto *column = new QVBoxLayout(connectionBar);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(groups);
    column->addWidget(m_levelPanel);

    connect(m_type, &QComboBox::currentIndexChanged, this, &CZARDocumentView::onTypeChanged);
    connect(m_connect, &QPushButton::clicked, this, &CZARDocumentView::onConnectClicked);
    connect(m_findUnits, &QPushButton::clicked, this, &CZARDocumentView::onFindUnits);
    connect(m_presetList, &QComboBox::activated, this, &CZARDocumentView::onPresetChosen);
    connect(m_store, &QPushButton::clicked, this, &CZARDocumentView::onStorePreset);
    connect(m_report, &QPushButton::clicked, this, &CZARDocumentView::onHtmlReport);
    connect(m_remoteWatch, &QCheckBox::toggled, this, &CZARDocumentView::onRemoteWatchToggled);
    onTypeChanged(0);
    resetConnectionControls();
    setConnState(ConnectionState::Idle, tr("Idle"));
    // The document is attached only after construction.
    QTimer::singleShot(0, this, [this] {
        fillPresetList();
        Q_EMIT statusChanged();
    });
    return connectionBar;
}

void CZARDocumentView::fillPorts()
{
    const QString preset = qEnvironmentVariable("VRN_ZAR40_PORT");
    if (!preset.isEmpty()) m_port->addItem(preset);
    for (const auto &entry : zar40::comm::CCommCtrl::enumeratePorts()) {
        if (entry.systemLocation != preset) m_port->addItem(entry.systemLocation);
    }
}

void CZARDocumentView::fillPresetList()
{
    const CZARDocument *doc = zarDocument();
    if (!doc) return;
    const QSignalBlocker block(m_presetList);
    m_presetList->clear();
    for (const zar40::preset::PresetRecord &r : doc->presets.records) {
        QString text = QStringLiteral(" %1 %2").arg(r.number + 1).arg(QString::fromLatin1(zar40::preset::textOf(r.NAME)));
        if (zar40::preset::isLocked(r.PRESET_FLAGS)) text += tr("  (locked)");
        m_presetList->addItem(text);
    }
    m_presetList->setCurrentIndex(doc->presets.current());
}

QString CZARDocumentView::connectionStateName() const
{
    switch (m_connState) {
    case ConnectionState::Idle: return QStringLiteral("Idle");
    case ConnectionState::Connecting: return QStringLiteral("Connecting");
    case ConnectionState::Connected: return QStringLiteral("Connected");
    case ConnectionState::Disconnecting: return QStringLiteral("Disconnecting");
    }
    return {};
}

bool CZARDocumentView::isLinked() const
{
    return m_connState == ConnectionState::Connected || m_connState == ConnectionState::Disconnecting;
}

bool CZARDocumentView::isBusy() const
{
    return m_transferRunning || m_step.has_value();
}

bool CZARDocumentView::isRemoteWatchOn() const
{
    return m_watch && m_watch->isEnabled();
}

int CZARDocumentView::remoteWatchCycles() const
{
    return m_watch ? m_watch->cycles() : 0;
}

int CZARDocumentView::scaled(int ms) const
{
    return static_cast<int>(ms * m_waitScale);
}

void CZARDocumentView::setConnState(ConnectionState state, const QString &status)
{
    const bool changed = state != m_connState;
    m_connState = state;
    m_status->setText(status);
    const bool idle = state == ConnectionState::Idle || state == ConnectionState::Connecting;
    m_type->setEnabled(idle);
    m_port->setEnabled(idle);
    m_netId->setEnabled(idle);
    m_findUnits->setEnabled(idle);
    m_connect->setText(idle ? tr("Connect") : tr("Disconnect"));
    m_connect->setEnabled(state != ConnectionState::Disconnecting && !m_transferRunning);
    const bool linked = state == ConnectionState::Connected;
    m_presetList->setEnabled(linked && !m_transferRunning);
    m_store->setEnabled(linked && !m_transferRunning);
    m_remoteWatch->setEnabled(linked);
    if (changed) Q_EMIT connectionStateChanged();
    Q_EMIT statusChanged();
}

void CZARDocumentView::resetConnectionControls()
{
    ++m_generation;
    m_step.reset();
    stopPolling();
    {
        const QSignalBlocker block(m_remoteWatch);
        m_remoteWatch->setChecked(false);
    }
    m_levelPanel->hide();
    m_levelPanel->clear();
    m_connected = false;
    Q_EMIT frameSizeWanted(kEditorFrameSize);
}

void CZARDocumentView::stopPolling()
{
    if (m_watch) m_watch->setEnabled(false);
}

void CZARDocumentView::onTypeChanged(int index)
{
    const bool serial = index == static_cast<int>(CCommunicationmodul::ConnectionType::SerialLine);
    m_portLabel->setVisible(serial);
    m_port->setVisible(serial);
    m_netIdLabel->setVisible(!serial);
    m_netId->setVisible(!serial);
    m_findUnits->setVisible(!serial);
}

void CZARDocumentView::onFindUnits()
{
    CCanWnd *window = CCanWnd::find();
    if (!window) {
        UserPrompts::current().error(tr("There is no CAN link in this program."), this);
        return;
    }
    m_findUnits->setEnabled(false);
    m_status->setText(tr("Looking for units on the CAN bus"));
    Q_EMIT statusChanged();
    QPointer<CZARDocumentView> self(this);
    auto *scan = new CanWindowUnitScan(window, [self](const QList<zar40::comm::FoundUnit> &found, const QList<int> &inUse) {
        if (!self) return;
        self->m_findUnits->setEnabled(self->m_connState == ConnectionState::Idle);
        self->m_status->setText(tr("%n unit(s) found", nullptr, static_cast<int>(found.size())));
        Q_EMIT self->statusChanged();
        QString inUseText;
        if (!inUse.isEmpty()) {
            QStringList ids;
            for (int id : inUse) ids << QString::number(id);
            inUseText = tr("\nNet-IDs in use by an editor, not asked: %1").arg(ids.join(QStringLiteral(", ")));
        }
        if (found.isEmpty()) {
            UserPrompts::current().information(tr("No unit answered on the CAN bus.") + inUseText, self);
            return;
        }
        QStringList items;
        for (const zar40::comm::FoundUnit &u : found) items << zar40::comm::describeUnit(u);
        const auto choice = UserPrompts::current().chooseItem(tr("Find units"), tr("Units on the CAN bus:") + inUseText,
                                                              items, self);
        if (self && choice && *choice >= 0 && *choice < found.size())
            self->m_netId->setValue(found[*choice].netId);
    }, this);
    scan->start();
}

void CZARDocumentView::onConnectClicked()
{
    if (m_connState == ConnectionState::Connected) {
        const bool store = UserPrompts::current().questionYesNo(QString::fromLatin1(kStorePresetQuestion), this);
        setConnState(ConnectionState::Disconnecting, tr("Disconnecting"));
        auto disconnectNow = [this] {
            stopPolling();
            m_link->postState(ReqDisconnect);
        };
        if (store) {
            m_link->postTransaction(ReqStorePreset, static_cast<std::uint16_t>(m_presetList->currentIndex() + 1), 0);
            setDeviceModified(false);
            // The disconnect drops whatever is queued: it waits for the store.
            afterWaitBox(QString::fromLatin1(kWaitSavingText), kSaveWaitMs, ReqStorePreset, disconnectNow);
        } else {
            disconnectNow();
        }
        return;
    }
    if (m_connState == ConnectionState::Disconnecting) return;

    using ConnectionType = CCommunicationmodul::ConnectionType;
    const int index = m_type->currentIndex();
    if (index != static_cast<int>(ConnectionType::SerialLine) && index != static_cast<int>(ConnectionType::CanBus)) return;
    const auto type = static_cast<ConnectionType>(index);
    m_link->setConnectionType(type);
    if (type == ConnectionType::SerialLine) {
        const QString port = m_port->currentText().trimmed();
        if (port.isEmpty()) {
            UserPrompts::current().error(tr("Please choose a serial port."), this);
            return;
        }
        m_link->setPort(port);
    } else {
        m_link->setNetId(m_netId->value());
    }
    m_failed = false;
    // A refused port has already been reported by the connection.
    if (!m_link->connectToDevice()) {
        setConnState(ConnectionState::Idle,
                     type == ConnectionType::CanBus ? tr("No CAN link for Net-ID %1").arg(m_netId->value())
                                                         : tr("Idle"));
        return;
    }
    setDeviceModified(false);
    setConnState(ConnectionState::Connecting, tr("Connecting"));
}

bool CZARDocumentView::disconnectForClose()
{
    if (!isLinked()) return false;
    if (m_closePending) return true;
    if (m_connState == ConnectionState::Connected) {
        UserPrompts &prompts = UserPrompts::current();
        const bool store = prompts.questionYesNo(QString::fromLatin1(kStorePresetQuestion), this);
        if (CZARDocument *doc = zarDocument(); doc && doc->isModified()) {
            if (prompts.questionYesNo(QString::fromLatin1(kSaveCurrentQuestion), this)) savePreset();
        }
        // A prompt may have outlived the link.
        if (m_connState != ConnectionState::Connected) return false;
        m_closeConfirmed = true;
        m_closePending = true;
        setConnState(ConnectionState::Disconnecting, tr("Disconnecting"));
        stopPolling();
        auto disconnectNow = [this] { m_link->postState(ReqDisconnect); };
        if (store) {
            m_link->postTransaction(ReqStorePreset, static_cast<std::uint16_t>(m_presetList->currentIndex() + 1), 0);
            setDeviceModified(false);
            // The disconnect drops whatever is queued: it waits for the store.
            afterWaitBox(QString::fromLatin1(kWaitSavingText), kSaveWaitMs, ReqStorePreset, disconnectNow);
        } else {
            disconnectNow();
        }
    } else {
        // Disconnecting already: the closed notification closes the frame.
        m_closePending = true;
    }
    return true;
}

void CZARDocumentView::afterWaitBox(const QString &text, int ms, int awaited, std::function<void()> then)
{
    m_step = PendingStep{m_generation, awaited, true, std::move(then)};
    auto *box = new CWaitDialog(this, text, scaled(ms));
    const int generation = m_generation;
    connect(box, &QDialog::finished, this, [this, generation] {
        if (!m_step || m_step->generation != generation) return;
        m_step->boxOpen = false;
        runStepIfReady();
    });
    box->start();
    Q_EMIT statusChanged();
}

void CZARDocumentView::runStepIfReady()
{
    if (!m_step || m_step->boxOpen || m_step->awaited >= 0) return;
    std::function<void()> then = std::move(m_step->then);
    m_step.reset();
    Q_EMIT statusChanged();
    if (then) then();
}

void CZARDocumentView::onReplied(const Message &request, const Message &)
{
    if (m_step && m_step->awaited == request.code) {
        m_step->awaited = -1;
        runStepIfReady();
    }
}

void CZARDocumentView::onNotification(CCommunicationmodul::Notification code)
{
    using Notification = CCommunicationmodul::Notification;
    switch (code) {
    case Notification::Connected: {
        setConnState(ConnectionState::Connected, tr("Connected"));
        CZARDocument *doc = zarDocument();
        if (!doc) break;
        // The dialog is opened, not run: replies and a lost link are handled
        // while it shows.
        auto *dialog = new CSelectPreset(this, doc->presets.current() + 1);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        const int generation = m_generation;
        const int before = doc->presets.current();
        connect(dialog, &QDialog::finished, this, [this, dialog, generation, before](int result) {
            if (generation != m_generation || m_connState != ConnectionState::Connected) return;
            onSlotChosen(result == QDialog::Accepted ? dialog->presetNumber() - 1 : before);
        });
        dialog->open();
        break;
    }
    case Notification::PresetRead:
        m_transferRunning = false;
        if (m_connState == ConnectionState::Connected) m_status->setText(tr("Connected"));
        refreshEverything();
        break;
    case Notification::Closed:
        m_transferRunning = false;
        if (m_closePending) {
            m_closePending = false;
            m_connState = ConnectionState::Idle;
            Q_EMIT closeReady();
            return;
        }
        resetConnectionControls();
        // A time-out or refusal closes the link before it is reported: its
        // message must stay readable.
        setConnState(ConnectionState::Idle, m_failed ? m_status->text() : tr("Connection closed"));
        break;
    case Notification::TimedOut:
    case Notification::Refused: {
        const bool timedOut = code == Notification::TimedOut;
        m_failed = true;
        m_transferRunning = false;
        // The connection has already shut itself down. The frame stays
        // open, so the user sees why.
        m_closePending = false;
        m_closeConfirmed = false;
        resetConnectionControls();
        setConnState(ConnectionState::Idle, timedOut ? tr("Communication time-out") : tr("Connection refused"));
        UserPrompts::current().error(QString::fromLatin1(timedOut ? kTimeOutText : kRefusedText), this);
        break;
    }
    }
}

void CZARDocumentView::onSlotChosen(int slot)
{
    CZARDocument *doc = zarDocument();
    if (!doc) return;
    // The editor's preset goes with the user to the chosen slot.
    const zar40::preset::PresetRecord current = doc->presets.currentRecord();
    doc->presets.setCurrent(slot);
    doc->presets.currentRecord() = current;
    fillPresetList();
    m_link->postTransaction(ReqLoadPreset, static_cast<std::uint16_t>(doc->presets.current() + 1), 0);
    afterWaitBox(QString::fromLatin1(kWaitChangeText), kChangeWaitMs, ReqLoadPreset, [this] {
        const int generation = m_generation;
        m_step = PendingStep{generation, -1, true, [this] { reconcileWithDevice(); }};
        QTimer::singleShot(scaled(kSettleMs), this, [this, generation] {
            if (!m_step || m_step->generation != generation) return;
            m_step->boxOpen = false;
            runStepIfReady();
        });
    });
}

void CZARDocumentView::reconcileWithDevice()
{
    CZARDocument *doc = zarDocument();
    if (!doc || m_connState != ConnectionState::Connected) return;
    UserPrompts &prompts = UserPrompts::current();
    if (prompts.questionYesNo(QString::fromLatin1(kCopyPresetQuestion), this)) {
        if (m_connState != ConnectionState::Connected) return;
        // Right after the password the protocol state still reads "connecting";
        // the transfer itself moves it on.
        m_link->writePreset(doc->presets.currentRecord());
    } else {
        if (doc->isModified()
            && prompts.questionYesNoCancel(QString::fromLatin1(kSaveCurrentQuestion), this) == UserPrompts::Answer::Yes)
            savePreset();
        // A prompt may have outlived the link.
        if (m_connState != ConnectionState::Connected) return;
        readDevicePreset();
        setLocalModified(true);
    }
    m_connected = true;
    setDeviceModified(true);
    Q_EMIT statusChanged();
}

void CZARDocumentView::readDevicePreset()
{
    CZARDocument *doc = zarDocument();
    if (!doc) return;
    m_status->setText(tr("Connected, reading preset"));
    m_transferRunning = true;
    m_link->readPreset(&doc->presets.currentRecord(), &doc->deviceSettings);
}

bool CZARDocumentView::transferCurrentPreset()
{
    CZARDocument *doc = zarDocument();
    if (!doc || !m_link->acceptsWrites() || m_link->job() != CCommunicationmodul::Job::None) return false;
    m_link->writePreset(doc->presets.currentRecord());
    return true;
}

void CZARDocumentView::onPresetChosen(int index)
{
    CZARDocument *doc = zarDocument();
    if (!doc || m_connState != ConnectionState::Connected || index < 0) return;
    if (index == doc->presets.current()) return;
    if (isBusy()) {
        // One slot change at a time; the list goes back to what is current.
        m_presetList->setCurrentIndex(doc->presets.current());
        return;
    }
    doc->presets.setCurrent(index);
    m_link->postTransaction(ReqLoadPreset, static_cast<std::uint16_t>(index + 1), 0);
    afterWaitBox(QString::fromLatin1(kWaitChangingText), kChangeWaitMs, ReqLoadPreset, [this] {
        if (m_connState != ConnectionState::Connected) return;
        readDevicePreset();
        setDeviceModified(false);
        setLocalModified(true);
    });
    refreshEverything();
}

void CZARDocumentView::onStorePreset()
{
    if (m_connState != ConnectionState::Connected || isBusy()) return;
    m_link->postTransaction(ReqStorePreset, static_cast<std::uint16_t>(m_presetList->currentIndex() + 1), 0);
    afterWaitBox(QString::fromLatin1(kWaitSavingText), kSaveWaitMs, ReqStorePreset, {});
    setDeviceModified(false);
}

void CZARDocumentView::onRemoteWatchToggled(bool on)
{
    if (on && m_connState != ConnectionState::Connected) {
        const QSignalBlocker block(m_remoteWatch);
        m_remoteWatch->setChecked(false);
        return;
    }
    m_levelPanel->setVisible(on);
    m_watch->setEnabled(on);
    Q_EMIT frameSizeWanted(on ? kFrameSizeWatching : kEditorFrameSize);
    Q_EMIT statusChanged();
}

void CZARDocumentView::setLocalModified(bool modified)
{
    if (CZARDocument *doc = zarDocument()) doc->setModifiedFlag(modified);
    Q_EMIT statusChanged();
}

void CZARDocumentView::setDeviceModified(bool modified)
{
    if (CZARDocument *doc = zarDocument()) doc->setDeviceModified(modified);
    Q_EMIT statusChanged();
}

void CZARDocumentView::refreshEverything()
{
    fillPresetList();
    refreshSummary();
    if (CZARDocument *doc = zarDocument()) doc->updateAllViews(this);
    Q_EMIT statusChanged();
}

QString CZARDocumentView::deviceNamePaneText() const
{
    const CZARDocument *doc = zarDocument();
    if (!doc || !m_connected) return {};
    return QString::fromLatin1(deviceName(doc->deviceSettings));
}

QString CZARDocumentView::deviceNumberPaneText() const
{
    const CZARDocument *doc = zarDocument();
    if (!doc || !m_connected) return QStringLiteral(" n.C. ");
    return QString::fromLatin1(deviceNumberText(deviceNumber(doc->deviceSettings)));
}

QString CZARDocumentView::informationPaneText() const
{
    return m_status ? m_status->text() : QString();
}

QString CZARDocumentView::localStatePaneText() const
{
    const CZARDocument *doc = zarDocument();
    return doc && doc->isModified() ? QStringLiteral("Local modified") : QStringLiteral("Local clean");
}

QString CZARDocumentView::deviceStatePaneText() const
{
    const CZARDocument *doc = zarDocument();
    if (!m_connected || !doc) return QStringLiteral("ZAR n.c.");
    return doc->isDeviceModified() ? QStringLiteral("ZAR modified") : QStringLiteral("ZAR clean");
}

std::unique_ptr<zar40::comm::WaitWindow> CZARDocumentView::openWaitWindow(const QString &title, int total)
{
    auto *widget = new CZARWaitWindowWidget(title, total, this);
    widget->show();
    return std::make_unique<CZARWaitWindow>(widget);
}

void CZARDocumentView::setEditorEnabled(bool enabled)
{
    m_transferRunning = !enabled;
    m_connect->setEnabled(enabled && m_connState != ConnectionState::Disconnecting);
    m_presetList->setEnabled(enabled && m_connState == ConnectionState::Connected);
    m_store->setEnabled(enabled && m_connState == ConnectionState::Connected);
    m_summary->setEnabled(enabled);
    Q_EMIT statusChanged();
}
