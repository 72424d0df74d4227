#pragma once
// The real zar40-sim program on a pseudo-terminal, for the link tests.
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace zar40::comm::test {

inline QString simProgram()
{
    const char *bin = std::getenv("VRN_BIN_DIR");
    return QDir(QString::fromLocal8Bit(bin ? bin : ".")).filePath(QStringLiteral("zar40-sim"));
}

class SimProcess
{
public:
    SimProcess() = default;
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts the simulator with ARGS and waits for its ready line (the link
    // path on stdout). false when it does not come up.
    bool start(const QStringList &args = {})
    {
        m_link = m_dir.filePath(QStringLiteral("zar40.pty"));
        m_process.setProgram(simProgram());
        m_process.setArguments(QStringList{QStringLiteral("--pty"), m_link} + args);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(10000)) return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000)) return false;
        }
        return QString::fromLocal8Bit(m_process.readLine()).trimmed() == m_link;
    }
    QString link() const { return m_link; }
    // As if the cable were pulled: the process dies and its terminal with it.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) kill();
    }

private:
    QTemporaryDir m_dir;
    QString m_link;
    QProcess m_process;
};

} // namespace zar40::comm::test
