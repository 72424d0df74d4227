#pragma once

#include "DocView.h"

// The document of one ZAR40 editor window.
class CZARDocument : public CDocument
{
    Q_OBJECT
public:
    CZARDocument();
    ~CZARDocument() override;

    bool onNewDocument() override;
};
