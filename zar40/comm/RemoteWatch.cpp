#include "RemoteWatch.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/Communicationmodul.h"

namespace zar40::comm {

using namespace codec;

namespace {

// A poll reply of 0xFFFFFFFF means the unit has no value now.
constexpr std::uint32_t kNoValue = 0xFFFFFFFFu;

} // namespace

CRemoteWatch::CRemoteWatch(CCommunicationmodul *link, QObject *parent)
    : QObject(parent)
    , m_link(link)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CRemoteWatch::poll);
}

CRemoteWatch::~CRemoteWatch()
{
    if (m_link && m_link->replyTarget() == this) m_link->setReplyTarget(nullptr);
}

void CRemoteWatch::setEnabled(bool on)
{
    if (on == m_enabled) return;
    m_enabled = on;
    m_timer.stop();
    if (on) {
        m_cycles = 0;
        m_withPots = false;
        m_timer.start(kFirstPollMs);
    } else if (m_link && m_link->replyTarget() == this) {
        m_link->setReplyTarget(nullptr);
    }
}

void CRemoteWatch::poll()
{
    if (!m_enabled || !m_link) return;
    const auto state = static_cast<std::uint16_t>(m_link->state());
    // Not past the password yet, or already disconnecting: try again later
    // rather than give up, the state may still move on.
    if (state <= RepCompPwd || state >= ReqDisconnect) {
        m_timer.start(kPauseMs);
        return;
    }
    m_link->setReplyTarget(this);
    post(ReqReadPegelVal, 0);
}

void CRemoteWatch::post(std::uint16_t code, std::uint16_t address)
{
    m_link->postTransaction(code, address, 0);
}

void CRemoteWatch::endCycle()
{
    ++m_cycles;
    emit cycleFinished();
    m_timer.start(kPauseMs);
}

bool CRemoteWatch::event(QEvent *event)
{
    if (event->type() != CPollReplyEvent::eventType()) return QObject::event(event);
    const auto *reply = static_cast<CPollReplyEvent *>(event);
    if (!m_enabled || !m_link || !m_link->acceptsWrites()) return true;
    switch (reply->code()) {
    case RepReadPegelVal: {
        if (reply->address() >= codec::kLevelAddresses) return true;
        if (reply->value() != kNoValue && codec::applyLevelReply(m_levels, reply->address(), reply->value()))
            emit levelsChanged();
        if (reply->address() == 0) {
            post(ReqReadPegelVal, 1);
        } else {
            m_withPots = !m_withPots;
            if (m_withPots) post(ReqReadPotiVal, 1);
            else endCycle();
        }
        break;
    }
    case RepReadPotiVal: {
        const int n = reply->address();
        if (n < 1 || n > kPotCount) return true;
        if (reply->value() != kNoValue) {
            m_pots[static_cast<std::size_t>(n - 1)] = reply->value();
            emit potsChanged();
        }
        if (n < kPotCount) post(ReqReadPotiVal, static_cast<std::uint16_t>(n + 1));
        else post(ReqReadMuteState, 0);
        break;
    }
    case RepReadMuteState:
        if (reply->value() != kNoValue && reply->value() != m_muteState) {
            m_muteState = reply->value();
            emit muteStateChanged(m_muteState);
        }
        endCycle();
        break;
    default:
        break;
    }
    return true;
}

} // namespace zar40::comm
