#include "ChildFrame.h"

#include "NOVDocumentView.h"
#include "window_tree.h"

#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

QLabel *pane(const QString &text, int id, QWidget *parent, bool sunken, const QString &widthOf = {})
{
    auto *label = new QLabel(text, parent);
    WindowTree::setControlId(label, id);
    if (sunken)
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    if (!widthOf.isEmpty())
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widthOf) + 2 * label->frameWidth() + 4);
    return label;
}

} // namespace

CChildFrame::CChildFrame()
{
    setMinimumSize(kMinimumWidth, kMinimumHeight);
}

CChildFrame::~CChildFrame() = default;

void CChildFrame::onCreateClient(CView *view)
{
    CMDIChildWnd::onCreateClient(view);
    m_statusBar = placeViewAboveStatusBar(view);
    m_statusBar->addPermanentWidget(pane(QStringLiteral(" IP "), 130, m_statusBar, false));
    m_address = pane(QString(), 131, m_statusBar, true, QStringLiteral("255.255.255.255"));
    m_address->setObjectName(QStringLiteral("addressPane"));
    m_statusBar->addPermanentWidget(m_address);
    m_statusBar->addPermanentWidget(pane(QStringLiteral("      "), 132, m_statusBar, false));
    m_statusBar->addPermanentWidget(pane(QStringLiteral(" Serialnumber "), 2001, m_statusBar, false));
    m_serial = pane(QString(), 2002, m_statusBar, true, QString(29, QLatin1Char(' ')));
    m_serial->setObjectName(QStringLiteral("serialPane"));
    m_statusBar->addPermanentWidget(m_serial);

    if (auto *nov = qobject_cast<CNOVDocumentView *>(view)) {
        connect(nov, &CNOVDocumentView::statusChanged, this, &CChildFrame::updateStatus);
        m_menu = new QMenu(tr("&NOV"), this);
        m_menu->addAction(tr("&Scan"), nov, &CNOVDocumentView::onScan);
        m_menu->addAction(tr("Scan &Address..."), nov, &CNOVDocumentView::onScanSettings);
        m_menu->addSeparator();
        QAction *about = m_menu->addAction(tr("&About NOV-Plugin..."), nov, &CNOVDocumentView::onAbout);
        about->setData(57664);
    }
    resize(kMinimumWidth, kMinimumHeight);
}

QList<QMenu *> CChildFrame::documentMenus()
{
    if (m_menu)
        return {m_menu};
    return {};
}

void CChildFrame::updateStatus()
{
    auto *nov = qobject_cast<CNOVDocumentView *>(view());
    if (!nov)
        return;
    m_address->setText(nov->statusAddress());
    m_serial->setText(nov->statusSerial());
    if (nov->statusMessage().isEmpty())
        m_statusBar->clearMessage();
    else
        m_statusBar->showMessage(nov->statusMessage());
}
