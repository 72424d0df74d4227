#include "can_window_factory.h"

#include "QtCanBusUcan.h"

#include <QWidget>

std::unique_ptr<Ucan> createCanDriver(const CanSettings &settings)
{
    return std::make_unique<QtCanBusUcan>(settings);
}

CCanWnd *createCanWindow(QWidget *mainFrame, const CanSettings &settings)
{
    auto *window = new CCanWnd(createCanDriver(settings), mainFrame);
    window->show();
    return window;
}
