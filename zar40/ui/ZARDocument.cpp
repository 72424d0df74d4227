#include "ZARDocument.h"

CZARDocument::CZARDocument()
{
    zar40::preset::resetPresetMemory(presets);
}

CZARDocument::~CZARDocument() = default;

bool CZARDocument::onNewDocument()
{
    return CDocument::onNewDocument();
}
