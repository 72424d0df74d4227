#pragma once

#include <QString>

#include <optional>

class StringTable;

// What the Windows version query of the original platform reports, as plain
// data, so that the description rules can be checked anywhere.
struct WindowsVersionRecord
{
    enum class Query { Extended, Basic, Refused };
    enum Platform { Win32s = 0, Windows9x = 1, WindowsNT = 2 };
    enum ProductType { Workstation = 1, DomainController = 2, Server = 3 };
    enum Suite : unsigned { Enterprise = 0x0002, Datacenter = 0x0080, Personal = 0x0200, Blade = 0x0400 };

    Query query = Query::Extended;
    int platform = WindowsNT;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
    QString servicePack;          // e.g. "Service Pack 6", or " A" on Windows 98 SE
    int productType = Workstation; // extended record only
    unsigned suiteMask = 0;        // extended record only
    // HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions\ProductType; no
    // value when the key or value cannot be read.
    std::optional<QString> registryProductType;
    // HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Hotfix\Q246009 exists.
    bool hotfixQ246009 = false;
};

struct OsDescription
{
    int major = 0;       // the program needs 5 or more
    QString description;
};

// The description rules for a Windows version record.
OsDescription describeWindows(const WindowsVersionRecord &record, const StringTable &strings);

// The system this program runs on. On Linux it is described by QSysInfo and
// always accepted.
struct OsCheck
{
    bool accepted = true;
    QString description;
};
OsCheck checkOperatingSystem();

// String 4004 with "######" replaced by the description.
QString wrongOsMessage(const StringTable &strings, const QString &description);
