#pragma once
// The serial channel: one QSerialPort configured the way the device link
// and the firmware loader need it. It only moves bytes; framing lives in the
// codec and in the transports above.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <optional>

namespace zar40::comm {

struct SerialSettings {
    qint32 baudRate = 115200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    friend bool operator==(const SerialSettings &, const SerialSettings &) = default;
};

// Parses a settings text "BAUD,PARITY,DATA,STOP" such as "115200,n,8,1":
// parity n, e, o, m or s (any case), 5 to 8 data bits, 1, 1.5 or 2 stop bits.
// Returns nothing and a message in *error when the text is not one of these.
std::optional<SerialSettings> parseSerialSettings(const QString &text, QString *error = nullptr);

// One entry of the port list.
struct PortEntry {
    QString systemLocation; // what open() takes, e.g. "/dev/ttyUSB0"
    QString portName;       // e.g. "ttyUSB0"
    QString description;    // the USB description, may be empty
};

class CCommCtrl : public QObject
{
    Q_OBJECT
public:
    static constexpr int kBufferSize = 512;
    // A receive notification once a whole device frame may be waiting.
    static constexpr int kProtocolThreshold = 14;
    // The firmware loader wants to see every byte.
    static constexpr int kFirmwareThreshold = 1;
    static constexpr const char *kProtocolSettings = "115200,n,8,1";
    static constexpr const char *kLoaderSettings = "9600,n,8,1";
    // How long close() waits at most for queued output to leave. A port
    // that cannot send any more (adapter unplugged) must not hold close().
    static constexpr int kDefaultDrainLimitMs = 2000;

    explicit CCommCtrl(QObject *parent = nullptr);
    ~CCommCtrl() override;

    // Opens PORT (a name of the port list or any device path, a
    // pseudo-terminal included) with SETTINGS and receive THRESHOLD. A port
    // that is already open with the same name is only reconfigured. On
    // failure the port stays closed and errorString() holds the reason: the
    // system's text for a missing, busy or refused port.
    bool open(const QString &port, const QString &settings, int threshold = kProtocolThreshold);
    bool isOpen() const;
    QString portName() const { return m_portName; }
    QString errorString() const { return m_error; }

    void setThreshold(int bytes);
    int threshold() const { return m_threshold; }

    // Bytes waiting to be read, also those that wait below the threshold.
    qint64 inBufferCount() const;
    // Bytes queued for output that have not left yet.
    qint64 outBufferCount() const;
    // Everything waiting; empty when nothing is or the port is closed.
    QByteArray input();
    // What the port has taken from the system so far: after received(), at
    // least threshold() bytes. Saves asking the system for more, which
    // input() does.
    QByteArray takeReceived();
    // Queues BYTES as one block. Refused (false, errorString() set) when the
    // port is closed or the output buffer cannot take the whole block:
    // a block is never sent in part.
    bool write(const QByteArray &bytes);

    // Lets queued output leave while the event loop keeps running, then
    // closes. Never cuts a block in the middle unless the port has failed or
    // the drain limit has passed.
    void close();
    void setDrainLimit(int ms) { m_drainLimitMs = ms; }

    // The serial ports of this machine in the system's order.
    static QList<PortEntry> enumeratePorts();

signals:
    // At least threshold() bytes are waiting.
    void received();
    // The open port stopped working (for example its USB adapter was
    // pulled). The port stays formally open until close().
    void failed(const QString &error);

private:
    void applyThreshold();
    qint64 waitingBelowThreshold() const;
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort *m_port;
    QString m_portName;
    QString m_error;
    int m_threshold = kProtocolThreshold;
    int m_drainLimitMs = kDefaultDrainLimitMs;
    bool m_failed = false;
};

} // namespace zar40::comm
