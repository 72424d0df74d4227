#include "ZARDocument.h"

#include "UserPrompts.h"
#include "ZARDocumentView.h"

#include "zar40/preset/preset_files.h"

#include <QDir>
#include <QFileInfo>

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
    namespace zp = zar40::preset;
    // The host picks this document by extension in any case; the preset
    // library itself knows the two kinds only in lower case.
    const QString suffix = QFileInfo(path).suffix().toLower();
    const std::string file = QFile::encodeName(path).toStdString();
    zp::PresetRecord record = m_session.currentRecord();
    zp::Result result;
    if (suffix == QLatin1String("vpx"))
        result = zp::readXmlPresetFile(file, record);
    else if (suffix == QLatin1String("vpf"))
        result = zp::readV1PresetFile(file, record);
    else
        result.message = std::string(zp::kNotAPresetFile);
    if (!result) {
        QString text = QString::fromStdString(result.message);
        if (!result.detail.empty())
            text += QStringLiteral("\n") + QString::fromStdString(result.detail);
        UserPrompts::current().exclamation(QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), text));
        return false;
    }
    m_session.presets().currentRecord() = record;
    for (const std::string &notice : result.notices)
        UserPrompts::current().information(QString::fromStdString(notice));
    m_session.currentRecordReplaced();
    m_session.setLocalModified(false);
    return true;
}

bool CZARDocument::saveModified()
{
    // The view knows how to save; the document only holds the presets.
    for (CView *v : views())
        if (auto *view = qobject_cast<CZARDocumentView *>(v)) return view->confirmDiscard();
    return true;
}
