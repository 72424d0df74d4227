#include "DownloadDlg.h"

#include "update_core.h"
#include "host_strings.h"

#include <QGridLayout>

#include <algorithm>
#include <QLabel>
#include <QProgressBar>

CDownloadDlg::CDownloadDlg(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CDownloadDlg"));
    const StringTable &s = hostStrings();
    setWindowTitle(s.text(HostString::UpdateTitle, QStringLiteral("Please wait for Update ...")));

    QFont captionFont(QStringLiteral("Arial"));
    captionFont.setPixelSize(14);
    captionFont.setBold(true);
    QFont valueFont(QStringLiteral("Arial"));
    valueFont.setPixelSize(12);

    auto *grid = new QGridLayout(this);
    const auto caption = [&](unsigned id, const QString &fallback, int row, int column) {
        auto *l = new QLabel(s.text(id, fallback), this);
        l->setFont(captionFont);
        grid->addWidget(l, row, column);
        return l;
    };
    const auto value = [&](const char *name, int row, int column) {
        auto *l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setFont(valueFont);
        l->setMinimumWidth(110);
        grid->addWidget(l, row, column);
        return l;
    };
    caption(HostString::UpdateLoad, QStringLiteral("Load..."), 0, 0);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setFont(valueFont);
    grid->addWidget(m_status, 0, 1, 1, 3);
    caption(HostString::UpdateReceived, QStringLiteral("Received"), 1, 0);
    m_received = value("received", 1, 1);
    caption(HostString::UpdateSize, QStringLiteral("Size"), 1, 2);
    m_size = value("size", 1, 3);
    caption(HostString::UpdateElapsed, QStringLiteral("Elapsed"), 2, 0);
    m_elapsed = value("elapsed", 2, 1);
    caption(HostString::UpdateRemaining, QStringLiteral("Remaining"), 2, 2);
    m_remaining = value("remaining", 2, 3);
    caption(HostString::UpdateSpeed, QStringLiteral("Speed"), 3, 0);
    m_speed = value("speed", 3, 1);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    grid->addWidget(m_progress, 4, 0, 1, 4);
    setFigures(0, 0, 0);
}

void CDownloadDlg::setStatus(const QString &text)
{
    m_status->setText(text);
}

QString CDownloadDlg::status() const
{
    return m_status->text();
}

void CDownloadDlg::setFigures(std::int64_t received, std::int64_t total, std::int64_t elapsedMs)
{
    const update::TransferFigures f{total, received, elapsedMs};
    const auto q = [](const std::string &t) { return QString::fromStdString(t); };
    m_received->setText(q(update::formatSize(received)));
    m_size->setText(total > 0 ? q(update::formatSize(total)) : QString());
    m_elapsed->setText(q(update::formatDuration(f.elapsedSeconds())));
    m_remaining->setText(q(update::formatDuration(f.remainingSeconds())));
    m_speed->setText(q(update::formatSpeed(f.bytesPerSecond())));
    // The bar works in KiB so that large files stay within its int range.
    if (total > 0) {
        m_progress->setRange(0, int(total / 1024) + 1);
        m_progress->setValue(int(std::min(received, total) / 1024));
    } else {
        m_progress->setRange(0, 1);
        m_progress->setValue(0);
    }
}

QString CDownloadDlg::figure(const char *name) const
{
    const auto *l = findChild<QLabel *>(QLatin1String(name));
    return l ? l->text() : QString();
}
