#pragma once

#include "../vrn_plugin_api_export.h"

#include <QEvent>
#include <QObject>
#include <QPointer>

#include <array>

// What a plug-in window exchanges with the host's CAN window.
//
// Requests (register, unregister, send) are synchronous calls of
// CCanWnd::request() on the user-interface thread. Notices come back as a
// CanNoticeEvent posted to the client's object (QCoreApplication::postEvent),
// so a client handles them in its event() or customEvent() override, in the
// order they were posted, after the request that caused them has returned.

enum CanRequestCode : int {
    CAN_REGISTER = 5,    // id = Net-ID
    CAN_UNREGISTER = 16, // id = Net-ID
    CAN_SEND = 21,       // id = CAN identifier, data = 8 bytes
};

enum CanNoticeCode : int {
    CAN_FRAME_RECEIVED = 1, // rxData (and the notice itself) holds the frame's 8 bytes
    CAN_LINK_LOST = 255,    // the module was unplugged; the registration is gone
    CAN_LINK_CLOSED = 4095, // the controller reported an error; the registration is gone
};

// One registration of the CAN window's client table.
struct CanClient
{
    int canId = 0;                 // Net-ID x 32; 0 marks a free entry
    QObject *client = nullptr;     // the plug-in's object (compare only, never dereference)
    QPointer<QObject> clientHwnd;  // where notices go; becomes null when that object dies
    int reserved = 0;
};

// What a plug-in passes with a request.
struct CanRequest
{
    int id = 0;                    // Net-ID, or the CAN identifier for CAN_SEND
    QObject *client = nullptr;
    QObject *clientHwnd = nullptr; // where notices go; null means client
    const quint8 *data = nullptr;  // 8 bytes, CAN_SEND only
};

// The notice posted to a client. It carries the frame it announces, so a
// client may read the bytes from the event instead of from CCanWnd::rxData;
// both hold the same 8 bytes while the notice is being delivered.
class VRN_PLUGIN_API CanNoticeEvent : public QEvent
{
public:
    CanNoticeEvent(int code, int netId, const quint8 *data = nullptr);
    ~CanNoticeEvent() override;

    // The event type of every notice, the same in the host and all plug-ins.
    static QEvent::Type eventType();

    int code() const { return code_; }
    int netId() const { return netId_; }
    const std::array<quint8, 8> &data() const { return data_; }

private:
    int code_;
    int netId_;
    std::array<quint8, 8> data_{};
};
