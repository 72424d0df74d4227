#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

// A simulated NOV module: answers each scan request "0 1" on its UDP port
// with its reply line, and serves its serial-number page and its main page
// over HTTP.
class NovSimModule : public QObject
{
    Q_OBJECT
public:
    struct Config
    {
        QHostAddress udpBind{QHostAddress::AnyIPv4}; // where scan requests are heard
        quint16 udpPort = 8001;
        QHostAddress httpAddress{QHostAddress::LocalHost};
        quint16 httpPort = 8080; // 0: any free port
        // The reply line; "{http}" stands for the page address (address, and
        // ":port" unless it is 80). Empty: "NOV01 1 {http} 0 0 NOV simulated module".
        QString reply;
        QString serialNumber = QStringLiteral("NOV-SIM-0001");
        int replyDelayMs = 0; // a slow module answers this much later
    };

    explicit NovSimModule(const Config &config, QObject *parent = nullptr);
    ~NovSimModule() override;

    // Opens both sockets; false with errorString() when one could not be.
    bool start();
    QString errorString() const { return m_error; }

    // Where the pages are, as the reply names it: "ADDR" or "ADDR:PORT".
    QString httpAuthority() const;
    QByteArray replyLine() const;
    int requestsAnswered() const { return m_answered; }

    // The main page: a few links that ask the browser for page commands.
    static QByteArray mainPage(const QString &serialNumber);

signals:
    void requestAnswered(const QString &from);

private:
    void onDatagram();
    void onHttpConnection();
    void serve(QTcpSocket *socket);

    Config m_config;
    QUdpSocket *m_udp = nullptr;
    QTcpServer *m_http = nullptr;
    QString m_error;
    int m_answered = 0;
};
