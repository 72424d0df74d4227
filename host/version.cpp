#include "version.h"

#include "host_strings.h"

namespace HostVersion {

QString revisionText()
{
    return QString::asprintf("Revision %d.%d.%d", kMajor, kMinor, kPatch);
}

QString buildText(const StringTable &strings)
{
    return strings.text(HostString::Build, QStringLiteral("Build")) + QString::asprintf(" r%04d", kBuildNumber);
}

QString aboutVersionNumber()
{
    return QString::asprintf("%d.%d%d", kMajor, kMinor, kPatch);
}

QString aboutBuildNumber()
{
    return QString::asprintf("r%04d", kBuildNumber);
}

QString updateComparisonText()
{
    return QString::asprintf("%d.%d.%d%04d", kMajor, kMinor, kPatch, kBuildNumber);
}

} // namespace HostVersion
