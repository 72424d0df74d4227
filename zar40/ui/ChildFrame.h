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

protected:
    // While a unit is connected the frame first asks it to disconnect and
    // closes once it has; a unit that never answers ends in a time-out and
    // leaves the frame open.
    void closeEvent(QCloseEvent *event) override;
};
