#pragma once
// Helpers of the CAN link tests: a unit that answers on the fake driver's
// bus, the real simulator on a virtual bus, and the editor's side pieces.
#include "test_support.h"

#include "zar40/comm/codec/message.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/preset/fields.h"
#include "zar40/preset/record.h"

#include "FakeUcan.h"
#include "RecordingUi.h"
#include "virtual_bus.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>

namespace zar40::comm::test {

// Units on the fake driver's bus: every frame the host writes whose
// identifier / 32 is one of their Net-IDs is answered as a ZAR40 would, with
// identifier Net-ID x 32 + 1 (a unit may use any of its 32 identifiers).
class FakeBusUnits : public QObject
{
public:
    explicit FakeBusUnits(FakeUcan &driver) : m_driver(driver)
    {
        connect(&m_timer, &QTimer::timeout, this, &FakeBusUnits::serve);
        m_timer.start(1);
    }
    void addUnit(int netId) { m_units[netId] = {}; }

    // Called with each request before it is answered; returning false keeps
    // the unit silent.
    std::function<bool(int netId, const codec::Message &request)> onRequest;

    int requestsTo(int netId) const
    {
        const auto it = m_units.find(netId);
        return it == m_units.end() ? 0 : it->second.requests;
    }

    // What parameter ADDRESS of unit NETID holds: a value of its own for
    // each unit and address.
    static std::uint32_t valueOf(int netId, std::uint16_t address) { return std::uint32_t(netId) << 16 | address; }

private:
    struct Unit {
        int requests = 0;
    };

    void serve()
    {
        const QList<ucan::CanMsg> written = m_driver.written();
        for (; m_seen < written.size(); ++m_seen) {
            const ucan::CanMsg &frame = written[m_seen];
            const int netId = int(frame.id / 32);
            auto it = m_units.find(netId);
            if (it == m_units.end() || frame.length != 8) continue;
            ++it->second.requests;
            const codec::Message request = codec::parseMessage(std::span<const std::uint8_t, 8>(frame.data, 8));
            if (onRequest && !onRequest(netId, request)) continue;
            const codec::MessageBytes reply = codec::buildMessage(answer(netId, request));
            m_driver.injectFrame(quint32(netId * 32 + 1),
                                 QByteArray(reinterpret_cast<const char *>(reply.data()), qsizetype(reply.size())));
        }
    }

    static codec::Message answer(int netId, const codec::Message &m)
    {
        codec::Message r{std::uint16_t(m.code + 8), m.address, 0};
        switch (m.code) {
        case codec::ReqConnect:
        case codec::ReqDeviceID:
        case codec::ReqCompPwd:
            r.value = 1;
            break;
        case codec::ReqRevision:
            r.value = codec::revisionWord(1, 5);
            break;
        case codec::ReqReadPara:
            r.value = valueOf(netId, m.address);
            break;
        default:
            break;
        }
        return r;
    }

    FakeUcan &m_driver;
    QTimer m_timer;
    std::map<int, Unit> m_units;
    qsizetype m_seen = 0;
};

using vrntest::freeVirtualBus;

} // namespace zar40::comm::test
