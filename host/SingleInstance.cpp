#include "SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>

std::optional<ControlRequest> parseControlRequest(const QByteArray &line)
{
    if (line.size() > MaxControlLine)
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
    , name_(name)
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
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
    return runtimeFolder() + QLatin1Char('/') + name_ + QStringLiteral(".lock");
}

QString SingleInstance::socketPath() const
{
    return runtimeFolder() + QLatin1Char('/') + name_;
}

bool SingleInstance::acquire()
{
    if (held_)
        return true;
    lock_ = std::make_unique<QLockFile>(lockPath());
    // Never stale by age: only a lock whose process is gone is taken over.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    // Holding the lock, any socket left behind belongs to a crashed instance.
    QLocalServer::removeServer(socketPath());
    if (!server_.listen(socketPath()))
        qWarning("VRN-Control: cannot listen on %s: %s", qPrintable(socketPath()), qPrintable(server_.errorString()));
    held_ = true;
    return true;
}

void SingleInstance::release()
{
    if (!held_)
        return;
    server_.close();
    if (lock_)
        lock_->unlock();
    lock_.reset();
    held_ = false;
}

void SingleInstance::onConnection()
{
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                // A peer that never ends its line gets no more than this.
                if (socket->bytesAvailable() > MaxControlLine + 2) {
                    socket->write("error\n");
                    socket->disconnectFromServer();
                }
                return;
            }
            QByteArray line = socket->readLine(MaxControlLine + 3);
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
    while (!reply.contains('\n') && reply.size() <= MaxControlLine) {
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
