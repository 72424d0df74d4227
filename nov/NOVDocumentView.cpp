#include "NOVDocumentView.h"

#include "NOVDocument.h"

CNOVDocumentView::CNOVDocumentView()
{
    setObjectName(QStringLiteral("CNOVDocumentView"));
    setAutoFillBackground(true);
}

CNOVDocumentView::~CNOVDocumentView() = default;

CNOVDocument *CNOVDocumentView::novDocument() const
{
    return qobject_cast<CNOVDocument *>(document());
}
