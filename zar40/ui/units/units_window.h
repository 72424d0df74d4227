#pragma once
// The units window as a document of the ZAR40 plug-in: its document, its
// frame, and how it reaches the bus through the host's CAN window.
#include "doc_view.h"

class CMyMultiDocTemplate;

class CUnitsDocument : public CDocument
{
    Q_OBJECT
public:
    CUnitsDocument();
    bool onNewDocument() override;
};

class CUnitsFrame : public CMDIChildWnd
{
    Q_OBJECT
public:
    static constexpr QSize kSize{980, 560};
    void onCreateClient(CView *view) override;
};

namespace zar40ui {

// What the plug-in's template makes next: an editor (the default) or the
// units window. The template's three factories ask it in turn; the view's
// factory resets it.
enum class DocumentKind { Editor, Units };
DocumentKind &nextDocumentKind();

// Opens a units window of TEMPLATE; null when it could not be made.
CDocument *openUnitsWindow(CMyMultiDocTemplate *docTemplate);
// Opens an editor of TEMPLATE and connects it over CAN to NETID.
void openEditorOnNetId(CMyMultiDocTemplate *docTemplate, int netId);

} // namespace zar40ui
