#include "About.h"

#include "host_strings.h"
#include "version.h"

#include "about_box.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace {

// Picture 139: the program's emblem on a dark panel.
QPixmap aboutPicture()
{
    QPixmap pm(72, 90);
    pm.fill(QColor(18, 40, 84));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(236, 240, 248), 2));
    p.setBrush(QColor(40, 90, 170));
    p.drawEllipse(QRect(QPoint(21, 31), QPoint(48, 58)));
    p.drawLine(35, 36, 35, 53);
    p.drawLine(27, 44, 43, 44);
    return pm;
}

} // namespace

QString CAbout::titleText()
{
    return hostStrings().text(HostString::About, QStringLiteral("About")) + QStringLiteral(" VRN-Control");
}

QString CAbout::versionLine()
{
    const StringTable &s = hostStrings();
    return AboutBox::versionLine(QStringLiteral("VRN-Control"), HostVersion::kMajor, HostVersion::kMinor,
                                 HostVersion::kPatch, HostVersion::kBuildNumber,
                                 s.text(HostString::Version, QStringLiteral("Version")),
                                 s.text(HostString::Build, QStringLiteral("Build")));
}

CAbout::CAbout(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(titleText());
    auto *layout = new QGridLayout(this);
    auto *picture = new QLabel(this);
    picture->setPixmap(aboutPicture());
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The emblem's rectangle is in the box's own coordinates.
    picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->setContentsMargins(0, 0, 11, 11);
    layout->addWidget(picture, 0, 0, 4, 1, Qt::AlignLeft | Qt::AlignTop);

    auto *version = new QLabel(versionLine(), this);
    version->setObjectName(QStringLiteral("versionLine"));
    QLabel *link = AboutBox::makerSiteLink(this);
    auto *notice = new QLabel(hostStrings().load(HostString::Notice), this);
    notice->setObjectName(QStringLiteral("notice"));
    auto *ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    layout->addWidget(version, 0, 1);
    layout->addWidget(link, 1, 1);
    layout->addWidget(notice, 2, 1);
    layout->addWidget(ok, 3, 1, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    m_normalSize = sizeHint();
    m_largeSize = m_normalSize * 2;
    resize(m_normalSize);
    m_stepper.setInterval(15);
    connect(&m_stepper, &QTimer::timeout, this, &CAbout::step);
}

void CAbout::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton && emblemRect().contains(event->position().toPoint())) {
        m_enlarged = !m_enlarged;
        m_stepper.start();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void CAbout::step()
{
    const QSize target = m_enlarged ? m_largeSize : m_normalSize;
    const QSize now = size();
    const auto towards = [](int from, int to) {
        const int delta = (to - from) / 4;
        return delta == 0 ? to : from + delta;
    };
    const QSize next(towards(now.width(), target.width()), towards(now.height(), target.height()));
    resize(next);
    if (next == target)
        m_stepper.stop();
}
