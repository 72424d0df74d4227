#include "About.h"

#include "nov_strings.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace {

const char kMakerSite[] = "https://www.varnel-tonsysteme.de";
constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 0;
constexpr int kVersionPatch = 0;
constexpr int kBuildNumber = 99;

} // namespace

QString CAbout::titleText()
{
    return novStrings().text(NovString::About, QStringLiteral("About")) + QStringLiteral(" NOV-Plugin");
}

QString CAbout::versionLine()
{
    const StringTable &s = novStrings();
    return QStringLiteral("NOV-Plugin ") + s.text(NovString::Version, QStringLiteral("Version")) + QLatin1Char(' ')
           + QStringLiteral("%1.%2%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionPatch) + QStringLiteral(", ")
           + s.text(NovString::Build, QStringLiteral("Build")) + QLatin1Char(' ')
           + QStringLiteral("r%1").arg(kBuildNumber, 4, 10, QLatin1Char('0'));
}

CAbout::CAbout(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(titleText());
    auto *layout = new QGridLayout(this);
    auto *logo = new QLabel(this);
    logo->setPixmap(QPixmap(QStringLiteral(":/nov/vrnlogo.svg")).scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    layout->addWidget(logo, 0, 0, 3, 1, Qt::AlignTop);
    auto *version = new QLabel(versionLine(), this);
    version->setObjectName(QStringLiteral("versionLine"));
    auto *link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(QLatin1String(kMakerSite)), this);
    link->setObjectName(QStringLiteral("hyperlink"));
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    connect(link, &QLabel::linkActivated, this, [](const QString &url) { QDesktopServices::openUrl(QUrl(url)); });
    auto *ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(version, 0, 1);
    layout->addWidget(link, 1, 1);
    layout->addWidget(ok, 2, 1, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
