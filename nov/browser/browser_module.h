#pragma once
// The NOV view's browser lives in a library of its own, NOV-browser.so,
// beside NOV.vpi: the plug-in loads it, and with it the browser engine,
// when the first NOV window opens.
class QWidget;

#define NOV_BROWSER_MODULE_FILE "NOV-browser.so"
#define NOV_BROWSER_CREATE_SYMBOL "novCreateBrowser"

// The browser widget (a QWebEngineView whose "app:" navigations are page
// commands, see CHtmlCtrl) as a child of PARENT. Pages are shown by
// setting its "url" property.
using NovCreateBrowserFunction = QWidget *(QWidget *parent);
