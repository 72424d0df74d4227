#include "version.h"

#include "host_strings.h"

namespace HostVersion {

QString revisionText()
{
    return QString::asprintf("Revision %d.%d.%d", Major, Minor, Patch);
}

QString buildText(const StringTable &strings)
{
    return strings.text(HostString::Build, QStringLiteral("Build")) + QString::asprintf(" r%04d", BuildNumber);
}

QString aboutVersionNumber()
{
    return QString::asprintf("%d.%d%d", Major, Minor, Patch);
}

QString aboutBuildNumber()
{
    return QString::asprintf("r%04d", BuildNumber);
}

QString updateComparisonText()
{
    return QString::asprintf("%d.%d.%d%04d", Major, Minor, Patch, BuildNumber);
}

} // namespace HostVersion
