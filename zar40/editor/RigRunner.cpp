#include "RigRunner.h"

#include "unit_operations.h"

#include "zar40/comm/DeviceSession.h"
#include "zar40/comm/shared_can_bus.h"
#include "zar40/comm/TransactionEngine.h"

#include <QCoreApplication>
#include <QThread>

namespace zar40::editor {

QString commandName(RigJob::Command command)
{
    switch (command) {
    case RigJob::Command::Recall: return QStringLiteral("recall");
    case RigJob::Command::Store: return QStringLiteral("store");
    case RigJob::Command::Mute: return QStringLiteral("mute");
    case RigJob::Command::Unmute: return QStringLiteral("unmute");
    case RigJob::Command::Backup: return QStringLiteral("backup");
    case RigJob::Command::Restore: return QStringLiteral("restore");
    }
    return {};
}

QString unitFolder(int netId)
{
    return QStringLiteral("net-id-%1").arg(netId, 2, 10, QLatin1Char('0'));
}

namespace {

// One unit's part of a job, run in its own thread from connect to disconnect.
// PROGRESS is called in that thread.
bool runUnit(comm::BusScheduler *scheduler, const QString &busName, int netId, const RigJob &job,
             const UnitProgress &progress, QString &error)
{
    // A queue of this unit's own: its exchanges wait for nobody else's here;
    // the bus scheduler decides when its frames go.
    comm::CTransactionEngine engine;
    comm::DeviceSession session(&engine);
    session.setPassword(job.password);
    session.setTimeout(job.timeoutMs);
    const bool alone = job.command == RigJob::Command::Recall || job.command == RigJob::Command::Store;
    session.setSwitchWait(alone ? 0 : job.switchWaitMs);
    session.setStoreWait(alone ? 0 : job.storeWaitMs);
    auto transport = std::make_unique<comm::ScheduledCanTransport>(scheduler, busName, netId);
    if (!session.open(std::move(transport), comm::CCommunicationmodul::ConnectionType::CanBus)) {
        error = QStringLiteral("connecting: %1").arg(session.error());
        return false;
    }
    UnitError failure;
    bool ok = false;
    const std::filesystem::path folder = (job.dir + u'/' + unitFolder(netId)).toStdString();
    switch (job.command) {
    case RigJob::Command::Recall:
        ok = session.switchToSlot(job.slot);
        if (!ok) failure = {QStringLiteral("recalling slot %1: %2").arg(job.slot).arg(session.error()), true};
        break;
    case RigJob::Command::Store: {
        int slot = 0;
        ok = currentSlot(session, slot, failure);
        if (ok) {
            ok = session.storeToSlot(slot);
            if (!ok) failure = {QStringLiteral("storing slot %1: %2").arg(slot).arg(session.error()), true};
        }
        break;
    }
    case RigJob::Command::Mute:
    case RigJob::Command::Unmute:
        ok = setAllOutputsMuted(session, job.command == RigJob::Command::Mute, failure);
        break;
    case RigJob::Command::Backup: ok = backupUnit(session, folder, progress, failure); break;
    case RigJob::Command::Restore: ok = restoreUnit(session, folder, progress, failure); break;
    }
    const bool closed = session.close();
    if (!ok) {
        error = failure.text;
        return false;
    }
    if (!closed) {
        error = QStringLiteral("disconnecting: %1").arg(session.error());
        return false;
    }
    return true;
}

} // namespace

RigRunner::RigRunner(comm::BusScheduler *scheduler, QString busName, QObject *parent)
    : QObject(parent), m_scheduler(scheduler), m_busName(std::move(busName))
{
}

RigRunner::~RigRunner()
{
    if (isRunning()) comm::DeviceSession::requestStop();
    // A stopping unit may still hand this thread a frame or ask it for its
    // port, so this thread's events keep running while it waits.
    for (QThread *t : std::as_const(m_threads)) {
        while (!t->wait(10)) QCoreApplication::processEvents();
        delete t;
    }
    if (isRunning()) comm::DeviceSession::clearStop();
}

bool RigRunner::start(const QList<int> &netIds, const RigJob &job)
{
    if (isRunning() || !m_scheduler) return false;
    for (QThread *t : std::as_const(m_threads)) {
        t->wait();
        delete t;
    }
    m_threads.clear();
    m_results.clear();
    if (netIds.isEmpty()) {
        QMetaObject::invokeMethod(this, &RigRunner::finished, Qt::QueuedConnection);
        return true;
    }
    m_running = static_cast<int>(netIds.size());
    comm::BusScheduler *scheduler = m_scheduler.data();
    for (const int netId : netIds) {
        QPointer<RigRunner> self(this);
        QThread *thread = QThread::create([self, scheduler, busName = m_busName, netId, job] {
            const UnitProgress progress = [self, netId](int done, int total, const QString &what) {
                if (self)
                    QMetaObject::invokeMethod(self.data(), [self, netId, done, total, what] {
                        if (self) emit self->unitProgress(netId, done, total, what);
                    }, Qt::QueuedConnection);
            };
            QString error;
            const bool ok = runUnit(scheduler, busName, netId, job, progress, error);
            if (self)
                QMetaObject::invokeMethod(self.data(), [self, netId, ok, error] {
                    if (self) self->onUnitDone(netId, ok, error);
                }, Qt::QueuedConnection);
        });
        thread->setObjectName(QStringLiteral("unit %1").arg(netId));
        m_threads << thread;
        thread->start();
    }
    return true;
}

void RigRunner::onUnitDone(int netId, bool ok, const QString &error)
{
    m_results << Result{netId, ok, error};
    emit unitFinished(netId, ok, error);
    if (--m_running == 0) emit finished();
}

} // namespace zar40::editor
