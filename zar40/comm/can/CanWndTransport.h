#pragma once
// The editor's CAN link: frames go through the host's CAN window, which the
// plug-in windows of the process share. The transport registers itself for
// its Net-ID, so the window posts it the notices of that Net-ID (a received
// frame, the link lost or closed).
#include "zar40/comm/can_transport.h"
#include "zar40/comm/Communicationmodul.h"

#include <QPointer>

class CCanWnd;
class QWidget;

namespace zar40::comm {

class BusScheduler;

class CanWndTransport final : public CanTransport
{
    Q_OBJECT
public:
    // WINDOW may be null (no CAN window in this process): open() then fails.
    CanWndTransport(CCanWnd *window, int netId, QObject *parent = nullptr);
    ~CanWndTransport() override;

    // Registers for the Net-ID. Only when the window's entry for it then
    // holds this object is the link open; a Net-ID that another connection
    // holds, or one the window refuses, leaves it closed (the window tells
    // the user why).
    bool open() override;
    // Ends the registration.
    void close() override;
    bool isOpen() const override { return m_registered; }

    CCanWnd *window() const;

protected:
    bool sendFrame(std::uint32_t id, const codec::MessageBytes &data) override;
    bool event(QEvent *event) override;

private:
    QPointer<CCanWnd> m_window;
    bool m_registered = false;
};

// The scheduler of the bus behind WINDOW: every connection of the plug-in
// that talks through that window sends its frames through it. Null for a
// null window.
BusScheduler *windowScheduler(CCanWnd *window);

// What the editor hands its connection: a CAN link for a Net-ID through the
// CAN window of the host's main window (CCanWnd::find(mainWindow)), looked
// up at each connect. Without a CAN window there is no link, so a CAN
// connect starts nothing.
CCommunicationmodul::CanTransportFactory canWindowTransportFactory(const QWidget *mainWindow = nullptr);

} // namespace zar40::comm
