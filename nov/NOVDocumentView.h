#pragma once

#include "DocView.h"

class CNOVDocument;

// The NOV module browser's view.
class CNOVDocumentView : public CView
{
    Q_OBJECT
public:
    CNOVDocumentView();
    ~CNOVDocumentView() override;

    CNOVDocument *novDocument() const;
};
