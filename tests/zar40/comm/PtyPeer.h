#pragma once
// The other end of a pseudo-terminal, held by the test itself.
#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace zar40::comm::test {

class PtyPeer
{
public:
    PtyPeer()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) return;
        m_slave = QString::fromLocal8Bit(ptsname(m_master));
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPeer() { hangUp(); }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool ok() const { return m_master >= 0 && !m_slave.isEmpty(); }
    QString slavePath() const { return m_slave; }
    int fd() const { return m_master; }

    bool write(const QByteArray &bytes)
    {
        return m_master >= 0 && ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }
    // Everything the other side has sent so far.
    QByteArray readAvailable()
    {
        QByteArray out;
        char buf[4096];
        for (;;) {
            const ssize_t n = m_master >= 0 ? ::read(m_master, buf, sizeof buf) : -1;
            if (n <= 0) break;
            out.append(buf, static_cast<qsizetype>(n));
        }
        return out;
    }
    // As if the cable were pulled: the slave side gets an I/O error.
    void hangUp()
    {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slave;
};

} // namespace zar40::comm::test
