#pragma once

#include "doc_view.h"

#include <QList>
#include <QSize>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;

// The frame of a ZAR40 editor window inside the host's document area: the
// editor's menus and the status bar the view keeps current.
class CChildFrame : public CMDIChildWnd
{
    Q_OBJECT
public:
    // The editor's frame, and the frame with the level panel shown.
    static constexpr QSize kSize{900, 650};
    static constexpr QSize kSizeWithLevels{900, 770};

    CChildFrame();
    ~CChildFrame() override;

    void onCreateClient(CView *view) override;
    QList<QMenu *> documentMenus() override;

protected:
    // While a unit is connected the frame first asks it to disconnect and
    // closes once it has; a unit that never answers ends in a time-out and
    // leaves the frame open.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void updateStatus();

    QList<QMenu *> m_menus;
    // Enabled only while a unit is connected and no transfer runs.
    QList<QAction *> m_connectedActions;
    // Disabled while a transfer or a slot change runs.
    QList<QAction *> m_idleActions;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_deviceName = nullptr;
    QLabel *m_deviceNumber = nullptr;
    QLabel *m_information = nullptr;
    QLabel *m_localState = nullptr;
    QLabel *m_deviceState = nullptr;
};
