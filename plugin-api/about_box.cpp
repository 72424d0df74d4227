#include "about_box.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

namespace AboutBox {

QLabel *makerSiteLink(QWidget *parent)
{
    auto *link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(QLatin1String(kMakerSite)), parent);
    link->setObjectName(QStringLiteral("hyperlink"));
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(false);
    QObject::connect(link, &QLabel::linkActivated, link, [](const QString &url) { QDesktopServices::openUrl(QUrl(url)); });
    return link;
}

QString versionNumber(int major, int minor, int patch)
{
    return QString::asprintf("%d.%d%d", major, minor, patch);
}

QString buildNumber(int build)
{
    return QString::asprintf("r%04d", build);
}

QString versionLine(const QString &product, int major, int minor, int patch, int build, const QString &versionWord,
                    const QString &buildWord)
{
    return product + QLatin1Char(' ') + versionWord + QLatin1Char(' ') + versionNumber(major, minor, patch)
           + QStringLiteral(", ") + buildWord + QLatin1Char(' ') + buildNumber(build);
}

} // namespace AboutBox
