#include "version.h"

#include "host_strings.h"

#include "about_box.h"

namespace HostVersion {

QString revisionText()
{
    return QString::asprintf("Revision %d.%d.%d", kMajor, kMinor, kPatch);
}

QString buildText(const StringTable &strings)
{
    return strings.text(HostString::Build, QStringLiteral("Build")) + QLatin1Char(' ') + AboutBox::buildNumber(kBuildNumber);
}

QString aboutBuildNumber()
{
    return AboutBox::buildNumber(kBuildNumber);
}

QString updateComparisonText()
{
    return QString::asprintf("%d.%d.%d%04d", kMajor, kMinor, kPatch, kBuildNumber);
}

} // namespace HostVersion
