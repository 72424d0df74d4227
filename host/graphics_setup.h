#pragma once
// How the program draws, settled before the application object exists:
// the program and every benchmark that measures its window call
// beforeApplication() first, so that they draw the same way.
namespace GraphicsSetup {

void beforeApplication();

// Whether web views draw with the Qt Quick software renderer (the
// default) rather than OpenGL (when the user chose a Qt Quick backend).
bool webViewsDrawInSoftware();

} // namespace GraphicsSetup
