#pragma once

#include "vrn_version.h"

#include <QString>

class StringTable;

namespace HostVersion {

constexpr int kMajor = VRN_VERSION_MAJOR;
constexpr int kMinor = VRN_VERSION_MINOR;
constexpr int kPatch = VRN_VERSION_PATCH;
constexpr int kBuildNumber = 112;

// "Revision 1.5.0" (splash)
QString revisionText();
// "Build r0112": string 4002 (or "Build") and " r%04d" (splash)
QString buildText(const StringTable &strings);
// "r0112" (About box, --version)
QString aboutBuildNumber();
// "1.5.00112", what the update check compares
QString updateComparisonText();

} // namespace HostVersion
