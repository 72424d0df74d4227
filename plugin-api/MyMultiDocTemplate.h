#pragma once

#include "vrn_plugin_api_export.h"

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QString>

#include <functional>

class CDocument;
class CMDIChildWnd;
class CView;
class CMyDocManager;

// A plug-in's document type: how to make its document, child frame and view,
// with the name and picture of its toolbar button. A plug-in's DLLDocTemplate
// returns a new one; the host's document manager owns it from then on and
// deletes it before the plug-in library is unloaded.
class VRN_PLUGIN_API CMyMultiDocTemplate : public QObject
{
    Q_OBJECT
public:
    using DocumentFactory = std::function<CDocument *()>;
    using FrameFactory = std::function<CMDIChildWnd *()>;
    using ViewFactory = std::function<CView *()>;

    // Index into the document string, whose fields are separated by '\n'.
    enum DocStringIndex { WindowTitle, DocName, FileNewName, FilterName, FilterExt, RegFileTypeId, RegFileTypeName };

    // resourceHandle: the Qt resource prefix of the plug-in (e.g. ":/zar40");
    // the template's document string and icon are <prefix>/<resourceId>.txt
    // and <prefix>/<resourceId>.png there.
    CMyMultiDocTemplate(const QString &resourceHandle, unsigned resourceId, DocumentFactory document,
                        FrameFactory frame, ViewFactory view);
    ~CMyMultiDocTemplate() override;

    template <class T>
    static auto runtimeClass()
    {
        return [] { return new T; };
    }

    // Display name, shown on the toolbar button and the splash.
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    // Toolbar picture; the host's button table points at it, so it lives as
    // long as the template.
    const QPixmap &bitmap() const { return m_bitmap; }
    void setBitmap(const QPixmap &bitmap) { m_bitmap = bitmap; }
    QString resourceHandle() const { return m_resourceHandle; }
    unsigned resourceId() const { return m_resourceId; }
    QPixmap icon() const { return m_icon; }

    virtual void LoadTemplate();
    // A new untitled document when path is empty, else the document read
    // from path; with its frame and view. Null when it could not be made.
    virtual CDocument *OpenDocumentFile(const QString &path, bool makeVisible = true);

    QString docString(DocStringIndex index) const;
    // The file name extensions this template reads, lower case without the
    // dot, from the document string's FilterExt field (".vpx;.vpf").
    QStringList fileExtensions() const;
    // Whether the template reads files named like path (case-insensitive).
    bool readsFile(const QString &path) const;
    void setDocString(const QString &docString) { m_docString = docString; }

    QList<CDocument *> documents() const { return m_documents; }
    void closeAllDocuments();
    CMyDocManager *docManager() const { return m_manager; }

signals:
    void documentOpened(CDocument *document);

private:
    friend class CMyDocManager;
    friend class CDocument;
    void removeDocument(CDocument *document);
    void setDefaultTitle(CDocument *document);

    QString m_name;
    QPixmap m_bitmap;
    QString m_resourceHandle;
    unsigned m_resourceId;
    DocumentFactory m_documentFactory;
    FrameFactory m_frameFactory;
    ViewFactory m_viewFactory;
    QString m_docString;
    QPixmap m_icon;
    bool m_loaded = false;
    int m_untitledCount = 0;
    QList<CDocument *> m_documents;
    CMyDocManager *m_manager = nullptr;
};

// What a plug-in library exports, under exactly the name DLLDocTemplate.
using DLLDocTemplateFunction = CMyMultiDocTemplate *(*)();
