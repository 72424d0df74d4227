#include "Transport.h"

#include "zar40/comm/codec/request_codes.h"

namespace zar40::comm {

namespace {

// A few given-up requests are remembered; older ones will not answer any more.
constexpr qsizetype kMaxAbandoned = 8;

bool answers(const codec::Message &request, const codec::Message &reply)
{
    return reply.address == request.address &&
           (reply.code == codec::replyCodeFor(request.code) || reply.code == codec::RepError);
}

} // namespace

Transport::~Transport() = default;

void Transport::noteAbandoned(const codec::Message &request)
{
    m_abandoned.append(request);
    if (m_abandoned.size() > kMaxAbandoned) m_abandoned.removeFirst();
}

bool Transport::isLateReply(const codec::Message &current, const codec::Message &reply)
{
    // A reply that fits the current request is taken as its answer even if an
    // identical request was given up before: the answers are the same.
    if (m_abandoned.isEmpty() || answers(current, reply)) return false;
    for (qsizetype i = 0; i < m_abandoned.size(); ++i) {
        if (answers(m_abandoned[i], reply)) {
            m_abandoned.removeAt(i);
            return true;
        }
    }
    return false;
}

} // namespace zar40::comm
