#pragma once

#include "DocView.h"

// The frame of a ZAR40 editor window inside the host's document area.
class CChildFrame : public CMDIChildWnd
{
    Q_OBJECT
public:
    CChildFrame();
    ~CChildFrame() override;

    void onCreateClient(CView *view) override;
};
