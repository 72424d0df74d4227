#pragma once

#include "vrn_plugin_api_export.h"

#include <QList>
#include <QObject>
#include <QMdiArea>
#include <QPointer>

class CDocument;
class CMyMultiDocTemplate;

// Owns the registered document templates (and through them every open
// document) and opens documents inside the host's document area.
class VRN_PLUGIN_API CMyDocManager : public QObject
{
    Q_OBJECT
public:
    CMyDocManager();
    // Deletes every template in registration order, closing their documents.
    ~CMyDocManager() override;

    // Takes ownership.
    void addDocTemplate(CMyMultiDocTemplate *docTemplate);
    QList<CMyMultiDocTemplate *> templates() const { return m_templates; }
    int templateCount() const { return int(m_templates.size()); }

    // Opens a new document of the index-th registered template: 1 is the
    // first, and so is 0. false when there is no such template.
    bool OpenNewDocument(int index);
    // Opens path with the template that reads files with its extension.
    // A path no template reads, a missing file, or a file the document
    // cannot read is reported to the user and gives null; nothing stays open.
    CDocument *openDocumentFile(const QString &path);
    // The template that reads files named like path, or null.
    CMyMultiDocTemplate *templateForFile(const QString &path) const;
    // The kinds of file the registered templates read, for messages.
    QString knownFileKinds() const;
    // The "New" command: the only template, or the one the user picks.
    CDocument *onFileNew();
    // The "Open..." command.
    CDocument *onFileOpen();

    // A document read or wrote PATH by a command of its own (a preset opened
    // or saved from inside an editor): it joins the recent files as if
    // opened from the File menu.
    void noteFileUsed(const QString &path);

    QList<CDocument *> documents() const;
    // Asks every document that may want saving; false when one refuses.
    bool saveAllModified();
    void closeAllDocuments();

    // Where child frames go; without one they become top-level windows.
    void setMdiArea(QMdiArea *area);
    QMdiArea *mdiArea() const;

signals:
    // A file was opened (its absolute path), e.g. for a recent-file list.
    void fileOpened(const QString &path);

private:
    QList<CMyMultiDocTemplate *> m_templates;
    QPointer<QMdiArea> m_mdiArea;
};
