#include "ChildFrame.h"

#include "ZARDocumentView.h"

#include <QCloseEvent>

CChildFrame::CChildFrame() = default;

CChildFrame::~CChildFrame() = default;

void CChildFrame::onCreateClient(CView *view)
{
    CMDIChildWnd::onCreateClient(view);
    if (auto *zarView = qobject_cast<CZARDocumentView *>(view))
        connect(zarView, &CZARDocumentView::closeReady, this, &QWidget::close, Qt::QueuedConnection);
    resize(760, 520);
}

void CChildFrame::closeEvent(QCloseEvent *event)
{
    auto *zarView = qobject_cast<CZARDocumentView *>(view());
    if (zarView && zarView->disconnectForClose()) {
        event->ignore();
        return;
    }
    CMDIChildWnd::closeEvent(event);
}
