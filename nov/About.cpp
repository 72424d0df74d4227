#include "About.h"

#include "nov_strings.h"

#include "about_box.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

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
    return AboutBox::versionLine(QStringLiteral("NOV-Plugin"), kVersionMajor, kVersionMinor, kVersionPatch, kBuildNumber,
                                 s.text(NovString::Version, QStringLiteral("Version")),
                                 s.text(NovString::Build, QStringLiteral("Build")));
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
    QLabel *link = AboutBox::makerSiteLink(this);
    auto *ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(version, 0, 1);
    layout->addWidget(link, 1, 1);
    layout->addWidget(ok, 2, 1, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
