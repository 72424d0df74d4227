#include "event_wait.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

namespace zar40::comm {

namespace {
// Short enough that a condition without an event (a stop request from a
// signal handler, a child program's state) is seen at once.
constexpr int kWakeMs = 10;
} // namespace

bool runEventsUntil(const std::function<bool()> &done, QDeadlineTimer deadline, const std::function<bool()> &stop)
{
    QTimer wake;
    wake.start(kWakeMs);
    for (;;) {
        if (done()) return true;
        if (deadline.hasExpired() || (stop && stop())) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void runEventsFor(int ms, const std::function<bool()> &stop)
{
    if (ms <= 0) return;
    runEventsUntil([] { return false; }, QDeadlineTimer(ms), stop);
}

} // namespace zar40::comm
