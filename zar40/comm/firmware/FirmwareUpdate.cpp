#include "FirmwareUpdate.h"

#include <QFile>

#include <fstream>
#include <utility>

namespace zar40::firmware {

namespace {

constexpr char kKnock = 0x56;
constexpr char kKnockReply = 0x46;
constexpr char kEraseRequest = 0x04;
constexpr char kSectorErased = 0x00;
constexpr char kProgramRequest = 0x05;
constexpr char kEndOfProgramming = 0x07;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values) out.append(static_cast<char>(v));
    return out;
}

QByteArray announcement(int size)
{
    return bytes({0x01, 0x03, 0x00, 0x00, 0x04, 0x00, size & 0xFF, (size >> 8) & 0xFF});
}

} // namespace

QString tooLargeText(const QString &filePath)
{
    return QStringLiteral("The file %1 is not a ZAR40 firmware: it is larger than %2 MiB or has more than %3 lines.")
        .arg(filePath)
        .arg(kMaxFirmwareFileBytes >> 20)
        .arg(kMaxFirmwareLines);
}

const char *toString(CFirmwareUpdate::Result result)
{
    using R = CFirmwareUpdate::Result;
    switch (result) {
    case R::Success: return "success";
    case R::FileOpenError: return "file open error";
    case R::FileTooLarge: return "file too large";
    case R::NothingToProgram: return "nothing to program";
    case R::DamagedFile: return "damaged file";
    case R::LoaderError: return "flash loader error";
    case R::PortError: return "port error";
    case R::ConnectionFailed: return "connection failed";
    case R::UpdateError: return "update error";
    case R::Timeout: return "timeout";
    case R::Cancelled: return "cancelled";
    }
    return "?";
}

CFirmwareUpdate::CFirmwareUpdate(QObject *parent) : QObject(parent)
{
    m_knockTimer.setTimerType(Qt::PreciseTimer);
    m_phaseTimer.setSingleShot(true);
    m_pauseTimer.setSingleShot(true);
    m_outputTimer.setSingleShot(true);
    m_imageTimer.setSingleShot(true);
    m_imageTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_knockTimer, &QTimer::timeout, this, &CFirmwareUpdate::onKnockTimer);
    connect(&m_phaseTimer, &QTimer::timeout, this, &CFirmwareUpdate::onPhaseTimeout);
    connect(&m_pauseTimer, &QTimer::timeout, this, [this] {
        auto next = std::exchange(m_afterPause, nullptr);
        if (next) (this->*next)();
        if (isRunning()) onReceived();
    });
    connect(&m_outputTimer, &QTimer::timeout, this, &CFirmwareUpdate::pumpOutput);
    connect(&m_imageTimer, &QTimer::timeout, this, &CFirmwareUpdate::sendNextImageByte);
    connect(&m_channel, &comm::CCommCtrl::received, this, &CFirmwareUpdate::onReceived);
    connect(&m_channel, &comm::CCommCtrl::failed, this, &CFirmwareUpdate::onChannelFailed);
}

CFirmwareUpdate::~CFirmwareUpdate()
{
    // The owner is going away: no drain, no signals.
    m_phase = Phase::Idle;
    blockSignals(true);
}

std::vector<int> CFirmwareUpdate::eraseSequence(bool resetPresets)
{
    if (resetPresets) return {0, 1, 2, 3, 5, 6};
    return {0, 3, 5, 6};
}

bool CFirmwareUpdate::start(const QString &port, const QString &filePath, const FlashLoaderImage &image,
                            bool resetPresets)
{
    if (isRunning()) return false;
    // A new update starts from nothing, whatever the last one left behind.
    m_errorCode = 0;
    m_buffer.clear();
    m_pendingOutput.clear();
    m_knocks = 0;
    m_acknowledged = 0;
    m_sentUnchanged = 0;
    m_erased.clear();
    m_afterPause = nullptr;
    m_resetPresets = resetPresets;
    m_port = port;

    std::ifstream in(QFile::encodeName(filePath).toStdString(), std::ios::binary);
    if (filePath.isEmpty() || !in) {
        emit finished(Result::FileOpenError, QString::fromLatin1(kFileOpenErrorText));
        return false;
    }
    m_file = readFirmwareFile(in);
    if (in.bad()) {
        emit finished(Result::FileOpenError, QString::fromLatin1(kFileOpenErrorText));
        return false;
    }
    if (m_file.tooLarge) {
        m_file = {};
        emit finished(Result::FileTooLarge, tooLargeText(filePath));
        return false;
    }
    // Erasing the flash and then programming nothing would leave the unit
    // without firmware.
    std::size_t programmed = 0;
    for (const auto &line : m_file.lines) programmed += sendsUnchanged(line, resetPresets) ? 1 : 0;
    if (programmed == 0) {
        emit finished(Result::NothingToProgram,
                        QStringLiteral("The file %1 holds no firmware record to program.").arg(filePath));
        return false;
    }
    if (m_file.badChecksums > 0) {
        emit finished(Result::DamagedFile,
                        QStringLiteral("The file %1 is damaged: %2 records have a wrong checksum.")
                            .arg(filePath)
                            .arg(m_file.badChecksums));
        return false;
    }
    // Whoever made the image, a wrong one never reaches the unit.
    if (const QString problem = flashLoaderProblem(image.bytes); !problem.isEmpty()) {
        emit finished(Result::LoaderError, QStringLiteral("The flash loader image %1").arg(problem));
        return false;
    }
    m_image = image;
    m_totalLines = static_cast<int>(m_file.lines.size());
    m_linesLeft = m_totalLines;
    m_nextLine = 0;

    if (!m_channel.open(port, QString::fromLatin1(comm::CCommCtrl::kLoaderSettings), comm::CCommCtrl::kFirmwareThreshold)) {
        emit finished(Result::PortError, QStringLiteral("Cannot open %1: %2").arg(port, m_channel.errorString()));
        return false;
    }
    m_channel.input(); // whatever a unit sent before we asked is no answer
    setPhase(Phase::Knocking);
    m_knockTimer.start(m_timings.knockIntervalMs);
    emit logReset(QStringLiteral("Trying to connect to ZAR !"));
    // A damaged S2 line goes as the placeholder like any other line that is
    // not programmed; the user should know that it was there.
    if (m_file.malformedS2 > 0)
        log(QStringLiteral("\r\nWarning: %1 damaged S2 lines are not programmed !").arg(m_file.malformedS2));
    emit progressRange(0, m_timings.maxKnocks);
    emit progressValue(0);
    return true;
}

void CFirmwareUpdate::cancel()
{
    if (isRunning()) finish(Result::Cancelled, QStringLiteral("The firmware update was cancelled."));
}

void CFirmwareUpdate::setPhase(Phase phase)
{
    if (m_phase == phase) return;
    m_phase = phase;
    emit phaseChanged(phase);
}

void CFirmwareUpdate::startPhaseTimer(int ms)
{
    m_phaseTimer.start(ms);
}

void CFirmwareUpdate::onKnockTimer()
{
    if (m_phase != Phase::Knocking) {
        m_knockTimer.stop();
        return;
    }
    if (m_knocks >= m_timings.maxKnocks) {
        log(QStringLiteral("\r\nConnection failed !"));
        finish(Result::ConnectionFailed, QString::fromLatin1(kConnectionFailedText));
        return;
    }
    ++m_knocks;
    send(QByteArray(1, kKnock));
    emit progressValue(m_knocks);
}

void CFirmwareUpdate::onPhaseTimeout()
{
    if (!isRunning()) return;
    log(QStringLiteral("\r\nA Timeout error occured !"));
    finish(Result::Timeout, QString::fromLatin1(kTimeoutErrorText));
}

void CFirmwareUpdate::onChannelFailed(const QString &error)
{
    if (!isRunning()) return;
    log(QStringLiteral("\r\n") + error);
    finish(Result::UpdateError, QString::fromLatin1(kUpdateErrorText));
}

void CFirmwareUpdate::onReceived()
{
    if (!isRunning() || m_evaluating || m_pauseTimer.isActive()) return;
    // The boot loader's answers in these phases are two bytes long.
    const bool pairs = m_phase == Phase::Announced || m_phase == Phase::LoaderSent || m_phase == Phase::LoaderAccepted;
    if (m_channel.inBufferCount() < (pairs ? 2 : 1)) return;
    m_buffer += m_channel.input();
    m_evaluating = true;
    evaluate();
    m_evaluating = false;
    // Bytes that came while the evaluation closed or reopened the port
    // raised no notification of their own.
    if (isRunning() && m_channel.inBufferCount() > 0)
        QMetaObject::invokeMethod(this, &CFirmwareUpdate::onReceived, Qt::QueuedConnection);
}

void CFirmwareUpdate::evaluate()
{
    switch (m_phase) {
    case Phase::Idle:
        break;
    case Phase::Knocking:
        // Exactly one 'F': two at once are line noise or a unit that is
        // not in its boot loader, and knocking goes on.
        if (m_buffer == QByteArray(1, kKnockReply)) {
            m_knockTimer.stop();
            setPhase(Phase::Announced);
            log(QStringLiteral("\r\nConnected !"));
            log(QStringLiteral("\r\nSending Flashloader !"));
            pauseThen(m_timings.announceDelayMs, &CFirmwareUpdate::afterAnnounceDelay);
        }
        m_buffer.clear();
        break;
    case Phase::Announced:
        if (m_buffer == bytes({0xF1, 0x83})) {
            m_buffer.clear();
            setPhase(Phase::LoaderSent);
            emit progressRange(0, kFlashLoaderSize);
            m_imagePos = 0;
            if (m_timings.imageByteSpacingUs <= 0) {
                send(m_image.bytes);
                m_imagePos = kFlashLoaderSize;
                emit progressValue(0);
            } else {
                sendNextImageByte();
            }
        } else {
            errorExit(2);
        }
        break;
    case Phase::LoaderSent: {
        const std::uint16_t sum = m_image.checksum();
        if (m_buffer == bytes({sum & 0xFF, sum >> 8})) {
            m_buffer.clear();
            setPhase(Phase::LoaderAccepted);
            send(bytes({0x01, 0x04, 0x00, 0x00, 0x04, 0x00}));
            pauseThen(m_timings.startDelayMs, nullptr);
        } else {
            // An early answer also ends the download.
            m_imageTimer.stop();
            errorExit(3);
        }
        break;
    }
    case Phase::LoaderAccepted:
        if (m_buffer == bytes({0xF1, 0x84})) {
            m_buffer.clear();
            switchToLoaderSpeed();
        } else {
            errorExit(4);
        }
        break;
    case Phase::Erasing:
        if (m_buffer == QByteArray(1, kEraseRequest) && m_sectorIndex < m_sequence.size()) {
            m_buffer.clear();
            const int sector = m_sequence[m_sectorIndex++];
            emit progressValue(sector);
            send(QByteArray(1, static_cast<char>(sector)));
            m_erased.push_back(sector);
        } else if (m_buffer == QByteArray(1, kSectorErased) && !m_erased.empty()) {
            m_buffer.clear();
            if (m_sectorIndex < m_sequence.size()) {
                send(QByteArray(1, kEraseRequest));
            } else {
                m_phaseTimer.stop();
                setPhase(Phase::Programming);
                m_nextLine = 0;
                m_linesLeft = m_totalLines;
                send(QByteArray(1, kProgramRequest));
                log(QStringLiteral("\r\nProgramming and Verifying in progress!"));
                startPhaseTimer(m_timings.recordTimeoutMs);
                emit progressRange(1, m_totalLines);
            }
        } else {
            errorExit(5);
        }
        break;
    case Phase::Programming:
        evaluateProgramming();
        break;
    }
}

void CFirmwareUpdate::evaluateProgramming()
{
    const bool acknowledged = m_buffer.size() == 2 && m_buffer[0] == kProgramRequest &&
                              (m_buffer[1] == 0x00 || m_buffer[1] == 0x02);
    if (m_linesLeft > 0 && m_buffer == QByteArray(1, kProgramRequest)) {
        const FirmwareLine &line = m_file.lines[m_nextLine++];
        const std::string_view record = recordToSend(line, m_resetPresets);
        if (record.data() != kPlaceholderRecord.data()) ++m_sentUnchanged;
        send(QByteArray(record.data(), static_cast<qsizetype>(record.size())));
        --m_linesLeft;
        emit progressValue(m_totalLines - m_linesLeft);
        // The request byte stays: the acknowledgement completes the pair.
        return;
    }
    if (m_linesLeft > 0 && acknowledged) {
        ++m_acknowledged;
        m_phaseTimer.stop();
        send(QByteArray(1, kProgramRequest));
        m_buffer.clear();
        startPhaseTimer(m_timings.recordTimeoutMs);
        return;
    }
    // The last record must be acknowledged like every other: a refused
    // last record is a failed update, not a finished one.
    if (m_linesLeft == 0 && acknowledged) {
        ++m_acknowledged;
        m_phaseTimer.stop();
        m_buffer.clear();
        send(QByteArray(1, kEndOfProgramming));
        log(QStringLiteral("\r\nFlashupdate complete!"));
        log(QStringLiteral("\r\nRestart ZAR40!"));
        finish(Result::Success, QString());
        return;
    }
    errorExit(7);
}

void CFirmwareUpdate::afterAnnounceDelay()
{
    send(announcement(kFlashLoaderSize));
    startPhaseTimer(m_timings.loaderTimeoutMs);
}

void CFirmwareUpdate::switchToLoaderSpeed()
{
    log(QStringLiteral("\r\nFlashloader started!"));
    m_phaseTimer.stop();
    setPhase(Phase::Erasing);
    // Closed and opened again, as the loader expects a fresh line at the
    // new speed.
    m_channel.close();
    if (!isRunning()) return;
    if (!m_channel.open(m_port, QString::fromLatin1(comm::CCommCtrl::kProtocolSettings), comm::CCommCtrl::kFirmwareThreshold)) {
        log(QStringLiteral("\r\n") + m_channel.errorString());
        finish(Result::UpdateError, QString::fromLatin1(kUpdateErrorText));
        return;
    }
    m_sequence = eraseSequence(m_resetPresets);
    m_sectorIndex = 0;
    send(QByteArray(1, kEraseRequest));
    log(QStringLiteral("\r\nSectorerase in progress !"));
    startPhaseTimer(m_timings.eraseTimeoutMs);
    emit progressRange(0, 6);
}

void CFirmwareUpdate::pauseThen(int ms, void (CFirmwareUpdate::*next)())
{
    m_afterPause = next;
    m_pauseTimer.start(ms < 0 ? 0 : ms);
}

void CFirmwareUpdate::sendNextImageByte()
{
    if (m_phase != Phase::LoaderSent || m_imagePos >= kFlashLoaderSize) return;
    // The boot loader takes one byte at a time and needs the spacing
    // between them; a timer that fires early only waits the rest.
    const qint64 spacingNs = qint64(m_timings.imageByteSpacingUs) * 1000;
    if (m_imagePos > 0 && m_sinceLastByte.nsecsElapsed() < spacingNs) {
        const qint64 restNs = spacingNs - m_sinceLastByte.nsecsElapsed();
        m_imageTimer.start(static_cast<int>((restNs + 999999) / 1000000));
        return;
    }
    send(m_image.bytes.mid(m_imagePos, 1));
    m_sinceLastByte.start();
    ++m_imagePos;
    emit progressValue(m_imagePos);
    if (m_imagePos >= kFlashLoaderSize) {
        emit progressValue(0);
        return;
    }
    m_imageTimer.start(static_cast<int>((spacingNs + 999999) / 1000000));
}

void CFirmwareUpdate::send(const QByteArray &data)
{
    m_pendingOutput += data;
    pumpOutput();
}

void CFirmwareUpdate::pumpOutput()
{
    if (m_pendingOutput.isEmpty() || !m_channel.isOpen()) return;
    const qint64 room = comm::CCommCtrl::kBufferSize - m_channel.outBufferCount();
    if (room > 0) {
        const QByteArray chunk = m_pendingOutput.left(room);
        if (!m_channel.write(chunk)) {
            if (isRunning()) {
                log(QStringLiteral("\r\n") + m_channel.errorString());
                finish(Result::UpdateError, QString::fromLatin1(kUpdateErrorText));
            }
            return;
        }
        m_pendingOutput.remove(0, chunk.size());
    }
    if (!m_pendingOutput.isEmpty()) m_outputTimer.start(1);
}

void CFirmwareUpdate::errorExit(int code)
{
    m_errorCode = code;
    finish(Result::UpdateError, QString::fromLatin1(kUpdateErrorText));
}

void CFirmwareUpdate::finish(Result result, const QString &message)
{
    setPhase(Phase::Idle);
    m_knockTimer.stop();
    m_phaseTimer.stop();
    m_pauseTimer.stop();
    m_imageTimer.stop();
    m_afterPause = nullptr;
    m_buffer.clear();
    // What is queued still leaves (the end command), then the port closes.
    if (result == Result::Success) pumpOutput();
    m_channel.close();
    m_outputTimer.stop();
    m_pendingOutput.clear();
    m_file = {};
    emit progressValue(0);
    emit finished(result, message);
}

} // namespace zar40::firmware
