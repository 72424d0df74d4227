#pragma once
// The state of the units window: the units a scan found on the bus, each
// one's meters, and the command running on all or some of them with each
// unit's progress and outcome. No widgets: the window shows this and turns
// clicks into calls here.
//
// Everything goes through the bus scheduler the session is given, shared
// with the editors on the same bus. Where the bus is reached through a
// window that hands each Net-ID's frames to one owner (the host's CAN
// window), CLAIM and RELEASE take and give back a Net-ID; a Net-ID that
// cannot be claimed is in use by an editor and is left to it.
#include "zar40/comm/UnitScanner.h"
#include "zar40/editor/RigRunner.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace zar40::comm {
class BusScheduler;
class UnitMeter;
} // namespace zar40::comm

namespace zar40::editor {

class RigSession : public QObject
{
    Q_OBJECT
public:
    // What taking a Net-ID for the scan came to. Unreachable: the bus
    // itself cannot be reached (no adapter), so no other Net-ID can be taken
    // either; whoever refused has told the user why.
    enum class ClaimResult { Claimed, InUse, Unreachable };
    using Claim = std::function<ClaimResult(int netId)>;
    using Release = std::function<void(int netId)>;

    struct Unit {
        comm::FoundUnit found;
        std::array<std::uint8_t, 8> levels{};
        std::uint32_t muteState = 0;
        bool hasMuteState = false;
    bool handedOver = false; // an editor has it now
        bool busy = false;  // the running command has not finished it
        int done = 0, total = 0;
        QString status;     // the last progress or the outcome
        bool failed = false;
    };

    RigSession(comm::BusScheduler *scheduler, QString busName, Claim claim = {}, Release release = {},
               QObject *parent = nullptr);
    ~RigSession() override;

    // Scans the bus; scanFinished() follows. Meters stop during the scan
    // and start again for the units found.
    void scan();
    bool isScanning() const { return m_scanning; }
    // Units by Net-ID, ascending.
    QList<int> netIds() const { return m_units.keys(); }
    const Unit *unit(int netId) const;
    // Net-IDs an editor holds (seen by the last scan's claim).
    const QList<int> &inUse() const { return m_inUse; }

    // Runs JOB on NETIDS (units of the list); false when a command runs.
    bool run(const QList<int> &netIds, const RigJob &job);
    bool isRunning() const { return m_runner && m_runner->isRunning(); }
    // Lets go of NETID for an editor that takes it over: its meter stops and
    // its claim is given back. It stays listed.
    void handOver(int netId);
    // Meters on (the default after a scan) or off.
    void setMetering(bool on);

signals:
    void scanFinished();
    void unitChanged(int netId);
    void levelsChanged(int netId);
    void commandFinished(int succeeded, int failed);

private:
    void startMeters();
    void stopMeters();
    void releaseAll();

    comm::BusScheduler *m_scheduler;
    QString m_busName;
    Claim m_claim;
    Release m_release;
    QMap<int, Unit> m_units;
    QList<int> m_claimed;
    QList<int> m_inUse;
    std::map<int, std::unique_ptr<comm::UnitMeter>> m_meters;
    std::unique_ptr<comm::UnitScanner> m_scanner;
    std::unique_ptr<RigRunner> m_runner;
    bool m_scanning = false;
    bool m_metering = true;
};

} // namespace zar40::editor
