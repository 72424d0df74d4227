#pragma once

#include <QUdpSocket>

class NovScanner;

// The datagram socket of a scan: bound to the scan port on every interface,
// broadcasts allowed. It hands each arriving datagram to its scanner and
// reports socket errors there.
class CScanSocket : public QUdpSocket
{
    Q_OBJECT
public:
    explicit CScanSocket(NovScanner *scanner);
    ~CScanSocket() override;

    // Binds to 0.0.0.0:port. Shared with other sockets on the port, so that
    // a module simulator on this machine can listen on the same port.
    bool open(quint16 port);

private:
    NovScanner *m_scanner;
};
