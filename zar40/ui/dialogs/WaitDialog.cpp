#include "WaitDialog.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

CWaitDialog::CWaitDialog(QWidget *parent, const QString &text, int timeoutMs)
    : QDialog(parent)
    , m_text(new QLabel(text, this))
    , m_timer(new QTimer(this))
    , m_timeoutMs(timeoutMs < 0 ? 0 : timeoutMs)
{
    setObjectName(QStringLiteral("CWaitDialog"));
    setWindowTitle(tr("Please wait..."));
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose);
    m_text->setObjectName(QStringLiteral("waitText"));
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setMinimumWidth(220);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &QDialog::accept);
}

QString CWaitDialog::text() const
{
    return m_text->text();
}

void CWaitDialog::start()
{
    open();
    m_timer->start(m_timeoutMs);
}
