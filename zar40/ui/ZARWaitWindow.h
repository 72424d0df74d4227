#pragma once

#include "zar40/comm/transfer_ui.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;

// The small window a preset transfer shows while it runs: its title and
// "n of total". Not modal, so the event loop (and the transfer) keeps going;
// the editor itself is disabled meanwhile.
class CZARWaitWindowWidget : public QWidget
{
    Q_OBJECT
public:
    CZARWaitWindowWidget(const QString &title, int total, QWidget *parent);

    void setProgress(int done, int total);

private:
    QLabel *m_label;
    QProgressBar *m_bar;
};

// The connection owns this handle; the widget may already be gone with its
// parent when the connection closes the handle.
class CZARWaitWindow : public zar40::comm::WaitWindow
{
public:
    explicit CZARWaitWindow(CZARWaitWindowWidget *widget) : m_widget(widget) {}
    ~CZARWaitWindow() override;

    void setProgress(int done, int total) override;
    void close(int result) override;

private:
    QPointer<CZARWaitWindowWidget> m_widget;
};
