#pragma once
// The link to one device: it carries 8-byte device messages, one request at
// a time, and hands back whatever reply messages pass its own frame checks.
// The serial line is one implementation; a CAN link through the host's CAN
// window is another. The transaction engine sees only this interface.
#include "zar40/comm/codec/message.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>
#include <utility>

Q_DECLARE_METATYPE(zar40::codec::Message)

namespace zar40::comm {

class Transport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Transport() override;

    // Opens the link. false, with errorString() set, when it cannot.
    virtual bool open() = 0;
    // Closes the link once everything sent has left.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Sends one request as one frame. false when the link cannot take it.
    virtual bool send(const codec::Message &request) = 0;
    // Drops received bytes that no request is waiting for, so that they are
    // never mistaken for the answer to the next one.
    virtual void discardInput() {}
    virtual QString errorString() const = 0;
    // What the user chose, for messages: "/dev/ttyUSB0", "CAN Net-ID 3".
    virtual QString description() const = 0;

    // Late replies. When a request is given up (time-out, dropped) its reply
    // may still come; the engine records the request here and asks before
    // taking a reply for the current request. A reply that fits a given-up
    // request and cannot be the current request's answer is discarded once.
    void noteAbandoned(const codec::Message &request);
    bool isLateReply(const codec::Message &current, const codec::Message &reply);
    // A link opened or closed anew owes nothing of before: neither given-up
    // requests nor follow-ups.
    void forgetAbandoned()
    {
        m_abandoned.clear();
        disarmFollowUp();
        m_sentFollowUp.reset();
    }

    // The next request of a run of reads, sent by the transport itself the
    // moment the positive answer to AWAITED is in, before that answer goes
    // up: on a paced line the time from a reply to the next request is
    // what every exchange waits for. A transport that does not do this
    // simply never reports a follow-up sent.
    void armFollowUp(const codec::Message &awaited, const codec::Message &next)
    {
        m_followUp = FollowUp{awaited, next};
    }
    void disarmFollowUp() { m_followUp.reset(); }
    // The follow-up that went out and has not been claimed yet, if any;
    // forgets it.
    std::optional<codec::Message> takeSentFollowUp() { return std::exchange(m_sentFollowUp, std::nullopt); }
    const std::optional<codec::Message> &sentFollowUp() const { return m_sentFollowUp; }

signals:
    // A reply message that passed the transport's frame checks.
    void messageReceived(const zar40::codec::Message &reply);
    // The link broke under us (adapter pulled, port gone): the waiting
    // exchange can never be answered.
    void linkFailed(const QString &error);
    // The other side closed the link in an orderly way (CAN link lost or
    // closed by the host).
    void linkClosed();

protected:
    // For implementations that send follow-ups: called with each reply
    // before it is emitted.
    void sendFollowUpFor(const codec::Message &reply);

private:
    struct FollowUp {
        codec::Message awaited;
        codec::Message next;
    };
    QList<codec::Message> m_abandoned;
    std::optional<FollowUp> m_followUp;
    std::optional<codec::Message> m_sentFollowUp;
};

} // namespace zar40::comm
