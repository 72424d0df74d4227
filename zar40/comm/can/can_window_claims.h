#pragma once
// A Net-ID's entry at the host's CAN window, which hands that Net-ID's
// frames to the one client holding it.
#include <QPointer>

class CCanWnd;
class QObject;

namespace zar40::comm {

// Takes NET_ID's entry for CLIENT when no one holds it, so that a Net-ID in
// use elsewhere brings up no message of the window; true when CLIENT holds
// the entry afterwards.
bool claimFreeNetId(const QPointer<CCanWnd> &window, int netId, QObject *client);
// Asks for NET_ID's entry for CLIENT; the window says why when it refuses.
// True when CLIENT holds the entry afterwards.
bool claimNetId(const QPointer<CCanWnd> &window, int netId, QObject *client);
// Gives NET_ID's entry back; an entry CLIENT does not hold stays as it is.
void releaseNetId(const QPointer<CCanWnd> &window, int netId, QObject *client);

} // namespace zar40::comm
