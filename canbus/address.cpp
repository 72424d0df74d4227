#include "canbus/address.h"

#include "canbus/netid.h"

namespace canbus {

std::optional<BusAddress> parseAddress(QStringView text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon + 1 >= text.size())
        return std::nullopt;
    return BusAddress{text.left(colon).toString(), text.mid(colon + 1).toString()};
}

QString netIdProblem(long long netId)
{
    if (netIdUsable(netId))
        return {};
    QString why = QStringLiteral("Net-ID %1 cannot be used on the CAN bus: Net-IDs run from %2 to %3, "
                                 "so that Net-ID x 32 stays a standard identifier")
                      .arg(netId)
                      .arg(kMinNetId)
                      .arg(kMaxNetId);
    // Say which identifier it would have been, while that is a CAN identifier.
    if (netId > kMaxNetId && netId <= 0x1FFFFFFF / 32)
        why += QStringLiteral(" (it gives identifier 0x%1, above 0x%2)")
                   .arg(QString::number(quint32(netId) * 32u, 16).toUpper(),
                        QString::number(kMaxStandardId, 16).toUpper());
    return why;
}

} // namespace canbus
