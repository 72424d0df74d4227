#pragma once
// The device link over RS232: 14-byte frames through CCommCtrl.
#include "zar40/comm/CommCtrl.h"
#include "zar40/comm/Transport.h"

namespace zar40::comm {

class SerialTransport : public Transport
{
    Q_OBJECT
public:
    explicit SerialTransport(const QString &port, QObject *parent = nullptr);

    bool open() override;
    void close() override;
    bool isOpen() const override;
    bool send(const codec::Message &request) override;
    void discardInput() override;
    QString errorString() const override { return m_error; }
    QString description() const override { return m_port; }

    QString port() const { return m_port; }
    CCommCtrl &channel() { return m_channel; }

    // Reads that were not exactly one well-formed frame, since construction.
    quint64 discardedReads() const { return m_discardedReads; }

private:
    void onReceived();

    QString m_port;
    QString m_error;
    CCommCtrl m_channel;
    quint64 m_discardedReads = 0;
};

} // namespace zar40::comm
