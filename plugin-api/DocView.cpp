#include "DocView.h"

#include "MyMultiDocTemplate.h"

#include <QCloseEvent>
#include <QFileInfo>

CDocument::CDocument() = default;

CDocument::~CDocument()
{
    for (const QPointer<CView> &v : std::as_const(views_)) {
        if (v)
            v->document_ = nullptr;
    }
    for (const QPointer<CMDIChildWnd> &f : std::as_const(frames_)) {
        if (f)
            f->document_ = nullptr;
    }
    if (template_)
        template_->removeDocument(this);
}

void CDocument::setTitle(const QString &title)
{
    if (title_ == title)
        return;
    title_ = title;
    emit titleChanged(title_);
}

void CDocument::setPathName(const QString &path)
{
    pathName_ = path;
    setTitle(QFileInfo(path).fileName());
}

void CDocument::setModifiedFlag(bool modified)
{
    if (modified_ == modified)
        return;
    modified_ = modified;
    emit modifiedChanged(modified_);
}

QList<CView *> CDocument::views() const
{
    QList<CView *> list;
    for (const QPointer<CView> &v : views_) {
        if (v)
            list << v.data();
    }
    return list;
}

QList<CMDIChildWnd *> CDocument::frames() const
{
    QList<CMDIChildWnd *> list;
    for (const QPointer<CMDIChildWnd> &f : frames_) {
        if (f)
            list << f.data();
    }
    return list;
}

void CDocument::updateAllViews(CView *sender, int hint)
{
    for (CView *v : views()) {
        if (v != sender)
            v->onUpdate(sender, hint);
    }
}

bool CDocument::onNewDocument()
{
    setModifiedFlag(false);
    return true;
}

bool CDocument::onOpenDocument(const QString &)
{
    setModifiedFlag(false);
    return true;
}

bool CDocument::saveModified()
{
    return true;
}

bool CDocument::canCloseFrame(CMDIChildWnd *frame)
{
    for (CMDIChildWnd *f : frames()) {
        if (f != frame)
            return true;
    }
    return saveModified();
}

void CDocument::closeDocument()
{
    QPointer<CDocument> self(this);
    const QList<CMDIChildWnd *> all = frames();
    for (CMDIChildWnd *f : all) {
        // The last frame takes the document with it.
        delete f;
        if (!self)
            return;
    }
    delete this;
}

void CDocument::attachView(CView *view)
{
    view->document_ = this;
    views_.append(view);
}

void CDocument::detachView(CView *view)
{
    views_.removeAll(view);
    views_.removeAll(nullptr);
    view->document_ = nullptr;
}

void CDocument::attachFrame(CMDIChildWnd *frame)
{
    frame->document_ = this;
    frames_.append(frame);
    connect(this, &CDocument::titleChanged, frame, &QWidget::setWindowTitle);
    frame->setWindowTitle(title_);
}

void CDocument::detachFrame(CMDIChildWnd *frame)
{
    frames_.removeAll(frame);
    frames_.removeAll(nullptr);
    disconnect(this, nullptr, frame, nullptr);
    frame->document_ = nullptr;
    if (frame->view_)
        detachView(frame->view_);
    if (frames().isEmpty())
        delete this;
}

CView::CView(QWidget *parent)
    : QWidget(parent)
{
}

CView::~CView()
{
    if (document_)
        document_->detachView(this);
}

void CView::onInitialUpdate()
{
    onUpdate(nullptr, 0);
}

void CView::onUpdate(CView *, int)
{
    update();
}

CMDIChildWnd::CMDIChildWnd(QWidget *parent)
    : QMdiSubWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

CMDIChildWnd::~CMDIChildWnd()
{
    if (document_)
        document_->detachFrame(this);
}

QList<QMenu *> CMDIChildWnd::documentMenus()
{
    return {};
}

void CMDIChildWnd::onCreateClient(CView *)
{
}

void CMDIChildWnd::closeEvent(QCloseEvent *event)
{
    if (document_ && !document_->canCloseFrame(this)) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    // The frame itself goes later (deleteLater); the document must not wait
    // for that, so that closing every window really closes every document.
    if (document_)
        document_->detachFrame(this);
}
