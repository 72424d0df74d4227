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

void Transport::sendFollowUpFor(const codec::Message &reply)
{
    if (!m_followUp) return;
    const FollowUp followUp = *m_followUp;
    m_followUp.reset();
    // Only the answer the engine takes and its client goes on from: any
    // other (an error, a rejected or a late reply) leaves the next step to
    // the engine, as without a follow-up.
    if (reply.code != codec::replyCodeFor(followUp.awaited.code) || !codec::acceptReply(followUp.awaited, reply))
        return;
    discardInput();
    if (send(followUp.next)) m_sentFollowUp = followUp.next;
}

} // namespace zar40::comm
