// The entry point of NOV-browser.so, the only symbol it exports.
#include "browser_module.h"
#include "HtmlCtrl.h"

#include "vrn_plugin_api_export.h"

#include <type_traits>

VRN_PLUGIN_EXPORT QWidget *novCreateBrowser(QWidget *parent)
{
    // Page commands reach the navigation hook only for a scheme the engine
    // knows before its first object exists; this module's first call is
    // that moment.
    CHtmlCtrl::registerAppScheme();
    return new CHtmlCtrl(parent);
}

static_assert(std::is_same_v<decltype(novCreateBrowser), NovCreateBrowserFunction>);
