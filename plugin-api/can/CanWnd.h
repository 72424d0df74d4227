#pragma once

#include "can_messages.h"
#include "Ucan.h"
#include "../StringTable.h"
#include "../vrn_plugin_api_export.h"

#include "canbus/netid.h"

#include <QWidget>

#include <memory>

// The host's one link to the USB-CAN module, shared by the plug-in windows
// that talk to devices on the bus. It is an invisible child of the main frame
// with control id 13000; plug-ins find it with CCanWnd::find(), register one
// of their objects for a Net-ID with request(CAN_REGISTER, ...) and read the
// client table and the notice's frame through the accessors below.
//
// The driver calls back on its own threads. Those callbacks only touch the
// link state under the CAN lock and post events to this window; the client
// table, rxData and every request belong to the user-interface thread.
class VRN_PLUGIN_API CCanWnd : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kControlId = 13000;
    static constexpr int kClientTableSize = 64;

    // The window owns the driver.
    explicit CCanWnd(std::unique_ptr<Ucan> driver, QWidget *parent = nullptr);
    ~CCanWnd() override;

    // --- shared with the plug-ins, read-only: only the window changes them ---
    int clientCount() const { return m_clientCount; }           // used entries of clients
    const CanClient *clients() const { return m_clients; }      // entry n - 1 belongs to Net-ID n
    const quint8 *rxData() const { return m_rxData; }           // the frame of the notice being delivered
    unsigned int notifyMessage() const { return m_notifyMessage; } // nonzero while the module is started

    // The synchronous request of a plug-in window: CAN_REGISTER,
    // CAN_UNREGISTER or CAN_SEND. 1 on success, 0 when refused.
    int request(int code, const CanRequest &request);

    // The CAN window of the host: the child with control id 13000 of
    // mainWindow (by default the main frame registered by the host), or null.
    static CCanWnd *find(const QWidget *mainWindow = nullptr);

    // --- the host's side ---
    // The texts of this window's messages; a test may remove entries.
    StringTable &strings();
    Ucan &driver();
    // Connect notification is on (from the first registration to the shut-down).
    bool linkStarted() const;
    // The CAN channel is initialised, so sends reach the driver.
    bool canReady() const;

    // The text shown for a failed driver call, or for a CAN status value
    // (fallbackFormat carries one %i: the code, or the string id).
    static QString driverErrorText(const StringTable &strings, quint8 code, const char *fallbackFormat);
    static QString statusText(const StringTable &strings, quint16 canStatus);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_clientCount = 0;
    CanClient m_clients[kClientTableSize];
    quint8 m_rxData[8] = {};
    unsigned int m_notifyMessage = 0;
    struct Link;

    int registerClient(const CanRequest &request);
    int unregisterClient(const CanRequest &request);
    int send(const CanRequest &request);

    bool startLink();
    bool startModule();
    void sendFrame(int id, const quint8 *data);
    void shutDownLink();
    void clearEntry(int index);
    void dropAllClients(int noticeCode);

    void onReceived();
    void onModuleArrived();
    void onModuleRemoved();
    void onStatusError(quint16 canStatus);

    void showInformation(const QString &text);
    void showDriverError(quint8 code, const QString &detail, const char *fallbackFormat);

    StringTable m_strings;
    bool m_quiet = false;
    std::shared_ptr<Link> m_link;
    std::unique_ptr<Ucan> m_driver;
};
