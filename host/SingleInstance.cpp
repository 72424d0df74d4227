#include "SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

std::optional<ControlRequest> parseControlRequest(const QByteArray &line)
{
    if (line.size() > kMaxControlLine)
        return std::nullopt;
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || parts[0] != "close")
        return std::nullopt;
    ControlRequest r;
    bool okW = false, okL = false;
    // Plain decimal numbers only: no signs, no spaces, no overflow.
    for (int i = 1; i < 3; ++i) {
        const QByteArray &n = parts[i];
        if (n.isEmpty() || n.size() > 9)
            return std::nullopt;
        for (char c : n) {
            if (c < '0' || c > '9')
                return std::nullopt;
        }
    }
    r.wParam = parts[1].toInt(&okW);
    r.lParam = parts[2].toInt(&okL);
    if (!okW || !okL)
        return std::nullopt;
    return r;
}

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
}

SingleInstance::~SingleInstance()
{
    release();
}

QString SingleInstance::runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath();
}

QString SingleInstance::lockPath() const
{
    return runtimeFolder() + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString SingleInstance::socketPath() const
{
    return runtimeFolder() + QLatin1Char('/') + m_name;
}

bool SingleInstance::acquire()
{
    if (m_held)
        return true;
    m_lock = std::make_unique<QLockFile>(lockPath());
    // Never stale by age: only a lock whose process is gone is taken over.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    // Holding the lock, any socket left behind belongs to a crashed instance.
    QLocalServer::removeServer(socketPath());
    if (!m_server.listen(socketPath()))
        qWarning("VRN-Control: cannot listen on %s: %s", qPrintable(socketPath()), qPrintable(m_server.errorString()));
    m_held = true;
    return true;
}

void SingleInstance::release()
{
    if (!m_held)
        return;
    m_server.close();
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
    m_held = false;
}

void SingleInstance::onConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(m_clientTimeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, deadline] {
            if (!deadline->isActive())
                return; // answered, or too late
            if (!socket->canReadLine()) {
                // A peer that never ends its line gets no more than this.
                if (socket->bytesAvailable() > kMaxControlLine + 2) {
                    deadline->stop();
                    socket->write("error\n");
                    socket->disconnectFromServer();
                }
                return;
            }
            deadline->stop();
            QByteArray line = socket->readLine(kMaxControlLine + 3);
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            const auto request = parseControlRequest(line);
            socket->write(request ? "ok\n" : "error\n");
            socket->flush();
            socket->disconnectFromServer();
            if (request)
                emit closeRequested(*request);
        });
    }
}

int SingleInstance::sendCloseRequest(const QString &name, int timeoutMs, int exitTimeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(runtimeFolder() + QLatin1Char('/') + name);
    if (!socket.waitForConnected(timeoutMs))
        return 1;
    socket.write("close 10 10\n");
    if (!socket.waitForBytesWritten(timeoutMs))
        return 2;
    QByteArray reply;
    while (!reply.contains('\n') && reply.size() <= kMaxControlLine) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(timeoutMs))
            break;
        reply += socket.readAll();
    }
    if (!reply.startsWith("ok\n"))
        return 2;
    socket.disconnectFromServer();
    // Done when the running instance has let go of its lock, so that a
    // script can start a new one right after.
    QElapsedTimer waited;
    waited.start();
    const QString lockPath = runtimeFolder() + QLatin1Char('/') + name + QStringLiteral(".lock");
    while (waited.elapsed() < exitTimeoutMs) {
        QLockFile probe(lockPath);
        probe.setStaleLockTime(0);
        if (probe.tryLock(0)) {
            probe.unlock();
            return 0;
        }
        QThread::msleep(20);
    }
    return 2;
}
