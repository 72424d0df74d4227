#include "doc_view.h"

#include <QStatusBar>
#include <QVBoxLayout>

#include "MyMultiDocTemplate.h"
#include "user_prompts.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>

CDocument::CDocument() = default;

CDocument::~CDocument()
{
    for (const QPointer<CView> &v : std::as_const(m_views)) {
        if (v)
            v->m_document = nullptr;
    }
    for (const QPointer<CMDIChildWnd> &f : std::as_const(m_frames)) {
        if (f)
            f->m_document = nullptr;
    }
    if (m_template)
        m_template->removeDocument(this);
}

void CDocument::setTitle(const QString &title)
{
    if (m_title == title)
        return;
    m_title = title;
    emit titleChanged(m_title);
}

void CDocument::setPathName(const QString &path)
{
    m_pathName = path;
    setTitle(QFileInfo(path).fileName());
}

void CDocument::setModifiedFlag(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(m_modified);
}

QList<CView *> CDocument::views() const
{
    QList<CView *> list;
    for (const QPointer<CView> &v : m_views) {
        if (v)
            list << v.data();
    }
    return list;
}

QList<CMDIChildWnd *> CDocument::frames() const
{
    QList<CMDIChildWnd *> list;
    for (const QPointer<CMDIChildWnd> &f : m_frames) {
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

bool CDocument::onOpenDocument(const QString &path)
{
    // A document type that reads no files must not pretend it did.
    UserPrompts::current().exclamation(
        tr("Cannot open \"%1\": this kind of document is not read from a file.").arg(QDir::toNativeSeparators(path)));
    return false;
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
    view->m_document = this;
    m_views.append(view);
}

void CDocument::detachView(CView *view)
{
    m_views.removeAll(view);
    m_views.removeAll(nullptr);
    view->m_document = nullptr;
}

void CDocument::attachFrame(CMDIChildWnd *frame)
{
    frame->m_document = this;
    m_frames.append(frame);
    connect(this, &CDocument::titleChanged, frame, &QWidget::setWindowTitle);
    frame->setWindowTitle(m_title);
}

void CDocument::detachFrame(CMDIChildWnd *frame)
{
    m_frames.removeAll(frame);
    m_frames.removeAll(nullptr);
    disconnect(this, nullptr, frame, nullptr);
    frame->m_document = nullptr;
    if (frame->m_view)
        detachView(frame->m_view);
    if (frames().isEmpty())
        delete this;
}

CView::CView(QWidget *parent)
    : QWidget(parent)
{
}

CView::~CView()
{
    if (m_document)
        m_document->detachView(this);
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
    if (m_document)
        m_document->detachFrame(this);
}

QList<QMenu *> CMDIChildWnd::documentMenus()
{
    return {};
}

void CMDIChildWnd::onCreateClient(CView *)
{
}

QStatusBar *CMDIChildWnd::placeViewAboveStatusBar(CView *view)
{
    setWidget(nullptr);
    auto *client = new QWidget;
    auto *layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view, 1);
    auto *statusBar = new QStatusBar(client);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    statusBar->setSizeGripEnabled(false);
    layout->addWidget(statusBar);
    setWidget(client);
    return statusBar;
}

void CMDIChildWnd::closeEvent(QCloseEvent *event)
{
    if (m_document && !m_document->canCloseFrame(this)) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    // The frame itself goes later (deleteLater); the document must not wait
    // for that, so that closing every window really closes every document.
    if (m_document)
        m_document->detachFrame(this);
}
