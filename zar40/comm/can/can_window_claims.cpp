#include "can_window_claims.h"

#include "canbus/netid.h"
#include "can/CanWnd.h"
#include "can/can_messages.h"

namespace zar40::comm {

namespace {

bool holds(const QPointer<CCanWnd> &window, int netId, const QObject *client)
{
    // The entry decides, not the request's result: only an entry that holds
    // the client routes the Net-ID's frames to it.
    return window && canbus::netIdUsable(netId) && window->clients()[netId - 1].client == client;
}

void ask(const QPointer<CCanWnd> &window, int code, int netId, QObject *client)
{
    CanRequest request;
    request.id = netId;
    request.client = client;
    request.clientHwnd = client;
    window->request(code, request);
}

} // namespace

bool claimFreeNetId(const QPointer<CCanWnd> &window, int netId, QObject *client)
{
    if (!window || !canbus::netIdUsable(netId))
        return false;
    if (window->clients()[netId - 1].canId == 0)
        ask(window, CAN_REGISTER, netId, client);
    return holds(window, netId, client);
}

bool claimNetId(const QPointer<CCanWnd> &window, int netId, QObject *client)
{
    if (!window)
        return false;
    ask(window, CAN_REGISTER, netId, client);
    return holds(window, netId, client);
}

void releaseNetId(const QPointer<CCanWnd> &window, int netId, QObject *client)
{
    if (window)
        ask(window, CAN_UNREGISTER, netId, client);
}

} // namespace zar40::comm
