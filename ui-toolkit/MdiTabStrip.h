#pragma once

#include <QPointer>
#include <QTabBar>

class QMdiArea;
class QMdiSubWindow;

// One tab per open document window of an MDI area, kept in step with it:
// a click on a tab activates its window, and the active window's tab is
// the current one.
class CMdiTabStrip : public QTabBar
{
    Q_OBJECT
public:
    explicit CMdiTabStrip(QMdiArea *area, QWidget *parent = nullptr);

    QMdiSubWindow *windowAt(int index) const;

private:
    void resync();
    bool eventFilter(QObject *watched, QEvent *event) override;

    QPointer<QMdiArea> area_;
    bool syncing_ = false;
};
