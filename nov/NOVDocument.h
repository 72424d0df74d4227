#pragma once

#include "doc_view.h"

// The document of one NOV module browser window.
class CNOVDocument : public CDocument
{
    Q_OBJECT
public:
    CNOVDocument();
    ~CNOVDocument() override;
};
