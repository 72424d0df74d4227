#pragma once

#include "nov_reply.h"
#include "NovScanTarget.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class CScanSocket;
class QNetworkAccessManager;
class QNetworkReply;

// One scan for NOV modules: sends the request, lists every module that
// answers (once, in the order of the answers), reads each module's serial
// number from its serial-number page without blocking, and tells its owner
// when nobody answered in time and when the socket was closed again.
class NovScanner : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxModules = 255;
    static constexpr int kDefaultScanTimeoutMs = 100;    // "Offline" when nobody answered by then
    static constexpr int kDefaultCloseTimeoutMs = 1000;  // socket closed this long after the last datagram
    static constexpr int kRequestRepeats = 3;            // lost datagrams are common
    static constexpr int kRequestGapMs = 30;
    static constexpr int kDefaultSerialPageTimeoutMs = 5000;
    static constexpr qsizetype kMaxSerialPageBytes = 4096;

    explicit NovScanner(QObject *parent = nullptr);
    ~NovScanner() override;

    void setTarget(const NovScanTarget &target) { m_target = target; }
    NovScanTarget target() const { return m_target; }
    void setScanTimeout(int ms) { m_scanTimer.setInterval(ms); }
    void setCloseTimeout(int ms) { m_closeTimer.setInterval(ms); }
    void setSerialPageTimeout(int ms) { m_serialPageTimeoutMs = ms; }

    // Starts a scan afresh (a running one is abandoned). false when the
    // socket could not be opened; failure() has said why.
    bool scan();
    // Closes the socket at once; serial-number reads still finish.
    void stop();

    bool isListening() const;
    // Modules listed by this scan, in the order they answered.
    const QList<NovModule> &modules() const { return m_modules; }
    int moduleCount() const { return int(m_modules.size()); }
    int pendingSerialReads() const { return int(m_pendingReads.size()); }
    // Counts of what the scan heard and did not list.
    int ownRequestsHeard() const { return m_ownRequests; }
    int repeatedReplies() const { return m_repeated; }
    int ignoredReplies() const { return m_ignoredOverLimit; }
    int malformedReplies() const { return m_malformed; }

    // Where the request went: the target, and for the limited broadcast
    // 255.255.255.255 also each interface's own broadcast address.
    QStringList triedAddresses() const { return m_tried; }
    // Why a scan found nothing, in words for the user: the addresses the
    // request went to, the interfaces that are up and any send errors.
    QString nothingFoundText() const;

    // Called by the scan socket.
    void onScanReply();
    void onSocketError(int code, const QString &text);

signals:
    void moduleAdded(int index);
    // The serial-number page of module index was read (or could not be: the
    // serial number is empty then).
    void serialNumberRead(int index);
    // Nobody answered within the scan time-out.
    void offline();
    void socketClosed();
    // Something the user must be told in a message box.
    void failure(const QString &message);

private:
    void sendRequest();
    void processDatagram(const QByteArray &datagram);
    void readSerialPage(int index);
    void onScanTimeout();
    void onCloseTimeout();
    void abandonSerialReads();

    NovScanTarget m_target;
    CScanSocket *m_socket = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    QTimer m_scanTimer;
    QTimer m_closeTimer;
    QTimer m_repeatTimer;
    int m_requestsSent = 0;
    int m_serialPageTimeoutMs = kDefaultSerialPageTimeoutMs;

    QList<NovModule> m_modules;
    QList<QByteArray> m_keys; // duplicate key of each listed module
    QList<QPointer<QNetworkReply>> m_pendingReads;
    QStringList m_tried;
    QStringList m_sendErrors;
    int m_ownRequests = 0;
    int m_repeated = 0;
    int m_ignoredOverLimit = 0;
    int m_malformed = 0;
};
