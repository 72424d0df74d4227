#include "SerialTransport.h"

#include <span>

namespace zar40::comm {

SerialTransport::SerialTransport(const QString &port, QObject *parent)
    : Transport(parent)
    , m_port(port)
{
    connect(&m_channel, &CCommCtrl::received, this, &SerialTransport::onReceived);
    connect(&m_channel, &CCommCtrl::failed, this, [this](const QString &error) {
        m_error = error;
        emit linkFailed(error);
    });
}

bool SerialTransport::open()
{
    forgetAbandoned();
    if (!m_channel.open(m_port, QString::fromLatin1(CCommCtrl::kProtocolSettings), CCommCtrl::kProtocolThreshold)) {
        m_error = m_channel.errorString();
        return false;
    }
    // Whatever waited in the line before we came belongs to nobody.
    m_channel.input();
    m_error.clear();
    return true;
}

void SerialTransport::close()
{
    m_channel.close();
    forgetAbandoned();
}

bool SerialTransport::isOpen() const { return m_channel.isOpen(); }

bool SerialTransport::send(const codec::Message &request)
{
    const codec::FrameBytes frame = codec::buildFrame(request);
    if (!m_channel.write(QByteArray(reinterpret_cast<const char *>(frame.data()), static_cast<qsizetype>(frame.size())))) {
        m_error = m_channel.errorString();
        return false;
    }
    return true;
}

void SerialTransport::discardInput()
{
    if (m_channel.inBufferCount() > 0) {
        m_channel.input();
        ++m_discardedReads;
    }
}

void SerialTransport::onReceived()
{
    const QByteArray bytes = m_channel.takeReceived();
    const auto message = codec::messageFromSerialRead(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
    if (!message) {
        ++m_discardedReads;
        return;
    }
    sendFollowUpFor(*message);
    emit messageReceived(*message);
}

} // namespace zar40::comm
