#pragma once

#include "DocView.h"

#include "zar40/comm/communicationmodul.h"
#include "zar40/comm/transferui.h"
#include "userpromptsadapter.h"

#include <memory>

class CZARDocument;
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

    ConnectionState connectionState() const { return m_connState; }
    QString connectionStateName() const;
    // Whether a link to a unit is up (or being taken down).
    bool isLinked() const;
    // Asks the unit to disconnect; the frame then closes on the closed
    // notification. false when nothing is linked (close at once).
    bool disconnectForClose();

Q_SIGNALS:
    void connectionStateChanged();
    // The frame may close now: the unit has let go of the connection.
    void closeReady();

private:
    // ---- The connection bar and the connection cycle (ZARDocumentViewConnection.cpp)

    // The group of connection controls, wired to the connection object.
    QWidget *buildConnectionBar();
    // TransferUi
    std::unique_ptr<zar40::comm::WaitWindow> openWaitWindow(const QString &title, int total) override;
    void setEditorEnabled(bool enabled) override;

    void onTypeChanged(int index);
    void onConnectClicked();
    void onSendClicked();
    void onNotification(zar40::comm::CCommunicationmodul::Notification code);
    void setConnState(ConnectionState state, const QString &status);
    void fillPorts();

    zar40::ui::UserPromptsForComm m_promptsAdapter{this};
    zar40::comm::CCommunicationmodul *m_link = nullptr;
    ConnectionState m_connState = ConnectionState::Idle;
    bool m_closePending = false;
    bool m_failed = false;

    QComboBox *m_type = nullptr;
    QLabel *m_portLabel = nullptr;
    QComboBox *m_port = nullptr;
    QLabel *m_netIdLabel = nullptr;
    QSpinBox *m_netId = nullptr;
    QPushButton *m_connect = nullptr;
    QPushButton *m_send = nullptr;
    QLabel *m_status = nullptr;

    // ---- The editors and what they show (ZARDocumentView.cpp)

    void refreshSummary();

    QPlainTextEdit *m_summary = nullptr;
};
