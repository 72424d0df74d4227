#include "NovSimModule.h"

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace {

// A request head longer than this is no browser's or scanner's.
constexpr qsizetype kMaxRequestHead = 8192;

QByteArray response(const QByteArray &status, const QByteArray &type, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

NovSimModule::NovSimModule(const Config &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
{
}

NovSimModule::~NovSimModule() = default;

bool NovSimModule::start()
{
    m_http = new QTcpServer(this);
    if (!m_http->listen(m_config.httpAddress, m_config.httpPort)) {
        m_error = QStringLiteral("HTTP %1:%2: %3")
                      .arg(m_config.httpAddress.toString())
                      .arg(m_config.httpPort)
                      .arg(m_http->errorString());
        return false;
    }
    connect(m_http, &QTcpServer::newConnection, this, &NovSimModule::onHttpConnection);

    m_udp = new QUdpSocket(this);
    // Several modules on one machine share the port; each hears the broadcasts.
    if (!m_udp->bind(m_config.udpBind, m_config.udpPort, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        m_error = QStringLiteral("UDP %1:%2: %3")
                      .arg(m_config.udpBind.toString())
                      .arg(m_config.udpPort)
                      .arg(m_udp->errorString());
        return false;
    }
    connect(m_udp, &QUdpSocket::readyRead, this, &NovSimModule::onDatagram);
    return true;
}

QString NovSimModule::httpAuthority() const
{
    const quint16 port = m_http ? m_http->serverPort() : m_config.httpPort;
    const QString host = m_config.httpAddress.toString();
    return port == 80 ? host : host + QLatin1Char(':') + QString::number(port);
}

QByteArray NovSimModule::replyLine() const
{
    QString line = m_config.reply.isEmpty() ? QStringLiteral("NOV01 1 {http} 0 0 NOV simulated module") : m_config.reply;
    line.replace(QStringLiteral("{http}"), httpAuthority());
    return line.toUtf8();
}

void NovSimModule::onDatagram()
{
    while (m_udp->hasPendingDatagrams()) {
        const QNetworkDatagram d = m_udp->receiveDatagram();
        // Only the scan request; other modules' replies may pass by too.
        if (d.data() != "0 1")
            continue;
        const QHostAddress to = d.senderAddress();
        const quint16 port = quint16(d.senderPort());
        QTimer::singleShot(m_config.replyDelayMs, this, [this, to, port] {
            m_udp->writeDatagram(replyLine(), to, port);
            ++m_answered;
            emit requestAnswered(to.toString() + QLatin1Char(':') + QString::number(port));
        });
    }
}

void NovSimModule::onHttpConnection()
{
    while (QTcpSocket *socket = m_http->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
    }
}

QByteArray NovSimModule::mainPage(const QString &serialNumber)
{
    return QByteArrayLiteral(
               "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
               "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
               "<title>NOV simulated module</title></head>\n"
               "<body style=\"font-family: sans-serif\">\n"
               "<h3 style=\"color: #006699\">NOV simulated module</h3>\n<p>Serial number: ")
           + serialNumber.toHtmlEscaped().toUtf8()
           + QByteArrayLiteral(
               "</p>\n<p>Page commands:</p>\n<ul>\n"
               "<li><a id=\"minimise\" href=\"app:Minimise\">app:Minimise</a></li>\n"
               "<li><a id=\"beep\" href=\"APP:Beep\">APP:Beep</a></li>\n"
               "<li><a id=\"beep-lower\" href=\"app:beep\">app:beep</a></li>\n"
               "<li><a id=\"other\" href=\"app:Other\">app:Other</a></li>\n"
               "</ul>\n</body></html>\n");
}

void NovSimModule::serve(QTcpSocket *socket)
{
    if (socket->property("answered").toBool())
        return;
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    if (!head.contains("\r\n\r\n") && !head.contains("\n\n")) {
        if (head.size() > kMaxRequestHead)
            socket->abort();
        else
            socket->setProperty("head", head);
        return;
    }
    socket->setProperty("answered", true);
    const QList<QByteArray> requestLine = head.left(head.indexOf('\n')).trimmed().split(' ');
    const QByteArray method = requestLine.value(0);
    const QByteArray target = requestLine.value(1);
    QByteArray answer;
    if (method != "GET" && method != "HEAD")
        answer = response("405 Method Not Allowed", "text/plain", "GET only\r\n");
    else if (target == "/ACP?PAGE=dds.txt")
        answer = response("200 OK", "text/plain", m_config.serialNumber.toUtf8() + "\r\n");
    else if (target == "/novmain.htm" || target == "/")
        answer = response("200 OK", "text/html; charset=utf-8", mainPage(m_config.serialNumber));
    else
        answer = response("404 Not Found", "text/plain", "no such page\r\n");
    if (method == "HEAD")
        answer.truncate(answer.indexOf("\r\n\r\n") + 4);
    socket->write(answer);
    socket->disconnectFromHost();
}
