#pragma once
// Helpers shared by the comm tests.
#include "zar40/comm/codec/values.h"
#include "zar40/comm/Communicationmodul.h"
#include "zar40/comm/event_wait.h"
#include "zar40/preset/fields.h"
#include "zar40/preset/record.h"

#include <cstdint>
#include <cstdio>
#include <functional>

namespace zar40::comm::test {

using Notification = CCommunicationmodul::Notification;
using State = CCommunicationmodul::State;

// Runs the event loop until PRED holds. The limit only stops a broken test
// from hanging; no test asserts on how long anything took.
inline bool waitUntil(const std::function<bool()> &pred, int limitMs = 20000)
{
    return runEventsUntil(pred, QDeadlineTimer(limitMs));
}

// Runs the event loop for MS milliseconds (to show that something does
// NOT happen, or to let queued work run).
inline void spin(int ms) { runEventsFor(ms); }

// A record whose every transferable field differs from the defaults and from
// its neighbours (SEED shifts the values, so two records differ too), with
// values that survive the wire conversions exactly.
inline preset::PresetRecord distinctRecord(std::uint32_t seed = 0)
{
    preset::PresetRecord r = preset::defaultPreset();
    const auto fields = preset::fieldTable();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto &f = fields[i];
        const auto n = static_cast<std::uint32_t>(i) + seed;
        switch (f.type) {
        case preset::FieldType::U32:
            if (f.key.field != preset::Field::Number) preset::setFieldWord(r, f, 1000 + n);
            break;
        case preset::FieldType::F32:
            preset::setFieldWord(r, f, codec::floatToWord(f.key.field == preset::Field::Delay
                                                              ? 1.0f + 96.0f * static_cast<float>(n % 50)
                                                              : 0.25f * static_cast<float>(n)));
            break;
        case preset::FieldType::Mute8:
            preset::setFieldWord(r, f, n % 2);
            break;
        case preset::FieldType::Text: {
            // Longer than every text field, so that each is filled to its width.
            char text[32];
            std::snprintf(text, sizeof text, "T%uxxxxxxxxxxxxxxxxxx", static_cast<unsigned>(n));
            preset::setFieldText(r, f, text);
            break;
        }
        }
    }
    return r;
}

} // namespace zar40::comm::test
