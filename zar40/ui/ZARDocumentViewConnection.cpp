// The connection bar of the editor view: the controls that start and end
// the session's connection cycle, its preset list and level panel, and the
// dialogs with which the view answers the session's questions.
#include "ZARDocumentView.h"

#include "SelectPreset.h"
#include "WaitDialog.h"
#include "ZARDocument.h"
#include "ZARWaitWindow.h"
#include "units/units_window.h"
#include "zar40/ui/panels/ZAR40Static.h"

#include "canbus/netid.h"
#include "zar40/comm/BusScheduler.h"
#include "zar40/comm/can/CanWndTransport.h"
#include "zar40/comm/can/can_window_claims.h"
#include "zar40/comm/CommCtrl.h"
#include "zar40/comm/CommPrompts.h"
#include "zar40/comm/RemoteWatch.h"
#include "zar40/comm/UnitScanner.h"

#include "user_prompts.h"
#include "can/CanWnd.h"
#include "can/can_messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QVBoxLayout>

using zar40::comm::CCommunicationmodul;
using zar40::editor::EditorSession;
using namespace zar40::codec;

namespace {

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
            if (zar40::comm::claimFreeNetId(m_window, id, this)) m_registered << id;
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
        // In turn with the traffic of the editors on the same bus.
        zar40::comm::windowScheduler(m_window)->submit(canbus::netIdForIdentifier(id), id, data);
        return true;
    }
    void unregisterAll()
    {
        for (int id : std::as_const(m_registered)) zar40::comm::releaseNetId(m_window, id, this);
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

    m_netIdLabel = new QLabel(tr("Net-ID"), connectionGroup);
    m_netId = new QSpinBox(connectionGroup);
    m_netId->setObjectName(QStringLiteral("netIdSpin"));
    m_netId->setRange(1, kMaxNetId);
    m_netId->setValue(1);
    m_netIdLabel->setBuddy(m_netId);

    m_findUnits = new QPushButton(tr("Find units"), connectionGroup);
    m_findUnits->setObjectName(QStringLiteral("findUnitsButton"));
    m_findUnits->setToolTip(tr("List the units on the CAN bus and pick one"));
    m_unitsButton = new QPushButton(tr("Units..."), connectionGroup);
    m_unitsButton->setObjectName(QStringLiteral("unitsWindowButton"));
    m_unitsButton->setAccessibleName(tr("Open the units window"));
    m_unitsButton->setToolTip(tr("Every unit on the CAN bus in one window"));

    m_connect = new QPushButton(tr("Connect"), connectionGroup);
    m_connect->setObjectName(QStringLiteral("connectButton"));

    auto *conn = new QHBoxLayout(connectionGroup);
    conn->addWidget(m_type);
    conn->addWidget(m_portLabel);
    conn->addWidget(m_port, 1);
    conn->addWidget(m_netIdLabel);
    conn->addWidget(m_netId);
    conn->addWidget(m_findUnits);
    conn->addWidget(m_unitsButton);
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

    fillPorts();
    onTypeChanged(0);
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

void CZARDocumentView::wireConnectionBar()
{
    EditorSession *s = m_session.data();
    s->link().setCanTransportFactory(zar40::comm::canWindowTransportFactory());
    const zar40::comm::CRemoteWatch *watch = &s->remoteWatch();
    connect(watch, &zar40::comm::CRemoteWatch::levelsChanged, this, [this, watch] {
        for (int i = 0; i < zar40::comm::CRemoteWatch::kLevelCount; ++i)
            m_levelPanel->setLevel(i, watch->levels()[static_cast<std::size_t>(i)]);
    });
    connect(watch, &zar40::comm::CRemoteWatch::potsChanged, this, [this, watch] {
        for (int i = 0; i < zar40::comm::CRemoteWatch::kPotCount; ++i)
            m_levelPanel->setPot(i, watch->pots()[static_cast<std::size_t>(i)]);
    });
    connect(watch, &zar40::comm::CRemoteWatch::muteStateChanged, m_levelPanel,
            &zar40::panels::CZAR40Static::setMuteState);
    connect(s, &EditorSession::remoteWatchChanged, this, [this](bool on) {
        {
            const QSignalBlocker block(m_remoteWatch);
            m_remoteWatch->setChecked(on);
        }
        if (m_levelPanel->isHidden() == on) {
            m_levelPanel->setVisible(on);
            if (!on) m_levelPanel->clear();
            emit levelPanelShown(on);
        }
        emit statusChanged();
    });

    connect(m_type, &QComboBox::currentIndexChanged, this, &CZARDocumentView::onTypeChanged);
    connect(m_connect, &QPushButton::clicked, this, &CZARDocumentView::onConnectClicked);
    connect(m_findUnits, &QPushButton::clicked, this, &CZARDocumentView::onFindUnits);
    connect(m_unitsButton, &QPushButton::clicked, this, &CZARDocumentView::onUnitsWindow);
    connect(m_presetList, &QComboBox::activated, this, [this](int index) {
        if (!m_session) return;
        m_session->chooseSlot(index);
        // A slot that could not be taken now: the list shows the current one.
        const QSignalBlocker block(m_presetList);
        m_presetList->setCurrentIndex(m_session->currentSlot());
    });
    connect(m_store, &QPushButton::clicked, this, &CZARDocumentView::onStorePreset);
    connect(m_report, &QPushButton::clicked, this, &CZARDocumentView::onHtmlReport);
    // The session's own changes are shown with the signal blocked.
    connect(m_remoteWatch, &QCheckBox::toggled, this, [this](bool on) {
        if (m_session) m_session->setRemoteWatch(on);
    });
}

void CZARDocumentView::showPresetList()
{
    const EditorSession *s = session();
    if (!s) return;
    const QSignalBlocker block(m_presetList);
    const auto entries = s->presetList();
    const bool fill = m_presetList->count() != static_cast<int>(entries.size());
    if (fill) m_presetList->clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        QString text = entries[i].text;
        if (entries[i].locked) text += tr("  (locked)");
        if (fill) m_presetList->addItem(text);
        else if (m_presetList->itemText(static_cast<int>(i)) != text)
            m_presetList->setItemText(static_cast<int>(i), text);
    }
    m_presetList->setCurrentIndex(s->currentSlot());
}

void CZARDocumentView::showCycleState()
{
    const EditorSession *s = session();
    if (!s) return;
    using State = EditorSession::CycleState;
    const State state = s->cycleState();
    const bool idle = state == State::Idle || state == State::Linking;
    m_type->setEnabled(idle);
    m_port->setEnabled(idle);
    m_netId->setEnabled(idle);
    m_findUnits->setEnabled(idle);
    m_connect->setText(idle ? tr("Connect") : tr("Disconnect"));
    m_connect->setEnabled(idle || state == State::Connected);
    const bool linked = s->isLinked() && state < State::StoringBeforeDisconnect;
    m_presetList->setEnabled(state == State::Connected);
    m_store->setEnabled(state == State::Connected);
    m_remoteWatch->setEnabled(linked);
    // A transfer keeps the editors still: what they show is on its way.
    m_editorArea->setEnabled(state != State::Transferring);
    m_status->setText(s->statusText());
    emit connectionStateChanged();
    emit statusChanged();
}

QString CZARDocumentView::connectionStateName() const
{
    const EditorSession *s = session();
    return s ? s->connectionPhase() : QStringLiteral("Idle");
}

bool CZARDocumentView::isLinked() const
{
    const EditorSession *s = session();
    return s && s->isLinked();
}

bool CZARDocumentView::isConnected() const
{
    const EditorSession *s = session();
    return s && s->isConnected();
}

bool CZARDocumentView::isBusy() const
{
    const EditorSession *s = session();
    return s && s->isBusy();
}

bool CZARDocumentView::disconnectForClose()
{
    EditorSession *s = session();
    return s && s->closeWhileLinked();
}

double CZARDocumentView::waitTimeScale() const
{
    const EditorSession *s = session();
    return s ? s->waitTimeScale() : 1.0;
}

void CZARDocumentView::setWaitTimeScale(double scale)
{
    if (EditorSession *s = session()) s->setWaitTimeScale(scale);
}

bool CZARDocumentView::isRemoteWatchOn() const
{
    const EditorSession *s = session();
    return s && s->isRemoteWatchOn();
}

int CZARDocumentView::remoteWatchCycles() const
{
    const EditorSession *s = session();
    return s ? s->remoteWatch().cycles() : 0;
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
    if (!m_session) return;
    m_findUnits->setEnabled(false);
    m_session->showStatus(tr("Looking for units on the CAN bus"));
    QPointer<CZARDocumentView> self(this);
    auto *scan = new CanWindowUnitScan(window, [self](const QList<zar40::comm::FoundUnit> &found, const QList<int> &inUse) {
        if (!self || !self->m_session) return;
        self->m_findUnits->setEnabled(self->m_session->cycleState() == EditorSession::CycleState::Idle);
        self->m_session->showStatus(tr("%n unit(s) found", nullptr, static_cast<int>(found.size())));
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
    EditorSession *s = session();
    if (!s) return;
    if (s->isLinked()) {
        s->disconnectFromUnit();
        return;
    }
    using ConnectionType = CCommunicationmodul::ConnectionType;
    const int index = m_type->currentIndex();
    if (index != static_cast<int>(ConnectionType::SerialLine) && index != static_cast<int>(ConnectionType::CanBus)) return;
    const auto type = static_cast<ConnectionType>(index);
    const QString port = m_port->currentText().trimmed();
    if (type == ConnectionType::SerialLine && port.isEmpty()) {
        UserPrompts::current().error(tr("Please choose a serial port."), this);
        return;
    }
    s->connectToUnit(type, port, m_netId->value());
}

void CZARDocumentView::connectOverCan(int netId)
{
    m_type->setCurrentIndex(static_cast<int>(CCommunicationmodul::ConnectionType::CanBus));
    m_netId->setValue(netId);
    onConnectClicked();
}

void CZARDocumentView::onUnitsWindow()
{
    zar40ui::openUnitsWindow(document() ? document()->docTemplate() : nullptr);
}

void CZARDocumentView::onStorePreset()
{
    if (EditorSession *s = session()) s->storePreset();
}

// ---- The status panes ---------------------------------------------------------------

QString CZARDocumentView::deviceNamePaneText() const
{
    const EditorSession *s = session();
    if (!s || !s->isConnected()) return {};
    return QString::fromLatin1(zar40::codec::deviceName(s->deviceSettings()));
}

QString CZARDocumentView::deviceNumberPaneText() const
{
    const EditorSession *s = session();
    if (!s || !s->isConnected()) return QStringLiteral(" n.C. ");
    return QString::fromLatin1(zar40::codec::deviceNumberText(zar40::codec::deviceNumber(s->deviceSettings())));
}

QString CZARDocumentView::informationPaneText() const
{
    return m_status ? m_status->text() : QString();
}

QString CZARDocumentView::localStatePaneText() const
{
    const EditorSession *s = session();
    return s && s->isLocalModified() ? QStringLiteral("Local modified") : QStringLiteral("Local clean");
}

QString CZARDocumentView::deviceStatePaneText() const
{
    const EditorSession *s = session();
    if (!s || !s->isConnected()) return QStringLiteral("ZAR n.c.");
    return s->isDeviceModified() ? QStringLiteral("ZAR modified") : QStringLiteral("ZAR clean");
}

// ---- The session's questions ----------------------------------------------------------

void CZARDocumentView::askYesNo(const QString &text, std::function<void(bool)> answered)
{
    answered(UserPrompts::current().questionYesNo(text, this));
}

void CZARDocumentView::askYesNoCancel(const QString &text, std::function<void(Answer)> answered)
{
    switch (UserPrompts::current().questionYesNoCancel(text, this)) {
    case UserPrompts::Answer::Yes: answered(Answer::Yes); break;
    case UserPrompts::Answer::No: answered(Answer::No); break;
    default: answered(Answer::Cancel); break;
    }
}

void CZARDocumentView::chooseSlot(int number, std::function<void(std::optional<int>)> answered)
{
    // The dialog is opened, not run: replies and a lost link are handled
    // while it shows.
    auto *dialog = new CSelectPreset(this, number);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [dialog, answered](int result) {
        answered(result == QDialog::Accepted ? std::optional<int>(dialog->presetNumber()) : std::nullopt);
    });
    // A cycle that moves on without the answer takes the dialog with it.
    connect(m_session.data(), &EditorSession::cycleStateChanged, dialog, [dialog](EditorSession::CycleState state) {
        if (state != EditorSession::CycleState::ChoosingSlot) dialog->reject();
    });
    dialog->open();
}

void CZARDocumentView::showWaitBox(const QString &text, int ms, std::function<void()> closed)
{
    auto *box = new CWaitDialog(this, text, ms);
    connect(box, &QDialog::finished, this, [closed] { closed(); });
    box->start();
}

void CZARDocumentView::askSaveFileName(std::function<void(const QString &)> answered)
{
    UserPrompts::FileRequest request;
    request.title = tr("Save Preset");
    request.filter = QStringLiteral("VRN-Preset File XML(*.vpx)");
    request.defaultSuffix = QStringLiteral("vpx");
    QString path = UserPrompts::current().saveFileName(request, this);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".vpx");
    answered(path);
}

std::optional<QString> CZARDocumentView::enterPassword()
{
    UserPrompts::TextRequest request;
    request.title = QString::fromLatin1(zar40::comm::kEnterPasswordCaption);
    request.label = QStringLiteral("Password:");
    request.password = true;
    return UserPrompts::current().textInput(request, this);
}

void CZARDocumentView::information(const QString &text)
{
    UserPrompts::current().information(text, this);
}

void CZARDocumentView::error(const QString &text)
{
    UserPrompts::current().error(text, this);
}

std::unique_ptr<zar40::comm::WaitWindow> CZARDocumentView::openTransferWindow(const QString &title, int total)
{
    auto *widget = new CZARWaitWindowWidget(title, total, this);
    widget->show();
    return std::make_unique<CZARWaitWindow>(widget);
}
