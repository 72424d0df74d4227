#pragma once

#include "vrn_plugin_api_export.h"

#include <QString>

class QLabel;
class QWidget;

// What the About boxes of the host and of each plug-in show alike.
namespace AboutBox {

// The maker's web site.
inline constexpr char kMakerSite[] = "https://www.varnel-tonsysteme.de";

// The maker's site as a link; a click opens it in the desktop's browser.
VRN_PLUGIN_API QLabel *makerSiteLink(QWidget *parent);

// A version and a build as the boxes write them: "2.10" for 2.1.0, "r0239".
VRN_PLUGIN_API QString versionNumber(int major, int minor, int patch);
VRN_PLUGIN_API QString buildNumber(int build);
// "ZAR40-Plugin Version 2.10, Build r0239"; the words "Version" and
// "Build" as the caller's string table has them.
VRN_PLUGIN_API QString versionLine(const QString &product, int major, int minor, int patch, int build,
                                   const QString &versionWord = QStringLiteral("Version"),
                                   const QString &buildWord = QStringLiteral("Build"));

} // namespace AboutBox
