#include "CommCtrl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>
#include <QTimer>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace zar40::comm {

namespace {

bool fail(QString *error, const QString &text)
{
    if (error) *error = text;
    return false;
}

// QSerialPort reads a name without a slash as a name below /dev; a typed
// relative path (build/zar40-sim.pty, or a bare name that exists here but
// not in /dev) means a file seen from here.
QString systemPath(const QString &port)
{
    if (QDir::isAbsolutePath(port)) return port;
    if (port.contains(QLatin1Char('/')) ||
        (QFileInfo::exists(port) && !QFileInfo::exists(QStringLiteral("/dev/") + port)))
        return QFileInfo(port).absoluteFilePath();
    return port;
}

} // namespace

std::optional<SerialSettings> parseSerialSettings(const QString &text, QString *error)
{
    const QStringList parts = text.split(QLatin1Char(','));
    auto invalid = [&](const QString &why) -> std::optional<SerialSettings> {
        fail(error, QStringLiteral("Invalid serial settings \"%1\": %2 (expected e.g. \"115200,n,8,1\")").arg(text, why));
        return std::nullopt;
    };
    if (parts.size() != 4) return invalid(QStringLiteral("four fields separated by commas are needed"));

    SerialSettings s;
    bool ok = false;
    const qlonglong baud = parts[0].trimmed().toLongLong(&ok);
    if (!ok || baud < 50 || baud > 4000000) return invalid(QStringLiteral("the baud rate must be a number from 50 to 4000000"));
    s.baudRate = static_cast<qint32>(baud);

    const QString parity = parts[1].trimmed().toLower();
    if (parity == QLatin1String("n")) s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e")) s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o")) s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m")) s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s")) s.parity = QSerialPort::SpaceParity;
    else return invalid(QStringLiteral("the parity must be one of n, e, o, m, s"));

    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8) return invalid(QStringLiteral("the data bits must be 5, 6, 7 or 8"));
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);

    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1")) s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5")) s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2")) s.stopBits = QSerialPort::TwoStop;
    else return invalid(QStringLiteral("the stop bits must be 1, 1.5 or 2"));
    return s;
}

CCommCtrl::CCommCtrl(QObject *parent)
    : QObject(parent)
    , m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &CCommCtrl::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &CCommCtrl::onError);
}

CCommCtrl::~CCommCtrl()
{
    // Destroying the owner ends the channel without waiting for output.
    if (m_port->isOpen()) m_port->close();
}

bool CCommCtrl::open(const QString &port, const QString &settings, int threshold)
{
    const auto parsed = parseSerialSettings(settings, &m_error);
    if (!parsed) return false;
    if (port.trimmed().isEmpty()) return fail(&m_error, QStringLiteral("No serial port selected"));

    const QString path = systemPath(port.trimmed());
    if (m_port->isOpen() && path != m_portName) close();

    m_threshold = threshold < 1 ? 1 : threshold;
    if (!m_port->isOpen()) {
        m_port->setPortName(path);
        m_port->setReadBufferSize(kBufferSize);
        m_failed = false;
        if (!m_port->open(QIODevice::ReadWrite)) {
            m_error = m_port->errorString();
            m_port->clearError();
            return false;
        }
        m_portName = path;
    }
    // The same port may be reconfigured while open (the firmware loader
    // starts at 9600 and continues at 115200).
    if (!m_port->setBaudRate(parsed->baudRate) || !m_port->setParity(parsed->parity) ||
        !m_port->setDataBits(parsed->dataBits) || !m_port->setStopBits(parsed->stopBits) ||
        !m_port->setFlowControl(QSerialPort::NoFlowControl)) {
        m_error = m_port->errorString();
        m_port->clearError();
        m_port->close();
        return false;
    }
    applyThreshold();
    m_error.clear();
    return true;
}

bool CCommCtrl::isOpen() const { return m_port->isOpen(); }

void CCommCtrl::setThreshold(int bytes)
{
    m_threshold = bytes < 1 ? 1 : bytes;
    applyThreshold();
}

void CCommCtrl::applyThreshold()
{
    // A reply comes a byte at a time (87 us apart at 115200 baud). With the
    // terminal's minimum set to the threshold the system reports the port
    // readable only once a whole frame may be there, instead of turning the
    // event loop (a poll, a read, a dispatch) for each of a frame's bytes.
    // A port that refuses the setting still works: the threshold is checked
    // again in onReadyRead.
    const int fd = static_cast<int>(m_port->handle());
    termios t{};
    if (!m_port->isOpen() || fd < 0 || ::tcgetattr(fd, &t) != 0) return;
    t.c_cc[VMIN] = static_cast<cc_t>(std::min(m_threshold, 255));
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &t);
}

qint64 CCommCtrl::waitingBelowThreshold() const
{
    // Fewer bytes than the threshold wait in the system, not in the port
    // object, and raise no notification. More never count here: the port
    // object is about to read them, and reading them first would leave it
    // a notification with nothing behind it, which it takes for a failing
    // line.
    int waiting = 0;
    if (::ioctl(static_cast<int>(m_port->handle()), FIONREAD, &waiting) != 0) return 0;
    return waiting > 0 && waiting < m_threshold ? waiting : 0;
}

qint64 CCommCtrl::inBufferCount() const
{
    return m_port->isOpen() ? m_port->bytesAvailable() + waitingBelowThreshold() : 0;
}

qint64 CCommCtrl::outBufferCount() const { return m_port->isOpen() ? m_port->bytesToWrite() : 0; }

QByteArray CCommCtrl::input()
{
    QByteArray bytes = takeReceived();
    if (!m_port->isOpen()) return bytes;
    // Exactly those counted: whatever comes meanwhile is the port object's.
    const qint64 below = waitingBelowThreshold();
    if (below > 0) {
        char more[kBufferSize];
        const ssize_t n = ::read(static_cast<int>(m_port->handle()), more, std::min(static_cast<size_t>(below), sizeof more));
        if (n > 0) bytes.append(more, static_cast<qsizetype>(n));
    }
    return bytes;
}

QByteArray CCommCtrl::takeReceived() { return m_port->isOpen() ? m_port->readAll() : QByteArray(); }

bool CCommCtrl::write(const QByteArray &bytes)
{
    if (!m_port->isOpen() || m_failed) return fail(&m_error, QStringLiteral("The serial port is not open"));
    if (m_port->bytesToWrite() + bytes.size() > kBufferSize)
        return fail(&m_error, QStringLiteral("The serial output buffer is full"));
    // Hand the block to the system now rather than on the next turn of the
    // event loop: a request should not wait for anything else to run first.
    // With nothing of ours queued it goes to the line directly; through the
    // port object it would cost a write notification armed, polled and
    // disarmed again, system calls that every exchange would wait for.
    // Whatever the line does not take now (its buffer is full), and any
    // error, goes the port object's way: it queues the rest whole and
    // reports a failing line.
    qsizetype done = 0;
    if (m_port->bytesToWrite() == 0) {
        const ssize_t n = ::write(static_cast<int>(m_port->handle()), bytes.constData(), static_cast<size_t>(bytes.size()));
        if (n > 0) done = static_cast<qsizetype>(n);
    }
    if (done == bytes.size()) return true;
    const QByteArray rest = bytes.mid(done);
    const qint64 written = m_port->write(rest);
    if (written != rest.size()) {
        m_error = m_port->errorString();
        return false;
    }
    // Only when the line can take bytes, though: a write into a full buffer
    // would be reported as a write error, and a full buffer is no failure.
    pollfd ready{static_cast<int>(m_port->handle()), POLLOUT, 0};
    if (::poll(&ready, 1, 0) == 1 && (ready.revents & POLLOUT)) m_port->flush();
    return true;
}

void CCommCtrl::close()
{
    if (!m_port->isOpen()) return;
    QElapsedTimer elapsed;
    elapsed.start();
    // Other events (timers, other connections' replies) keep being served
    // while the last frame leaves.
    while (m_port->isOpen() && !m_failed && m_port->bytesToWrite() > 0 && elapsed.elapsed() < m_drainLimitMs) {
        QEventLoop loop;
        QTimer tick;
        tick.setSingleShot(true);
        connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(m_port, &QSerialPort::bytesWritten, &loop, &QEventLoop::quit);
        connect(m_port, &QSerialPort::errorOccurred, &loop, &QEventLoop::quit);
        tick.start(10);
        loop.exec();
    }
    if (m_port->isOpen()) m_port->close();
    m_failed = false;
}

QList<PortEntry> CCommCtrl::enumeratePorts()
{
    QList<PortEntry> list;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        list.append(PortEntry{info.systemLocation(), info.portName(), info.description()});
    return list;
}

void CCommCtrl::onReadyRead()
{
    if (m_port->bytesAvailable() >= m_threshold) emit received();
}

void CCommCtrl::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::UnknownError:
        break;
    default:
        return;
    }
    if (!m_port->isOpen() || m_failed) return;
    m_failed = true;
    m_error = m_port->errorString();
    emit failed(m_error);
}

} // namespace zar40::comm
