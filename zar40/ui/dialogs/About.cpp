#include "About.h"

#include "zar40/comm/codec/values.h"

#include "about_box.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

const char kMakerNotice[] = "ZAR40 and VRN-Control are products of Varnel Tonsysteme.";
constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 1;
constexpr int kVersionPatch = 0;
constexpr int kBuildNumber = 239;

} // namespace

QString CAbout::titleText()
{
    return QStringLiteral(" About ZAR40-Plugin");
}

QString CAbout::versionLine()
{
    return AboutBox::versionLine(QStringLiteral("ZAR40-Plugin"), kVersionMajor, kVersionMinor, kVersionPatch, kBuildNumber);
}

QString CAbout::firmwareLine(int major, int minor)
{
    return QStringLiteral("This plugin is compatible to ZAR40 Firmware MC %1.%2").arg(major).arg(minor);
}

CAbout::CAbout(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CAbout"));
    setWindowTitle(titleText());
    auto *layout = new QGridLayout(this);
    auto *version = new QLabel(versionLine(), this);
    version->setObjectName(QStringLiteral("versionLine"));
    auto *firmware = new QLabel(firmwareLine(zar40::codec::kExpectedRevisionMajor, zar40::codec::kExpectedRevisionMinor), this);
    firmware->setObjectName(QStringLiteral("firmwareLine"));
    QLabel *link = AboutBox::makerSiteLink(this);
    auto *notice = new QLabel(QString::fromLatin1(kMakerNotice), this);
    auto *ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(version, 0, 0);
    layout->addWidget(firmware, 1, 0);
    layout->addWidget(link, 2, 0);
    layout->addWidget(notice, 3, 0);
    layout->addWidget(ok, 4, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
