#pragma once

#include "doc_view.h"

class QLabel;
class QMenu;
class QStatusBar;

// The frame of a NOV window inside the host's document area, with the status
// bar that shows the chosen module's address and serial number.
class CChildFrame : public CMDIChildWnd
{
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 900;
    static constexpr int kMinimumHeight = 700;

    CChildFrame();
    ~CChildFrame() override;

    void onCreateClient(CView *view) override;
    QList<QMenu *> documentMenus() override;

private:
    void updateStatus();

    QStatusBar *m_statusBar = nullptr;
    QLabel *m_address = nullptr; // pane 131
    QLabel *m_serial = nullptr;  // pane 2002
    QMenu *m_menu = nullptr;
};
