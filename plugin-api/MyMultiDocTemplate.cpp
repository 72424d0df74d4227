#include "MyMultiDocTemplate.h"

#include "DocView.h"
#include "MyDocManager.h"

#include <QFile>
#include <QMdiArea>

CMyMultiDocTemplate::CMyMultiDocTemplate(const QString &resourceHandle, unsigned resourceId,
                                         DocumentFactory document, FrameFactory frame, ViewFactory view)
    : resourceHandle_(resourceHandle)
    , resourceId_(resourceId)
    , documentFactory_(std::move(document))
    , frameFactory_(std::move(frame))
    , viewFactory_(std::move(view))
{
}

CMyMultiDocTemplate::~CMyMultiDocTemplate()
{
    // Documents, frames and views are the plug-in's code: they must go
    // while its library is still loaded, i.e. now.
    closeAllDocuments();
}

void CMyMultiDocTemplate::closeAllDocuments()
{
    while (!documents_.isEmpty())
        documents_.constFirst()->closeDocument();
}

void CMyMultiDocTemplate::LoadTemplate()
{
    loaded_ = true;
    const QString base = resourceHandle_ + QLatin1Char('/') + QString::number(resourceId_);
    QFile strings(base + QStringLiteral(".txt"));
    if (docString_.isEmpty() && strings.open(QIODevice::ReadOnly))
        docString_ = QString::fromUtf8(strings.readAll());
    if (icon_.isNull() && QFile::exists(base + QStringLiteral(".png")))
        icon_ = QPixmap(base + QStringLiteral(".png"));
}

QString CMyMultiDocTemplate::docString(DocStringIndex index) const
{
    const QStringList fields = docString_.split(QLatin1Char('\n'));
    return index < fields.size() ? fields.at(index) : QString();
}

void CMyMultiDocTemplate::setDefaultTitle(CDocument *document)
{
    QString title = docString(DocName);
    if (title.isEmpty())
        title = tr("Untitled");
    else
        title += QString::number(untitledCount_ + 1);
    document->setTitle(title);
}

void CMyMultiDocTemplate::removeDocument(CDocument *document)
{
    documents_.removeAll(document);
    if (document->template_ == this)
        document->template_ = nullptr;
}

CDocument *CMyMultiDocTemplate::OpenDocumentFile(const QString &path, bool makeVisible)
{
    if (!loaded_)
        LoadTemplate();
    CDocument *document = documentFactory_ ? documentFactory_() : nullptr;
    if (!document)
        return nullptr;
    document->template_ = this;
    documents_.append(document);

    CMDIChildWnd *frame = frameFactory_ ? frameFactory_() : nullptr;
    CView *view = frame && viewFactory_ ? viewFactory_() : nullptr;
    if (!frame || !view) {
        delete view;
        delete frame;
        delete document;
        return nullptr;
    }
    document->attachFrame(frame);
    document->attachView(view);
    frame->view_ = view;
    frame->setWidget(view);
    if (!icon_.isNull())
        frame->setWindowIcon(icon_);
    frame->onCreateClient(view);

    QMdiArea *area = manager_ ? manager_->mdiArea() : nullptr;
    if (area)
        area->addSubWindow(frame);

    QPointer<CDocument> alive(document);
    bool ok;
    if (path.isEmpty()) {
        setDefaultTitle(document);
        ok = document->onNewDocument();
        if (ok)
            ++untitledCount_;
    } else {
        ok = document->onOpenDocument(path);
        if (ok && alive)
            document->setPathName(path);
    }
    if (!ok || !alive) {
        // Deleting the only frame deletes the document too.
        delete frame;
        if (alive)
            delete alive.data();
        return nullptr;
    }

    view->onInitialUpdate();
    if (makeVisible)
        frame->show();
    emit documentOpened(document);
    return document;
}
