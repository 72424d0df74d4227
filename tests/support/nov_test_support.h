#pragma once
// Shared by the NOV tests: a UDP port of the test's own (so that parallel
// runs on one machine never hear each other's scans) and nov-sim programs
// started and stopped around a test.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <unistd.h>

namespace novtest {

// Every scan of a test goes to loopback's broadcast address on this port.
inline quint16 testPort(int offset = 0)
{
    return quint16(40000 + (getpid() % 5000) * 4 + offset);
}

inline const char *loopbackBroadcast()
{
    return "127.255.255.255";
}

// A nov-sim program, stopped when the object goes.
class SimProgram
{
public:
    // prefix: a command that runs the program elsewhere (e.g. "ip netns exec NS"), or empty.
    SimProgram(const QString &program, const QStringList &arguments, const QStringList &prefix = {})
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::SeparateChannels);
        if (prefix.isEmpty())
            m_process->start(program, arguments);
        else
            m_process->start(prefix.first(), prefix.mid(1) + QStringList{program} + arguments);
        // The program says where it is once both sockets are open.
        while (m_process->waitForReadyRead(10000)) {
            m_ready += m_process->readAllStandardOutput();
            if (m_ready.contains('\n'))
                return;
        }
        m_ready.clear();
    }
    ~SimProgram()
    {
        if (m_process->state() != QProcess::NotRunning) {
            m_process->terminate();
            if (!m_process->waitForFinished(5000))
                m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    bool ready() const { return !m_ready.isEmpty(); }
    QByteArray readyLine() const { return m_ready; }
    QByteArray errors() { return m_process->readAllStandardError(); }

private:
    std::unique_ptr<QProcess> m_process;
    QByteArray m_ready;
};

} // namespace novtest
