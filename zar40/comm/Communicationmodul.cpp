#include "Communicationmodul.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"
#include "zar40/comm/CommPrompts.h"
#include "zar40/comm/SerialTransport.h"
#include "zar40/comm/transfer_ui.h"

#include <QCoreApplication>

namespace zar40::comm {

using namespace codec;

namespace {

// The address a preset read asks for after step STEP (at ADDRESS), if the
// read goes on.
std::optional<std::uint16_t> readAddressAfter(std::size_t step, std::uint16_t address)
{
    const auto order = readOrder();
    if (address == kLastReadAddress || step + 1 >= order.size()) return std::nullopt;
    return order[step + 1];
}

} // namespace

QEvent::Type CPollReplyEvent::eventType()
{
    static const int type = QEvent::registerEventType();
    return static_cast<QEvent::Type>(type);
}

CCommunicationmodul::CCommunicationmodul(QObject *parent, CTransactionEngine *engine)
    : QObject(parent)
    , m_engine(engine ? engine : &CTransactionEngine::instance())
    , m_expectedMajor(kExpectedRevisionMajor)
    , m_expectedMinor(kExpectedRevisionMinor)
{
    m_repeatTimer.setSingleShot(true);
    connect(&m_repeatTimer, &QTimer::timeout, this, &CCommunicationmodul::repeatConnect);
}

CCommunicationmodul::~CCommunicationmodul()
{
    // Nothing of ours may get a turn after this; the port closes with the
    // transport, without waiting.
    m_engine->dropAll(this);
}

void CCommunicationmodul::setTransport(std::unique_ptr<Transport> transport)
{
    m_engine->dropAll(this);
    m_transport = std::move(transport);
    m_transportGiven = m_transport != nullptr;
    if (m_transport) {
        connect(m_transport.get(), &Transport::linkFailed, this, &CCommunicationmodul::onLinkFailed);
        connect(m_transport.get(), &Transport::linkClosed, this, &CCommunicationmodul::onLinkClosed);
    }
}

void CCommunicationmodul::setExpectedRevision(std::uint16_t major, std::uint16_t minor)
{
    m_expectedMajor = major;
    m_expectedMinor = minor;
}

bool CCommunicationmodul::connectToDevice()
{
    m_repeatTimer.stop();
    m_engine->dropAll(this);

    if (!m_transportGiven) {
        if (m_connectionType == ConnectionType::SerialLine) {
            auto *serial = qobject_cast<SerialTransport *>(m_transport.get());
            if (!serial || serial->port() != m_port) {
                if (m_transport) closeTransport();
                setTransport(std::make_unique<SerialTransport>(m_port));
                m_transportGiven = false;
            }
        } else if (m_connectionType == ConnectionType::CanBus) {
            // Without the host's CAN link, or with the Net-ID taken by
            // another connection, nothing starts.
            std::unique_ptr<Transport> can = m_canFactory ? m_canFactory(m_netId) : nullptr;
            if (!can) return false;
            if (m_transport) closeTransport();
            setTransport(std::move(can));
            m_transportGiven = false;
        } else {
            return false;
        }
    }

    if (!m_transport->isOpen() && !m_transport->open()) {
        if (m_connectionType == ConnectionType::SerialLine && m_prompts)
            m_prompts->error(QStringLiteral("%1: %2").arg(m_transport->description(), m_transport->errorString()));
        return false;
    }
    m_job = Job::Connecting;
    m_reportedRevision.reset();
    runState(ReqConnect, 0, 0);
    return true;
}

void CCommunicationmodul::readPreset(preset::PresetRecord *target, DeviceSettings *settingsTarget)
{
    openTransferWindow(kLoadPresetTitle, kReadExchanges);
    m_presetTarget = target;
    m_settingsTarget = settingsTarget;
    // Fields that do not travel (the slot number, settings words 2-4 and 6)
    // keep the target's values instead of whatever an earlier transfer left.
    m_working = target ? *target : preset::defaultPreset();
    m_workingSettings = settingsTarget ? *settingsTarget : DeviceSettings{};
    m_job = Job::ReadingPreset;
    setState(State::ReqReadPara);
    m_step = 0;
    const std::uint16_t first = readOrder()[0];
    m_transferRequest = Message{ReqReadPara, first, 0};
    m_transferRequestOut = true;
    runState(ReqReadPara, first, 0);
}

void CCommunicationmodul::writePreset(const preset::PresetRecord &record)
{
    openTransferWindow(kTransferPresetTitle, kWriteExchanges);
    m_working = record;
    m_job = Job::WritingPreset;
    setState(State::ReqWritePreset);
    m_step = 0;
    const TransferStep first = writeOrder()[0];
    const std::uint32_t value = wireValue(m_working, first.address).value_or(0);
    m_transferRequest = Message{first.code, first.address, value};
    m_transferRequestOut = true;
    runState(first.code, first.address, value);
}

void CCommunicationmodul::shutDown()
{
    abandonWork();
    if (m_state != State::Idle) {
        setState(State::ReqDisconnect);
        runState(ReqDisconnect, 0, 0);
    } else {
        closeTransport();
    }
    m_replyTarget = nullptr;
}

void CCommunicationmodul::postTransaction(std::uint16_t code, std::uint16_t address, std::uint32_t value)
{
    submit(code, address, value);
}

void CCommunicationmodul::postState(std::uint16_t state, std::uint16_t address, std::uint32_t value)
{
    runState(state, address, value);
}

void CCommunicationmodul::submit(std::uint16_t code, std::uint16_t address, std::uint32_t value)
{
    m_engine->submit(this, Message{code, address, value});
}

void CCommunicationmodul::setState(State state)
{
    if (m_state == state) return;
    m_state = state;
    emit stateChanged(state);
}

bool CCommunicationmodul::isTransferStep(const Message &request) const
{
    return m_transferRequestOut && request == m_transferRequest;
}

void CCommunicationmodul::transactionReplied(const Message &request, const Message &reply)
{
    emit replied(request, reply);
    if (m_job == Job::ReadingPreset || m_job == Job::WritingPreset) {
        const bool step = isTransferStep(request);
        if (step) {
            m_transferRequestOut = false;
            // An error reply (or any reply of the wrong kind) to a transfer
            // step would leave the transfer waiting for ever with the editor
            // disabled: it ends like a refused request instead.
            if (reply.code != replyCodeFor(request.code)) {
                shutDown();
                emit notification(Notification::Refused);
                return;
            }
        } else if (reply.code == RepReadPara || reply.code == RepWritePara || reply.code == RepWritePreset) {
            // A single write of the editor finishing during a transfer must
            // not be taken for a step of it.
            return;
        }
    }
    runState(reply.code, reply.address, reply.value);
}

std::optional<Message> CCommunicationmodul::transactionFollowUp(const Message &request) const
{
    // What storeReadReply asks for next once this step's answer is in.
    if (m_job != Job::ReadingPreset || request.code != ReqReadPara || !isTransferStep(request)) return std::nullopt;
    const auto next = readAddressAfter(m_step, request.address);
    if (!next) return std::nullopt;
    return Message{ReqReadPara, *next, 0};
}

void CCommunicationmodul::transactionTimedOut(const Message &)
{
    setState(State::Idle);
    shutDown();
    emit notification(Notification::TimedOut);
}

void CCommunicationmodul::transactionRefused(const Message &request)
{
    if (request.code == ReqDisconnect) {
        // Shutting down would ask for the disconnect again, for ever. The
        // device had its chance: close our side, as an answer would have.
        setState(State::Idle);
        shutDown();
        emit notification(Notification::Closed);
        return;
    }
    shutDown();
    emit notification(Notification::Refused);
}

void CCommunicationmodul::runState(std::uint16_t state, std::uint16_t address, std::uint32_t value)
{
    switch (state) {
    case ReqConnect:
        m_retry = -kConnectRepeats;
        setState(State::ReqConnect);
        submit(ReqConnect, 0, 0);
        break;
    case RepConnect:
        if (static_cast<std::int32_t>(value) >= 1) {
            runState(ReqDeviceID, 0, 0);
        } else if (m_retry == 0) {
            setState(State::Idle);
        } else {
            // The device is busy; ask again later without holding the loop.
            ++m_retry;
            m_repeatTimer.start(m_repeatDelayMs);
        }
        break;
    case ReqDeviceID:
        m_retry = -kConnectRepeats;
        setState(State::ReqDeviceID);
        submit(ReqDeviceID, 0, 0);
        break;
    case RepDeviceID:
        if (value == 1) runState(ReqRevision, 0, 0);
        else setState(State::Idle);
        break;
    case ReqRevision:
        m_retry = -kConnectRepeats;
        setState(State::ReqRevision);
        submit(ReqRevision, 0, 0);
        break;
    case RepRevision:
        m_reportedRevision = value;
        if (m_acceptAnyRevision || value == revisionWord(m_expectedMajor, m_expectedMinor)) {
            runState(ReqCompPwd, 0, 0);
        } else {
            if (m_prompts)
                m_prompts->information(QStringLiteral("Wrong Firmware or Plugin Version!\n"
                                                      "Your Plugin Version      : Rev. %1.%2\n"
                                                      "Your Firmware Version : Rev. %3.%4")
                                           .arg(m_expectedMajor)
                                           .arg(m_expectedMinor)
                                           .arg(revisionMajor(value))
                                           .arg(revisionMinor(value)));
            setState(State::Idle);
        }
        break;
    case ReqCompPwd:
        m_retry = -kConnectRepeats;
        setState(State::ReqCompPwd);
        m_password = 0;
        submit(ReqCompPwd, 0, m_password);
        break;
    case RepCompPwd:
        if (value == 1) {
            m_job = Job::None;
            emit notification(Notification::Connected);
        } else {
            askPassword();
        }
        break;
    case ReqReadPara:
        submit(ReqReadPara, address, value);
        break;
    case RepReadPara:
        if (m_job == Job::ReadingPreset) storeReadReply(address, value);
        break;
    case ReqWritePara:
        submit(ReqWritePara, address, value);
        break;
    case RepWritePara:
        if (m_job == Job::WritingPreset) {
            reportProgress(kWriteExchanges, kWriteExchanges);
            endTransferWindow();
            m_job = Job::None;
            emit presetWritten();
        }
        break;
    case ReqWritePreset:
        submit(ReqWritePreset, address, value);
        break;
    case RepWritePreset:
        if (m_job == Job::WritingPreset) sendNextWrite();
        break;
    case RepReadMuteState:
    case RepReadPotiVal:
    case RepReadPegelVal:
        if (m_replyTarget) QCoreApplication::postEvent(m_replyTarget, new CPollReplyEvent(state, address, value));
        break;
    case ReqDisconnect:
        m_engine->dropAll(this);
        m_repeatTimer.stop();
        setState(State::ReqDisconnect);
        submit(ReqDisconnect, 0, value);
        break;
    case RepDisconnect:
        close();
        break;
    default:
        // Idle, the preset slot replies, RepError and the rest need nothing.
        break;
    }
}

void CCommunicationmodul::repeatConnect()
{
    if (m_state != State::ReqConnect) return;
    submit(ReqConnect, 0, 0);
}

void CCommunicationmodul::askPassword()
{
    if (m_retry == 0) {
        if (m_prompts) m_prompts->information(QStringLiteral("Wrong Password!"));
        setState(State::Idle);
        return;
    }
    // The dialog is modal; the editor may go away or the connection may be
    // shut down meanwhile.
    QPointer<CCommunicationmodul> self(this);
    const std::optional<QString> text = m_prompts ? m_prompts->enterPassword() : std::nullopt;
    if (!self) return;
    if (!text) setState(State::Idle);
    else m_password = passwordFromText(*text);
    if (m_state != State::Idle) {
        setState(State::ReqCompPwd);
        submit(ReqCompPwd, 0, m_password);
        ++m_retry;
    }
}

void CCommunicationmodul::storeReadReply(std::uint16_t address, std::uint32_t value)
{
    storeReadValue(m_working, m_workingSettings, address, value);
    const auto next = readAddressAfter(m_step, address);
    ++m_step;
    reportProgress(static_cast<int>(m_step), kReadExchanges);
    if (!next) {
        // Only now does the editor's record change: a read cut short leaves it
        // as it was.
        if (m_presetTarget) *m_presetTarget = m_working;
        if (m_settingsTarget) *m_settingsTarget = m_workingSettings;
        endTransferWindow();
        m_job = Job::None;
        emit notification(Notification::PresetRead);
        return;
    }
    m_transferRequest = Message{ReqReadPara, *next, 0};
    m_transferRequestOut = true;
    runState(ReqReadPara, *next, 0);
}

void CCommunicationmodul::sendNextWrite()
{
    const auto order = writeOrder();
    ++m_step;
    reportProgress(static_cast<int>(m_step), kWriteExchanges);
    if (m_step >= order.size()) return;
    const TransferStep step = order[m_step];
    const std::uint32_t value = wireValue(m_working, step.address).value_or(0);
    m_transferRequest = Message{step.code, step.address, value};
    m_transferRequestOut = true;
    runState(step.code, step.address, value);
}

void CCommunicationmodul::openTransferWindow(const char *title, int total)
{
    if (m_waitWindow) m_waitWindow->close(2);
    m_waitWindow.reset();
    if (!m_transferUi) return;
    m_transferUi->setEditorEnabled(false);
    m_editorDisabled = true;
    m_waitWindow = m_transferUi->openWaitWindow(QString::fromLatin1(title), total);
}

void CCommunicationmodul::endTransferWindow()
{
    if (m_waitWindow) {
        m_waitWindow->close(2);
        m_waitWindow.reset();
    }
    // Also when the window could not be made: the editor must not stay
    // disabled.
    if (m_editorDisabled) {
        m_editorDisabled = false;
        if (m_transferUi) m_transferUi->setEditorEnabled(true);
    }
}

void CCommunicationmodul::reportProgress(int done, int total)
{
    if (m_waitWindow) m_waitWindow->setProgress(done, total);
    emit transferProgress(done, total);
}

void CCommunicationmodul::closeTransport()
{
    if (m_transport && m_transport->isOpen()) m_transport->close();
}

void CCommunicationmodul::abandonWork()
{
    // A disconnect asked for in the middle of a transfer must not leave its
    // wait window open and the editor disabled.
    endTransferWindow();
    if (m_job == Job::ReadingPreset || m_job == Job::WritingPreset) m_job = Job::None;
    m_transferRequestOut = false;
    // Work queued behind the disconnect (a poll of the level panel) would
    // otherwise meet the closed link and end as a time-out.
    m_engine->dropAll(this);
    m_repeatTimer.stop();
}

void CCommunicationmodul::close()
{
    abandonWork();
    m_replyTarget = nullptr;
    closeTransport();
    setState(State::Idle);
    emit notification(Notification::Closed);
}

void CCommunicationmodul::onLinkFailed()
{
    if (!m_transport || !m_transport->isOpen()) return;
    if (m_state == State::Idle) {
        // Nothing was going on; just let go of the dead port.
        closeTransport();
        return;
    }
    // The port went away (adapter pulled): end as a time-out does, at once
    // rather than after the time limit, and never touch the preset record.
    setState(State::Idle);
    shutDown();
    emit notification(Notification::TimedOut);
}

void CCommunicationmodul::onLinkClosed()
{
    setState(State::Idle);
    shutDown();
    emit notification(Notification::Closed);
}

} // namespace zar40::comm
