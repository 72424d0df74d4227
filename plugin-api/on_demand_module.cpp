#include "on_demand_module.h"

#include "EventLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

#include <dlfcn.h>

namespace OnDemandModule {

void *resolve(const void *anchor, const QString &file, const char *symbol, QString *error)
{
    QString why;
    void *found = nullptr;
    Dl_info info{};
    if (dladdr(anchor, &info) == 0 || !info.dli_fname) {
        why = QStringLiteral("The folder of %1 is not known.").arg(file);
    } else {
        const QString path = QFileInfo(QFile::decodeName(info.dli_fname)).absoluteDir().filePath(file);
        QLibrary library(path);
        // Widgets and meta-types it made outlive any caller's scope.
        library.setLoadHints(QLibrary::PreventUnloadHint);
        if (!library.load())
            why = library.errorString();
        else if (!(found = reinterpret_cast<void *>(library.resolve(symbol))))
            why = QStringLiteral("%1 has no %2.").arg(QDir::toNativeSeparators(path), QLatin1String(symbol));
    }
    if (!found) {
        VRN_LOG_ERROR("%s", qPrintable(why));
        if (error) *error = why;
    }
    return found;
}

} // namespace OnDemandModule
