#include "os_description.h"

#include "host_strings.h"

#include <QSysInfo>

OsDescription describeWindows(const WindowsVersionRecord &r, const StringTable &strings)
{
    using R = WindowsVersionRecord;
    if (r.query == R::Query::Refused)
        return {0, strings.load(HostString::OldVersion)};

    const int major = int(r.major);
    QString d;
    const QChar second = r.servicePack.size() > 1 ? r.servicePack.at(1) : QChar();
    switch (r.platform) {
    case R::Win32s:
        d = QStringLiteral("Microsoft Win32s\n");
        break;
    case R::Windows9x:
        if (r.major == 4 && r.minor == 0) {
            d = QStringLiteral("Microsoft Windows 95 ");
            if (second == QLatin1Char('C') || second == QLatin1Char('B'))
                d += QStringLiteral("OSR2 ");
        } else if (r.major == 4 && r.minor == 10) {
            d = QStringLiteral("Microsoft Windows 98 ");
            if (second == QLatin1Char('A'))
                d += QStringLiteral("SE ");
        } else if (r.major == 4 && r.minor == 90) {
            d = QStringLiteral("Microsoft Windows Millennium Edition");
        }
        break;
    case R::WindowsNT: {
        if (r.major == 5 && r.minor == 2)
            d = QStringLiteral("Microsoft Windows Server 2003, ");
        else if (r.major == 5 && r.minor == 1)
            d = QStringLiteral("Microsoft Windows XP ");
        else if (r.major == 5 && r.minor == 0)
            d = QStringLiteral("Microsoft Windows 2000 ");
        else if (r.major <= 4)
            d = QStringLiteral("Microsoft Windows NT ");

        if (r.query == R::Query::Basic) {
            if (!r.registryProductType)
                return {0, QString()};
            const QString type = *r.registryProductType;
            if (type.compare(QLatin1String("WINNT"), Qt::CaseInsensitive) == 0)
                d += QStringLiteral("Workstation ");
            else if (type.compare(QLatin1String("LANMANNT"), Qt::CaseInsensitive) == 0)
                d += QStringLiteral("Server ");
            else if (type.compare(QLatin1String("SERVERNT"), Qt::CaseInsensitive) == 0)
                d += QStringLiteral("Advanced Server ");
            d += QString::asprintf("%u.%u ", r.major, r.minor);
        } else if (r.productType == R::Workstation) {
            if (r.major == 4)
                d += QStringLiteral("Workstation 4.0 ");
            else if (r.suiteMask & R::Personal)
                d += QStringLiteral("Home Edition ");
            else
                d += QStringLiteral("Professional ");
        } else if (r.productType == R::Server || r.productType == R::DomainController) {
            if (r.major == 5 && r.minor == 2) {
                if (r.suiteMask & R::Datacenter)
                    d += QStringLiteral("Datacenter Edition ");
                else if (r.suiteMask & R::Enterprise)
                    d += QStringLiteral("Enterprise Edition ");
                else if (r.suiteMask == R::Blade)
                    d += QStringLiteral("Web Edition ");
                else
                    d += QStringLiteral("Standard Edition ");
            } else if (r.major == 5 && r.minor == 0) {
                if (r.suiteMask & R::Datacenter)
                    d += QStringLiteral("Datacenter Server ");
                else if (r.suiteMask & R::Enterprise)
                    d += QStringLiteral("Advanced Server ");
                else
                    d += QStringLiteral("Server ");
            } else {
                if (r.suiteMask & R::Enterprise)
                    d += QStringLiteral("Server 4.0, Enterprise Edition ");
                else
                    d += QStringLiteral("Server 4.0 ");
            }
        }

        const unsigned build = r.build & 0xFFFF;
        if (r.major == 4 && r.servicePack.compare(QLatin1String("Service Pack 6"), Qt::CaseInsensitive) == 0
            && r.hotfixQ246009)
            d += QString::asprintf("Service Pack 6a (Build %u)", build);
        else
            d += r.servicePack + QString::asprintf(" (Build %u)", build);
        break;
    }
    default:
        break;
    }
    return {major, d};
}

OsCheck checkOperatingSystem()
{
    OsCheck check;
    check.accepted = true;
    check.description = QStringLiteral("%1 (%2 %3, %4)")
                            .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                                 QSysInfo::currentCpuArchitecture());
    return check;
}

QString wrongOsMessage(const StringTable &strings, const QString &description)
{
    QString text = strings.load(HostString::WrongOs);
    text.replace(QLatin1String("######"), description);
    return text;
}
