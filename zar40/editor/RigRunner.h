#pragma once
// One command on many units of a CAN bus at once: recall a slot, store,
// mute or unmute the outputs, back up, restore. Every unit gets a connection
// of its own in a thread of its own, so one unit's slow steps (a slot switch
// it needs time for, an exchange that times out) never hold up another, and
// one unit's failure ends only its own part. All frames go through the bus
// scheduler, which keeps the load of the whole rig within the bus's share.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <optional>

class QThread;

namespace zar40::comm {
class BusScheduler;
}

namespace zar40::editor {

struct RigJob {
    enum class Command { Recall, Store, Mute, Unmute, Backup, Restore };
    Command command = Command::Recall;
    int slot = 0;  // Recall: 1 to 32
    QString dir;   // Backup, Restore: one folder per unit below it (unitFolder)
    std::optional<std::uint32_t> password;
    int timeoutMs = 6000;
    // Pauses a unit gets after a slot switch and a store before the next
    // request that depends on them (backup and restore read and write right
    // after switching). A recall or store on its own is followed only by the
    // disconnect, which needs no pause.
    int switchWaitMs = 3500;
    int storeWaitMs = 6000;
};

QString commandName(RigJob::Command command);
// The folder of unit NETID below a backup folder: "net-id-07".
QString unitFolder(int netId);

class RigRunner : public QObject
{
    Q_OBJECT
public:
    struct Result {
        int netId = 0;
        bool ok = false;
        QString error; // why not, when not
    };

    // BUSNAME names the bus in messages ("virtualcan:can0").
    RigRunner(comm::BusScheduler *scheduler, QString busName, QObject *parent = nullptr);
    // Asks running units to stop and waits for them.
    ~RigRunner() override;

    // Starts JOB on every unit of NETIDS; false when a run is still going.
    bool start(const QList<int> &netIds, const RigJob &job);
    bool isRunning() const { return m_running > 0; }
    // One per unit, in the order the units finished.
    const QList<Result> &results() const { return m_results; }

signals:
    void unitProgress(int netId, int done, int total, const QString &what);
    void unitFinished(int netId, bool ok, const QString &error);
    void finished();

private:
    void onUnitDone(int netId, bool ok, const QString &error);

    QPointer<comm::BusScheduler> m_scheduler;
    QString m_busName;
    QList<QThread *> m_threads;
    QList<Result> m_results;
    int m_running = 0;
};

} // namespace zar40::editor
