#include "CanWndTransport.h"
#include "can_window_claims.h"

#include "can/CanWnd.h"
#include "can/can_messages.h"

#include "zar40/comm/BusScheduler.h"

#include <QCoreApplication>
#include <QEvent>

#include <map>
#include <memory>

namespace zar40::comm {

CanWndTransport::CanWndTransport(CCanWnd *window, int netId, QObject *parent)
    : CanTransport(netId, parent), m_window(window)
{
}

CanWndTransport::~CanWndTransport()
{
    // A registration left behind would keep the Net-ID taken for every
    // later connection.
    close();
}

CCanWnd *CanWndTransport::window() const
{
    return m_window.data();
}

bool CanWndTransport::open()
{
    if (m_registered) return true;
    if (!m_window) {
        setError(QStringLiteral("there is no CAN window in this program"));
        return false;
    }
    if (!claimNetId(m_window, netId(), this)) {
        setError(canbus::netIdUsable(netId())
                     ? QStringLiteral("CAN Net-ID %1 is in use by another connection").arg(netId())
                     : canbus::netIdProblem(netId()));
        return false;
    }
    m_registered = true;
    return true;
}

void CanWndTransport::close()
{
    if (!m_registered) return;
    m_registered = false;
    releaseNetId(m_window, netId(), this);
}

bool CanWndTransport::sendFrame(std::uint32_t id, const codec::MessageBytes &data)
{
    if (!m_window) {
        setError(QStringLiteral("the CAN window is gone"));
        return false;
    }
    // The frame waits its turn with every other unit's; the window then
    // sends it (and says so itself when it cannot).
    windowScheduler(m_window)->submit(netId(), id, data);
    return true;
}

BusScheduler *windowScheduler(CCanWnd *window)
{
    if (!window) return nullptr;
    // Owned here rather than by the window: the window is the host's and
    // outlives this library, whose code the scheduler runs.
    // Owned by the application (its timer dies with the event loop) and
    // deleted here first when this library is unloaded, as the transaction
    // queue is.
    struct Entry {
        QPointer<CCanWnd> window;
        QPointer<BusScheduler> scheduler;
    };
    struct Holder {
        std::map<CCanWnd *, Entry> entries;
        ~Holder()
        {
            for (auto &[w, e] : entries) delete e.scheduler.data();
        }
    };
    static Holder holder;
    auto &schedulers = holder.entries;
    // A window that is gone leaves its scheduler behind; a new window may
    // even come at the same address.
    std::erase_if(schedulers, [](auto &entry) {
        if (entry.second.window && entry.second.scheduler) return false;
        delete entry.second.scheduler.data();
        return true;
    });
    Entry &slot = schedulers[window];
    if (!slot.scheduler) {
        slot.window = window;
        QPointer<CCanWnd> target(window);
        slot.scheduler = new BusScheduler([target](std::uint32_t id, const codec::MessageBytes &data) {
            if (!target) return false;
            CanRequest request;
            request.id = int(id);
            request.client = target.data();
            request.clientHwnd = target.data();
            request.data = data.data();
            return target->request(CAN_SEND, request) == 1;
        }, QCoreApplication::instance());
    }
    return slot.scheduler.data();
}

bool CanWndTransport::event(QEvent *event)
{
    if (event->type() != CanNoticeEvent::eventType()) return CanTransport::event(event);
    const auto *notice = static_cast<const CanNoticeEvent *>(event);
    // Notices posted before our registration ended are stale.
    if (!m_registered || notice->netId() != netId()) return true;
    switch (notice->code()) {
    case CAN_FRAME_RECEIVED:
        // The window routed it by identifier already. The notice carries the
        // frame it announces; the window's rxData holds the same bytes only
        // while it is delivered on the window's own thread.
        frameReceived(notice->data());
        break;
    case CAN_LINK_LOST:
        linkEnded(QStringLiteral("the USB-CAN module was disconnected"));
        break;
    case CAN_LINK_CLOSED:
        linkEnded(QStringLiteral("the CAN link was closed after a bus error"));
        break;
    default:
        break;
    }
    return true;
}

CCommunicationmodul::CanTransportFactory canWindowTransportFactory(const QWidget *mainWindow)
{
    return [mainWindow](int netId) -> std::unique_ptr<Transport> {
        CCanWnd *window = CCanWnd::find(mainWindow);
        if (!window) return nullptr;
        return std::make_unique<CanWndTransport>(window, netId);
    };
}

} // namespace zar40::comm
