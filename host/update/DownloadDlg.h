#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QProgressBar;

// The progress window of an update check: a status line, the download's
// figures and a progress bar. Modeless, a child of the main frame.
class CDownloadDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CDownloadDlg(QWidget *parent = nullptr);

    void setStatus(const QString &text);
    // Shows the figures of a download; total 0 or less means unknown.
    void setFigures(std::int64_t received, std::int64_t total, std::int64_t elapsedMs);

    QString status() const;
    // The value field of a figure: "received", "remaining", "size",
    // "elapsed" or "speed".
    QString figure(const char *name) const;
    QProgressBar *progressBar() const { return m_progress; }

private:
    QLabel *m_status;
    QLabel *m_received;
    QLabel *m_remaining;
    QLabel *m_size;
    QLabel *m_elapsed;
    QLabel *m_speed;
    QProgressBar *m_progress;
};
