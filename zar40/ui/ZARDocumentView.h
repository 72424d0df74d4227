#pragma once

#include "DocView.h"

class CZARDocument;

// The ZAR40 editor's main view.
class CZARDocumentView : public CView
{
    Q_OBJECT
public:
    CZARDocumentView();
    ~CZARDocumentView() override;

    CZARDocument *zarDocument() const;
    void onInitialUpdate() override;
};
