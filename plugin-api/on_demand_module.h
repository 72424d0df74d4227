#pragma once
// A part of a plug-in kept in a library of its own beside the plug-in and
// loaded the first time it is needed, so that what only that part links
// (the browser engine, some 25 ms and 26 MB) costs the program's start
// nothing. Once loaded it stays, like the plug-ins themselves.
#include "vrn_plugin_api_export.h"

#include <QString>

namespace OnDemandModule {

// The function SYMBOL of the library FILE that lies in the folder of the
// library holding ANCHOR (the address of any function of the caller).
// nullptr when the library cannot be loaded or lacks the symbol; ERROR,
// when given, then says why, and the event log has it too.
VRN_PLUGIN_API void *resolve(const void *anchor, const QString &file, const char *symbol, QString *error = nullptr);

template <typename Function>
Function *resolveFunction(const void *anchor, const QString &file, const char *symbol, QString *error = nullptr)
{
    return reinterpret_cast<Function *>(resolve(anchor, file, symbol, error));
}

} // namespace OnDemandModule
