#include "MyDocManager.h"

#include "DocView.h"
#include "MyMultiDocTemplate.h"
#include "UserPrompts.h"

#include <QFileInfo>

CMyDocManager::CMyDocManager() = default;

CMyDocManager::~CMyDocManager()
{
    for (CMyMultiDocTemplate *t : std::as_const(m_templates))
        delete t;
    m_templates.clear();
}

void CMyDocManager::addDocTemplate(CMyMultiDocTemplate *docTemplate)
{
    if (!docTemplate || m_templates.contains(docTemplate))
        return;
    docTemplate->m_manager = this;
    m_templates.append(docTemplate);
}

bool CMyDocManager::OpenNewDocument(int index)
{
    // Index 0 and 1 both mean the first template; an empty list has none.
    if (index < 0 || templateCount() < index || m_templates.isEmpty())
        return false;
    CMyMultiDocTemplate *t = m_templates.at(index == 0 ? 0 : index - 1);
    t->OpenDocumentFile(QString(), true);
    return true;
}

CDocument *CMyDocManager::openDocumentFile(const QString &path)
{
    if (m_templates.isEmpty() || path.isEmpty())
        return nullptr;
    const QString canonical = QFileInfo(path).absoluteFilePath();
    for (CDocument *d : documents()) {
        if (!d->pathName().isEmpty() && QFileInfo(d->pathName()).absoluteFilePath() == canonical) {
            if (!d->frames().isEmpty())
                d->frames().constFirst()->setFocus();
            return d;
        }
    }
    CMyMultiDocTemplate *chosen = m_templates.constFirst();
    const QString suffix = QFileInfo(path).suffix();
    for (CMyMultiDocTemplate *t : std::as_const(m_templates)) {
        const QStringList exts = t->docString(CMyMultiDocTemplate::FilterExt).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString ext : exts) {
            if (ext.startsWith(QLatin1Char('.')))
                ext.remove(0, 1);
            if (!suffix.isEmpty() && ext.compare(suffix, Qt::CaseInsensitive) == 0) {
                chosen = t;
                break;
            }
        }
    }
    return chosen->OpenDocumentFile(path, true);
}

CDocument *CMyDocManager::onFileNew()
{
    if (m_templates.isEmpty())
        return nullptr;
    if (m_templates.size() == 1)
        return m_templates.constFirst()->OpenDocumentFile(QString(), true);
    QStringList names;
    for (CMyMultiDocTemplate *t : std::as_const(m_templates)) {
        QString n = t->docString(CMyMultiDocTemplate::FileNewName);
        names << (n.isEmpty() ? t->name : n);
    }
    const auto choice = UserPrompts::current().chooseItem(tr("New"), tr("New"), names, nullptr);
    if (!choice || *choice < 0 || *choice >= m_templates.size())
        return nullptr;
    return m_templates.at(*choice)->OpenDocumentFile(QString(), true);
}

CDocument *CMyDocManager::onFileOpen()
{
    QStringList filters;
    for (CMyMultiDocTemplate *t : std::as_const(m_templates)) {
        const QString name = t->docString(CMyMultiDocTemplate::FilterName);
        if (!name.isEmpty())
            filters << name;
    }
    filters << tr("All Files (*)");
    const QString path = UserPrompts::current().openFileName({tr("Open"), QString(), filters.join(QStringLiteral(";;")), QString()}, nullptr);
    return path.isEmpty() ? nullptr : openDocumentFile(path);
}

QList<CDocument *> CMyDocManager::documents() const
{
    QList<CDocument *> all;
    for (CMyMultiDocTemplate *t : m_templates)
        all += t->documents();
    return all;
}

bool CMyDocManager::saveAllModified()
{
    for (CDocument *d : documents()) {
        if (!d->saveModified())
            return false;
    }
    return true;
}

void CMyDocManager::closeAllDocuments()
{
    for (CMyMultiDocTemplate *t : std::as_const(m_templates))
        t->closeAllDocuments();
}

void CMyDocManager::setMdiArea(QMdiArea *area)
{
    m_mdiArea = area;
}

QMdiArea *CMyDocManager::mdiArea() const
{
    return m_mdiArea.data();
}
