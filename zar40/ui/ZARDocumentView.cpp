#include "ZARDocumentView.h"

#include "ZARDocument.h"

CZARDocumentView::CZARDocumentView()
{
    setObjectName(QStringLiteral("CZARDocumentView"));
    setAutoFillBackground(true);
}

CZARDocumentView::~CZARDocumentView() = default;

CZARDocument *CZARDocumentView::zarDocument() const
{
    return qobject_cast<CZARDocument *>(document());
}

void CZARDocumentView::onInitialUpdate()
{
    CView::onInitialUpdate();
}
