#include "MyMultiDocTemplate.h"

#include "doc_view.h"
#include "MyDocManager.h"

#include <QFile>
#include <QFileInfo>
#include <QMdiArea>

CMyMultiDocTemplate::CMyMultiDocTemplate(const QString &resourceHandle, unsigned resourceId,
                                         DocumentFactory document, FrameFactory frame, ViewFactory view)
    : m_resourceHandle(resourceHandle)
    , m_resourceId(resourceId)
    , m_documentFactory(std::move(document))
    , m_frameFactory(std::move(frame))
    , m_viewFactory(std::move(view))
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
    while (!m_documents.isEmpty())
        m_documents.constFirst()->closeDocument();
}

void CMyMultiDocTemplate::LoadTemplate()
{
    m_loaded = true;
    const QString base = m_resourceHandle + QLatin1Char('/') + QString::number(m_resourceId);
    QFile strings(base + QStringLiteral(".txt"));
    if (m_docString.isEmpty() && strings.open(QIODevice::ReadOnly))
        m_docString = QString::fromUtf8(strings.readAll());
    if (m_icon.isNull() && QFile::exists(base + QStringLiteral(".png")))
        m_icon = QPixmap(base + QStringLiteral(".png"));
}

QString CMyMultiDocTemplate::docString(DocStringIndex index) const
{
    const QStringList fields = m_docString.split(QLatin1Char('\n'));
    return index < fields.size() ? fields.at(index) : QString();
}

QStringList CMyMultiDocTemplate::fileExtensions() const
{
    QStringList exts;
    for (QString ext : docString(FilterExt).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        ext = ext.trimmed();
        if (ext.startsWith(QLatin1Char('*')))
            ext.remove(0, 1);
        if (ext.startsWith(QLatin1Char('.')))
            ext.remove(0, 1);
        if (!ext.isEmpty())
            exts << ext.toLower();
    }
    return exts;
}

bool CMyMultiDocTemplate::readsFile(const QString &path) const
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return !suffix.isEmpty() && fileExtensions().contains(suffix);
}

void CMyMultiDocTemplate::setDefaultTitle(CDocument *document)
{
    QString title = docString(DocName);
    if (title.isEmpty())
        title = tr("Untitled");
    else
        title += QString::number(m_untitledCount + 1);
    document->setTitle(title);
}

void CMyMultiDocTemplate::removeDocument(CDocument *document)
{
    m_documents.removeAll(document);
    if (document->m_template == this)
        document->m_template = nullptr;
}

CDocument *CMyMultiDocTemplate::OpenDocumentFile(const QString &path, bool makeVisible)
{
    if (!m_loaded)
        LoadTemplate();
    CDocument *document = m_documentFactory ? m_documentFactory() : nullptr;
    if (!document)
        return nullptr;
    document->m_template = this;
    m_documents.append(document);

    CMDIChildWnd *frame = m_frameFactory ? m_frameFactory() : nullptr;
    CView *view = frame && m_viewFactory ? m_viewFactory() : nullptr;
    if (!frame || !view) {
        delete view;
        delete frame;
        delete document;
        return nullptr;
    }
    document->attachFrame(frame);
    document->attachView(view);
    frame->m_view = view;
    frame->setWidget(view);
    if (!m_icon.isNull())
        frame->setWindowIcon(m_icon);
    frame->onCreateClient(view);

    QMdiArea *area = m_manager ? m_manager->mdiArea() : nullptr;
    if (area)
        area->addSubWindow(frame);

    QPointer<CDocument> alive(document);
    bool ok;
    if (path.isEmpty()) {
        setDefaultTitle(document);
        ok = document->onNewDocument();
        if (ok)
            ++m_untitledCount;
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
