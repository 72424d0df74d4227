#include "ChildFrame.h"

CChildFrame::CChildFrame() = default;

CChildFrame::~CChildFrame() = default;

void CChildFrame::onCreateClient(CView *view)
{
    CMDIChildWnd::onCreateClient(view);
    resize(760, 520);
}
