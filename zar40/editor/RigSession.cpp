#include "RigSession.h"

#include "zar40/comm/BusScheduler.h"
#include "zar40/comm/shared_can_bus.h"
#include "zar40/comm/UnitMeter.h"

#include "canbus/netid.h"

namespace zar40::editor {

RigSession::RigSession(comm::BusScheduler *scheduler, QString busName, Claim claim, Release release, QObject *parent)
    : QObject(parent), m_scheduler(scheduler), m_busName(std::move(busName)), m_claim(std::move(claim)),
      m_release(std::move(release))
{
}

RigSession::~RigSession()
{
    m_runner.reset();
    stopMeters();
    m_scanner.reset();
    releaseAll();
}

const RigSession::Unit *RigSession::unit(int netId) const
{
    const auto it = m_units.constFind(netId);
    return it == m_units.constEnd() ? nullptr : &*it;
}

void RigSession::releaseAll()
{
    if (m_release)
        for (int id : std::as_const(m_claimed)) m_release(id);
    m_claimed.clear();
}

void RigSession::scan()
{
    if (m_scanning || isRunning() || !m_scheduler) return;
    m_scanning = true;
    stopMeters();
    releaseAll();
    m_inUse.clear();
    QList<int> skipped;
    for (int id = canbus::kMinNetId; id <= canbus::kMaxNetId; ++id) {
        const ClaimResult claimed = m_claim ? m_claim(id) : ClaimResult::Claimed;
        if (claimed == ClaimResult::Unreachable) {
            // Asking for the other Net-IDs would only tell the user the same
            // again, once for each of them.
            releaseAll();
            m_units.clear();
            m_scanning = false;
            emit scanFinished();
            return;
        }
        if (claimed == ClaimResult::Claimed) m_claimed << id;
        else skipped << id;
    }
    m_inUse = skipped;
    comm::BusScheduler *scheduler = m_scheduler;
    m_scanner = std::make_unique<comm::UnitScanner>([scheduler](std::uint32_t id, const codec::MessageBytes &data) {
        scheduler->submit(canbus::netIdForIdentifier(id), comm::BusScheduler::Traffic::Edit, id, data);
        return true;
    });
    m_scanner->setSkipped(skipped);
    connect(m_scheduler, &comm::BusScheduler::frameArrived, m_scanner.get(), [this](quint32 id, const QByteArray &d) {
        m_scanner->frameReceived(id, {reinterpret_cast<const std::uint8_t *>(d.constData()), std::size_t(d.size())});
    });
    connect(m_scanner.get(), &comm::UnitScanner::finished, this, [this] {
        const QList<comm::FoundUnit> found = m_scanner->units();
        m_scanner.release()->deleteLater();
        m_units.clear();
        for (const comm::FoundUnit &f : found) m_units[f.netId].found = f;
        // Keep only the Net-IDs of units found.
        if (m_release)
            for (int id : std::as_const(m_claimed))
                if (!m_units.contains(id)) m_release(id);
        m_claimed = m_units.keys();
        m_scanning = false;
        if (m_metering) startMeters();
        emit scanFinished();
    });
    m_scanner->start();
}

void RigSession::startMeters()
{
    for (const int id : m_units.keys()) {
        if (m_meters.count(id) || m_units[id].handedOver) continue;
        auto meter = std::make_unique<comm::UnitMeter>(
            std::make_unique<comm::ScheduledCanTransport>(m_scheduler, m_busName, id));
        comm::UnitMeter *m = meter.get();
        connect(m, &comm::UnitMeter::levelsChanged, this, [this, id, m] {
            m_units[id].levels = m->levels();
            emit levelsChanged(id);
        });
        connect(m, &comm::UnitMeter::muteStateChanged, this, [this, id](std::uint32_t state) {
            m_units[id].muteState = state;
            m_units[id].hasMuteState = true;
            emit levelsChanged(id);
        });
        m->start();
        m_meters[id] = std::move(meter);
    }
}

void RigSession::handOver(int netId)
{
    if (!m_units.contains(netId)) return;
    m_meters.erase(netId);
    if (m_claimed.removeAll(netId) && m_release) m_release(netId);
    Unit &u = m_units[netId];
    u.handedOver = true;
    u.status = tr("In an editor");
    emit unitChanged(netId);
}

void RigSession::stopMeters()
{
    m_meters.clear();
}

void RigSession::setMetering(bool on)
{
    m_metering = on;
    if (on && !m_scanning) startMeters();
    else stopMeters();
}

bool RigSession::run(const QList<int> &netIds, const RigJob &job)
{
    if (isRunning() || m_scanning || netIds.isEmpty()) return false;
    // A unit's meter and its command would be two requests at once for one
    // unit, whose replies could not be told apart: the meters of the units
    // in the command pause until it ends.
    for (int id : netIds) m_meters.erase(id);
    m_runner = std::make_unique<RigRunner>(m_scheduler, m_busName);
    for (int id : netIds) {
        Unit &u = m_units[id];
        u.busy = true;
        u.failed = false;
        u.done = 0;
        u.total = 0;
        u.status = tr("Connecting");
        emit unitChanged(id);
    }
    connect(m_runner.get(), &RigRunner::unitProgress, this, [this](int id, int done, int total, const QString &what) {
        Unit &u = m_units[id];
        u.done = done;
        u.total = total;
        u.status = what;
        emit unitChanged(id);
    });
    connect(m_runner.get(), &RigRunner::unitFinished, this, [this](int id, bool ok, const QString &error) {
        Unit &u = m_units[id];
        u.busy = false;
        u.failed = !ok;
        u.done = u.total = ok ? 1 : u.total;
        u.status = ok ? tr("Done") : error;
        emit unitChanged(id);
    });
    connect(m_runner.get(), &RigRunner::finished, this, [this] {
        int ok = 0, failed = 0;
        for (const auto &r : m_runner->results()) (r.ok ? ok : failed)++;
        m_runner.release()->deleteLater();
        if (m_metering) startMeters();
        emit commandFinished(ok, failed);
    });
    return m_runner->start(netIds, job);
}

} // namespace zar40::editor
