#include "can_messages.h"

#include <algorithm>

CanNoticeEvent::CanNoticeEvent(int code, int netId, const quint8 *data)
    : QEvent(eventType())
    , code_(code)
    , netId_(netId)
{
    if (data)
        std::copy(data, data + data_.size(), data_.begin());
}

CanNoticeEvent::~CanNoticeEvent() = default;

QEvent::Type CanNoticeEvent::eventType()
{
    // Registered once in the shared library, so host and plug-ins agree.
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}
