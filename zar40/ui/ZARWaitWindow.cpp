#include "ZARWaitWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

CZARWaitWindowWidget::CZARWaitWindowWidget(const QString &title, int total, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("ZARWaitWindow"));
    setWindowTitle(title);
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("waitText"));
    m_bar = new QProgressBar(this);
    m_bar->setTextVisible(false);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    setProgress(0, total);
}

void CZARWaitWindowWidget::setProgress(int done, int total)
{
    m_bar->setRange(0, total > 0 ? total : 1);
    m_bar->setValue(done < 0 ? 0 : done);
    m_label->setText(tr("%1 of %2").arg(done).arg(total));
}

CZARWaitWindow::~CZARWaitWindow()
{
    close(2);
}

void CZARWaitWindow::setProgress(int done, int total)
{
    if (m_widget) m_widget->setProgress(done, total);
}

void CZARWaitWindow::close(int)
{
    if (m_widget) m_widget->close();
    m_widget.clear();
}
