#include "ZARDocument.h"

CZARDocument::CZARDocument() = default;

CZARDocument::~CZARDocument() = default;

bool CZARDocument::onNewDocument()
{
    return CDocument::onNewDocument();
}
