#include "MyDocManager.h"

#include "doc_view.h"
#include "MyMultiDocTemplate.h"
#include "user_prompts.h"

#include <QDir>
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
    // Its document string says which files it reads; that is needed before
    // its first document.
    if (!docTemplate->m_loaded)
        docTemplate->LoadTemplate();
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

CMyMultiDocTemplate *CMyDocManager::templateForFile(const QString &path) const
{
    for (CMyMultiDocTemplate *t : m_templates) {
        if (t->readsFile(path))
            return t;
    }
    return nullptr;
}

QString CMyDocManager::knownFileKinds() const
{
    QStringList kinds;
    for (CMyMultiDocTemplate *t : m_templates) {
        const QStringList exts = t->fileExtensions();
        if (exts.isEmpty())
            continue;
        QString kind = t->docString(CMyMultiDocTemplate::FilterName);
        if (kind.isEmpty()) {
            QStringList patterns;
            for (const QString &e : exts)
                patterns << QStringLiteral("*.") + e;
            kind = t->name() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
        }
        kinds << kind;
    }
    return kinds.isEmpty() ? tr("none") : kinds.join(QStringLiteral(", "));
}

CDocument *CMyDocManager::openDocumentFile(const QString &path)
{
    if (path.isEmpty())
        return nullptr;
    const QFileInfo info(path);
    const QString canonical = info.absoluteFilePath();
    for (CDocument *d : documents()) {
        if (!d->pathName().isEmpty() && QFileInfo(d->pathName()).absoluteFilePath() == canonical) {
            if (!d->frames().isEmpty())
                d->frames().constFirst()->setFocus();
            emit fileOpened(canonical);
            return d;
        }
    }
    // Every refusal names the file: the user may have typed it, or it may
    // come from the command line or the recent-file list.
    CMyMultiDocTemplate *chosen = templateForFile(path);
    if (!chosen) {
        UserPrompts::current().exclamation(
            tr("Cannot open \"%1\": no plug-in reads files of this kind.\nKnown kinds: %2")
                .arg(QDir::toNativeSeparators(path), knownFileKinds()));
        return nullptr;
    }
    if (!info.isFile()) {
        UserPrompts::current().exclamation(
            tr("Cannot open \"%1\": there is no such file.").arg(QDir::toNativeSeparators(path)));
        return nullptr;
    }
    CDocument *document = chosen->OpenDocumentFile(path, true);
    if (document)
        emit fileOpened(canonical);
    return document;
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
        names << (n.isEmpty() ? t->name() : n);
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
        if (!name.isEmpty() && !t->fileExtensions().isEmpty())
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

void CMyDocManager::noteFileUsed(const QString &path)
{
    if (!path.isEmpty())
        emit fileOpened(QFileInfo(path).absoluteFilePath());
}
