#include "NovScanner.h"

#include "ScanSocket.h"

#include <QNetworkAccessManager>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

NovScanner::NovScanner(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    // Modules sit on the local network: a proxy from the environment would
    // only be in the way.
    m_network->setProxy(QNetworkProxy::NoProxy);
    m_scanTimer.setSingleShot(true);
    m_scanTimer.setInterval(kDefaultScanTimeoutMs);
    m_closeTimer.setSingleShot(true);
    m_closeTimer.setInterval(kDefaultCloseTimeoutMs);
    m_repeatTimer.setInterval(kRequestGapMs);
    connect(&m_scanTimer, &QTimer::timeout, this, &NovScanner::onScanTimeout);
    connect(&m_closeTimer, &QTimer::timeout, this, &NovScanner::onCloseTimeout);
    connect(&m_repeatTimer, &QTimer::timeout, this, &NovScanner::sendRequest);
}

NovScanner::~NovScanner()
{
    abandonSerialReads();
}

bool NovScanner::isListening() const
{
    return m_socket && m_socket->state() == QAbstractSocket::BoundState;
}

bool NovScanner::scan()
{
    stop();
    abandonSerialReads();
    m_modules.clear();
    m_keys.clear();
    m_tried.clear();
    m_sendErrors.clear();
    m_ownRequests = m_repeated = m_ignoredOverLimit = m_malformed = 0;

    m_socket = new CScanSocket(this);
    if (!m_socket->open(m_target.port)) {
        const QString why = m_socket->errorString();
        delete m_socket;
        m_socket = nullptr;
        emit failure(tr("The scan socket could not be opened on UDP port %1: %2").arg(m_target.port).arg(why));
        return false;
    }

    m_tried << m_target.broadcast.toString();
    if (m_target.broadcast == QHostAddress(QHostAddress::Broadcast)) {
        // The limited broadcast leaves through one interface only; each
        // interface's own broadcast address reaches the modules on the others.
        for (const QNetworkInterface &nic : QNetworkInterface::allInterfaces()) {
            const auto flags = nic.flags();
            if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::CanBroadcast)
                || (flags & QNetworkInterface::IsLoopBack))
                continue;
            for (const QNetworkAddressEntry &entry : nic.addressEntries()) {
                const QString b = entry.broadcast().toString();
                if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !b.isEmpty() && !m_tried.contains(b))
                    m_tried << b;
            }
        }
    }

    m_requestsSent = 0;
    sendRequest();
    m_repeatTimer.start();
    m_scanTimer.start();
    return true;
}

void NovScanner::stop()
{
    m_repeatTimer.stop();
    m_scanTimer.stop();
    m_closeTimer.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->close();
        m_socket->deleteLater();
        m_socket = nullptr;
        emit socketClosed();
    }
}

void NovScanner::sendRequest()
{
    if (++m_requestsSent >= kRequestRepeats)
        m_repeatTimer.stop();
    if (!m_socket)
        return;
    const QByteArray request(NovReply::Request);
    for (const QString &address : std::as_const(m_tried)) {
        if (m_socket->writeDatagram(request, QHostAddress(address), m_target.port) < 0) {
            const QString e = address + QStringLiteral(": ") + m_socket->errorString();
            if (!m_sendErrors.contains(e))
                m_sendErrors << e;
        }
    }
}

void NovScanner::onScanReply()
{
    while (m_socket && m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        if (!datagram.isValid() || datagram.data().isEmpty()) {
            emit failure(QStringLiteral("ReceiveFrom error code: %1").arg(unsigned(m_socket->error())));
            continue;
        }
        processDatagram(datagram.data());
    }
}

void NovScanner::onSocketError(int code, const QString &text)
{
    // Sending to an address the system cannot reach is a send error of the
    // scan, reported with the scan's result, not a failure of the socket.
    if (code == QAbstractSocket::NetworkError || code == QAbstractSocket::DatagramTooLargeError)
        return;
    emit failure(QStringLiteral("OnReceive nErrorCode: %1 (%2)").arg(code).arg(text));
}

void NovScanner::processDatagram(const QByteArray &datagram)
{
    m_closeTimer.start();
    const QByteArray text = NovReply::text(datagram);
    if (NovReply::isOwnRequest(text)) {
        ++m_ownRequests;
        return;
    }
    // Compared with the reply that listed the module, not with the serial
    // number that its page has replaced by now: a module whose page differs
    // from its reply (or cannot be read) would otherwise be listed again for
    // every repeated request.
    if (m_keys.contains(NovReply::duplicateKey(text))) {
        ++m_repeated;
        return;
    }
    if (m_modules.size() >= kMaxModules) {
        ++m_ignoredOverLimit;
        return;
    }
    NovModule module;
    // Without an address there is no page to show or read.
    if (NovReply::split(text, module) < 3) {
        ++m_malformed;
        return;
    }
    m_scanTimer.stop();
    m_modules << module;
    m_keys << NovReply::duplicateKey(text);
    const int index = int(m_modules.size()) - 1;
    readSerialPage(index);
    emit moduleAdded(index);
}

void NovScanner::readSerialPage(int index)
{
    const QUrl url(QStringLiteral("http://") + m_modules[index].address + QStringLiteral("/ACP?PAGE=dds.txt"));
    if (!url.isValid() || url.host().isEmpty()) {
        m_modules[index].serialNumber.clear();
        QMetaObject::invokeMethod(this, [this, index] { emit serialNumberRead(index); }, Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(m_serialPageTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    m_pendingReads << reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxSerialPageBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, index] {
        m_pendingReads.removeAll(reply);
        reply->deleteLater();
        QString serial;
        if (reply->error() == QNetworkReply::NoError) {
            // The page's lines, joined without their line ends.
            QByteArray page = reply->read(kMaxSerialPageBytes);
            page.replace('\r', QByteArray()).replace('\n', QByteArray());
            serial = NovReply::decode(page);
        }
        m_modules[index].serialNumber = serial;
        emit serialNumberRead(index);
    });
}

void NovScanner::abandonSerialReads()
{
    // The list they belong to is gone; their results must not land in the next one.
    const auto reads = m_pendingReads;
    m_pendingReads.clear();
    for (const QPointer<QNetworkReply> &r : reads) {
        if (!r)
            continue;
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
}

void NovScanner::onScanTimeout()
{
    emit offline();
}

void NovScanner::onCloseTimeout()
{
    stop();
}

QString NovScanner::nothingFoundText() const
{
    QStringList interfaces;
    for (const QNetworkInterface &nic : QNetworkInterface::allInterfaces()) {
        if (!(nic.flags() & QNetworkInterface::IsUp))
            continue;
        QStringList addresses;
        for (const QNetworkAddressEntry &entry : nic.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            QString a = entry.ip().toString();
            if (!entry.broadcast().isNull())
                a += tr(" broadcast %1").arg(entry.broadcast().toString());
            addresses << a;
        }
        interfaces << (addresses.isEmpty() ? nic.humanReadableName()
                                           : nic.humanReadableName() + QStringLiteral(" (") + addresses.join(QStringLiteral(", ")) + QLatin1Char(')'));
    }
    QString text = tr("No module answered. Request sent to %1 on UDP port %2.")
                       .arg(m_tried.isEmpty() ? m_target.broadcast.toString() : m_tried.join(QStringLiteral(", ")))
                       .arg(m_target.port);
    text += QLatin1Char(' ') + (interfaces.isEmpty() ? tr("No network interface is up.")
                                                     : tr("Interfaces up: %1.").arg(interfaces.join(QStringLiteral("; "))));
    if (!m_sendErrors.isEmpty())
        text += QLatin1Char(' ') + tr("Sending failed: %1.").arg(m_sendErrors.join(QStringLiteral("; ")));
    return text;
}
