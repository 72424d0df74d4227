#pragma once
// Waiting in a thread whose work arrives through its own event loop: the
// blocking session, the benchmarks and the tests all wait this one way.
#include <QDeadlineTimer>

#include <functional>

namespace zar40::comm {

// Runs this thread's event loop until DONE holds (true) or DEADLINE passes,
// or STOP, when given, turns true (false). DONE is checked before each wait
// and after every batch of events; the loop also wakes every few
// milliseconds, so conditions that no event announces are seen too.
bool runEventsUntil(const std::function<bool()> &done, QDeadlineTimer deadline,
                    const std::function<bool()> &stop = {});

// Runs the event loop for MS milliseconds, or until STOP turns true.
void runEventsFor(int ms, const std::function<bool()> &stop = {});

} // namespace zar40::comm
