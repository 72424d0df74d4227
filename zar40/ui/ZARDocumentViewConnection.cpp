// The connection bar of the editor view and the connection cycle behind it.
#include "ZARDocumentView.h"

#include "ZARDocument.h"
#include "ZARWaitWindow.h"

#include "canbus/netid.h"
#include "zar40/comm/can/canwndtransport.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/commctrl.h"
#include "zar40/comm/communicationmodul.h"

#include "UserPrompts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

using zar40::comm::CCommunicationmodul;

namespace {

constexpr const char *kTimeOutText =
    "Communication ERROR.\nPlease verify that the COM-Port select is correct and the ZAR is correct connected.";
constexpr const char *kRefusedText = "Communication ERROR.\nThe connection to the ZAR is refused.";

// Net-ID 64 would give a CAN identifier outside the 11-bit range, so the
// field stops below it.
using canbus::kMaxNetId;

} // namespace

QWidget *CZARDocumentView::buildConnectionBar()
{
    m_link = new CCommunicationmodul(this);
    m_link->setPrompts(&m_promptsAdapter);
    m_link->setTransferUi(this);
    m_link->setCanTransportFactory(zar40::comm::canWindowTransportFactory());
    connect(m_link, &CCommunicationmodul::notification, this, &CZARDocumentView::onNotification);

    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("connectionType"));
    m_type->addItems({QStringLiteral("RS232"), QStringLiteral("CAN")});

    m_portLabel = new QLabel(tr("ComPort"), this);
    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("portCombo"));
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_port->setMinimumContentsLength(24);
    m_portLabel->setBuddy(m_port);
    fillPorts();

    m_netIdLabel = new QLabel(tr("Net-ID"), this);
    m_netId = new QSpinBox(this);
    m_netId->setObjectName(QStringLiteral("netIdSpin"));
    m_netId->setRange(1, kMaxNetId);
    m_netId->setValue(1);
    m_netIdLabel->setBuddy(m_netId);

    m_connect = new QPushButton(tr("Connect"), this);
    m_connect->setObjectName(QStringLiteral("connectButton"));
    m_send = new QPushButton(tr("Send preset to device"), this);
    m_send->setObjectName(QStringLiteral("sendPresetButton"));
    m_send->setEnabled(false);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));

    auto *connectionBar = new QWidget(this);
    connectionBar->setObjectName(QStringLiteral("connectionBar"));
    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(m_type);
    bar->addWidget(m_portLabel);
    bar->addWidget(m_port, 1);
    bar->addWidget(m_netIdLabel);
    bar->addWidget(m_netId);
    bar->addWidget(m_connect);
    bar->addWidget(m_send);
    auto *barAndStatus = new QVBoxLayout(connectionBar);
    barAndStatus->setContentsMargins(0, 0, 0, 0);
    barAndStatus->addLayout(bar);
    barAndStatus->addWidget(m_status);

    connect(m_type, &QComboBox::currentIndexChanged, this, &CZARDocumentView::onTypeChanged);
    connect(m_connect, &QPushButton::clicked, this, &CZARDocumentView::onConnectClicked);
    connect(m_send, &QPushButton::clicked, this, &CZARDocumentView::onSendClicked);
    onTypeChanged(0);
    setConnState(ConnectionState::Idle, tr("Idle"));
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

void CZARDocumentView::setConnState(ConnectionState state, const QString &status)
{
    const bool changed = state != m_connState;
    m_connState = state;
    m_status->setText(status);
    const bool idle = state == ConnectionState::Idle || state == ConnectionState::Connecting;
    m_type->setEnabled(idle);
    m_port->setEnabled(idle);
    m_netId->setEnabled(idle);
    m_connect->setText(idle ? tr("Connect") : tr("Disconnect"));
    m_connect->setEnabled(state != ConnectionState::Disconnecting);
    m_send->setEnabled(state == ConnectionState::Connected && m_link->acceptsWrites());
    if (changed) Q_EMIT connectionStateChanged();
}

void CZARDocumentView::onTypeChanged(int index)
{
    const bool serial = index == static_cast<int>(CCommunicationmodul::ConnectionType::SerialLine);
    m_portLabel->setVisible(serial);
    m_port->setVisible(serial);
    m_netIdLabel->setVisible(!serial);
    m_netId->setVisible(!serial);
}

void CZARDocumentView::onConnectClicked()
{
    if (m_connState == ConnectionState::Connected) {
        setConnState(ConnectionState::Disconnecting, tr("Disconnecting"));
        m_link->postState(zar40::codec::ReqDisconnect);
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
    setConnState(ConnectionState::Connecting, tr("Connecting"));
}

void CZARDocumentView::onSendClicked()
{
    CZARDocument *doc = zarDocument();
    if (!doc || m_connState != ConnectionState::Connected || !m_link->acceptsWrites()) return;
    m_link->writePreset(doc->presets.currentRecord());
}

bool CZARDocumentView::disconnectForClose()
{
    if (!isLinked()) return false;
    m_closePending = true;
    if (m_connState == ConnectionState::Connected) {
        setConnState(ConnectionState::Disconnecting, tr("Disconnecting"));
        m_link->postState(zar40::codec::ReqDisconnect);
    }
    return true;
}

void CZARDocumentView::onNotification(CCommunicationmodul::Notification code)
{
    using Notification = CCommunicationmodul::Notification;
    switch (code) {
    case Notification::Connected:
        setConnState(ConnectionState::Connected, tr("Connected"));
        // Editor and unit agree in the simplest way: the editor takes what
        // the unit plays now.
        if (CZARDocument *doc = zarDocument()) {
            m_status->setText(tr("Connected, reading preset"));
            m_link->readPreset(&doc->presets.currentRecord(), &doc->deviceSettings);
        }
        break;
    case Notification::PresetRead:
        if (m_connState == ConnectionState::Connected) m_status->setText(tr("Connected"));
        refreshSummary();
        if (CZARDocument *doc = zarDocument()) doc->updateAllViews(this);
        break;
    case Notification::Closed:
        // A time-out or refusal closes the link before it is reported: its
        // message must stay readable.
        if (!m_failed) setConnState(ConnectionState::Idle, tr("Connection closed"));
        else setConnState(ConnectionState::Idle, m_status->text());
        if (m_closePending) {
            m_closePending = false;
            Q_EMIT closeReady();
        }
        break;
    case Notification::TimedOut:
    case Notification::Refused: {
        const bool timedOut = code == Notification::TimedOut;
        m_failed = true;
        // The connection has already shut itself down. The frame stays
        // open, so the user sees why.
        m_closePending = false;
        setConnState(ConnectionState::Idle, timedOut ? tr("Communication time-out") : tr("Connection refused"));
        UserPrompts::current().error(QString::fromLatin1(timedOut ? kTimeOutText : kRefusedText), this);
        break;
    }
    default:
        break;
    }
}

std::unique_ptr<zar40::comm::WaitWindow> CZARDocumentView::openWaitWindow(const QString &title, int total)
{
    auto *widget = new CZARWaitWindowWidget(title, total, this);
    widget->show();
    return std::make_unique<CZARWaitWindow>(widget);
}

void CZARDocumentView::setEditorEnabled(bool enabled)
{
    m_connect->setEnabled(enabled && m_connState != ConnectionState::Disconnecting);
    m_send->setEnabled(enabled && m_connState == ConnectionState::Connected);
    m_summary->setEnabled(enabled);
}
