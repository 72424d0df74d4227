#include "UnitMeter.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/comm/Transport.h"

namespace zar40::comm {

using namespace codec;

UnitMeter::UnitMeter(std::unique_ptr<Transport> transport, QObject *parent)
    : QObject(parent), m_transport(std::move(transport))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &UnitMeter::poll);
}

UnitMeter::~UnitMeter()
{
    stop();
}

bool UnitMeter::start()
{
    if (m_running) return true;
    if (!m_transport || (!m_transport->isOpen() && !m_transport->open())) return false;
    m_running = true;
    poll();
    return true;
}

void UnitMeter::stop()
{
    m_running = false;
    m_timer.stop();
    m_engine.dropAll(this);
}

void UnitMeter::poll()
{
    if (!m_running) return;
    post(ReqReadPegelVal, 0);
}

void UnitMeter::post(std::uint16_t code, std::uint16_t address)
{
    m_engine.submit(this, Message{code, address, 0});
}

void UnitMeter::transactionReplied(const Message &request, const Message &reply)
{
    if (!m_running) return;
    // A RepError carries no value; the cycle goes on without it.
    const bool value = reply.code != RepError;
    switch (request.code) {
    case ReqReadPegelVal: {
        if (value) {
            const auto bytes = levelBytes(reply.value);
            for (std::size_t i = 0; i < 4; ++i) m_levels[request.address * 4u + i] = bytes[i];
        }
        if (request.address == 0) {
            post(ReqReadPegelVal, 1);
            return;
        }
        emit levelsChanged();
        post(ReqReadMuteState, 0);
        return;
    }
    case ReqReadMuteState:
        if (value && (!m_haveMute || reply.value != m_muteState)) {
            m_muteState = reply.value;
            m_haveMute = true;
            emit muteStateChanged(m_muteState);
        }
        endCycle();
        return;
    default: return;
    }
}

void UnitMeter::endCycle()
{
    ++m_cycles;
    m_timer.start(kPauseMs);
}

void UnitMeter::transactionTimedOut(const Message &)
{
    if (!m_running) return;
    ++m_failures;
    emit silent();
    m_timer.start(kPauseMs);
}

void UnitMeter::transactionRefused(const Message &request)
{
    transactionTimedOut(request);
}

} // namespace zar40::comm
