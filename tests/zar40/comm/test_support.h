#pragma once
// Helpers shared by the comm tests.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace zar40::comm::test {

// Runs the event loop until PRED holds. The limit only stops a broken test
// from hanging; no test asserts on how long anything took.
inline bool waitUntil(const std::function<bool()> &pred, int limitMs = 20000)
{
    QDeadlineTimer deadline(limitMs);
    while (!pred()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

// Runs the event loop for MS milliseconds (to show that something does
// NOT happen, or to let queued work run).
inline void spin(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
}

} // namespace zar40::comm::test
