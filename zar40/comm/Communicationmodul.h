#pragma once
// The connection between one editor and one ZAR40: the connection sequence
// (connect, device id, firmware revision, password), whole-preset reads and
// writes parameter by parameter, single writes and polls, and shut-down.
//
// The protocol state is a request code (0 idle); it records request states
// only, so it stays 56 once connected until a transfer or a disconnect moves
// it on. Callers treat a state above 64 (RepCompPwd) and below 240
// (ReqDisconnect) as "connected and free for writes".
//
// All work runs in the thread of the event loop; the exchanges themselves go
// through the process-wide CTransactionEngine.
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/message.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/TransactionEngine.h"
#include "zar40/comm/Transport.h"
#include "zar40/preset/record.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace zar40::comm {

class CommPrompts;
class TransferUi;
class WaitWindow;

// A level, poti or mute-state reply, posted to the reply target.
class CPollReplyEvent : public QEvent
{
public:
    CPollReplyEvent(std::uint16_t code, std::uint16_t address, std::uint32_t value)
        : QEvent(eventType()), m_code(code), m_address(address), m_value(value)
    {
    }
    static QEvent::Type eventType();

    std::uint16_t code() const { return m_code; } // RepReadMuteState, RepReadPotiVal or RepReadPegelVal
    std::uint16_t address() const { return m_address; }
    std::uint32_t value() const { return m_value; }

private:
    std::uint16_t m_code;
    std::uint16_t m_address;
    std::uint32_t m_value;
};

class CCommunicationmodul : public QObject, public TransactionClient
{
    Q_OBJECT
public:
    // What the view is told (WM_NOTIFY codes of the documented protocol).
    enum class Notification : int {
        PresetRead = 51001, // a preset read finished; the targets hold the device's values
        Connected = 51002,  // the password was accepted
        Closed = 51003,     // the connection is closed
        TimedOut = 51004,   // a transaction timed out; the connection was shut down
        Refused = 51005,    // a request was answered wrongly 20 times; shut down
    };
    // The protocol state: the request code last issued by the state machine
    // (it records request states only).
    enum class State : std::uint16_t {
        Idle = codec::Idle_State_PC,
        ReqConnect = codec::ReqConnect,
        ReqDeviceID = codec::ReqDeviceID,
        ReqRevision = codec::ReqRevision,
        ReqCompPwd = codec::ReqCompPwd,
        ReqReadPara = codec::ReqReadPara,
        ReqWritePreset = codec::ReqWritePreset,
        ReqDisconnect = codec::ReqDisconnect,
    };
    enum class Job : int { None = 256, Connecting = 264, ReadingPreset = 288, WritingPreset = 296 };
    enum class ConnectionType : int { SerialLine = 0, CanBus = 1 };

    static constexpr int kConnectRepeats = 5;
    static constexpr int kPasswordDialogs = 5;
    static constexpr int kDefaultConnectRepeatDelayMs = 500;
    static constexpr int kReadExchanges = 344;
    static constexpr int kWriteExchanges = 339;

    // ENGINE defaults to the process-wide queue.
    explicit CCommunicationmodul(QObject *parent = nullptr, CTransactionEngine *engine = nullptr);
    ~CCommunicationmodul() override;

    // Not owned; may be null (then nothing is shown).
    void setPrompts(CommPrompts *prompts) { m_prompts = prompts; }
    void setTransferUi(TransferUi *ui) { m_transferUi = ui; }

    void setConnectionType(ConnectionType type) { m_connectionType = type; }
    ConnectionType connectionType() const { return m_connectionType; }
    // The serial port: a name of the port list or any device path.
    void setPort(const QString &port) { m_port = port; }
    QString port() const { return m_port; }
    void setNetId(int netId) { m_netId = netId; }
    int netId() const { return m_netId; }

    // How a CAN link is made for a Net-ID (the plug-in binds it to the host's
    // CAN window). Without one, connecting over CAN starts nothing.
    using CanTransportFactory = std::function<std::unique_ptr<Transport>(int netId)>;
    void setCanTransportFactory(CanTransportFactory factory) { m_canFactory = std::move(factory); }
    // Uses TRANSPORT for the next connections instead of making one from the
    // connection type (tests, special links).
    void setTransport(std::unique_ptr<Transport> transport);
    Transport *transport() const { return m_transport.get(); }
    // The queue this connection's transactions go through.
    CTransactionEngine &engine() const { return *m_engine; }

    void setExpectedRevision(std::uint16_t major, std::uint16_t minor);
    // With ON the connection goes on whatever revision the unit reports (a
    // tool that only reads the unit's identity); the editor never does.
    void setAcceptAnyRevision(bool on) { m_acceptAnyRevision = on; }
    // The revision word of the unit's last RepRevision, if one came.
    std::optional<std::uint32_t> reportedRevision() const { return m_reportedRevision; }
    void setConnectRepeatDelay(int ms) { m_repeatDelayMs = ms < 0 ? 0 : ms; }
    std::uint32_t password() const { return m_password; }

    State state() const { return m_state; }
    Job job() const { return m_job; }
    // The editor's rule for writes: connected (past RepCompPwd) and not
    // disconnecting.
    bool acceptsWrites() const
    {
        const auto s = static_cast<std::uint16_t>(m_state);
        return s > codec::RepCompPwd && s < codec::ReqDisconnect;
    }

    // Opens the link and starts the connection sequence. false when the link
    // cannot be opened (a serial port's reason is shown through the prompts)
    // or, for CAN, when no link can be made for the Net-ID; the state stays
    // idle then.
    bool connectToDevice();
    // Reads the whole preset and the device settings. The targets are
    // written once, when the last reply is in; they must outlive the read.
    void readPreset(preset::PresetRecord *target, codec::DeviceSettings *settingsTarget);
    // Writes RECORD as a whole (copied at once).
    void writePreset(const preset::PresetRecord &record);
    // The emergency stop after a time-out or refusal: pending transactions
    // are dropped, then the device is asked to disconnect (or the link is
    // closed when the state is already idle).
    void shutDown();

    // A transaction request: one exchange with request code, address, value.
    void postTransaction(std::uint16_t code, std::uint16_t address, std::uint32_t value);
    // A state request: runs the state machine for STATE (ReqDisconnect to
    // disconnect).
    void postState(std::uint16_t state, std::uint16_t address = 0, std::uint32_t value = 0);

    // Where level, poti and mute-state replies go (CPollReplyEvent). Without
    // one they are dropped.
    void setReplyTarget(QObject *target) { m_replyTarget = target; }
    QObject *replyTarget() const { return m_replyTarget; }

signals:
    void notification(zar40::comm::CCommunicationmodul::Notification code);
    void stateChanged(zar40::comm::CCommunicationmodul::State state);
    // DONE of TOTAL exchanges of the running transfer have been answered.
    void transferProgress(int done, int total);
    // The final reply of a preset write arrived (the documented sequence has
    // no notification for it).
    void presetWritten();
    // Every accepted reply, before the state machine acts on it: how a caller
    // learns that a single transaction (a slot switch, a store) is done.
    void replied(const zar40::codec::Message &request, const zar40::codec::Message &reply);

private:
    // TransactionClient
    Transport *transactionTransport() override { return m_transport.get(); }
    void transactionReplied(const codec::Message &request, const codec::Message &reply) override;
    std::optional<codec::Message> transactionFollowUp(const codec::Message &request) const override;
    void transactionTimedOut(const codec::Message &request) override;
    void transactionRefused(const codec::Message &request) override;

    void runState(std::uint16_t state, std::uint16_t address, std::uint32_t value);
    void setState(State state);
    void submit(std::uint16_t code, std::uint16_t address, std::uint32_t value);
    void repeatConnect();
    void askPassword();
    void storeReadReply(std::uint16_t address, std::uint32_t value);
    void sendNextWrite();
    void openTransferWindow(const char *title, int total);
    void endTransferWindow();
    void reportProgress(int done, int total);
    void closeTransport();
    // Ends a transfer under way with its wait window and drops the work
    // queued behind it, before the link closes.
    void abandonWork();
    void close();
    void onLinkFailed();
    void onLinkClosed();
    bool isTransferStep(const codec::Message &request) const;

    CTransactionEngine *m_engine;
    CommPrompts *m_prompts = nullptr;
    TransferUi *m_transferUi = nullptr;
    CanTransportFactory m_canFactory;
    std::unique_ptr<Transport> m_transport;
    bool m_transportGiven = false;

    ConnectionType m_connectionType = ConnectionType::SerialLine;
    QString m_port;
    int m_netId = 1;
    std::uint16_t m_expectedMajor;
    std::uint16_t m_expectedMinor;
    std::uint32_t m_password = 0;
    bool m_acceptAnyRevision = false;
    std::optional<std::uint32_t> m_reportedRevision;

    State m_state = State::Idle;
    Job m_job = Job::None;
    int m_retry = 0; // counts up from -5 to 0 inside the connection sequence
    QTimer m_repeatTimer;
    int m_repeatDelayMs = kDefaultConnectRepeatDelayMs;

    std::unique_ptr<WaitWindow> m_waitWindow;
    bool m_editorDisabled = false;
    preset::PresetRecord m_working{};
    codec::DeviceSettings m_workingSettings{};
    preset::PresetRecord *m_presetTarget = nullptr;
    codec::DeviceSettings *m_settingsTarget = nullptr;
    std::size_t m_step = 0;             // index into the read or write order
    codec::Message m_transferRequest{}; // the transfer's request on its way
    bool m_transferRequestOut = false;

    QPointer<QObject> m_replyTarget;
};

} // namespace zar40::comm
