#pragma once

#include "can/CCanWnd.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QThread>

#include <array>

// A plug-in window as the CAN window sees it: registers, sends and records
// every notice, with the bytes of rxData at the moment it handled it.
class NoticeRecorder : public QObject
{
public:
    struct Notice
    {
        int code = 0;
        int netId = 0;
        std::array<quint8, 8> rxData{};     // CCanWnd::rxData while handling
        std::array<quint8, 8> eventData{};  // the notice's own copy
    };

    explicit NoticeRecorder(CCanWnd *window)
        : window_(window)
    {
    }

    int registerFor(int netId)
    {
        CanRequest request;
        request.id = netId;
        request.client = this;
        request.clientHwnd = this;
        return window_->request(CAN_REGISTER, request);
    }

    int unregisterFrom(int netId)
    {
        CanRequest request;
        request.id = netId;
        request.client = this;
        request.clientHwnd = this;
        return window_->request(CAN_UNREGISTER, request);
    }

    int send(int id, const std::array<quint8, 8> &data)
    {
        CanRequest request;
        request.id = id;
        request.client = this;
        request.clientHwnd = this;
        request.data = data.data();
        return window_->request(CAN_SEND, request);
    }

    QList<Notice> notices;

    QList<int> codes() const
    {
        QList<int> result;
        for (const Notice &n : notices)
            result.append(n.code);
        return result;
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != CanNoticeEvent::eventType())
            return QObject::event(event);
        const auto *notice = static_cast<const CanNoticeEvent *>(event);
        Notice n;
        n.code = notice->code();
        n.netId = notice->netId();
        std::copy(std::begin(window_->rxData), std::end(window_->rxData), n.rxData.begin());
        n.eventData = notice->data();
        notices.append(n);
        return true;
    }

private:
    CCanWnd *window_;
};

inline std::array<quint8, 8> bytes(quint8 first, quint8 last = 0)
{
    return {first, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, last};
}

inline QByteArray asByteArray(const std::array<quint8, 8> &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size()));
}

// Runs the event loop until pred holds; false when it never does. The
// limit only keeps a broken test from hanging.
template <typename Pred>
bool waitUntil(Pred pred, int limitMs = 10000)
{
    QDeadlineTimer deadline(limitMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

inline void deliverPosted()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
}
