#include "ZARDocument.h"

#include "user_prompts.h"
#include "ZARDocumentView.h"

#include <QDir>

CZARDocument::CZARDocument()
{
    connect(&m_session, &zar40::editor::EditorSession::modifiedChanged, this,
            [this] { setModifiedFlag(m_session.isLocalModified()); });
}

CZARDocument::~CZARDocument() = default;

bool CZARDocument::onNewDocument()
{
    return CDocument::onNewDocument();
}

bool CZARDocument::onOpenDocument(const QString &path)
{
    // The same reader and extension rule as the editor's Open Preset.
    const zar40::preset::Result result = m_session.readPresetFile(path);
    if (!result) {
        UserPrompts::current().exclamation(
            QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), QString::fromStdString(result.text())));
        return false;
    }
    for (const std::string &notice : result.notices)
        UserPrompts::current().information(QString::fromStdString(notice));
    return true;
}

bool CZARDocument::saveModified()
{
    // The view knows how to save; the document only holds the presets.
    for (CView *v : views())
        if (auto *view = qobject_cast<CZARDocumentView *>(v)) return view->confirmDiscard();
    return true;
}
