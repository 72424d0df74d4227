#include "MdiTabStrip.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

CMdiTabStrip::CMdiTabStrip(QMdiArea *area, QWidget *parent)
    : QTabBar(parent)
    , area_(area)
{
    setDocumentMode(true);
    setExpanding(false);
    setDrawBase(true);
    setElideMode(Qt::ElideRight);
    connect(area, &QMdiArea::subWindowActivated, this, &CMdiTabStrip::resync);
    connect(this, &QTabBar::currentChanged, this, [this](int index) {
        if (syncing_ || !area_)
            return;
        if (QMdiSubWindow *w = windowAt(index))
            area_->setActiveSubWindow(w);
    });
    // Windows come and go without an activation when they are hidden or
    // deleted while inactive; the area's viewport sees every child event.
    area->viewport()->installEventFilter(this);
    resync();
}

QMdiSubWindow *CMdiTabStrip::windowAt(int index) const
{
    return qobject_cast<QMdiSubWindow *>(tabData(index).value<QObject *>());
}

bool CMdiTabStrip::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
    case QEvent::ChildRemoved:
        QMetaObject::invokeMethod(this, &CMdiTabStrip::resync, Qt::QueuedConnection);
        break;
    default:
        break;
    }
    return QTabBar::eventFilter(watched, event);
}

void CMdiTabStrip::resync()
{
    if (!area_)
        return;
    syncing_ = true;
    const QList<QMdiSubWindow *> windows = area_->subWindowList(QMdiArea::CreationOrder);
    QList<QMdiSubWindow *> visible;
    for (QMdiSubWindow *w : windows) {
        if (!w->isHidden())
            visible << w;
    }
    while (count() > visible.size())
        removeTab(count() - 1);
    for (int i = 0; i < visible.size(); ++i) {
        QMdiSubWindow *w = visible.at(i);
        if (i >= count())
            addTab(QString());
        setTabText(i, w->windowTitle());
        setTabIcon(i, w->windowIcon());
        setTabData(i, QVariant::fromValue<QObject *>(w));
        // Titles change after creation (a document gets its name later).
        connect(w, &QWidget::windowTitleChanged, this, &CMdiTabStrip::resync, Qt::UniqueConnection);
    }
    const int active = visible.indexOf(area_->activeSubWindow());
    if (active >= 0)
        setCurrentIndex(active);
    setVisible(!visible.isEmpty());
    syncing_ = false;
}
