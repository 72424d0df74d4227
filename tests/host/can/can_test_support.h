#pragma once

#include "can/CanWnd.h"

#include "ScriptedUserPrompts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QThread>

#include <array>
#include <functional>

#include <gtest/gtest.h>

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
        std::copy(window_->rxData(), window_->rxData() + n.rxData.size(), n.rxData.begin());
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

// What any driver must do with one failed write: the failure is that frame's
// alone (one message, with failedText first), and the link, every
// registration and the next frame stay. failNextWrite makes the driver's next
// write fail; framesOnBus counts the frames that reached the bus so far.
inline void expectFailedWriteIsReportedAndTheLinkStays(CCanWnd &window, const ScriptedUserPrompts &prompts,
                                                       const QString &failedText,
                                                       const std::function<void()> &failNextWrite,
                                                       const std::function<int()> &framesOnBus)
{
    NoticeRecorder editor(&window), other(&window);
    ASSERT_EQ(editor.registerFor(1), 1);
    ASSERT_EQ(other.registerFor(2), 1);
    const int before = framesOnBus();
    failNextWrite();
    EXPECT_EQ(editor.send(0x20, bytes(1)), 1);
    EXPECT_EQ(editor.send(0x20, bytes(2)), 1);
    // By the time the second frame is on the bus, anything the failure set
    // off in the driver has reached the window.
    EXPECT_TRUE(waitUntil([&] { return framesOnBus() == before + 1; }));
    deliverPosted();
    ASSERT_EQ(prompts.texts().size(), 1) << prompts.texts().join(" | ").toStdString();
    EXPECT_TRUE(prompts.texts()[0].startsWith(failedText)) << prompts.texts()[0].toStdString();
    EXPECT_EQ(window.clientCount(), 2);
    EXPECT_TRUE(editor.notices.isEmpty());
    EXPECT_TRUE(other.notices.isEmpty());
    EXPECT_TRUE(window.canReady());
    editor.unregisterFrom(1);
    other.unregisterFrom(2);
}
