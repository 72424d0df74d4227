// The editor's connection cycle: connect, agree with the unit on a slot,
// switch and store slots, write the device settings, watch levels,
// disconnect, and close the window while linked. Every step is a state of
// its own; a link that drops or fails is one transition from any of them.
#include "EditorSession.h"

#include "EditorPrompts.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/cycle_timings.h"
#include "zar40/comm/RemoteWatch.h"

#include <QUndoStack>

namespace zar40::editor {

using comm::CCommunicationmodul;
using namespace codec;
using State = EditorSession::CycleState;

namespace {

constexpr const char *kTimeOutText =
    "Communication ERROR.\nPlease verify that the COM-Port select is correct and the ZAR is correct connected.";
constexpr const char *kRefusedText = "Communication ERROR.\nThe connection to the ZAR is refused.";
constexpr const char *kWaitChangeText = "Please wait\nwhile change Preset";
constexpr const char *kWaitChangingText = "Please wait\nwhile changing Preset";
constexpr const char *kWaitSavingText = "Please wait\nwhile saving";

std::uint16_t slotAddress(int slot) { return static_cast<std::uint16_t>(slot + 1); }

} // namespace

EditorSession::EditorSession(QObject *parent, comm::CTransactionEngine *engine)
    : QObject(parent)
    , m_undo(new QUndoStack(this))
    , m_link(new CCommunicationmodul(this, engine))
    , m_watch(new comm::CRemoteWatch(m_link, this))
{
    preset::resetPresetMemory(m_presets);
    m_shownList = presetList();
    m_statusText = tr("Idle");
    m_link->setPrompts(this);
    m_link->setTransferUi(this);
    connect(m_link, &CCommunicationmodul::notification, this, &EditorSession::onNotification);
    connect(m_link, &CCommunicationmodul::replied, this, &EditorSession::onReplied);
}

EditorSession::~EditorSession()
{
    // Nothing said while tearing down reaches those who show the session.
    blockSignals(true);
    m_link->disconnect(this);
    m_link->setPrompts(nullptr);
    m_link->setTransferUi(nullptr);
    // Undo commands call back into the session; the watch points at the
    // connection, and the connection at this session's prompts.
    m_undo->clear();
    delete m_watch;
    m_watch = nullptr;
    delete m_link;
    m_link = nullptr;
}

// ---- What the connection asks ---------------------------------------------------

void EditorSession::information(const QString &text)
{
    if (m_prompts) m_prompts->information(text);
}

void EditorSession::error(const QString &text)
{
    if (m_prompts) m_prompts->error(text);
}

std::optional<QString> EditorSession::enterPassword()
{
    return m_prompts ? m_prompts->enterPassword() : std::nullopt;
}

std::unique_ptr<comm::WaitWindow> EditorSession::openWaitWindow(const QString &title, int total)
{
    return m_prompts ? m_prompts->openTransferWindow(title, total) : nullptr;
}

void EditorSession::setEditorEnabled(bool enabled)
{
    // The connection ends every transfer this way, also one cut short.
    if (enabled && m_state == State::Transferring) setState(State::Connected);
}

// ---- States -----------------------------------------------------------------------

QString EditorSession::connectionPhase() const
{
    if (m_state == State::Idle || m_state == State::ReadyToClose) return QStringLiteral("Idle");
    if (m_state == State::Linking) return QStringLiteral("Connecting");
    if (m_state >= State::StoringBeforeDisconnect) return QStringLiteral("Disconnecting");
    return QStringLiteral("Connected");
}

bool EditorSession::isConnected() const { return m_state >= State::Transferring; }

bool EditorSession::isLinked() const { return m_state >= State::ChoosingSlot; }

bool EditorSession::isBusy() const
{
    return m_state != State::Idle && m_state != State::ReadyToClose && m_state != State::Linking
           && m_state != State::Connected;
}

void EditorSession::showStatus(const QString &text)
{
    if (text == m_statusText) return;
    m_statusText = text;
    emit statusTextChanged(text);
}

void EditorSession::setState(CycleState state)
{
    ++m_ticket;
    m_waitBoxOpen = false;
    m_awaitedReply = -1;
    if (state == m_state) return;
    const bool wasConnected = isConnected();
    m_state = state;
    if (!isLinked()) m_watch->setEnabled(false);
    // The panes show the unit's state only while connected.
    if (isConnected() != wasConnected) emit modifiedChanged();
    emit cycleStateChanged(state);
    if (!isLinked() || state == State::Connected) emit remoteWatchChanged(isRemoteWatchOn());
}

std::function<void()> EditorSession::guarded(std::function<void()> then)
{
    return [self = QPointer<EditorSession>(this), ticket = m_ticket, then = std::move(then)] {
        if (self && self->m_ticket == ticket && then) then();
    };
}

template <typename Arg>
std::function<void(Arg)> EditorSession::guarded(std::function<void(Arg)> then)
{
    return [self = QPointer<EditorSession>(this), ticket = m_ticket, then = std::move(then)](Arg arg) {
        if (self && self->m_ticket == ticket && then) then(arg);
    };
}

int EditorSession::scaled(int ms) const { return static_cast<int>(ms * m_waitScale); }

void EditorSession::waitFor(const QString &text, int ms, int awaited)
{
    m_waitBoxOpen = true;
    m_awaitedReply = awaited;
    const auto closed = guarded([this] {
        m_waitBoxOpen = false;
        if (m_awaitedReply < 0) stepDone();
    });
    if (m_prompts) m_prompts->showWaitBox(text, scaled(ms), closed);
    else QTimer::singleShot(scaled(ms), this, closed);
}

void EditorSession::onReplied(const Message &request, const Message &)
{
    if (m_awaitedReply < 0 || request.code != m_awaitedReply) return;
    m_awaitedReply = -1;
    if (!m_waitBoxOpen) stepDone();
}

// The wait of the current state is over: its next step.
void EditorSession::stepDone()
{
    switch (m_state) {
    case State::SwitchingSlot:
        setState(State::Settling);
        QTimer::singleShot(scaled(comm::kSettleMs), this, guarded([this] { askDirection(); }));
        break;
    case State::ChangingSlot:
        setDeviceModified(false);
        setLocalModified(true);
        readDevicePreset();
        break;
    case State::Storing:
    case State::WritingSettings:
        setState(State::Connected);
        break;
    case State::StoringBeforeDisconnect:
        setState(State::Disconnecting);
        m_link->postState(ReqDisconnect);
        break;
    case State::StoringBeforeClose:
        setState(State::DisconnectingForClose);
        m_link->postState(ReqDisconnect);
        break;
    default:
        break;
    }
}

// ---- Connecting ---------------------------------------------------------------------

bool EditorSession::connectToUnit(CCommunicationmodul::ConnectionType type, const QString &port, int netId)
{
    // A sequence the unit did not complete (not ready, wrong device, no
    // password) stays in Linking until the user tries again.
    if (m_state != State::Idle && m_state != State::Linking) return false;
    m_link->setConnectionType(type);
    if (type == CCommunicationmodul::ConnectionType::SerialLine) m_link->setPort(port);
    else m_link->setNetId(netId);
    // A refused port has already been reported by the connection.
    if (!m_link->connectToDevice()) {
        showStatus(type == CCommunicationmodul::ConnectionType::CanBus ? tr("No CAN link for Net-ID %1").arg(netId)
                                                                       : tr("Idle"));
        return false;
    }
    setDeviceModified(false);
    setState(State::Linking);
    showStatus(tr("Connecting"));
    return true;
}

void EditorSession::onNotification(CCommunicationmodul::Notification code)
{
    using Notification = CCommunicationmodul::Notification;
    switch (code) {
    case Notification::Connected:
        if (m_state != State::Linking) break;
        setState(State::ChoosingSlot);
        showStatus(tr("Connected"));
        if (!m_prompts) {
            onSlotChosen(m_presets.current());
            break;
        }
        m_prompts->chooseSlot(m_presets.current() + 1, guarded<std::optional<int>>([this](std::optional<int> number) {
            onSlotChosen(number ? std::clamp(*number, 1, preset::kPresetCount) - 1 : m_presets.current());
        }));
        break;
    case Notification::PresetRead:
        if (isConnected()) showStatus(tr("Connected"));
        replaced();
        break;
    case Notification::Closed:
        if (m_state == State::StoringBeforeClose || m_state == State::DisconnectingForClose) {
            setState(State::ReadyToClose);
            showStatus(tr("Idle"));
            emit closeReady();
            break;
        }
        if (m_state != State::Idle && m_state != State::ReadyToClose) linkLost(tr("Connection closed"), {});
        break;
    case Notification::TimedOut:
        // The connection has already shut itself down. The window stays
        // open, so the user sees why.
        linkLost(tr("Communication time-out"), QString::fromLatin1(kTimeOutText));
        break;
    case Notification::Refused:
        linkLost(tr("Connection refused"), QString::fromLatin1(kRefusedText));
        break;
    }
}

void EditorSession::linkLost(const QString &status, const QString &message)
{
    setState(State::Idle);
    showStatus(status);
    if (!message.isEmpty() && m_prompts) m_prompts->error(message);
}

void EditorSession::onSlotChosen(int slot)
{
    // The editor's preset goes with the user to the chosen slot, which keeps
    // its own number: the list shows the slot the user picked.
    preset::PresetRecord moved = currentRecord();
    m_presets.setCurrent(slot);
    moved.number = m_presets.currentRecord().number;
    m_presets.currentRecord() = moved;
    checkPresetList();
    setState(State::SwitchingSlot);
    m_link->postTransaction(ReqLoadPreset, slotAddress(m_presets.current()), 0);
    waitFor(QString::fromLatin1(kWaitChangeText), comm::kSlotChangeWaitMs, ReqLoadPreset);
}

void EditorSession::askDirection()
{
    setState(State::AskingDirection);
    const auto answered = guarded<bool>([this](bool yes) {
        if (yes) {
            // Right after the password the protocol state still reads
            // "connecting"; the transfer itself moves it on.
            setState(State::Transferring);
            setDeviceModified(true);
            m_link->writePreset(currentRecord());
            return;
        }
        askSaveThen([this] {
            setDeviceModified(true);
            setLocalModified(true);
            readDevicePreset();
        });
    });
    if (m_prompts) m_prompts->askYesNo(QString::fromLatin1(kCopyPresetQuestion), answered);
    else answered(false);
}

// "Do you want to save the current preset?" when it holds unsaved changes;
// THEN runs whatever the answer (Cancel too) unless the link went meanwhile.
void EditorSession::askSaveThen(std::function<void()> then)
{
    if (!m_localModified || !m_prompts) {
        then();
        return;
    }
    setState(State::AskingSaveBeforeRead);
    m_prompts->askYesNoCancel(QString::fromLatin1(kSaveCurrentQuestion),
                              guarded<EditorPrompts::Answer>([this, then](EditorPrompts::Answer answer) {
                                  if (answer != EditorPrompts::Answer::Yes) {
                                      then();
                                      return;
                                  }
                                  m_prompts->askSaveFileName(guarded<const QString &>([this, then](const QString &path) {
                                      if (!path.isEmpty()) savePresetFile(path);
                                      then();
                                  }));
                              }));
}

void EditorSession::readDevicePreset()
{
    setState(State::Transferring);
    showStatus(tr("Connected, reading preset"));
    m_link->readPreset(&m_presets.currentRecord(), &m_deviceSettings);
}

// ---- Connected ------------------------------------------------------------------------

void EditorSession::chooseSlot(int index)
{
    if (m_state != State::Connected || index < 0 || index >= preset::kPresetCount
        || index == m_presets.current())
        return;
    m_presets.setCurrent(index);
    setState(State::ChangingSlot);
    m_link->postTransaction(ReqLoadPreset, slotAddress(index), 0);
    replaced();
    waitFor(QString::fromLatin1(kWaitChangingText), comm::kSlotChangeWaitMs, ReqLoadPreset);
}

void EditorSession::storePreset()
{
    if (m_state != State::Connected) return;
    setState(State::Storing);
    m_link->postTransaction(ReqStorePreset, slotAddress(m_presets.current()), 0);
    setDeviceModified(false);
    waitFor(QString::fromLatin1(kWaitSavingText), comm::kStoreWaitMs, ReqStorePreset);
}

void EditorSession::writeDeviceSettings(const std::string &name, bool keyboardLock, std::uint32_t password)
{
    if (m_state != State::Connected || !m_link->acceptsWrites()) return;
    setState(State::WritingSettings);
    for (const model::ParameterWrite &w : model::deviceSettingsWrites(name, keyboardLock, password))
        m_link->postTransaction(w.code, w.address, w.value);
    setDeviceName(m_deviceSettings, name);
    m_deviceSettings[kKeyboardLockWord] = keyboardLock ? 1u : 0u;
    emit modifiedChanged(); // the device name pane
    waitFor(QString::fromLatin1(kWaitSavingText), comm::kStoreWaitMs, ReqWritePwd);
}

bool EditorSession::isRemoteWatchOn() const { return m_watch->isEnabled(); }

void EditorSession::setRemoteWatch(bool on)
{
    if (on && (!isLinked() || m_state >= State::StoringBeforeDisconnect)) on = false;
    if (on != m_watch->isEnabled()) m_watch->setEnabled(on);
    emit remoteWatchChanged(on);
}

// ---- Disconnecting --------------------------------------------------------------------

void EditorSession::disconnectFromUnit()
{
    if (m_state != State::Connected) return;
    setState(State::AskingStore);
    const auto answered = guarded<bool>([this](bool store) { startDisconnect(store, false); });
    if (m_prompts) m_prompts->askYesNo(QString::fromLatin1(kStorePresetQuestion), answered);
    else answered(false);
}

bool EditorSession::closeWhileLinked()
{
    if (!isLinked()) return false;
    if (m_state >= State::StoringBeforeDisconnect || m_state == State::AskingStoreForClose
        || m_state == State::AskingSaveForClose) {
        // On its way out already: the closed notification closes the window.
        if (m_state == State::Disconnecting) setState(State::DisconnectingForClose);
        else if (m_state == State::StoringBeforeDisconnect) {
            // Keeps waiting for the store, then disconnects for the close.
            const int awaited = m_awaitedReply;
            const bool boxOpen = m_waitBoxOpen;
            m_state = State::StoringBeforeClose;
            m_awaitedReply = awaited;
            m_waitBoxOpen = boxOpen;
            emit cycleStateChanged(m_state);
        }
        return true;
    }
    if (m_state != State::Connected) {
        // In the middle of a step (a transfer, a wait box): the unit is let go
        // at once and the window closes when it has answered.
        m_watch->setEnabled(false);
        setState(State::DisconnectingForClose);
        m_link->postState(ReqDisconnect);
        return true;
    }
    setState(State::AskingStoreForClose);
    const auto answered = guarded<bool>([this](bool store) {
        const auto disconnect = [this, store] { startDisconnect(store, true); };
        if (!m_localModified || !m_prompts) {
            disconnect();
            return;
        }
        setState(State::AskingSaveForClose);
        m_prompts->askYesNo(QString::fromLatin1(kSaveCurrentQuestion), guarded<bool>([this, disconnect](bool save) {
            if (!save) {
                disconnect();
                return;
            }
            m_prompts->askSaveFileName(guarded<const QString &>([this, disconnect](const QString &path) {
                if (!path.isEmpty()) savePresetFile(path);
                disconnect();
            }));
        }));
    });
    if (m_prompts) m_prompts->askYesNo(QString::fromLatin1(kStorePresetQuestion), answered);
    else answered(false);
    return true;
}

void EditorSession::startDisconnect(bool store, bool forClose)
{
    m_watch->setEnabled(false);
    emit remoteWatchChanged(false);
    showStatus(tr("Disconnecting"));
    if (!store) {
        setState(forClose ? State::DisconnectingForClose : State::Disconnecting);
        m_link->postState(ReqDisconnect);
        return;
    }
    setState(forClose ? State::StoringBeforeClose : State::StoringBeforeDisconnect);
    m_link->postTransaction(ReqStorePreset, slotAddress(m_presets.current()), 0);
    setDeviceModified(false);
    // The disconnect drops whatever is queued: it waits for the store.
    waitFor(QString::fromLatin1(kWaitSavingText), comm::kStoreWaitMs, ReqStorePreset);
}

} // namespace zar40::editor
