#include "Ucan.h"

Ucan::~Ucan() = default;

QString Ucan::lastErrorDetail() const
{
    return {};
}

namespace ucan {

quint32 bitrateFromBusTiming(quint8 btr0, quint8 btr1)
{
    // SJA1000 timing: quantum = 2 * (BRP + 1) / f_clock; one bit is the sync
    // segment plus TSEG1 + 1 plus TSEG2 + 1 quanta.
    constexpr quint32 clockHz = 16'000'000;
    const quint32 prescaler = 2u * ((btr0 & 0x3Fu) + 1u);
    const quint32 quanta = 1u + ((btr1 & 0x0Fu) + 1u) + (((btr1 >> 4) & 0x07u) + 1u);
    return clockHz / (prescaler * quanta);
}

bool frameFits(const CanMsg *msg, QString *why)
{
    if (why) why->clear();
    if (!msg || msg->length > 8) return false;
    const bool extended = msg->frameFormat & kFormatExtended;
    if (msg->id <= (extended ? 0x1FFFFFFFu : 0x7FFu)) return true;
    if (why)
        *why = QStringLiteral("The identifier 0x%1 does not fit a %2 frame.")
                   .arg(msg->id, 0, 16)
                   .arg(extended ? QStringLiteral("29-bit") : QStringLiteral("11-bit"));
    return false;
}

} // namespace ucan
