#pragma once

#include "zar40/comm/cycle_timings.h"

#include <QDialog>

class QLabel;
class QTimer;

// The editor's "Please wait..." box: a modal window with a text of one or
// more lines that closes itself after its time. It is opened without a
// local event loop, so replies keep arriving while it shows; whoever waits
// for it listens to finished().
class CWaitDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = zar40::comm::kDefaultWaitMs;

    explicit CWaitDialog(QWidget *parent, const QString &text = QStringLiteral("WAIT"),
                         int timeoutMs = kDefaultTimeoutMs);

    QString text() const;
    int timeoutMs() const { return m_timeoutMs; }

    // Shows the box and starts its timer; the box deletes itself when closed.
    void start();

private:
    QLabel *m_text;
    QTimer *m_timer;
    int m_timeoutMs;
};
