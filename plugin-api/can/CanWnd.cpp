#include "CanWnd.h"
#include "can_strings.h"

#include "../user_prompts.h"
#include "../window_tree.h"

#include "canbus/netid.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <cstring>
#include <deque>

using namespace can_strings;

namespace {

// Frames read by the driver callback wait here until the window routes
// them. A window that cannot keep up loses the oldest, never memory.
constexpr std::size_t kPendingFrameLimit = 1024;

// What the driver callbacks hand over to the window.
class LinkEvent : public QEvent
{
public:
    enum class Kind { Received, ModuleArrived, ModuleRemoved, StatusError };

    LinkEvent(Kind kind, quint16 canStatus = 0)
        : QEvent(type())
        , kind(kind)
        , canStatus(canStatus)
    {
    }

    static QEvent::Type type()
    {
        static const auto t = static_cast<QEvent::Type>(QEvent::registerEventType());
        return t;
    }

    const Kind kind;
    const quint16 canStatus;
};

// The number of the host's own CAN message; the same for every start.
unsigned defaultCanMessage()
{
    static const unsigned number = static_cast<unsigned>(QEvent::registerEventType());
    return number;
}

} // namespace

// The link state shared by the window and the driver callbacks. Callbacks
// keep it alive through their shared pointer, so a callback that arrives
// while the window is being destroyed finds window == nullptr and leaves.
struct CCanWnd::Link
{
    QMutex lock; // the CAN lock

    // Set by a shut-down before it takes the lock: callbacks arriving then
    // return at once instead of queueing behind it.
    std::atomic<bool> closing{false};
    std::atomic<bool> canReady{false};

    // Guarded by lock.
    CCanWnd *window = nullptr;
    Ucan *driver = nullptr;
    std::deque<ucan::CanMsg> pending;
    ucan::CanMsg rxFrame;
    ucan::Status status;

    // User-interface thread only.
    ucan::Handle moduleHandle = 0;
    ucan::HardwareInfo hardwareInfo;
    bool moduleOpen = false;
    bool connectControlOn = false;

    static void eventCallback(const std::shared_ptr<Link> &link, ucan::Handle handle, quint8 event);
    static void connectCallback(const std::shared_ptr<Link> &link, quint8 event);
};

void CCanWnd::Link::eventCallback(const std::shared_ptr<Link> &link, ucan::Handle handle, quint8 event)
{
    if (link->closing)
        return;
    QMutexLocker locker(&link->lock);
    if (!link->window || !link->driver)
        return;

    if (event == ucan::kEventReceive) {
        int read = 0;
        ucan::CanMsg msg;
        while (!link->closing && link->driver->UcanReadCanMsg(handle, &msg) == ucan::Successful) {
            link->rxFrame = msg;
            if (link->pending.size() >= kPendingFrameLimit)
                link->pending.pop_front();
            link->pending.push_back(msg);
            ++read;
        }
        if (read > 0 && !link->closing)
            QCoreApplication::postEvent(link->window, new LinkEvent(LinkEvent::Kind::Received));
    } else if (event == ucan::kEventStatus) {
        if (link->driver->UcanGetStatus(handle, &link->status) == ucan::Successful
            && link->status.canStatus != 0) {
            QCoreApplication::postEvent(link->window,
                                        new LinkEvent(LinkEvent::Kind::StatusError, link->status.canStatus));
        }
    }
}

void CCanWnd::Link::connectCallback(const std::shared_ptr<Link> &link, quint8 event)
{
    if (link->closing)
        return;
    QMutexLocker locker(&link->lock);
    if (!link->window)
        return;

    if (event == ucan::kEventConnect) {
        // The module is opened by the window, on its own thread, so that
        // every driver call but reading stays on one thread.
        QCoreApplication::postEvent(link->window, new LinkEvent(LinkEvent::Kind::ModuleArrived));
    } else if (event == ucan::kEventDisconnect) {
        link->canReady = false;
        QCoreApplication::postEvent(link->window, new LinkEvent(LinkEvent::Kind::ModuleRemoved));
    }
}

CCanWnd::CCanWnd(std::unique_ptr<Ucan> driver, QWidget *parent)
    : QWidget(parent)
    , m_strings(can_strings::defaults())
    , m_link(std::make_shared<Link>())
    , m_driver(std::move(driver))
{
    Q_ASSERT(m_driver);
    setObjectName(QStringLiteral("CCanWnd"));
    WindowTree::setControlId(this, kControlId);
    setGeometry(0, 0, 0, 0);
    m_link->window = this;
    m_link->driver = m_driver.get();
}

CCanWnd::~CCanWnd()
{
    if (m_link->connectControlOn || m_link->moduleOpen) {
        // The host is going away: release the module without messages.
        m_quiet = true;
        shutDownLink();
    }
    m_link->closing = true;
    {
        QMutexLocker locker(&m_link->lock);
        m_link->window = nullptr;
        m_link->driver = nullptr;
    }
    // Joins the driver's threads; a callback still waiting for the lock
    // finds the window gone.
    m_driver.reset();
}

StringTable &CCanWnd::strings()
{
    return m_strings;
}

Ucan &CCanWnd::driver()
{
    return *m_driver;
}

bool CCanWnd::linkStarted() const
{
    return m_link->connectControlOn;
}

bool CCanWnd::canReady() const
{
    return m_link->canReady;
}

CCanWnd *CCanWnd::find(const QWidget *mainWindow)
{
    if (!mainWindow)
        mainWindow = WindowTree::mainWindow();
    return qobject_cast<CCanWnd *>(WindowTree::childWithControlId(mainWindow, kControlId));
}

int CCanWnd::request(int code, const CanRequest &request)
{
    Q_ASSERT_X(QThread::currentThread() == thread(), "CCanWnd::request", "called off the user-interface thread");
    switch (code) {
    case CAN_REGISTER:
        return registerClient(request);
    case CAN_UNREGISTER:
        return unregisterClient(request);
    case CAN_SEND:
        return send(request);
    default:
        return 0;
    }
}

int CCanWnd::registerClient(const CanRequest &request)
{
    // Net-ID 64 has a table entry but its identifiers (0x800 up) do not fit
    // a standard frame; anything outside 1..64 has no entry at all.
    if (!request.client)
        return 0;
    if (request.id < 1 || request.id > canbus::kMaxNetId) {
        showInformation(m_strings.load(kStrNetIdRange).arg(request.id));
        return 0;
    }
    if (m_clientCount == 0 && !startLink())
        return 0;

    CanClient &entry = m_clients[request.id - 1];
    if (entry.canId != 0 && entry.client) {
        showInformation(m_strings.text(kStrAlreadyConnected, QString()));
        return 0;
    }
    entry.canId = int(canbus::identifierForNetId(request.id));
    entry.client = request.client;
    entry.clientHwnd = request.clientHwnd ? request.clientHwnd : request.client;
    entry.reserved = 0;
    ++m_clientCount;
    if (entry.clientHwnd && entry.clientHwnd->thread() == thread())
        entry.clientHwnd->installEventFilter(this);
    return 1;
}

int CCanWnd::unregisterClient(const CanRequest &request)
{
    if (request.id < 1 || request.id > kClientTableSize)
        return 1;
    CanClient &entry = m_clients[request.id - 1];
    if (!entry.client || entry.canId == 0)
        return 1;
    // Only the holder of a registration may end it: an editor whose own
    // registration was refused must not take the other editor's away.
    if (request.client && request.client != entry.client)
        return 1;
    clearEntry(request.id - 1);
    if (m_clientCount == 0)
        shutDownLink();
    return 1;
}

int CCanWnd::send(const CanRequest &request)
{
    if (m_clientCount == 0) {
        showInformation(m_strings.text(kStrNotInitialized, QString()));
        return 1;
    }
    if (request.id < 0 || request.id > int(canbus::kMaxStandardId)) {
        showInformation(m_strings.load(kStrIdentifierRange).arg(QString::number(request.id, 16).toUpper()));
        return 0;
    }
    if (!request.data)
        return 0;
    sendFrame(request.id, request.data);
    return 1;
}

bool CCanWnd::startLink()
{
    Link &link = *m_link;
    // An unplugged module drops every client but leaves connect
    // notification running (and a re-plugged module open); close that
    // first, or the fresh start would find the module in use.
    if (link.connectControlOn || link.moduleOpen)
        shutDownLink();

    link.closing = false;
    std::weak_ptr<Link> weak = m_link;
    const ucan::Result r = m_driver->UcanInitHwConnectControl([weak](quint8 event, quint32) {
        if (auto l = weak.lock())
            Link::connectCallback(l, event);
    });
    if (r != ucan::Successful) {
        const QString detail = m_driver->lastErrorDetail();
        shutDownLink();
        showDriverError(r, detail, "Init HW Error ID %i");
        showInformation(m_strings.text(kStrErrorInitHw, QString()));
        return false;
    }
    link.connectControlOn = true;

    if (!startModule()) {
        shutDownLink();
        showInformation(m_strings.text(kStrNoModule, QString()));
        return false;
    }
    m_notifyMessage = defaultCanMessage();
    return true;
}

bool CCanWnd::startModule()
{
    Link &link = *m_link;
    std::weak_ptr<Link> weak = m_link;
    ucan::Handle handle = 0;
    ucan::Result r = m_driver->UcanInitHardware(&handle, ucan::kAnyModule, [weak](ucan::Handle h, quint8 event) {
        if (auto l = weak.lock())
            Link::eventCallback(l, h, event);
    });
    if (r != ucan::Successful) {
        const QString detail = m_driver->lastErrorDetail();
        {
            QMutexLocker locker(&link.lock);
            if (link.canReady) {
                m_driver->UcanDeinitCan(link.hardwareInfo.handle);
                m_driver->UcanDeinitHardware(link.hardwareInfo.handle);
                link.canReady = false;
                link.moduleOpen = false;
            }
            m_driver->UcanDeinitHwConnectControl();
            link.connectControlOn = false;
        }
        showDriverError(r, detail, "UcanInitHardware Error ID %i");
        return false;
    }
    link.moduleOpen = true;
    link.hardwareInfo.handle = handle;

    r = m_driver->UcanGetHardwareInfo(handle, &link.hardwareInfo);
    if (r != ucan::Successful) {
        showDriverError(r, m_driver->lastErrorDetail(), "UcanGetHardwareInfo Error ID %i");
        return false;
    }
    if (link.hardwareInfo.deviceNumber == 0) {
        link.canReady = true;
        link.moduleHandle = handle;
        r = m_driver->UcanInitCan(handle, ucan::Btr0_125k, ucan::Btr1_125k, ucan::kAcceptAllMask,
                                 ucan::kAcceptAllCode);
        if (r != ucan::Successful) {
            showDriverError(r, m_driver->lastErrorDetail(), "UcanInitCan Error ID %i");
            return false;
        }
    }
    return true;
}

void CCanWnd::sendFrame(int id, const quint8 *data)
{
    Link &link = *m_link;
    if (!link.canReady)
        return;
    ucan::Result r = m_driver->UcanSetAcceptance(link.moduleHandle, ucan::kAcceptAllMask, ucan::kAcceptAllCode);
    if (r != ucan::Successful) {
        showDriverError(r, m_driver->lastErrorDetail(), "UcanSetAcceptance Error ID %i");
        return;
    }
    ucan::CanMsg msg;
    msg.id = quint32(id);
    msg.frameFormat = ucan::kFormatStandard;
    msg.length = 8;
    std::memcpy(msg.data, data, 8);
    r = m_driver->UcanWriteCanMsg(link.moduleHandle, &msg);
    if (r != ucan::Successful)
        showDriverError(r, m_driver->lastErrorDetail(), "UcanWriteCanMsg Error ID %i");
}

void CCanWnd::shutDownLink()
{
    Link &link = *m_link;
    struct Failure
    {
        ucan::Result code;
        QString detail;
        const char *format;
    };
    QList<Failure> failures;
    auto check = [&](ucan::Result r, const char *format) {
        if (r != ucan::Successful)
            failures.append({r, m_driver->lastErrorDetail(), format});
    };

    link.closing = true;
    {
        QMutexLocker locker(&link.lock);
        const ucan::Handle handle = link.hardwareInfo.handle;
        check(m_driver->UcanResetCan(handle), "UcanResetCan Error ID %i");
        if (link.canReady)
            check(m_driver->UcanDeinitCan(handle), "UcanDeinitCan Error ID %i");
        // Released whenever it was opened, also when its channel was never
        // initialised, so that the next start finds it free.
        if (link.moduleOpen)
            check(m_driver->UcanDeinitHardware(handle), "UcanDeinitHardware Error ID %i");
        link.canReady = false;
        link.moduleOpen = false;
        check(m_driver->UcanDeinitHwConnectControl(), "UcanDeinitHwConnectControl Error ID %i");
        link.connectControlOn = false;
        link.pending.clear();
        m_notifyMessage = 0;
    }
    // Shown after the lock is released: a message box runs an event loop.
    for (const Failure &f : failures)
        showDriverError(f.code, f.detail, f.format);
}

void CCanWnd::clearEntry(int index)
{
    CanClient &entry = m_clients[index];
    QObject *watched = entry.clientHwnd.data();
    entry = CanClient{};
    --m_clientCount;
    if (!watched)
        return;
    for (const CanClient &other : m_clients) {
        if (other.clientHwnd == watched)
            return;
    }
    watched->removeEventFilter(this);
}

void CCanWnd::dropAllClients(int noticeCode)
{
    for (int i = 0; i < kClientTableSize; ++i) {
        CanClient &entry = m_clients[i];
        if (!entry.client || entry.canId == 0)
            continue;
        if (entry.clientHwnd)
            QCoreApplication::postEvent(entry.clientHwnd, new CanNoticeEvent(noticeCode, i + 1));
        clearEntry(i);
    }
}

bool CCanWnd::event(QEvent *event)
{
    if (event->type() != LinkEvent::type())
        return QWidget::event(event);
    const auto *e = static_cast<const LinkEvent *>(event);
    switch (e->kind) {
    case LinkEvent::Kind::Received:
        onReceived();
        break;
    case LinkEvent::Kind::ModuleArrived:
        onModuleArrived();
        break;
    case LinkEvent::Kind::ModuleRemoved:
        onModuleRemoved();
        break;
    case LinkEvent::Kind::StatusError:
        onStatusError(e->canStatus);
        break;
    }
    return true;
}

bool CCanWnd::eventFilter(QObject *watched, QEvent *event)
{
    // rxData holds the frame of the notice the client is about to handle,
    // even when several frames were routed in one go.
    if (event->type() == CanNoticeEvent::eventType()) {
        const auto *notice = static_cast<const CanNoticeEvent *>(event);
        if (notice->code() == CAN_FRAME_RECEIVED)
            std::memcpy(m_rxData, notice->data().data(), sizeof m_rxData);
    }
    return QWidget::eventFilter(watched, event);
}

void CCanWnd::onReceived()
{
    std::deque<ucan::CanMsg> frames;
    {
        QMutexLocker locker(&m_link->lock);
        frames.swap(m_link->pending);
    }
    // Every frame of a burst goes to its own client, in the order read.
    for (const ucan::CanMsg &frame : frames) {
        std::memcpy(m_rxData, frame.data, sizeof m_rxData);
        // Extended and remote frames are no device replies; their
        // identifiers would alias a Net-ID.
        if (frame.frameFormat != ucan::kFormatStandard)
            continue;
        const int netId = canbus::netIdForIdentifier(frame.id);
        if (netId < 1 || netId > kClientTableSize)
            continue;
        CanClient &entry = m_clients[netId - 1];
        // Traffic for Net-IDs nobody registered is someone else's.
        if (!entry.client || entry.canId == 0)
            continue;
        if (entry.clientHwnd) {
            QCoreApplication::postEvent(entry.clientHwnd, new CanNoticeEvent(CAN_FRAME_RECEIVED, netId, frame.data));
        } else {
            clearEntry(netId - 1);
            if (m_clientCount == 0) {
                shutDownLink();
                return;
            }
        }
    }
}

void CCanWnd::onModuleArrived()
{
    // Only a link that waits for its module reopens it.
    if (!m_link->connectControlOn || m_link->moduleOpen)
        return;
    startModule();
    showInformation(m_strings.text(kStrModuleConnected, QString()));
}

void CCanWnd::onModuleRemoved()
{
    m_link->canReady = false;
    dropAllClients(CAN_LINK_LOST);
    // The driver has let go of the module; there is nothing left to release.
    m_link->moduleOpen = false;
    showInformation(m_strings.text(kStrModuleDisconnected, QString()));
}

void CCanWnd::onStatusError(quint16 canStatus)
{
    dropAllClients(CAN_LINK_CLOSED);
    if (m_link->connectControlOn || m_link->moduleOpen)
        shutDownLink();
    showInformation(statusText(m_strings, canStatus));
}

void CCanWnd::showInformation(const QString &text)
{
    if (m_quiet)
        return;
    UserPrompts::current().information(text, parentWidget());
}

void CCanWnd::showDriverError(quint8 code, const QString &detail, const char *fallbackFormat)
{
    QString text = driverErrorText(m_strings, code, fallbackFormat);
    if (!detail.isEmpty())
        text += QStringLiteral("\n\n") + detail;
    showInformation(text);
}
