#pragma once
// A transport the test steers: it records every request and answers only
// when told to (or through a responder the test installs).
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/comm/Transport.h"

#include <QList>
#include <QTimer>

#include <functional>
#include <optional>

namespace zar40::comm::test {

class FakeTransport : public Transport
{
    Q_OBJECT
public:
    using Responder = std::function<std::optional<codec::Message>(const codec::Message &request)>;

    bool open() override
    {
        if (refuseOpen) {
            m_error = QStringLiteral("Permission denied");
            return false;
        }
        m_open = true;
        forgetAbandoned();
        return true;
    }
    void close() override { m_open = false; ++closes; }
    bool isOpen() const override { return m_open; }
    bool send(const codec::Message &request) override
    {
        if (!m_open || failSend) return false;
        sent.append(request);
        if (responder) {
            if (auto reply = responder(request)) {
                // Answers arrive from the event loop, as from a port.
                const codec::Message r = *reply;
                QTimer::singleShot(0, this, [this, r] { deliver(r); });
            }
        }
        return true;
    }
    void discardInput() override { ++discards; }
    QString errorString() const override { return m_error; }
    QString description() const override { return QStringLiteral("fake"); }

    void deliver(const codec::Message &reply)
    {
        if (sendsFollowUps) sendFollowUpFor(reply);
        emit messageReceived(reply);
    }
    void breakLink() { emit linkFailed(QStringLiteral("Input/output error")); }

    // The plain answer a device gives: reply code, same address, VALUE.
    static codec::Message answer(const codec::Message &request, std::uint32_t value = 0)
    {
        return codec::Message{static_cast<std::uint16_t>(request.code + 8), request.address, value};
    }

    // A well-behaved unit of the accepted revision: it takes the connection
    // and password 0 and answers everything else with 0.
    static std::optional<codec::Message> wellBehavedUnit(const codec::Message &m)
    {
        switch (m.code) {
        case codec::ReqConnect:
        case codec::ReqDeviceID:
        case codec::ReqCompPwd:
            return answer(m, 1);
        case codec::ReqRevision:
            return answer(m, codec::revisionWord(1, 5));
        default:
            return answer(m, 0);
        }
    }

    QList<codec::Message> sent;
    Responder responder;
    bool refuseOpen = false;
    bool failSend = false;
    bool sendsFollowUps = false; // as the serial link does
    int discards = 0;
    int closes = 0;

private:
    bool m_open = false;
    QString m_error;
};

} // namespace zar40::comm::test
