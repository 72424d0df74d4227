#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests of code that downloads:
// each path answers with a fixed body, or sends part of it and then stalls.
// Header-only; it runs on the test's event loop.
#include <QHostAddress>
#include <QMap>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <memory>

class HttpTestServer
{
public:
    struct Route
    {
        QByteArray body;
        int status = 200;
        // Send the headers and this many bytes of the body, then nothing more.
        qsizetype stallAfter = -1;
    };

    HttpTestServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    bool listening() const { return m_server.isListening(); }
    void route(const QString &path, Route r) { m_routes[path] = std::move(r); }
    // http://127.0.0.1:port + path
    QUrl url(const QString &path = {}) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    QStringList requested() const { return m_requested; }

private:
    void serve(QTcpSocket *socket)
    {
        auto request = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
            request->append(socket->readAll());
            if (!request->contains("\r\n\r\n"))
                return;
            const QList<QByteArray> first = request->left(request->indexOf("\r\n")).split(' ');
            const QString path = first.size() > 1 ? QString::fromLatin1(first[1]) : QString();
            m_requested << path;
            const auto it = m_routes.constFind(path);
            const Route r = it != m_routes.constEnd() ? *it : Route{"not found", 404, -1};
            socket->write("HTTP/1.1 " + QByteArray::number(r.status) + " X\r\nContent-Length: "
                          + QByteArray::number(r.body.size()) + "\r\nConnection: close\r\n\r\n");
            if (r.stallAfter >= 0) {
                socket->write(r.body.left(r.stallAfter));
                return; // the connection stays open, silent
            }
            socket->write(r.body);
            socket->disconnectFromHost();
        });
    }

    QTcpServer m_server;
    QMap<QString, Route> m_routes;
    QStringList m_requested;
};
