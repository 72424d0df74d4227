#pragma once
// The link to one device: it carries 8-byte device messages, one request at
// a time, and hands back whatever reply messages pass its own frame checks.
// The serial line is one implementation; a CAN link through the host's CAN
// window is another. The transaction engine sees only this interface.
#include "zar40/comm/codec/message.h"

#include <QList>
#include <QObject>
#include <QString>

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
    void forgetAbandoned() { m_abandoned.clear(); }

signals:
    // A reply message that passed the transport's frame checks.
    void messageReceived(const zar40::codec::Message &reply);
    // The link broke under us (adapter pulled, port gone): the waiting
    // exchange can never be answered.
    void linkFailed(const QString &error);
    // The other side closed the link in an orderly way (CAN link lost or
    // closed by the host).
    void linkClosed();

private:
    QList<codec::Message> m_abandoned;
};

} // namespace zar40::comm
