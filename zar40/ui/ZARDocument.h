#pragma once

#include "doc_view.h"

#include "zar40/editor/EditorSession.h"

// The document of one ZAR40 editor window: its editor session, which holds
// the 32 presets, the device settings and the link to a unit. The document's
// own modified flag follows the session's "Local modified".
class CZARDocument : public CDocument
{
    Q_OBJECT
public:
    CZARDocument();
    ~CZARDocument() override;

    bool onNewDocument() override;
    // Reads a .vpx or .vpf preset into the current preset; a file the preset
    // library refuses is reported with its reason and nothing is opened.
    bool onOpenDocument(const QString &path) override;
    // Offers to save a preset with unsaved changes before the editor closes.
    bool saveModified() override;

    zar40::editor::EditorSession &session() { return m_session; }
    const zar40::editor::EditorSession &session() const { return m_session; }

private:
    zar40::editor::EditorSession m_session;
};
