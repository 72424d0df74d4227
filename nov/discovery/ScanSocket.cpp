#include "ScanSocket.h"

#include "NovScanner.h"

CScanSocket::CScanSocket(NovScanner *scanner)
    : QUdpSocket(scanner)
    , m_scanner(scanner)
{
}

CScanSocket::~CScanSocket() = default;

bool CScanSocket::open(quint16 port)
{
    // Qt allows broadcasts on every datagram socket it creates.
    if (!bind(QHostAddress::AnyIPv4, port, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint))
        return false; // the scanner reports this one itself
    connect(this, &QUdpSocket::readyRead, m_scanner, &NovScanner::onScanReply);
    connect(this, &QUdpSocket::errorOccurred, m_scanner, [this](QAbstractSocket::SocketError error) {
        m_scanner->onSocketError(int(error), errorString());
    });
    return true;
}
