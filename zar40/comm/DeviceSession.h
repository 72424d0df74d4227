#pragma once
// One ZAR40 driven step by step from code that wants answers, not
// notifications: the command-line tool, the benchmarks, the tests, a
// firmware tool, the editor's backup. Each step runs the editor's own
// connection object from the caller's event loop and returns once the
// device has answered, the connection has failed or the step's deadline has
// passed.
//
// A step that fails leaves error() and failure() saying why; after a time-out
// or a refusal the connection has been shut down, as the editor's is.
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/message.h"
#include "zar40/comm/Communicationmodul.h"
#include "zar40/comm/cycle_timings.h"
#include "zar40/preset/record.h"

#include <QString>

#include <csignal>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace zar40::comm {

class CTransactionEngine;
class TransferUi;
class Transport;

class DeviceSession
{
public:
    enum class Failure {
        None,
        CannotOpen,      // the link could not be opened
        NotReady,        // busy after every repeat, or not a ZAR40
        WrongRevision,   // the unit's firmware revision is not the expected one
        PasswordNeeded,  // the unit asks for a password and none was given
        PasswordRefused, // the given password was refused
        TimedOut,        // no answer within the time limit
        Refused,         // 20 wrong answers to one request
        Closed,          // the link closed under the session
        DeviceError,     // the unit answered a request with RepError
        Stopped,         // requestStop() was called
        Deadline,        // the step's own deadline passed without a reply
    };

    // A session with a connection of its own on ENGINE (the process-wide
    // queue by default).
    explicit DeviceSession(CTransactionEngine *engine = nullptr);
    // A session over CONNECTION, already connected or not; it is not owned
    // and is not disconnected when the session ends.
    explicit DeviceSession(CCommunicationmodul &connection);
    ~DeviceSession();
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    // ---- Settings, before open() ------------------------------------------
    // The password sent after the unit has refused password 0; without one a
    // unit with a password ends the connection.
    void setPassword(std::optional<std::uint32_t> password) { m_password = password; }
    // The time limit of one exchange, from its turn (the engine's setting).
    void setTimeout(int ms);
    int timeout() const;
    // Pauses after a slot switch and after storing a slot: the unit answers
    // before it has finished (the editor's waits by default).
    void setSwitchWait(int ms) { m_switchWaitMs = ms; }
    void setStoreWait(int ms) { m_storeWaitMs = ms; }
    // Connect whatever firmware revision the unit reports (reading its
    // identity only).
    void setAcceptAnyRevision(bool on) { m_acceptAnyRevision = on; }
    // Shows transfer progress; not owned, may be null.
    void setTransferUi(TransferUi *ui);

    // ---- Steps ------------------------------------------------------------
    // Connects over TRANSPORT (opened here unless it is open already) and
    // runs the connection sequence to its end.
    bool open(std::unique_ptr<Transport> transport,
              CCommunicationmodul::ConnectionType type = CCommunicationmodul::ConnectionType::SerialLine);
    // The serial line at PORT (a port name or any device path).
    bool openSerial(const QString &port);
    bool isConnected() const;

    bool switchToSlot(int slot); // 1..32: the unit loads that stored preset
    bool storeToSlot(int slot);  // 1..32: the unit stores its settings there
    // The whole preset and the device settings. RECORD and SETTINGS keep
    // what does not travel (the slot number, settings words 2-4 and 6) and
    // change only when the read completes.
    bool readPreset(preset::PresetRecord &record, codec::DeviceSettings &settings);
    bool writePreset(const preset::PresetRecord &record);
    bool readParameter(std::uint16_t address, std::uint32_t &value);
    bool writeParameter(std::uint16_t address, std::uint32_t value);
    // Requests in order, each with its own code (a write batch made by the
    // editor's rules); stops at the first that fails.
    bool sendAll(const std::vector<codec::Message> &requests);
    // One level, pot or mute-state poll.
    bool poll(std::uint16_t code, std::uint16_t address, std::uint32_t &value);
    // One request and its accepted reply, whatever the code. A RepError
    // reply fails with Failure::DeviceError.
    std::optional<codec::Message> exchange(std::uint16_t code, std::uint16_t address, std::uint32_t value = 0);
    // Asks the unit to disconnect and waits for its answer. True when
    // nothing was connected.
    bool close();
    // Lets the event loop run for MS milliseconds (or until a stop request).
    void pause(int ms);

    // The revision word the unit reported while connecting.
    std::optional<std::uint32_t> reportedRevision() const;
    CCommunicationmodul &connection() { return *m_link; }

    Failure failure() const { return m_failure; }
    const QString &error() const { return m_error; }

    // Ends the running step with Failure::Stopped (and long loops of the
    // caller that check stopRequested()). Safe in a signal handler.
    static void requestStop() { s_stop = 1; }
    static bool stopRequested() { return s_stop != 0; }
    static void clearStop() { s_stop = 0; }

protected:
    // Records why a step failed; returns false for the caller to pass on.
    bool fail(Failure failure, const QString &text);

private:
    void watch();
    bool waitFor(const std::function<bool()> &done);
    bool pauseAfter(int ms);
    QString timeoutText() const;

    std::unique_ptr<CCommunicationmodul> m_own;
    CCommunicationmodul *m_link;
    struct Prompts;
    std::unique_ptr<Prompts> m_prompts;
    std::vector<QMetaObject::Connection> m_connections;
    std::vector<CCommunicationmodul::Notification> m_notes;
    std::function<void(const codec::Message &, const codec::Message &)> m_onReply;
    quint64 m_replies = 0; // accepted replies of this connection, for the deadline

    std::optional<std::uint32_t> m_password;
    int m_switchWaitMs = kSlotChangeWaitMs + kSettleMs;
    int m_storeWaitMs = kStoreWaitMs;
    bool m_acceptAnyRevision = false;
    bool m_connected = false;
    bool m_closing = false;

    Failure m_failure = Failure::None;
    QString m_error;

    static volatile std::sig_atomic_t s_stop;
};

} // namespace zar40::comm
