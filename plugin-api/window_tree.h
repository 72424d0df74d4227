#pragma once

#include "vrn_plugin_api_export.h"

class QWidget;

// How a plug-in finds its way to the host: the host registers its main
// frame here, and windows that others look up carry a control id (the CAN
// window is the main frame's child with id 13000).
namespace WindowTree {

VRN_PLUGIN_API void setMainWindow(QWidget *window);
// The host's main frame, or null (no host, e.g. in a test).
VRN_PLUGIN_API QWidget *mainWindow();

VRN_PLUGIN_API void setControlId(QWidget *window, int id);
// The window's control id, or 0 when it has none.
VRN_PLUGIN_API int controlId(const QWidget *window);
// The first child (at any depth) of parent with that control id, or null.
VRN_PLUGIN_API QWidget *childWithControlId(const QWidget *parent, int id);

} // namespace WindowTree
