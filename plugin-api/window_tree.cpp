#include "window_tree.h"

#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace {

const char kControlIdProperty[] = "vrnControlId";

QPointer<QWidget> &mainWindowSlot()
{
    static QPointer<QWidget> window;
    return window;
}

} // namespace

namespace WindowTree {

void setMainWindow(QWidget *window)
{
    mainWindowSlot() = window;
}

QWidget *mainWindow()
{
    return mainWindowSlot().data();
}

void setControlId(QWidget *window, int id)
{
    if (window)
        window->setProperty(kControlIdProperty, id);
}

int controlId(const QWidget *window)
{
    return window ? window->property(kControlIdProperty).toInt() : 0;
}

QWidget *childWithControlId(const QWidget *parent, int id)
{
    if (!parent || id == 0)
        return nullptr;
    const auto children = parent->findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (controlId(child) == id)
            return child;
    }
    return nullptr;
}

} // namespace WindowTree
