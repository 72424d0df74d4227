#pragma once

#include "CanSettings.h"

#include "can/CanWnd.h"

#include <memory>

class QWidget;

// The driver the settings ask for (QtSerialBus with their backend and
// interface).
std::unique_ptr<Ucan> createCanDriver(const CanSettings &settings);

// Creates the host's CAN window: an invisible, zero-size child of mainFrame
// with control id 13000, driving the configured bus. mainFrame owns it.
CCanWnd *createCanWindow(QWidget *mainFrame, const CanSettings &settings);
