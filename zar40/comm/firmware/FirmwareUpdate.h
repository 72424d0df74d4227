#pragma once
// The firmware update through the processor's boot loader, without widgets:
// the dialog and the command-line tool both drive this object and show what
// it reports. Everything runs from the owner's event loop (the port's
// receive notification and timers); nothing here blocks it, the paced
// download of the flash loader included.
//
// The exchange: knock with 'V' every 100 ms until the boot loader answers
// 'F' (at 9600 baud, while the user powers the unit up), announce and send
// the flash loader, check its checksum, start it, continue at 115200 baud,
// erase the flash sectors, send the file one record per handshake, end.
#include "zar40/comm/CommCtrl.h"
#include "zar40/comm/firmware/flash_loader.h"
#include "zar40/comm/firmware/srecord.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <vector>

namespace zar40::firmware {

inline constexpr const char *kFileOpenErrorText = "File Open Error";
inline constexpr const char *kConnectionFailedText = "Connection to ZAR40 failed";
inline constexpr const char *kUpdateErrorText = "An error occured while updating the ZAR";
inline constexpr const char *kTimeoutErrorText = "A timeout error occured while updating the ZAR40!";
inline constexpr const char *kInstructionsText =
    "1. Switch off the ZAR 40!\n2. Press OK!\n3. Immediatly after pressing OK, repower the ZAR40!\n"
    "4. Wait for programming completion!";

// The waiting times of the exchange; tests shorten them.
struct UpdateTimings {
    int knockIntervalMs = 100;
    int maxKnocks = 41;
    int announceDelayMs = 500;  // after the knock answer, before the announcement
    int startDelayMs = 300;     // after the start command
    int loaderTimeoutMs = 40000;
    int eraseTimeoutMs = 25000;
    int recordTimeoutMs = 1000;
    // Between two bytes of the flash loader; 0 sends it as fast as the port
    // takes it (only the simulator keeps up with that).
    int imageByteSpacingUs = 1000;
};

class CFirmwareUpdate : public QObject
{
    Q_OBJECT
public:
    enum class Phase { Idle = -1, Knocking = 0, Announced = 1, LoaderSent = 2, LoaderAccepted = 3, Erasing = 4, Programming = 6 };
    enum class Result {
        Success,
        FileOpenError,    // the firmware file cannot be read
        FileTooLarge,     // more bytes or lines than any firmware has
        NothingToProgram, // the file holds no record that would be programmed
        DamagedFile,      // a data record's checksum is wrong
        LoaderError,      // the flash loader image is missing or wrong
        PortError,        // the port cannot be opened
        ConnectionFailed, // no answer to the knocking
        UpdateError,      // a wrong reply, or the port failed
        Timeout,
        Cancelled,
    };
    Q_ENUM(Phase)
    Q_ENUM(Result)

    explicit CFirmwareUpdate(QObject *parent = nullptr);
    ~CFirmwareUpdate() override;

    void setTimings(const UpdateTimings &timings) { m_timings = timings; }
    const UpdateTimings &timings() const { return m_timings; }

    // Starts an update of the unit on PORT with the records of FILEPATH and
    // the flash loader IMAGE. Returns false, with finished() already
    // emitted, when it cannot start: the file cannot be read, is too large,
    // holds no data record or a data record with a wrong checksum (which the
    // loader would refuse only after the flash is erased), the image has the
    // wrong size or byte sum, the port cannot be opened. An update that is
    // running is not disturbed (false, nothing emitted).
    bool start(const QString &port, const QString &filePath, const FlashLoaderImage &image, bool resetPresets);
    bool isRunning() const { return m_phase != Phase::Idle; }
    // Ends a running update at once (closing the port) with Cancelled.
    void cancel();

    Phase phase() const { return m_phase; }
    // Lines of the file, counted at start; the records still to send.
    int lineCount() const { return m_totalLines; }
    int linesLeft() const { return m_linesLeft; }
    int knocks() const { return m_knocks; }
    // The phase whose reply was wrong (2, 3, 4, 5, 7), 0 when none was.
    int errorCode() const { return m_errorCode; }
    // Handshakes completed in this update, and records sent unchanged.
    int recordsAcknowledged() const { return m_acknowledged; }
    int recordsSentUnchanged() const { return m_sentUnchanged; }
    // The sectors erased, in order.
    const std::vector<int> &erasedSectors() const { return m_erased; }
    comm::CCommCtrl &channel() { return m_channel; }

    // The order of erased sectors: sector 4 never; 1 and 2 (the preset data)
    // only when the presets are reset.
    static std::vector<int> eraseSequence(bool resetPresets);

signals:
    // TEXT is to be appended to the log as it is ("\r\nConnected !").
    void logAppended(const QString &text);
    void logReset(const QString &text);
    void progressRange(int minimum, int maximum);
    void progressValue(int value);
    void phaseChanged(zar40::firmware::CFirmwareUpdate::Phase phase);
    // The end of an update that started: RESULT and, unless it succeeded,
    // the message to show.
    void finished(zar40::firmware::CFirmwareUpdate::Result result, const QString &message);

private:
    void onKnockTimer();
    void onPhaseTimeout();
    void onReceived();
    void evaluate();
    void evaluateProgramming();
    void onChannelFailed(const QString &error);
    void sendNextImageByte();
    void send(const QByteArray &bytes);
    void pumpOutput();
    void setPhase(Phase phase);
    void startPhaseTimer(int ms);
    // Holds the evaluation of replies for MS milliseconds, then runs NEXT
    // and evaluates what arrived meanwhile.
    void pauseThen(int ms, void (CFirmwareUpdate::*next)());
    void afterAnnounceDelay();
    void afterStartDelay();
    void switchToLoaderSpeed();
    void errorExit(int code);
    // Ends the update: stops the timers, closes the port.
    void finish(Result result, const QString &message);
    void log(const QString &text) { emit logAppended(text); }

    comm::CCommCtrl m_channel;
    QTimer m_knockTimer;
    QTimer m_phaseTimer;
    QTimer m_pauseTimer;
    QTimer m_outputTimer;
    QTimer m_imageTimer;
    void (CFirmwareUpdate::*m_afterPause)() = nullptr;
    UpdateTimings m_timings;

    QString m_port;
    FlashLoaderImage m_image;
    FirmwareFile m_file;
    bool m_resetPresets = false;

    Phase m_phase = Phase::Idle;
    int m_knocks = 0;
    QByteArray m_buffer;
    int m_errorCode = 0;
    int m_totalLines = 0;
    int m_linesLeft = 0;
    std::size_t m_nextLine = 0;
    std::vector<int> m_sequence;
    std::size_t m_sectorIndex = 0;
    std::vector<int> m_erased;
    int m_acknowledged = 0;
    int m_sentUnchanged = 0;

    int m_imagePos = 0;
    QElapsedTimer m_sinceLastByte;
    QByteArray m_pendingOutput; // what the port could not take yet
    bool m_evaluating = false;
};

const char *toString(CFirmwareUpdate::Result result);
// The message for a file beyond kMaxFirmwareFileBytes or kMaxFirmwareLines.
QString tooLargeText(const QString &filePath);

} // namespace zar40::firmware
